// The Windows host: the application object over the system's message loop,
// the full-screen saver window drawn with GDI, message boxes, and the
// single-instance lookup through the application's hidden window.
#pragma once

#include <memory>

#include "hosts/common/commandline.h"
#include "platform/application.h"

class GdiPresenter;

// Runs the windowed program for the given switches.
int runWin32Host(int argc, char **argv, const WindowedRun &run);

// The application object over this thread's message loop; its saver window
// shows the presenter's frames. One at a time.
std::unique_ptr<Application> makeWin32Application(GdiPresenter &presenter);

// The window classes other copies and the system see.
extern const char *const ApplicationWindowClass; // "TApplication"
extern const char *const SaverWindowClass;       // "TEmptyForm"
