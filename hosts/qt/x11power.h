// Monitor power on Linux: the X server's display power management (DPMS).
// Low power is standby, power off is off. Under a screen-saver daemon the
// daemon owns the monitor's power: the program only watches it.
#pragma once

#include "platform/monitorpower.h"

class X11MonitorPower : public MonitorPower {
public:
  explicit X11MonitorPower(bool underDaemon);
  void setLevel(int level) override;
  bool programMayPowerDown() override;
  int systemLevel() override;
  bool desktopTimeouts(DesktopPowerTimeouts &timeouts) override;

private:
  bool capable();
  bool underDaemon_;
  int capable_ = -1;       // -1 not asked yet
  bool weEnabled_ = false; // DPMS was off and the program switched it on
};
