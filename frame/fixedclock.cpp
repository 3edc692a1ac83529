#include "frame/fixedclock.h"

#include <cstdint>

#include "platform/ticks.h"

namespace {

class FixedClock : public TickClock {
public:
  double seconds() override { return static_cast<double>(frames) * step; }
  bool stepped() const override { return true; }
  double step = 0.0;
  uint64_t frames = 0;
};

FixedClock Clock;
bool Active = false;

} // namespace

void setFixedClock(double fps) {
  Active = fps > 0.0;
  Clock.step = Active ? 1.0 / fps : 0.0;
  Clock.frames = 0;
  setTickClock(Active ? &Clock : nullptr);
}

bool fixedClockActive() { return Active; }

void advanceFixedClock() {
  if (Active) ++Clock.frames;
}
