// Timers whose callbacks run from the main loop's message processing, never
// in the middle of a frame (the SetTimer/KillTimer of the program).
#pragma once

#include <cstdint>

using TimerProc = void (*)();
using TimerId = uint32_t; // 0: no timer

class TimerService {
public:
  virtual ~TimerService() = default;
  // Calls proc every ms milliseconds until the timer is killed; 0 when no
  // timer could be made.
  virtual TimerId setTimer(uint32_t ms, TimerProc proc) = 0;
  // Stops a timer; an unknown id or 0 is ignored.
  virtual void killTimer(TimerId id) = 0;
  // Calls the callbacks of the timers that are due; the main loop calls it
  // as part of its message processing.
  virtual void dispatchDueTimers() = 0;
  // Waits at most ms milliseconds, less when a timer falls due sooner: what
  // a main loop with nothing to draw does instead of spinning.
  virtual void idleWait(uint32_t ms) = 0;
};

// The installed service; by default timers on the program's tick clock
// (a fixed-step clock moves them with the frames, and then nothing sleeps).
TimerService &timers();
// Installs a service (tests: a fake clock); nullptr returns to the default.
void setTimerService(TimerService *service);
