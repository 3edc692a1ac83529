#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "assets/framestats.h"

namespace {

// Runs frames at a steady rate, moving the clock; returns the last read-out.
std::string run(FrameStats &s, int frames, float fps, float &clock) {
  std::string last;
  char text[256];
  for (int i = 0; i < frames; ++i) {
    clock += 1.0f / fps;
    if (stepFrameStats(s, clock, text)) last = text;
  }
  return last;
}

TEST(FrameStats, FirstReadOutOnTheSixtySixthFrame) {
  FrameStats s;
  resetFrameStats(s);
  float clock = 0.0f;
  char text[256];
  for (int frame = 1; frame <= 65; ++frame) {
    clock += 1.0f / 60.0f;
    EXPECT_FALSE(stepFrameStats(s, clock, text)) << frame;
  }
  clock += 1.0f / 60.0f;
  EXPECT_TRUE(stepFrameStats(s, clock, text));
  EXPECT_EQ(s.counter, 66);
}

TEST(FrameStats, SteadySixtyFramesASecond) {
  FrameStats s;
  resetFrameStats(s);
  float clock = 0.0f;
  EXPECT_EQ(run(s, 600, 60.0f, clock), "60.0(60/60/60)");
}

TEST(FrameStats, SlowStretchLowersTheLowestForGood) {
  FrameStats s;
  resetFrameStats(s);
  float clock = 0.0f;
  run(s, 300, 60.0f, clock);
  run(s, 64, 20.0f, clock);
  const std::string after = run(s, 600, 60.0f, clock);
  EXPECT_EQ(after.substr(0, 10), "60.0(20/53");
  EXPECT_NE(after.find("/60)"), std::string::npos) << after;
  // The highest rate is the highest 64-frame rate seen.
  FrameStats fast;
  float c2 = 0.0f;
  run(fast, 200, 30.0f, c2);
  run(fast, 100, 90.0f, c2);
  const std::string r = run(fast, 100, 30.0f, c2);
  EXPECT_NE(r.find("/90)"), std::string::npos) << r;
}

TEST(FrameStats, ResetClearsTheHistoryButNotTheCountOrExtremes) {
  FrameStats s;
  float clock = 0.0f;
  run(s, 100, 60.0f, clock);
  const float lowest = s.lowest;
  resetFrameStats(s);
  EXPECT_EQ(s.counter, 100);
  EXPECT_EQ(s.lowest, lowest);
  for (const FrameSample &h : s.history) {
    EXPECT_EQ(h.number, 0);
    EXPECT_EQ(h.time, 0.0f);
  }
}

} // namespace
