#include "frame/framestate.h"

#include "platform/ticks.h"

// The clock keeps the tick seconds of its last step in double precision: the
// ticks count from program start, and a float would lose the milliseconds
// after a few hours of running.
double ClockSeconds = 0.0;
float ElapsedSeconds = 0.0f;
float FrameDelta = 0.0f;
uint32_t FrameCounter = 0;

float PeakAlpha = 255.0f;
bool MonitorOff = false;

int ScreenWidth = 0, ScreenHeight = 0;
float ScreenWidthF = 0.0f, ScreenHeightF = 0.0f, ScreenCenterX = 0.0f, ScreenCenterY = 0.0f;

void setRenderSize(int width, int height) {
  ScreenWidth = width;
  ScreenHeight = height;
  ScreenWidthF = static_cast<float>(width);
  ScreenHeightF = static_cast<float>(height);
  ScreenCenterX = ScreenWidthF * 0.5f;
  ScreenCenterY = ScreenHeightF * 0.5f;
}

void startClock() {
  ClockSeconds = tickSeconds();
  ElapsedSeconds = 0.0f;
  FrameDelta = 0.0f;
}

void stepClock() {
  double t = tickSeconds() - ClockSeconds;
  if (t < 0.00001)
    FrameDelta = 0.00001f;
  else
    FrameDelta = static_cast<float>(tickSeconds() - ClockSeconds);
  // The tick count may have moved on between the two readings; a float delta
  // is never below the floor either way.
  if (FrameDelta < 0.00001f) FrameDelta = 0.00001f;
  ClockSeconds += FrameDelta;
  ElapsedSeconds += FrameDelta;
}
