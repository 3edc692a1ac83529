// The frame-rate read-out: the rate over the last 64 frames, then the lowest
// such rate, the average since the clock started and the highest such rate.
#pragma once

#include <cstdint>

struct FrameSample {
  int32_t number; // the sample counter when taken
  float time;     // the shared clock when taken
};

constexpr int FrameHistorySize = 64;

struct FrameStats {
  FrameSample current;
  FrameSample history[FrameHistorySize];
  int32_t counter = 0;         // calls of the update, never reset
  float lowest = 100000000.0f; // lowest 64-frame rate seen
  float highest = -100000000.0f;
};

// Clears the history slots only (the counter and extremes live on).
void resetFrameStats(FrameStats &stats);

// One frame's step at clock time elapsed: records the sample and, from the
// 66th call on, formats the read-out into text (256 bytes) and returns true.
bool stepFrameStats(FrameStats &stats, float elapsed, char *text);

// The program's statistics, kept for the whole run.
void resetFrameStats();
// Per frame: samples the shared clock and draws the read-out at (1, 3).
void updateFrameStats();
