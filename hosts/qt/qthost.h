// The Qt host: the saver window, input translated into message records, the
// control panel's window, message boxes and the single-instance socket.
#pragma once

#include "hosts/common/commandline.h"

// Runs the windowed program for the given switches.
int runQtHost(int argc, char **argv, const WindowedRun &run);
