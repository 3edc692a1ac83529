// The system tick count: seconds of a monotonic clock counted from program
// start, so the program's float clock keeps its precision however long the
// machine has been up. Headless runs install a clock that moves a fixed step
// a frame instead (frame/fixedclock.h).
#pragma once

#include <cstdint>

// A clock the tick count can read.
class TickClock {
public:
  virtual ~TickClock() = default;
  // Seconds since program start.
  virtual double seconds() = 0;
  // Whether it moves only when told (then nothing waits for it).
  virtual bool stepped() const { return false; }
};

// Installs a clock; nullptr returns to the system's monotonic clock.
void setTickClock(TickClock *clock);
// Whether the installed clock moves only when told.
bool tickClockStepped();

// Milliseconds since program start (the GetTickCount of the program).
uint32_t getTickCount();

// The tick count in seconds, at full precision (a stepped clock gives exact
// multiples of its step).
double tickSeconds();

// Sleeps the calling thread (the Sleep of the program).
void sleepMilliseconds(int ms);
