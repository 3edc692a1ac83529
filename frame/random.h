// The program's random generator: 0..32767, the range every scene assumes.
// Deterministic for a given seed on every platform (never the C library's rand()).
#pragma once

constexpr int RandMax = 32767;

// Restarts the sequence (the srand() of the program).
void programSrand(unsigned seed);

// The next number, 0..32767: state = state * 214013 + 2531011, result = (state >> 16) & 0x7FFF.
int programRand();

// The calendar time in seconds, or the fixed seed given on the command line
// (--seed), which replaces every time-based seed of a run.
unsigned timeSeed();
void setFixedSeed(unsigned seed);
void clearFixedSeed();
