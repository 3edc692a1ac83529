// The Windows screen saver's entry: the system starts it with the saver
// switches (/s, /c, /p HWND ...); the headless options (--render ...) work as
// on every other build.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "hosts/headless/lumenveilmain.h"
#include "hosts/win32/processpriority.h"
#include "hosts/win32/registry/machineoruser.h"
#include "hosts/win32/winhost.h"

namespace {

// A program of the windows subsystem has no console of its own: headless runs
// started from a console write their output there.
void useParentConsole() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  std::freopen("CONOUT$", "w", stdout);
  std::freopen("CONOUT$", "w", stderr);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc > 1 && __argv[1][0] == '-') useParentConsole();
  static Win32Priority priority;
  setPriorityControl(&priority);
  setRegistryStore(&windowsRegistryStore());
  return lumenveilMain(__argc, __argv, runWin32Host);
}
