#include "hosts/qt/x11power.h"

#include <QGuiApplication>

#if defined(LV_HAVE_XCB_DPMS) && QT_CONFIG(xcb)
#include <xcb/dpms.h>
#include <xcb/xcb.h>
#endif

#include <cstdlib>

namespace {
#if defined(LV_HAVE_XCB_DPMS) && QT_CONFIG(xcb)
xcb_connection_t *connection() {
  auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

// Power level and whether DPMS is on; false when the server does not answer.
bool info(xcb_connection_t *c, uint16_t &level, bool &enabled) {
  xcb_dpms_info_reply_t *r = xcb_dpms_info_reply(c, xcb_dpms_info(c), nullptr);
  if (!r) return false;
  level = r->power_level;
  enabled = r->state != 0;
  std::free(r);
  return true;
}
#endif
} // namespace

X11MonitorPower::X11MonitorPower(bool underDaemon) : underDaemon_(underDaemon) {}

bool X11MonitorPower::capable() {
#if defined(LV_HAVE_XCB_DPMS) && QT_CONFIG(xcb)
  if (capable_ < 0) {
    capable_ = 0;
    xcb_connection_t *c = connection();
    if (c) {
      const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &xcb_dpms_id);
      if (ext && ext->present) {
        xcb_dpms_capable_reply_t *r = xcb_dpms_capable_reply(c, xcb_dpms_capable(c), nullptr);
        if (r && r->capable) capable_ = 1;
        std::free(r);
      }
    }
  }
  return capable_ == 1;
#else
  return false;
#endif
}

void X11MonitorPower::setLevel(int level) {
#if defined(LV_HAVE_XCB_DPMS) && QT_CONFIG(xcb)
  if (underDaemon_ || !capable()) return;
  xcb_connection_t *c = connection();
  uint16_t now = 0;
  bool enabled = false;
  if (!info(c, now, enabled)) return;
  if (level == LV_MONITOR_ON) {
    if (enabled && now != XCB_DPMS_DPMS_MODE_ON) xcb_dpms_force_level(c, XCB_DPMS_DPMS_MODE_ON);
    // The server's own power management as the user had it.
    if (weEnabled_) xcb_dpms_disable(c);
    weEnabled_ = false;
  } else {
    // A level can only be forced while DPMS is on.
    if (!enabled) {
      xcb_dpms_enable(c);
      weEnabled_ = true;
    }
    xcb_dpms_force_level(c, level == LV_MONITOR_OFF ? XCB_DPMS_DPMS_MODE_OFF : XCB_DPMS_DPMS_MODE_STANDBY);
  }
  xcb_flush(c);
#else
  (void)level;
#endif
}

// Without DPMS the program's own timers still blank the picture and stop the
// drawing: the nearest to a dark monitor such a server has.
bool X11MonitorPower::programMayPowerDown() { return !underDaemon_; }

int X11MonitorPower::systemLevel() {
#if defined(LV_HAVE_XCB_DPMS) && QT_CONFIG(xcb)
  if (!capable()) return 0;
  uint16_t level = 0;
  bool enabled = false;
  if (!info(connection(), level, enabled)) return 0;
  if (!enabled || level == XCB_DPMS_DPMS_MODE_ON) return LV_MONITOR_ON;
  return level == XCB_DPMS_DPMS_MODE_OFF ? LV_MONITOR_OFF : LV_MONITOR_LOW_POWER;
#else
  return 0;
#endif
}

bool X11MonitorPower::desktopTimeouts(DesktopPowerTimeouts &t) {
#if defined(LV_HAVE_XCB_DPMS) && QT_CONFIG(xcb)
  if (!capable()) return false;
  xcb_connection_t *c = connection();
  uint16_t level = 0;
  bool enabled = false;
  if (!info(c, level, enabled)) return false;
  xcb_dpms_get_timeouts_reply_t *r = xcb_dpms_get_timeouts_reply(c, xcb_dpms_get_timeouts(c), nullptr);
  if (!r) return false;
  // A timeout of 0 is one the server never reaches.
  t.lowPowerActive = enabled && r->standby_timeout > 0;
  t.lowPowerSeconds = r->standby_timeout;
  t.powerOffActive = enabled && r->off_timeout > 0;
  t.powerOffSeconds = r->off_timeout;
  std::free(r);
  return true;
#else
  (void)t;
  return false;
#endif
}
