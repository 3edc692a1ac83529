// The Windows host: the application object over the system's message loop,
// the full-screen saver window drawn with GDI, message boxes, and the
// single-instance lookup through the application's hidden window.
#pragma once

#include "hosts/headless/cli.h"

// Runs the windowed program for the given switches.
int runWin32Host(int argc, char **argv, const WindowedRun &run);

// The window classes other copies and the system see.
extern const char *const ApplicationWindowClass;  // "TApplication"
extern const char *const SaverWindowClass;        // "TEmptyForm"
