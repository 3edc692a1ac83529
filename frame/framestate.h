// The frame state every animated thing reads: the shared clock, the render
// size the projection uses, the peak alpha and the monitor-off flag. Only the
// frame loop advances the clock; only the display layer sets the size.
#pragma once

#include <cstdint>

// Shared clock.
extern double ClockSeconds;   // tick seconds at the last clock step
extern float ElapsedSeconds;  // seconds since the clock was last started
extern float FrameDelta;      // seconds of the current frame, never below 0.00001
extern uint32_t FrameCounter; // frames rendered since start

extern float PeakAlpha; // alpha of a fully visible object: 255, or 127.5 with motion blur
extern bool MonitorOff; // no frames while set

// Render size, always set together by setRenderSize.
extern int ScreenWidth, ScreenHeight;
extern float ScreenWidthF, ScreenHeightF, ScreenCenterX, ScreenCenterY;

void setRenderSize(int width, int height);

// Restarts the clock at the current tick count.
void startClock();
// Advances the clock by the ticks since its last step.
void stepClock();
