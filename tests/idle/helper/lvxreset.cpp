// What a video player does on X11 to keep the screen saver away: resets the
// X server's screen saver (XResetScreenSaver) every half second. Prints
// "resetting" after the first reset, then runs until it is ended.
#include <cstdio>
#include <time.h>
#include <xcb/xcb.h>

int main() {
  xcb_connection_t *c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "lvxreset: no X display\n");
    return 1;
  }
  for (bool first = true;; first = false) {
    xcb_void_cookie_t reset = xcb_force_screen_saver_checked(c, XCB_SCREEN_SAVER_RESET);
    if (xcb_generic_error_t *e = xcb_request_check(c, reset)) {
      std::fprintf(stderr, "lvxreset: the reset failed (%d)\n", e->error_code);
      return 1;
    }
    if (first) {
      std::printf("resetting\n");
      std::fflush(stdout);
    }
    const timespec half{0, 500000000L};
    nanosleep(&half, nullptr);
  }
}
