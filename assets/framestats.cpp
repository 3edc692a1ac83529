// The frame-rate read-out drawn at the lower left when statistics are on.
#include "assets/framestats.h"

#include <cstdio>

#include "assets/font.h"
#include "frame/framestate.h"

namespace {
FrameStats ProgramStats;
} // namespace

void resetFrameStats(FrameStats &stats) {
  for (FrameSample &s : stats.history) {
    s = {0, 0.0f};
  }
}

bool stepFrameStats(FrameStats &stats, float elapsed, char *text) {
  const int32_t n = stats.counter;
  stats.current = {n, elapsed};
  bool drawn = false;
  if (n > FrameHistorySize) {
    const FrameSample old = stats.history[n % FrameHistorySize];
    const float recent =
        static_cast<float>(stats.current.number - old.number) / (stats.current.time - old.time);
    const float average = static_cast<float>(n) / elapsed;
    if (recent < stats.lowest) stats.lowest = recent;
    if (recent > stats.highest) stats.highest = recent;
    std::snprintf(text, 256, "%3.1f(%0.0f/%0.0f/%0.0f)", recent, stats.lowest, average, stats.highest);
    drawn = true;
  }
  stats.history[n % FrameHistorySize] = stats.current;
  stats.counter = n + 1;
  return drawn;
}

void resetFrameStats() { resetFrameStats(ProgramStats); }

void updateFrameStats() {
  char text[256];
  if (stepFrameStats(ProgramStats, ElapsedSeconds, text)) {
    drawText(1, 3, text);
  }
}
