// `lumenveil --idle`: watches the session's idle time and runs the saver
// (`lumenveil /s`, a child process) once the session has had no input for the
// "ScreenSaver idle minutes" setting; when the saver ends (on input), it
// watches again. It never locks the session: that stays with the system's
// locker.
#pragma once

#include "hosts/common/commandline.h"

int runIdleWatcher(const IdleRun &run);
