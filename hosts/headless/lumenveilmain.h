// The whole program's main: reads the command line once and runs the headless
// host, or the windowed host a build brings.
#pragma once

#include "hosts/common/commandline.h"

// Runs the switches that need no window (/d, /a, /p) headless; the saver and
// the control panel are refused with a message naming why there is no window.
int runWithoutWindow(const CommandLine &switches, const char *why);

// `idle` runs --idle: the idle watcher a build brings, or nullptr.
int lumenveilMain(int argc, char **argv, WindowedRunner windowed, IdleRunner idle = nullptr);
