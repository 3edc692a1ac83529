// Monitor power and task priority.
#pragma once

#include "frame/framestate.h" // MonitorOff: no frames while set

extern bool PowerOverrideActive; // the program, not the system, powers the monitor down

// Process priority: 1 idle, 2 normal, 3 high, 4 real time; anything else idle.
void setTaskPriority(int level);
void startPowerManagement();
void restoreMonitorPower();
