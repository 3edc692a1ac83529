// A helper for the window tests: makes a plain X window for the program to
// draw into, or reads back what a window shows.
//
//   lvxwin create W H   maps a W x H window with a pure green background,
//                       prints its id, lives until killed
//   lvxwin grab ID      (ID "root": the whole screen) prints: W H lit grey coloured background (pixel counts:
//                       not black, grey, coloured, the green background)
//   lvxwin grab ID X Y W H   the same for a part of the window
//   lvxwin ppm FILE     the same for a binary PPM picture (a screenshot), with
//                       no X server
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

int create(xcb_connection_t *c, xcb_screen_t *screen, int w, int h) {
  xcb_window_t win = xcb_generate_id(c);
  // Green, on the 24-bit true-colour screens the tests use: nothing the
  // program draws is exactly this.
  const uint32_t values[] = {0x00FF00u};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, win, screen->root, 10, 10, static_cast<uint16_t>(w),
                    static_cast<uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL, values);
  xcb_map_window(c, win);
  xcb_flush(c);
  std::printf("%u\n", win);
  std::fflush(stdout);
  for (;;) {
    xcb_generic_event_t *e = xcb_wait_for_event(c);
    if (!e) return 0;
    std::free(e);
  }
}

// Counts the pixels of an RGB picture into the figures grab prints.
void count(const uint8_t *p, long n, int step, int red, int green, int blue, int w, int h) {
  long lit = 0, grey = 0, coloured = 0, background = 0;
  for (long i = 0; i < n; ++i, p += step) {
    const int r = p[red], g = p[green], b = p[blue];
    if (r == 0 && g == 255 && b == 0) ++background;
    if (r + g + b < 24) continue;
    ++lit;
    const int hi = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const int lo = r < g ? (r < b ? r : b) : (g < b ? g : b);
    if (hi - lo <= 8)
      ++grey;
    else
      ++coloured;
  }
  std::printf("%d %d %ld %ld %ld %ld\n", w, h, lit, grey, coloured, background);
}

int ppm(const char *path) {
  FILE *f = std::fopen(path, "rb");
  int w = 0, h = 0, max = 0;
  if (!f || std::fscanf(f, "P6 %d %d %d", &w, &h, &max) != 3 || std::fgetc(f) == EOF || w <= 0 || h <= 0 ||
      max != 255 || w > 16384 || h > 16384) {
    std::fprintf(stderr, "lvxwin: %s is not a binary PPM picture\n", path);
    if (f) std::fclose(f);
    return 1;
  }
  const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
  auto *pixels = static_cast<uint8_t *>(std::malloc(bytes));
  const bool whole = pixels && std::fread(pixels, 1, bytes, f) == bytes;
  std::fclose(f);
  if (whole)
    count(pixels, static_cast<long>(w) * h, 3, 0, 1, 2, w, h);
  else
    std::fprintf(stderr, "lvxwin: %s is cut short\n", path);
  std::free(pixels);
  return whole ? 0 : 1;
}

int grab(xcb_connection_t *c, xcb_window_t win, int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) {
    xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(c, xcb_get_geometry(c, win), nullptr);
    if (!g) {
      std::fprintf(stderr, "lvxwin: no window %u\n", win);
      return 1;
    }
    w = g->width;
    h = g->height;
    std::free(g);
  }
  xcb_get_image_reply_t *img = xcb_get_image_reply(
      c,
      xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, win, static_cast<int16_t>(x), static_cast<int16_t>(y),
                    static_cast<uint16_t>(w), static_cast<uint16_t>(h), ~0u),
      nullptr);
  if (!img) {
    std::fprintf(stderr, "lvxwin: cannot read window %u\n", win);
    return 1;
  }
  // 24-bit visuals come back as 32 bits a pixel, blue first.
  count(xcb_get_image_data(img), xcb_get_image_data_length(img) / 4, 4, 2, 1, 0, w, h);
  std::free(img);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], "ppm") == 0) return ppm(argv[2]);
  xcb_connection_t *c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "lvxwin: no X server\n");
    return 1;
  }
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (argc == 4 && std::strcmp(argv[1], "create") == 0)
    return create(c, screen, std::atoi(argv[2]), std::atoi(argv[3]));
  if ((argc == 3 || argc == 7) && std::strcmp(argv[1], "grab") == 0) {
    const xcb_window_t win = std::strcmp(argv[2], "root") == 0
                                 ? screen->root
                                 : static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0));
    if (argc == 7)
      return grab(c, win, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
    return grab(c, win, 0, 0, 0, 0);
  }
  std::fprintf(stderr, "usage: lvxwin create W H | lvxwin grab ID [X Y W H] | lvxwin ppm FILE\n");
  return 2;
}
