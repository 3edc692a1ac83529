#include "hosts/common/processtime.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

double processCpuSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
  auto seconds = [](const FILETIME &t) {
    return (double)(((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime) * 1e-7;
  };
  return seconds(kernel) + seconds(user);
#else
  timespec t{};
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0) return 0.0;
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
#endif
}
