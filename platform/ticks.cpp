#include "platform/ticks.h"

#include <chrono>
#include <thread>

namespace {

class SystemClock : public TickClock {
public:
  double seconds() override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

private:
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

SystemClock Default;
TickClock *Installed = nullptr;

TickClock &tickClock() { return Installed ? *Installed : Default; }

} // namespace

void setTickClock(TickClock *c) { Installed = c; }
bool tickClockStepped() { return tickClock().stepped(); }

double tickSeconds() { return tickClock().seconds(); }

uint32_t getTickCount() { return static_cast<uint32_t>(static_cast<uint64_t>(tickSeconds() * 1000.0)); }

void sleepMilliseconds(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
