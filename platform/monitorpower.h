// Monitor power: the system's monitor-power command, the power-down the
// system does by itself, and the system's own power-down timeouts.
#pragma once

#include <cstdint>

// Levels as the monitor-power system command carries them.
constexpr int LV_MONITOR_ON = -1;
constexpr int LV_MONITOR_LOW_POWER = 1;
constexpr int LV_MONITOR_OFF = 2;

// The system's own power-down settings, timeouts in seconds as the system keeps them.
struct DesktopPowerTimeouts {
  bool lowPowerActive = false;
  int32_t lowPowerSeconds = 0;
  bool powerOffActive = false;
  int32_t powerOffSeconds = 0;
};

class MonitorPower {
public:
  virtual ~MonitorPower() = default;
  // Puts the monitor at a level (LV_MONITOR_ON, _LOW_POWER or _OFF).
  virtual void setLevel(int level) = 0;
  // Whether the program may run its own power-down timers where the system
  // would otherwise keep that to itself.
  virtual bool programMayPowerDown() = 0;
  // The level the system itself has put the monitor at, for systems that do
  // not tell the saver with a message; 0 when there is nothing to ask.
  virtual int systemLevel() = 0;
  // The system's own power-down settings; false when it keeps none we can read.
  virtual bool desktopTimeouts(DesktopPowerTimeouts &timeouts) = 0;
};

// The installed port; by default one with no monitor to power.
MonitorPower &monitorPower();
// Installs a port; nullptr returns to the default.
void setMonitorPower(MonitorPower *port);
