// The steps every windowed host takes around its run: the fixed seed, the
// scene and the frame-rate read-out chosen on the command line, and the board
// trace, started before the run and completed after it, with the same
// messages on every host.
#pragma once

#include "hosts/common/commandline.h"

// False, after telling why on the error stream, when the run cannot start
// (the trace file cannot be written): the host then ends with exit code 1.
bool beginWindowedRun(const WindowedRun &run);
// Completes the trace; the run's exit code, or 1 when the trace could not be
// written in full.
int endWindowedRun(int code);
