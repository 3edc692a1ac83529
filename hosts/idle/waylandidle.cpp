#include "hosts/idle/idlesource.h"

#ifdef LV_HAVE_WAYLAND_IDLE

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"

namespace {

// ext-idle-notify-v1 where the compositor offers it, else KWin's and older
// wlroots' org_kde_kwin_idle; both leave out the time an idle inhibitor (a
// playing video) holds, so the watcher need not look for those itself.
class WaylandIdle final : public IdleSource {
public:
  ~WaylandIdle() override {
    if (!display_) return;
    if (reading_) wl_display_cancel_read(display_);
    disarm();
    if (ext_) ext_idle_notifier_v1_destroy(ext_);
    if (kde_) org_kde_kwin_idle_destroy(kde_);
    if (seat_) wl_seat_destroy(seat_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
  }

  bool connect(std::string &err) {
    const char *socket = std::getenv("WAYLAND_DISPLAY");
    display_ = wl_display_connect(nullptr);
    if (!display_) {
      err = std::string("cannot reach the Wayland compositor (WAYLAND_DISPLAY=") + (socket ? socket : "") +
            "): " + std::strerror(errno);
      return false;
    }
    registry_ = wl_display_get_registry(display_);
    static const wl_registry_listener RegistryListener = {onGlobal, onGlobalRemove};
    wl_registry_add_listener(registry_, &RegistryListener, this);
    if (wl_display_roundtrip(display_) < 0) {
      err = "the Wayland compositor closed the connection";
      return false;
    }
    if (!seat_) {
      err = "the Wayland compositor has no seat (no input) to watch";
      return false;
    }
    if (!ext_ && !kde_) {
      err = "the Wayland compositor offers no idle notification: neither ext-idle-notify-v1 (the "
            "idle-notification protocol) nor org_kde_kwin_idle. Start the saver from the "
            "compositor's own idle tool instead (e.g. swayidle: see the README)";
      return false;
    }
    IdleSource::name = ext_ ? "Wayland (ext-idle-notify-v1)" : "Wayland (org_kde_kwin_idle)";
    return true;
  }

  void arm(uint32_t ms) override {
    disarm();
    if (ext_) {
      extNote_ = ext_idle_notifier_v1_get_idle_notification(ext_, ms, seat_);
      static const ext_idle_notification_v1_listener Listener = {
          [](void *self, ext_idle_notification_v1 *) { static_cast<WaylandIdle *>(self)->idled_ = true; },
          [](void *, ext_idle_notification_v1 *) {}};
      ext_idle_notification_v1_add_listener(extNote_, &Listener, this);
    } else {
      kdeNote_ = org_kde_kwin_idle_get_idle_timeout(kde_, seat_, ms);
      static const org_kde_kwin_idle_timeout_listener Listener = {
          [](void *self, org_kde_kwin_idle_timeout *) { static_cast<WaylandIdle *>(self)->idled_ = true; },
          [](void *, org_kde_kwin_idle_timeout *) {}};
      org_kde_kwin_idle_timeout_add_listener(kdeNote_, &Listener, this);
    }
  }

  void disarm() override {
    if (extNote_) ext_idle_notification_v1_destroy(extNote_);
    if (kdeNote_) org_kde_kwin_idle_timeout_release(kdeNote_);
    extNote_ = nullptr;
    kdeNote_ = nullptr;
    idled_ = false;
  }

  bool prepare(int &fd, int &timeoutMs) override {
    while (wl_display_prepare_read(display_) != 0)
      if (wl_display_dispatch_pending(display_) < 0) return lost();
    reading_ = true;
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) return lost();
    fd = wl_display_get_fd(display_);
    timeoutMs = idled_ ? 0 : -1;
    return true;
  }

  IdleEvent update(bool readable) override {
    if (reading_) {
      reading_ = false;
      if (!readable)
        wl_display_cancel_read(display_);
      else if (wl_display_read_events(display_) < 0)
        return lost(), IdleEvent::Lost;
    }
    if (wl_display_dispatch_pending(display_) < 0) return lost(), IdleEvent::Lost;
    if (!idled_) return IdleEvent::None;
    idled_ = false;
    return IdleEvent::Idle;
  }

private:
  bool lost() {
    if (reading_) wl_display_cancel_read(display_);
    reading_ = false;
    const int e = wl_display_get_error(display_);
    error = std::string("the Wayland compositor closed the connection") +
            (e ? std::string(" (") + std::strerror(e) + ")" : "");
    return false;
  }

  static void onGlobal(void *data, wl_registry *registry, uint32_t id, const char *interface, uint32_t) {
    auto *self = static_cast<WaylandIdle *>(data);
    if (!self->ext_ && std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0)
      self->ext_ = static_cast<ext_idle_notifier_v1 *>(
          wl_registry_bind(registry, id, &ext_idle_notifier_v1_interface, 1));
    else if (!self->kde_ && std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0)
      self->kde_ =
          static_cast<org_kde_kwin_idle *>(wl_registry_bind(registry, id, &org_kde_kwin_idle_interface, 1));
    else if (!self->seat_ && std::strcmp(interface, wl_seat_interface.name) == 0)
      self->seat_ = static_cast<wl_seat *>(wl_registry_bind(registry, id, &wl_seat_interface, 1));
  }
  static void onGlobalRemove(void *, wl_registry *, uint32_t) {}

  wl_display *display_ = nullptr;
  wl_registry *registry_ = nullptr;
  wl_seat *seat_ = nullptr;
  ext_idle_notifier_v1 *ext_ = nullptr;
  org_kde_kwin_idle *kde_ = nullptr;
  ext_idle_notification_v1 *extNote_ = nullptr;
  org_kde_kwin_idle_timeout *kdeNote_ = nullptr;
  bool idled_ = false;
  bool reading_ = false;
};

} // namespace

std::unique_ptr<IdleSource> openWaylandIdle(std::string &error) {
  auto source = std::make_unique<WaylandIdle>();
  if (!source->connect(error)) return nullptr;
  return source;
}

#else

std::unique_ptr<IdleSource> openWaylandIdle(std::string &error) {
  error = "this build has no Wayland support (it was built without libwayland-client, "
          "wayland-protocols and wayland-scanner)";
  return nullptr;
}

#endif
