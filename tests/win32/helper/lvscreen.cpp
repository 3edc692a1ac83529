// Drives the saver for the Wine test of its Native mode, from inside Wine and
// inside one desktop, doing the steps its arguments list in order:
//   mode W H        switches the display to W x H
//   start PROGRAM   starts PROGRAM (a whole command line)
//   grid SECONDS    waits up to SECONDS for the screen to show the saver's
//                   centering grid at the screen's own size, and prints
//                   where the white lines are
//   close           asks the saver to close, as another copy of the program
//                   does, and waits for it to end with 0
//   monitors LOOKS SECONDS
//                   waits up to SECONDS for each monitor to look as LOOKS
//                   says, one letter a monitor, the primary first: L lit
//                   and moving (two looks differ), D dark; prints each
//                   monitor's area and how much of it is lit
//   processes NAME COUNT SECONDS
//                   waits up to SECONDS for COUNT processes of that file
//                   name to be running
// Stops at the first step that fails, with exit code 1.
//
// The grid of frames drawn at the screen's size and shown as they are: five
// columns and five rows entirely white, one pixel wide, at the screen's first
// and last pixels and within a pixel of its quarters. A frame of another size,
// scaled or placed on black, moves, widens, blurs or loses lines.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

PROCESS_INFORMATION Saver{};

bool changeMode(int width, int height) {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  mode.dmPelsWidth = static_cast<DWORD>(width);
  mode.dmPelsHeight = static_cast<DWORD>(height);
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
  const LONG result = ChangeDisplaySettingsA(&mode, 0);
  std::printf("mode %dx%d: %s\n", width, height, result == DISP_CHANGE_SUCCESSFUL ? "done" : "refused");
  return result == DISP_CHANGE_SUCCESSFUL && GetSystemMetrics(SM_CXSCREEN) == width &&
         GetSystemMetrics(SM_CYSCREEN) == height;
}

bool start(const std::string &commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  const bool started =
      CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &Saver);
  std::printf("start %s: %s\n", commandLine.c_str(), started ? "running" : "cannot start");
  return started;
}

// Near white in all three channels.
bool white(uint32_t pixel) {
  return (pixel & 0xFF) >= 0xF0 && ((pixel >> 8) & 0xFF) >= 0xF0 && ((pixel >> 16) & 0xFF) >= 0xF0;
}

// The columns (or rows) of the screen that are white from end to end; a line
// of the grid may be crossed by a few pixels of the scene, so nearly every
// pixel of it counts.
std::vector<int> whiteLines(const uint32_t *p, int w, int h, bool columns) {
  std::vector<int> lines;
  const int count = columns ? w : h, length = columns ? h : w;
  for (int i = 0; i < count; ++i) {
    int n = 0;
    for (int j = 0; j < length; ++j)
      n += white(columns ? p[static_cast<size_t>(j) * w + i] : p[static_cast<size_t>(i) * w + j]);
    if (n >= length - length / 50) lines.push_back(i);
  }
  return lines;
}

bool gridOf(const std::vector<int> &lines, int side) {
  if (lines.size() != 5 || lines[0] != 0 || lines[4] != side - 1) return false;
  for (int i = 1; i < 4; ++i) {
    const double d = lines[i] - (side - 1) * i / 4.0;
    if (d < -1.0 || d > 1.0) return false;
  }
  return true;
}

std::string listed(const std::vector<int> &lines) {
  std::string s;
  for (int v : lines) s += " " + std::to_string(v);
  return s;
}

// One look at the screen; true when it shows the grid at its own size.
bool lookAtGrid(bool report) {
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  RECT window{};
  HWND saver = FindWindowA("TEmptyForm", nullptr);
  if (saver) GetWindowRect(saver, &window);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h; // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC copy = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool shown = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto *p = static_cast<const uint32_t *>(bits);
    const std::vector<int> columns = whiteLines(p, w, h, true), rows = whiteLines(p, w, h, false);
    const bool covers =
        saver && window.left == 0 && window.top == 0 && window.right == w && window.bottom == h;
    shown = covers && gridOf(columns, w) && gridOf(rows, h);
    if (report || shown)
      std::printf("grid %dx%d: %s; saver window %ldx%ld at %ld,%ld; white columns%s; rows%s\n", w, h,
                  shown ? "at the screen's size" : "NOT at the screen's size", window.right - window.left,
                  window.bottom - window.top, window.left, window.top, listed(columns).c_str(),
                  listed(rows).c_str());
    SelectObject(copy, old);
    DeleteObject(bitmap);
  }
  DeleteDC(copy);
  ReleaseDC(nullptr, screen);
  return shown;
}

bool waitForGrid(int seconds) {
  const DWORD until = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  while (static_cast<LONG>(until - GetTickCount()) > 0) {
    if (lookAtGrid(false)) return true;
    if (Saver.hProcess && WaitForSingleObject(Saver.hProcess, 0) == WAIT_OBJECT_0) {
      std::printf("the saver ended\n");
      return false;
    }
    Sleep(500);
  }
  lookAtGrid(true);
  return false;
}

bool closeSaver() {
  HWND app = FindWindowA("TApplication", "Lumenveil & Astrel-1");
  DWORD_PTR result = 0;
  if (app) SendMessageTimeoutA(app, WM_CLOSE, 0x123, 0x123, SMTO_ABORTIFHUNG, 5000, &result);
  if (!Saver.hProcess) return app != nullptr;
  if (WaitForSingleObject(Saver.hProcess, 20000) != WAIT_OBJECT_0) {
    std::printf("close: the saver did not end\n");
    TerminateProcess(Saver.hProcess, 1);
    return false;
  }
  DWORD code = 1;
  GetExitCodeProcess(Saver.hProcess, &code);
  std::printf("close: the saver ended with %lu\n", code);
  return code == 0;
}

struct Monitor {
  RECT area;
  bool primary;
};

std::vector<Monitor> monitorsNow() {
  std::vector<Monitor> list;
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR m, HDC, LPRECT, LPARAM p) -> BOOL {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        GetMonitorInfoA(m, &info);
        auto *l = reinterpret_cast<std::vector<Monitor> *>(p);
        const Monitor one{info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0};
        if (one.primary)
          l->insert(l->begin(), one);
        else
          l->push_back(one);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&list));
  return list;
}

// The pixels of an area of the virtual screen, top row first.
std::vector<uint32_t> pixelsOf(const RECT &r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  std::vector<uint32_t> pixels;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC copy = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap) {
    HGDIOBJ old = SelectObject(copy, bitmap);
    BitBlt(copy, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const auto *p = static_cast<const uint32_t *>(bits);
    pixels.assign(p, p + static_cast<size_t>(w) * h);
    SelectObject(copy, old);
    DeleteObject(bitmap);
  }
  DeleteDC(copy);
  ReleaseDC(nullptr, screen);
  return pixels;
}

size_t litPixels(const std::vector<uint32_t> &p) {
  size_t n = 0;
  for (uint32_t v : p) n += (v & 0xFFFFFF) != 0;
  return n;
}

// One look at every monitor, and another a moment later; true when each
// looks as wanted.
bool lookAtMonitors(const std::string &looks, bool report) {
  const std::vector<Monitor> monitors = monitorsNow();
  std::vector<std::vector<uint32_t>> first;
  for (const Monitor &m : monitors) first.push_back(pixelsOf(m.area));
  Sleep(300);
  bool ok = monitors.size() == looks.size();
  for (size_t i = 0; i < monitors.size(); ++i) {
    const std::vector<uint32_t> second = pixelsOf(monitors[i].area);
    const size_t lit = litPixels(second), all = second.size();
    const bool moving = second != first[i];
    const bool wanted = i < looks.size() && (looks[i] == 'L' ? lit * 20 >= all && moving : lit == 0);
    ok = ok && wanted;
    if (report)
      std::printf("monitor %zu %ldx%ld at %ld,%ld%s: %zu of %zu pixels lit, %s\n", i,
                  monitors[i].area.right - monitors[i].area.left,
                  monitors[i].area.bottom - monitors[i].area.top, monitors[i].area.left, monitors[i].area.top,
                  monitors[i].primary ? " (primary)" : "", lit, all, moving ? "moving" : "still");
  }
  return ok;
}

bool waitForMonitors(const std::string &looks, int seconds) {
  const DWORD until = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  while (static_cast<LONG>(until - GetTickCount()) > 0) {
    if (lookAtMonitors(looks, false)) break;
    Sleep(200);
  }
  const bool ok = lookAtMonitors(looks, true);
  std::printf("monitors %s: %s\n", looks.c_str(), ok ? "as wanted" : "NOT as wanted");
  return ok;
}

int processesNamed(const char *name) {
  int n = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    n += lstrcmpiA(entry.szExeFile, name) == 0;
  CloseHandle(snapshot);
  return n;
}

bool waitForProcesses(const char *name, int count, int seconds) {
  const DWORD until = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  int n = processesNamed(name);
  while (n != count && static_cast<LONG>(until - GetTickCount()) > 0) {
    Sleep(200);
    n = processesNamed(name);
  }
  std::printf("processes %s: %d running%s\n", name, n, n == count ? "" : " (NOT as wanted)");
  return n == count;
}

} // namespace

int main(int argc, char **argv) {
  bool ok = true;
  for (int i = 1; ok && i < argc; ++i) {
    const std::string step = argv[i];
    if (step == "mode" && i + 2 < argc) {
      ok = changeMode(std::atoi(argv[i + 1]), std::atoi(argv[i + 2]));
      i += 2;
    } else if (step == "start" && i + 1 < argc) {
      ok = start(argv[++i]);
    } else if (step == "grid" && i + 1 < argc) {
      ok = waitForGrid(std::atoi(argv[++i]));
    } else if (step == "close") {
      ok = closeSaver();
    } else if (step == "monitors" && i + 2 < argc) {
      ok = waitForMonitors(argv[i + 1], std::atoi(argv[i + 2]));
      i += 2;
    } else if (step == "processes" && i + 3 < argc) {
      ok = waitForProcesses(argv[i + 1], std::atoi(argv[i + 2]), std::atoi(argv[i + 3]));
      i += 3;
    } else {
      std::printf("lvscreen: unknown step %s\n", step.c_str());
      ok = false;
    }
    std::fflush(stdout);
  }
  if (!ok && Saver.hProcess && WaitForSingleObject(Saver.hProcess, 0) == WAIT_TIMEOUT) closeSaver();
  std::fflush(stdout);
  return ok ? 0 : 1;
}
