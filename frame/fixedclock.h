// The fixed-step clock of headless runs and tests: while it is on, the tick
// clock stands still and moves only by advanceFixedClock(), one step of
// 1/fps seconds each call, so a run gives the same frames every time.
#pragma once

// From now on the clock moves one step of 1/fps seconds a call of
// advanceFixedClock(), starting at 0; fps <= 0 returns to the real clock.
void setFixedClock(double fps);
bool fixedClockActive();
void advanceFixedClock();
