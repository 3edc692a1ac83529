// The stop signals: SIGINT, SIGTERM and SIGHUP ask every host to end its run
// through the exit steps (the last picture finished, the settings saved).
#pragma once

bool stopRequested();
// Installs the handlers, and ignores SIGPIPE and SIGXFSZ so that a write that
// fails is told where it happens.
void installStopSignals();
