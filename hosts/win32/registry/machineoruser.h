// The Windows registry behind the program's registry calls. Keys below
// HKEY_LOCAL_MACHINE are kept there where this user may write them, and
// otherwise under HKEY_CURRENT_USER with the same path; reads look first where
// a save of that key goes, then in the other place.
#pragma once

#include <windows.h>

#include "platform/registry_store.h"

// The store for a host to install (setRegistryStore).
RegistryStore &windowsRegistryStore();

// For tests: the key that stands for HKEY_LOCAL_MACHINE, and the one that
// stands for HKEY_CURRENT_USER (null: the real ones). The keys stay the
// caller's.
void setRegistryRootsForTests(HKEY machine, HKEY user);
