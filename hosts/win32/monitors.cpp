#include "hosts/win32/monitors.h"

#include <algorithm>

namespace {

MonitorSource Source = nullptr;

BOOL CALLBACK addMonitor(HMONITOR handle, HDC, LPRECT, LPARAM list) {
  MONITORINFOEXA info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoA(handle, &info)) return TRUE;
  MonitorArea m;
  m.name = info.szDevice;
  m.area = info.rcMonitor;
  m.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  if (EnumDisplaySettingsA(info.szDevice, ENUM_CURRENT_SETTINGS, &mode))
    m.hz = static_cast<int>(mode.dmDisplayFrequency);
  reinterpret_cast<std::vector<MonitorArea> *>(list)->push_back(m);
  return TRUE;
}

} // namespace

void setMonitorSource(MonitorSource source) { Source = source; }

std::vector<MonitorArea> systemMonitors() {
  if (Source) return Source();
  std::vector<MonitorArea> list;
  EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&list));
  return list;
}

int pacingHz(const MonitorArea &monitor) {
  // 0 and 1 stand for the hardware's default rate, which the system does not name.
  return monitor.hz > 1 ? monitor.hz : 60;
}

std::vector<MonitorPlan> planMonitors(const std::vector<MonitorArea> &monitors, int32_t setting,
                                      const std::string &only) {
  std::vector<MonitorPlan> plan;
  if (!only.empty()) {
    for (const MonitorArea &m : monitors)
      if (m.name == only) return {MonitorPlan{m, MonitorUse::Scene}};
    return plan;
  }
  if (monitors.empty()) return plan;
  auto primary =
      std::find_if(monitors.begin(), monitors.end(), [](const MonitorArea &m) { return m.primary; });
  if (primary == monitors.end()) primary = monitors.begin();
  plan.push_back(MonitorPlan{*primary, MonitorUse::Scene});
  const MonitorUse others = setting == MonitorsSamePicture   ? MonitorUse::SamePicture
                            : setting == MonitorsPrimaryOnly ? MonitorUse::Black
                                                             : MonitorUse::OwnCopy;
  for (auto m = monitors.begin(); m != monitors.end(); ++m)
    if (m != primary) plan.push_back(MonitorPlan{*m, others});
  return plan;
}
