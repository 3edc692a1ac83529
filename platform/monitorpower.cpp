#include "platform/monitorpower.h"

namespace {

class NoMonitor : public MonitorPower {
public:
  void setLevel(int) override {}
  bool programMayPowerDown() override { return false; }
  int systemLevel() override { return 0; }
  bool desktopTimeouts(DesktopPowerTimeouts &) override { return false; }
};

NoMonitor Default;
MonitorPower *Installed = nullptr;

} // namespace

MonitorPower &monitorPower() { return Installed ? *Installed : Default; }
void setMonitorPower(MonitorPower *port) { Installed = port; }
