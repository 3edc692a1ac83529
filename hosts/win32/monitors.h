// The monitors the saver covers: the system's list (EnumDisplayMonitors, the
// virtual screen may start left of or above the primary), each monitor's own
// refresh rate, and which monitor shows what under the Display setting
// "Monitors".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "settings/configuration.h"

struct MonitorArea {
  std::string name; // the system's name for it ("\\.\DISPLAY2"), what --screen takes
  RECT area{};      // in virtual-screen pixels
  bool primary = false;
  int hz = 0; // its refresh rate; 0 where the system does not tell
};

// The monitors as the system lists them now (or as the source a test put in
// place has them).
std::vector<MonitorArea> systemMonitors();
using MonitorSource = std::vector<MonitorArea> (*)();
void setMonitorSource(MonitorSource source); // nullptr: the system's own

// The refresh rate the saver paces to on a monitor: its own where the system
// tells it, else 60.
int pacingHz(const MonitorArea &monitor);

enum class MonitorUse {
  Scene,       // this copy's window and scene
  OwnCopy,     // another copy of the program, with a scene of its own
  SamePicture, // a window of this copy showing its picture
  Black,       // a window of this copy, black
};

struct MonitorPlan {
  MonitorArea monitor;
  MonitorUse use;
};

// What each monitor shows. The scene goes to the monitor named only (a copy
// started for one monitor: that one alone, nothing when it is gone), else to
// the primary (the first when none is marked); the others show what setting
// ("Monitors") says. The scene's monitor comes first.
std::vector<MonitorPlan> planMonitors(const std::vector<MonitorArea> &monitors, int32_t setting,
                                      const std::string &only);
