#include "platform/timers.h"

#include <algorithm>
#include <vector>

#include "platform/ticks.h"

namespace {

class TickTimers : public TimerService {
public:
  TimerId setTimer(uint32_t ms, TimerProc proc) override {
    if (!proc) return 0;
    if (++lastId_ == 0) ++lastId_;
    timers_.push_back({lastId_, ms, tickSeconds() + ms * 0.001, proc});
    return lastId_;
  }
  void killTimer(TimerId id) override {
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [id](const Entry &e) { return e.id == id; }),
                  timers_.end());
  }
  void dispatchDueTimers() override {
    // A callback may kill or start timers: look each due one up again by id.
    const double now = tickSeconds();
    std::vector<TimerId> due;
    for (const Entry &e : timers_)
      if (e.due <= now) due.push_back(e.id);
    for (TimerId id : due) {
      auto it = std::find_if(timers_.begin(), timers_.end(), [id](const Entry &e) { return e.id == id; });
      if (it == timers_.end()) continue;
      // Like the system's timers, a late one fires once and keeps its period from now.
      it->due = now + it->ms * 0.001;
      TimerProc proc = it->proc;
      proc();
    }
  }
  void idleWait(uint32_t ms) override {
    // A fixed-step clock stands still between frames: waiting would change nothing.
    if (tickClockStepped()) return;
    double wait = ms * 0.001;
    const double now = tickSeconds();
    for (const Entry &e : timers_) wait = std::min(wait, e.due - now);
    if (wait > 0.0) sleepMilliseconds(static_cast<int>(wait * 1000.0 + 0.999));
  }

private:
  struct Entry {
    TimerId id;
    uint32_t ms;
    double due;
    TimerProc proc;
  };
  std::vector<Entry> timers_;
  TimerId lastId_ = 0;
};

TickTimers DefaultTimers;
TimerService *Installed = nullptr;

} // namespace

TimerService &timers() { return Installed ? *Installed : DefaultTimers; }
void setTimerService(TimerService *service) { Installed = service; }
