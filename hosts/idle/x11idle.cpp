#include "hosts/idle/idlesource.h"

#ifdef LV_HAVE_XCB_SCREENSAVER

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <vector>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

namespace {

// How long to wait before asking the counter again, 0 once the session has
// been idle for `thresholdMs`, counted from the later of the last input
// (`idleMs` ago) and the arming (`armedMs` ago): a saver that ended without
// input does not start again at once.
uint32_t idleWaitMs(uint32_t idleMs, uint32_t armedMs, uint32_t thresholdMs) {
  const uint32_t idle = std::min(idleMs, armedMs);
  return idle >= thresholdMs ? 0 : thresholdMs - idle;
}

// The X server's idle counter (the screen-saver extension's time since the
// last input), asked when the threshold would be reached if no input came
// meanwhile, never more often: a session in use wakes the watcher about once
// per threshold. A player that resets the server's screen saver (as
// `xdg-screensaver reset`, `xset s reset` and most players do while a video
// plays) resets the counter too, and so holds the saver off.
class X11Idle final : public IdleSource {
public:
  ~X11Idle() override {
    if (connection_) xcb_disconnect(connection_);
  }

  bool connect(std::string &err) {
    const char *display = std::getenv("DISPLAY");
    int screenNumber = 0;
    connection_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
      err = std::string("cannot open the X display ") + (display ? display : "(DISPLAY is not set)");
      return false;
    }
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(connection_, &xcb_screensaver_id);
    if (!ext || !ext->present) {
      err = std::string("the X server of ") + (display ? display : "the display") +
            " has no screen-saver extension (MIT-SCREEN-SAVER): it cannot tell the idle time";
      return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
      err = "the X display has no screen";
      return false;
    }
    root_ = it.data->root;
    if (daemonRuns()) {
      err = "XScreenSaver runs on this display and starts the savers itself: add lumenveil to its "
            "programs (see the README) rather than running --idle beside it";
      return false;
    }
    name = "X11 (screen-saver extension)";
    return true;
  }

  // Whether the XScreenSaver daemon runs: its window, a child of the root,
  // carries _SCREENSAVER_VERSION.
  bool daemonRuns() {
    const char Name[] = "_SCREENSAVER_VERSION";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 1, sizeof Name - 1, Name), nullptr);
    xcb_atom_t version = XCB_ATOM_NONE;
    if (atom) version = atom->atom;
    std::free(atom);
    if (version == XCB_ATOM_NONE) return false;
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr);
    if (!tree) return false;
    const xcb_window_t *kids = xcb_query_tree_children(tree);
    std::vector<xcb_get_property_cookie_t> asked;
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
      asked.push_back(xcb_get_property(connection_, 0, kids[i], version, XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
    std::free(tree);
    bool found = false;
    for (xcb_get_property_cookie_t c : asked) {
      xcb_get_property_reply_t *r = xcb_get_property_reply(connection_, c, nullptr);
      found = found || (r && r->type != XCB_ATOM_NONE);
      std::free(r);
    }
    return found;
  }

  void arm(uint32_t ms) override {
    armed_ = true;
    threshold_ = ms;
    armedAt_ = askAt_ = Clock::now(); // the counter is asked at once
  }
  void disarm() override { armed_ = false; }

  bool prepare(int &fd, int &timeoutMs) override {
    xcb_flush(connection_);
    fd = xcb_get_file_descriptor(connection_);
    timeoutMs = -1;
    if (armed_) {
      // Rounded up: a wait that ends a little early would only wake twice.
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(askAt_ - Clock::now()).count();
      timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
    }
    return !xcb_connection_has_error(connection_) || lost();
  }

  IdleEvent update(bool) override {
    // The watcher asks for no events: whatever comes is dropped, and the
    // descriptor turns readable when the server goes away.
    while (xcb_generic_event_t *e = xcb_poll_for_event(connection_)) std::free(e);
    if (xcb_connection_has_error(connection_)) return lost(), IdleEvent::Lost;
    if (!armed_) return IdleEvent::None;
    const Clock::time_point now = Clock::now();
    if (now < askAt_) return IdleEvent::None;
    const uint32_t armedMs = static_cast<uint32_t>(std::min<long long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - armedAt_).count(), UINT32_MAX));
    xcb_screensaver_query_info_reply_t *info = xcb_screensaver_query_info_reply(
        connection_, xcb_screensaver_query_info(connection_, root_), nullptr);
    if (!info) return lost(), IdleEvent::Lost;
    const uint32_t wait = idleWaitMs(info->ms_since_user_input, armedMs, threshold_);
    std::free(info);
    askAt_ = now + std::chrono::milliseconds(wait);
    if (wait > 0) return IdleEvent::None;
    armed_ = false;
    return IdleEvent::Idle;
  }

private:
  using Clock = std::chrono::steady_clock;
  bool lost() {
    error = "the X server closed the connection";
    return false;
  }

  xcb_connection_t *connection_ = nullptr;
  xcb_window_t root_ = 0;
  bool armed_ = false;
  uint32_t threshold_ = 0;
  Clock::time_point armedAt_, askAt_; // when the watcher was armed; when to ask the counter next
};

} // namespace

std::unique_ptr<IdleSource> openX11Idle(std::string &error) {
  auto source = std::make_unique<X11Idle>();
  if (!source->connect(error)) return nullptr;
  return source;
}

#else

std::unique_ptr<IdleSource> openX11Idle(std::string &error) {
  error = "this build has no X11 idle support (it was built without libxcb-screensaver)";
  return nullptr;
}

#endif
