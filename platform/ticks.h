// The system tick count: seconds of a monotonic clock counted from program
// start, so the program's float clock keeps its precision however long the
// machine has been up. Headless runs replace it with a fixed step per frame.
#pragma once

#include <cstdint>

// Milliseconds since program start (the GetTickCount of the program).
uint32_t getTickCount();

// The tick count in seconds, at full precision (fixed-step runs give exact
// multiples of the step).
double tickSeconds();

// Fixed-step clock: from now on the clock stands still and moves only by
// advanceFixedClock(), one step of 1/fps seconds each call. fps <= 0 returns
// to the real clock.
void setFixedClock(double fps);
bool fixedClockActive();
void advanceFixedClock();

// Sleeps the calling thread (the Sleep of the program).
void sleepMilliseconds(int ms);
