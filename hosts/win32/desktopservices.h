// The Windows host's desktop services: the preview drawn into the display
// settings' window, the system's saver-password components, monitor power
// and the system's power-down settings, and the program's timers on the
// system's own (SetTimer). Installed for the life of a Win32DesktopPorts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/monitorpower.h"
#include "platform/passwordcomponents.h"
#include "platform/previewwindow.h"
#include "platform/timers.h"

// The system calls the saver's system state goes through; tests put their
// own in place to play another system or to record what was asked.
struct Win32SystemCalls {
  BOOL(WINAPI *getVersionEx)(OSVERSIONINFOA *info) = GetVersionExA;
  BOOL(WINAPI *systemParametersInfo)(UINT action, UINT param, void *value, UINT ini) = SystemParametersInfoA;
  // The monitor-power command, sent as the desktop window's system command.
  void (*sendMonitorPower)(int level) = nullptr; // nullptr: to the desktop window
};
Win32SystemCalls &win32SystemCalls();

// The platform id GetVersionEx reports (NT when it cannot tell).
int win32PlatformId();

class Win32PreviewWindow : public PreviewWindow {
public:
  explicit Win32PreviewWindow(HINSTANCE instance);
  ~Win32PreviewWindow() override;
  bool create(WindowHandle parent, int &width, int &height) override;
  bool pump(int &width, int &height) override;
  void show(const uint16_t *pixels, int width, int height) override;
  void destroy() override;

  HWND window() const { return window_; }
  // Draws the latest picture at the top left of dc, as the window's paint does.
  void paint(HDC dc) const;
  // The window procedure's work.
  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
  HINSTANCE instance_;
  HWND window_ = nullptr;
  HWND parent_ = nullptr;
  std::vector<uint16_t> picture_;
  int pictureWidth_ = 0, pictureHeight_ = 0;
  bool quit_ = false;
};

// The components from the system folder only: a library of that name in the
// current folder or beside the program is never taken.
class Win32PasswordComponents : public PasswordComponents {
public:
  ~Win32PasswordComponents() override;
  ComponentLoad loadVerifyRoutine(VerifyScreenSavePwd &routine) override;
  ComponentLoad loadChangeRoutine(PwdChangePassword &routine) override;

  // The full path of a library in the system folder; empty when the folder is unknown.
  static std::string systemLibraryPath(const char *name);

private:
  HMODULE verifyLibrary_ = nullptr;
  HMODULE changeLibrary_ = nullptr;
};

class Win32MonitorPower : public MonitorPower {
public:
  void setLevel(int level) override;
  // The system powers the monitor down by itself and tells the saver with
  // its system command; the program's own timers are for Windows 95/98.
  bool programMayPowerDown() override { return false; }
  int systemLevel() override { return 0; }
  bool desktopTimeouts(DesktopPowerTimeouts &timeouts) override;
};

// Timers of this thread (SetTimer with no window): their callbacks run from
// the message loop's dispatch.
class Win32Timers : public TimerService {
public:
  ~Win32Timers() override;
  TimerId setTimer(uint32_t ms, TimerProc proc) override;
  void killTimer(TimerId id) override;
  void dispatchDueTimers() override;
  void idleWait(uint32_t ms) override;

  size_t live() const { return procs_.size(); }

private:
  static void CALLBACK fire(HWND, UINT, UINT_PTR id, DWORD);
  std::map<UINT_PTR, TimerProc> procs_;
};

class Win32DesktopPorts {
public:
  explicit Win32DesktopPorts(HINSTANCE instance);
  ~Win32DesktopPorts();
  Win32DesktopPorts(const Win32DesktopPorts &) = delete;
  Win32DesktopPorts &operator=(const Win32DesktopPorts &) = delete;

private:
  Win32PreviewWindow preview_;
  Win32PasswordComponents password_;
  Win32MonitorPower power_;
  Win32Timers timers_;
};
