// The frame loop and the shared clock every animated thing reads.
#pragma once

#include <cstdint>

// Shared clock. Only the frame loop advances it.
extern double ClockSeconds;   // tick seconds at the last clock step
extern float ElapsedSeconds;  // seconds since the clock was last started
extern float FrameDelta;      // seconds of the current frame, never below 0.00001
extern uint32_t FrameCounter; // frames rendered since start

extern int ActiveScene;       // -1 until chosen, 0 first scene, 1 second scene
extern bool SaverMode;        // true full-screen saver, false control panel
extern bool FrameLoopReady;
extern bool ShowCenteringAid;
extern bool ShowStatistics;
extern bool MotionBlur;
extern int MotionBlurDelta;
extern float PeakAlpha;       // alpha of a fully visible object: 255, or 127.5 with motion blur

// A display mode chosen for this run only (the command line's --mode), in
// place of the saved one; -1 keeps the saved mode.
extern int DisplayModeOverride;

void startClock();
void stepClock();
void selectScene(int scene);
bool initFrameLoop(bool saver);
void renderFrame();
void resetScene();
