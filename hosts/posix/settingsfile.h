// The settings file on a POSIX file system: read without waiting, saved
// through a flushed temporary renamed over it under a lock beside it.
#pragma once

#include "platform/settingsfile.h"

// For a host to install (setSettingsFiles).
SettingsFiles &posixSettingsFiles();
