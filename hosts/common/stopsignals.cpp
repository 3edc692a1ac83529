#include "hosts/common/stopsignals.h"

#include <atomic>
#include <csignal>

namespace {
std::atomic<bool> StopRequested{false};

void onStopSignal(int) { StopRequested.store(true); }
} // namespace

bool stopRequested() { return StopRequested.load(); }

void installStopSignals() {
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
  // A closed terminal ends a run like an interrupt: the last picture is
  // finished and the exit steps run.
#ifdef SIGHUP
  std::signal(SIGHUP, onStopSignal);
#endif
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}
