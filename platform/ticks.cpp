#include "platform/ticks.h"

#include <chrono>
#include <thread>

namespace {
const auto ProgramStart = std::chrono::steady_clock::now();
bool Fixed = false;
double FixedStep = 0.0;
uint64_t FixedFrames = 0;
} // namespace

double tickSeconds() {
  if (Fixed) return static_cast<double>(FixedFrames) * FixedStep;
  auto now = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(now - ProgramStart).count();
}

uint32_t getTickCount() { return static_cast<uint32_t>(static_cast<uint64_t>(tickSeconds() * 1000.0)); }

void setFixedClock(double fps) {
  Fixed = fps > 0.0;
  FixedStep = Fixed ? 1.0 / fps : 0.0;
  FixedFrames = 0;
}

bool fixedClockActive() { return Fixed; }

void advanceFixedClock() {
  if (Fixed) ++FixedFrames;
}

void sleepMilliseconds(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
