#include "app/power.h"

#include <cstdint>

#include "app/entry.h"
#include "app/saverwindow.h"
#include "display/glidedisplay.h"
#include "platform/application.h"
#include "platform/monitorpower.h"
#include "platform/priority.h"
#include "platform/timers.h"
#include "settings/configuration.h"

bool PowerOverrideActive = false;

namespace {
TimerId LowPowerTimer = 0;
TimerId PowerOffTimer = 0;
TimerId WatchTimer = 0;
int LastSystemLevel = 0;

// Minutes as timer milliseconds. A hand-edited timeout is held to what the
// timer can count: below 0 fires at once, above about 49 days waits that long.
uint32_t minutesToMs(int32_t minutes) {
  if (minutes <= 0) return 0;
  const uint64_t ms = static_cast<uint64_t>(minutes) * 60000u;
  return ms > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ms);
}

void powerDown(int level, TimerId &timer) {
  setGlideOutput(false);
  MonitorOff = true;
  setTaskPriority(1);
  monitorPower().setLevel(level);
  timers().killTimer(timer);
  timer = 0;
}
} // namespace

void setTaskPriority(int level) {
  // Real time would let a busy frame loop starve the system's own input
  // handling: it gets the same as high.
  ProcessPriority p = ProcessPriority::Idle;
  if (level == 2) p = ProcessPriority::Normal;
  if (level == 3 || level == 4) p = ProcessPriority::High;
  priorityControl().setPriority(p);
}

void startPowerManagement() {
  if (isWindowsNT() && !monitorPower().programMayPowerDown()) return;
  PowerConfiguration power;
  power.load();
  // The timers of an earlier call would otherwise keep firing under ids
  // nobody holds any more.
  timers().killTimer(LowPowerTimer);
  timers().killTimer(PowerOffTimer);
  LowPowerTimer = PowerOffTimer = 0;
  if (power.OverrideWindow95Settings != 0) {
    PowerOverrideActive = true;
    if (power.LowPowerStandby != 0)
      LowPowerTimer = timers().setTimer(minutesToMs(power.LowPowerTimeout), lowPowerTimerProc);
    if (power.ShutOffMonitor != 0)
      PowerOffTimer = timers().setTimer(minutesToMs(power.PowerOffTimeout), powerOffTimerProc);
  }
  MonitorOff = false;
}

void lowPowerTimerProc() { powerDown(LV_MONITOR_LOW_POWER, LowPowerTimer); }

void powerOffTimerProc() { powerDown(LV_MONITOR_OFF, PowerOffTimer); }

void restoreMonitorPower() {
  timers().killTimer(LowPowerTimer);
  timers().killTimer(PowerOffTimer);
  timers().killTimer(WatchTimer);
  LowPowerTimer = PowerOffTimer = WatchTimer = 0;
  monitorPower().setLevel(LV_MONITOR_ON);
  MonitorOff = false;
}

void watchSystemPower() {
  timers().killTimer(WatchTimer);
  LastSystemLevel = monitorPower().systemLevel();
  WatchTimer = timers().setTimer(1000, checkSystemPower);
}

void checkSystemPower() {
  const int level = monitorPower().systemLevel();
  const bool wentDown = level > 0 && LastSystemLevel <= 0;
  LastSystemLevel = level;
  if (!wentDown || !haveApplication()) return;
  // Delivered like the system command, through whichever handler is
  // installed: the saver's hook reacts to it, a password prompt does not.
  const MessageHandler handler = application().messageHandler();
  if (!handler.code) return;
  Message m;
  m.window = SaverWindow;
  m.code = LV_WM_SYSCOMMAND;
  m.wParam = LV_SC_MONITORPOWER;
  m.lParam = level;
  bool handled = false;
  handler.code(m, handled, handler.data);
}
