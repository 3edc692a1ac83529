#include "hosts/qt/desktopports.h"

DesktopPorts::DesktopPorts(bool underDaemon) : power_(underDaemon) {
  setMonitorPower(&power_);
  setPreviewWindow(&preview_);
}

DesktopPorts::~DesktopPorts() {
  setPreviewWindow(nullptr);
  setMonitorPower(nullptr);
}
