#include "frame/random.h"

#include <ctime>

namespace {
unsigned State = 1;
bool HaveFixedSeed = false;
unsigned FixedSeed = 0;
} // namespace

void programSrand(unsigned seed) { State = seed; }

int programRand() {
  State = State * 214013u + 2531011u;
  return static_cast<int>((State >> 16) & 0x7FFFu);
}

unsigned timeSeed() {
  if (HaveFixedSeed) return FixedSeed;
  return static_cast<unsigned>(std::time(nullptr));
}

void setFixedSeed(unsigned seed) {
  HaveFixedSeed = true;
  FixedSeed = seed;
}

void clearFixedSeed() { HaveFixedSeed = false; }
