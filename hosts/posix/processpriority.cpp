#include "hosts/posix/processpriority.h"

#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// How much nicer than at start "high" is.
constexpr int HighBoost = 5;

// The process's threads: scheduling classes and nice values belong to each
// thread on Linux, and the priority is the whole process's.
std::vector<pid_t> threads() {
  std::vector<pid_t> ids;
  if (DIR *dir = opendir("/proc/self/task")) {
    while (dirent *e = readdir(dir)) {
      char *end = nullptr;
      const long id = std::strtol(e->d_name, &end, 10);
      if (end != e->d_name && *end == '\0' && id > 0) ids.push_back(static_cast<pid_t>(id));
    }
    closedir(dir);
  }
  if (ids.empty()) ids.push_back(0); // no /proc: the calling thread
  return ids;
}

bool apply(int policy, int nice) {
  bool ok = true;
  for (pid_t id : threads()) {
    sched_param param{};
    if (sched_setscheduler(id, policy, &param) != 0) ok = false;
    // The idle class ignores nice values; the others take theirs.
    if (policy != SCHED_IDLE && setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice) != 0) ok = false;
  }
  return ok;
}

} // namespace

PosixPriority::PosixPriority() {
  errno = 0;
  const int n = getpriority(PRIO_PROCESS, 0);
  startNice_ = errno == 0 ? n : 0;
}

bool PosixPriority::setPriority(ProcessPriority priority) {
  switch (priority) {
  case ProcessPriority::Idle: return apply(SCHED_IDLE, startNice_);
  case ProcessPriority::Normal: return apply(SCHED_OTHER, startNice_);
  case ProcessPriority::High: {
    // Where the user may not lower the nice value, the process stays normal.
    int high = startNice_ - HighBoost;
    if (high < -20) high = -20;
    if (apply(SCHED_OTHER, high)) return true;
    apply(SCHED_OTHER, startNice_);
    return false;
  }
  }
  return false;
}
