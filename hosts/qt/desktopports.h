// The Qt host's desktop ports, installed for the life of the object: monitor
// power, the preview window and the process priority.
#pragma once

#include "hosts/qt/preview.h"
#include "hosts/qt/x11power.h"

class DesktopPorts {
public:
  explicit DesktopPorts(bool underDaemon);
  ~DesktopPorts();
  DesktopPorts(const DesktopPorts &) = delete;
  DesktopPorts &operator=(const DesktopPorts &) = delete;

private:
  X11MonitorPower power_;
  QtPreviewWindow preview_;
};
