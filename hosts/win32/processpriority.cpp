#include "hosts/win32/processpriority.h"

#include <windows.h>

bool Win32Priority::setPriority(ProcessPriority priority) {
  // High is as far as the program goes: a real-time class would let a busy
  // saver hold the whole desktop.
  DWORD priorityClass = NORMAL_PRIORITY_CLASS;
  if (priority == ProcessPriority::Idle) priorityClass = IDLE_PRIORITY_CLASS;
  if (priority == ProcessPriority::High) priorityClass = HIGH_PRIORITY_CLASS;
  return SetPriorityClass(GetCurrentProcess(), priorityClass) != 0;
}
