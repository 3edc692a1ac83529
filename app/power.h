// Monitor power and task priority.
#pragma once

#include "frame/framestate.h" // MonitorOff: no frames while set

extern bool PowerOverrideActive; // the program, not the system, powers the monitor down

// Process priority: 1 idle, 2 normal, 3 and 4 high (never real time);
// anything else idle.
void setTaskPriority(int level);
// Starts the program's own power-down timers when the saved settings
// override the system's; a second call replaces the first call's timers.
void startPowerManagement();
void lowPowerTimerProc();
void powerOffTimerProc();
// The monitor back on at the end of the saver; the timers stop.
void restoreMonitorPower();

// Where the system powers the monitor down without telling the saver by a
// message, asks it about once a second and passes a power-down on to the
// saver's message hook as the system command it stands for.
void watchSystemPower();
void checkSystemPower();
