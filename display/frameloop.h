// The frame loop: initialises everything once, then renders one frame at a
// time. It reaches the scenes and the run mode above it only through what they
// register here, so it depends on nothing above the display layer.
#pragma once

#include <cstdint>

#include "frame/framestate.h"

extern int ActiveScene; // -1 until chosen, 0 first scene, 1 second scene
extern bool SaverMode;  // true full-screen saver, false control panel
extern bool FrameLoopReady;
extern bool ShowCenteringAid;
extern bool ShowStatistics;
extern bool MotionBlur;
extern int MotionBlurDelta;

// A display mode chosen for this run only (the command line's --mode), in
// place of the saved one; -1 keeps the saved mode.
extern int DisplayModeOverride;
// The frame-rate read-out for this run whatever the setting (a screen-saver
// daemon's -fps); the saver only, as with the setting.
extern bool StatisticsOverride;

// What a scene gives the frame loop.
struct SceneEntry {
  void (*build)(bool saver, bool motionBlur) = nullptr; // at initialisation
  void (*step)(bool motionBlur) = nullptr;              // once a frame
  void (*reset)() = nullptr;                            // back to its start
};
constexpr int SceneCount = 2;
// Registers scene index (0 first, 1 second); an index outside 0..SceneCount-1 is ignored.
void registerScene(int index, const SceneEntry &entry);

// Calls into the run mode above the frame loop; a null entry is skipped.
struct FrameLoopHooks {
  void (*setTaskPriority)(int level) = nullptr; // at initialisation
  void (*raiseWindow)() = nullptr;              // every 256 frames of the saver
};
void setFrameLoopHooks(const FrameLoopHooks &hooks);

// The scene of the next start, as the "ScreenSaver" setting names it
// (FirstScene, SecondScene, RandomScene); the setting itself is kept.
void selectScene(int scene);
bool initFrameLoop(bool saver);
void renderFrame();
void resetScene();
