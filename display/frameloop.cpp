#include "display/frameloop.h"

#include "app/power.h"
#include "app/saverwindow.h"
#include "assets/font.h"
#include "assets/framestats.h"
#include "assets/textures.h"
#include "display/glidedisplay.h"
#include "firstscene/firstscene.h"
#include "math/trig.h"
#include "platform/random.h"
#include "platform/ticks.h"
#include "secondscene/secondscene.h"
#include "settings/configuration.h"

// The clock keeps the tick seconds of its last step in double precision: the
// ticks count from program start, and a float would lose the milliseconds
// after a few hours of running.
double ClockSeconds = 0.0;
float ElapsedSeconds = 0.0f;
float FrameDelta = 0.0f;
uint32_t FrameCounter = 0;

int ActiveScene = -1;
bool SaverMode = true;
bool FrameLoopReady = false;
bool ShowCenteringAid = false;
bool ShowStatistics = false;
bool MotionBlur = false;
int MotionBlurDelta = 0;
float PeakAlpha = 255.0f;
int DisplayModeOverride = -1;

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

void selectScene(int scene) { ActiveScene = scene; }

bool initFrameLoop(bool saver) {
  programSrand(timeSeed() % 32767u);
  SaverMode = saver;

  {
    AboutConfiguration about;
    about.load();
    setDisable3DInWindow(about.Disable3DInWindow != 0);
  }

  int priority = 0;
  {
    GlobalConfiguration global;
    global.load();
    priority = global.Priority;
    ShowStatistics = global.Statistics != 0 && saver;
    MotionBlur = global.MotionBlur != 0;
    MotionBlurDelta = global.MotionBlurDelta;
    if (ActiveScene < 0) ActiveScene = global.ScreenSaver;
    if (ActiveScene == 2) ActiveScene = programRand() % 2;
  }

  if (MotionBlur) PeakAlpha = PeakAlpha * 0.5f;

  setTaskPriority(saver ? priority : 0);

  {
    DisplayConfiguration display;
    display.load();
    ShowCenteringAid = display.ImageCenteringAid != 0;
    if (saver)
      selectDisplayMode(DisplayModeOverride >= 0 ? DisplayModeOverride : display.Mode,
                        display.RefreshRate, display.Divisor, display.DitherMode);
    else
      selectDisplayMode(1, 0, 0, 0);
  }

  if (!startDisplay(saver)) return false;

  if (saver && isIntegratedBoard())
    changeDesktopMode(static_cast<int>(ScreenWidthF), static_cast<int>(ScreenHeightF),
                      refreshRateHz());

  startClock();
  loadTextures();
  initTrigTables();
  loadFont();
  resetFrameStats();

  if (ActiveScene == 0)
    buildFirstScene(saver, MotionBlur);
  else if (ActiveScene == 1)
    buildSecondScene(saver, MotionBlur);

  clearFrame(true, false, false, 0);
  startClock();
  FrameLoopReady = true;
  return true;
}

void renderFrame() {
  if (!FrameLoopReady || MonitorOff) return;
  stepClock();
  if (ActiveScene == 0)
    stepFirstScene(MotionBlur);
  else if (ActiveScene == 1)
    stepSecondScene(MotionBlur);
  if (SaverMode && ShowCenteringAid && ElapsedSeconds < 90.0f) drawCenteringAid();
  if (ShowStatistics) updateFrameStats();
  presentFrame();
  clearFrame(true, false, MotionBlur, MotionBlurDelta);
  FrameCounter += 1;
  if (SaverMode && (FrameCounter & 0xFFu) == 0) bringRenderWindowToFront();
}

void resetScene() {
  if (!FrameLoopReady) return;
  if (ActiveScene == 0)
    resetFirstScene();
  else if (ActiveScene == 1)
    resetSecondScene();
}
