// What a video player does on X11 to keep the screen saver away: resets the
// X server's screen saver (XResetScreenSaver) every half second. Prints
// "resetting" after the first reset, then runs until it is ended.
// `lvxreset daemon` shows the XScreenSaver daemon's mark instead (a window
// with _SCREENSAVER_VERSION), prints "daemon" and runs until it is ended.
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

int main(int argc, char **argv) {
  xcb_connection_t *c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "lvxreset: no X display\n");
    return 1;
  }
  if (argc > 1 && !std::strcmp(argv[1], "daemon")) {
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, 0, w, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0, nullptr);
    const char name[] = "_SCREENSAVER_VERSION", version[] = "6.06";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom->atom, XCB_ATOM_STRING, 8, sizeof version - 1,
                        version);
    std::free(atom);
    xcb_flush(c);
    std::printf("daemon\n");
    std::fflush(stdout);
    pause();
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
