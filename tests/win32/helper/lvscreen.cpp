// A look at the screen for the Wine tests, from inside Wine:
//   lvscreen size        the screen's size: "screen W H"
//   lvscreen mode W H    switches the display to W x H (exit 1 when refused)
//   lvscreen grid        the screen's size, the saver window's place, and the
//                        columns and rows of the screen that are white from end
//                        to end (the saver's centering grid)
//   lvscreen close       asks a running saver to close, as another copy of the
//                        program does, and waits up to 10 s for it to end
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void printScreen() {
  std::printf("screen %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

int changeMode(int width, int height) {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  mode.dmPelsWidth = static_cast<DWORD>(width);
  mode.dmPelsHeight = static_cast<DWORD>(height);
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
  const LONG result = ChangeDisplaySettingsA(&mode, 0);
  std::printf("mode %dx%d: %ld\n", width, height, result);
  printScreen();
  return result == DISP_CHANGE_SUCCESSFUL ? 0 : 1;
}

// Near white in all three channels.
bool white(uint32_t pixel) {
  return (pixel & 0xFF) >= 0xF0 && ((pixel >> 8) & 0xFF) >= 0xF0 && ((pixel >> 16) & 0xFF) >= 0xF0;
}

int grid() {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  std::printf("screen %d %d\n", w, h);
  if (HWND saver = FindWindowA("TEmptyForm", nullptr)) {
    RECT r{};
    GetWindowRect(saver, &r);
    std::printf("window %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  } else {
    std::printf("window none\n");
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC copy = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) {
    std::printf("cannot read the screen\n");
    return 1;
  }
  HGDIOBJ old = SelectObject(copy, bitmap);
  BitBlt(copy, 0, 0, w, h, screen, 0, 0, SRCCOPY);
  GdiFlush();
  const uint32_t *p = static_cast<const uint32_t *>(bits);
  // A line of the grid may be crossed by a few pixels of the scene drawn
  // over it: nearly every pixel of it is white.
  std::printf("columns");
  for (int x = 0; x < w; ++x) {
    int n = 0;
    for (int y = 0; y < h; ++y) n += white(p[static_cast<size_t>(y) * w + x]);
    if (n >= h - h / 50) std::printf(" %d", x);
  }
  std::printf("\nrows");
  for (int y = 0; y < h; ++y) {
    int n = 0;
    for (int x = 0; x < w; ++x) n += white(p[static_cast<size_t>(y) * w + x]);
    if (n >= w - w / 50) std::printf(" %d", y);
  }
  std::printf("\n");
  SelectObject(copy, old);
  DeleteObject(bitmap);
  DeleteDC(copy);
  ReleaseDC(nullptr, screen);
  return 0;
}

int closeSaver() {
  HWND app = FindWindowA("TApplication", "Lumenveil & Astrel-1");
  if (!app) return 0;
  DWORD process = 0;
  GetWindowThreadProcessId(app, &process);
  HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
  DWORD_PTR result = 0;
  SendMessageTimeoutA(app, WM_CLOSE, 0x123, 0x123, SMTO_ABORTIFHUNG, 5000, &result);
  const bool ended = !handle || WaitForSingleObject(handle, 10000) == WAIT_OBJECT_0;
  if (handle) CloseHandle(handle);
  return ended ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  int code = 2;
  if (argc == 2 && std::strcmp(argv[1], "size") == 0) {
    printScreen();
    code = 0;
  } else if (argc == 4 && std::strcmp(argv[1], "mode") == 0) {
    code = changeMode(std::atoi(argv[2]), std::atoi(argv[3]));
  } else if (argc == 2 && std::strcmp(argv[1], "grid") == 0) {
    code = grid();
  } else if (argc == 2 && std::strcmp(argv[1], "close") == 0) {
    code = closeSaver();
  } else {
    std::fprintf(stderr, "usage: lvscreen size | mode W H | grid | close\n");
  }
  std::fflush(stdout);
  return code;
}
