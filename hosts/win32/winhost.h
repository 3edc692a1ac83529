// The Windows host: the application object over the system's message loop,
// the full-screen saver window drawn with GDI, message boxes, and the
// single-instance lookup through the application's hidden window.
#pragma once

#include <memory>
#include <string>

#include "hosts/common/commandline.h"
#include "platform/application.h"
#include "settings/configuration.h"

class GdiPresenter;

// The monitors a saver run covers.
struct MonitorRun {
  std::string only;                       // this monitor alone (a copy the saver started for it)
  int32_t setting = MonitorsEachOwnScene; // the Display setting "Monitors"
  // The program started for each monitor with a scene of its own, with these
  // arguments (the saver's own); with no program those monitors stay black.
  std::string program, arguments;
};

// Runs the windowed program for the given switches.
int runWin32Host(int argc, char **argv, const WindowedRun &run);

// The application object over this thread's message loop; its saver window
// shows the presenter's frames on its monitor, and the other monitors show
// what monitors says. One at a time.
std::unique_ptr<Application> makeWin32Application(GdiPresenter &presenter, const MonitorRun &monitors = {});

// The window class of the windows showing the saver's picture, or black, on
// the other monitors.
extern const char *const MonitorWindowClass; // "Lumenveil Monitor"

// The window classes other copies and the system see.
extern const char *const ApplicationWindowClass; // "TApplication"
extern const char *const SaverWindowClass;       // "TEmptyForm"
