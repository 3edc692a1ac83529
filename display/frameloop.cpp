#include "display/frameloop.h"

#include "assets/font.h"
#include "assets/framestats.h"
#include "assets/textures.h"
#include "display/glidedisplay.h"
#include "math/trig.h"
#include "frame/random.h"
#include "settings/configuration.h"

int ActiveScene = -1;
bool SaverMode = true;
bool FrameLoopReady = false;
bool ShowCenteringAid = false;
bool ShowStatistics = false;
bool MotionBlur = false;
int MotionBlurDelta = 0;
int DisplayModeOverride = -1;
bool StatisticsOverride = false;

namespace {
SceneEntry Scenes[SceneCount];
FrameLoopHooks Hooks;

const SceneEntry *activeEntry() {
  return (ActiveScene >= 0 && ActiveScene < SceneCount) ? &Scenes[ActiveScene] : nullptr;
}
} // namespace

void registerScene(int index, const SceneEntry &entry) {
  if (index >= 0 && index < SceneCount) Scenes[index] = entry;
}

void setFrameLoopHooks(const FrameLoopHooks &hooks) { Hooks = hooks; }

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
    ShowStatistics = (global.Statistics != 0 || StatisticsOverride) && saver;
    MotionBlur = global.MotionBlur != 0;
    MotionBlurDelta = global.MotionBlurDelta;
    if (ActiveScene < 0) ActiveScene = global.ScreenSaver;
    if (ActiveScene == RandomScene) ActiveScene = programRand() % 2;
  }

  if (MotionBlur) PeakAlpha = PeakAlpha * 0.5f;

  if (Hooks.setTaskPriority) Hooks.setTaskPriority(saver ? priority : 0);

  {
    DisplayConfiguration display;
    display.load();
    ShowCenteringAid = display.ImageCenteringAid != 0;
    // A rate the user chose is kept; otherwise the monitor's own, where the host knows it.
    const int refresh = settingStored(DisplayConfiguration::Group, "RefreshRate") ? display.RefreshRate
                                                                                   : MonitorRefreshRate;
    if (saver)
      selectDisplayMode(DisplayModeOverride >= 0 ? DisplayModeOverride : display.Mode, refresh,
                        display.Divisor, display.DitherMode);
    else
      selectDisplayMode(1, 0, 0, 0);
  }

  if (!startDisplay(saver)) return false;

  if (saver && isIntegratedBoard())
    changeDesktopMode(static_cast<int>(ScreenWidthF), static_cast<int>(ScreenHeightF), refreshRateHz());

  startClock();
  loadTextures();
  initTrigTables();
  loadFont();
  resetFrameStats();

  if (const SceneEntry *scene = activeEntry(); scene && scene->build) scene->build(saver, MotionBlur);

  clearFrame(true, false, false, 0);
  startClock();
  FrameLoopReady = true;
  return true;
}

void renderFrame() {
  if (!FrameLoopReady || MonitorOff) return;
  // A native run draws at its window's size: a window resized since the last
  // frame gets a screen of its new size before this frame is drawn.
  if (SaverMode) followNativeSize();
  stepClock();
  if (const SceneEntry *scene = activeEntry(); scene && scene->step) scene->step(MotionBlur);
  if (SaverMode && ShowCenteringAid && ElapsedSeconds < 90.0f) drawCenteringAid();
  if (ShowStatistics) updateFrameStats();
  presentFrame();
  clearFrame(true, false, MotionBlur, MotionBlurDelta);
  FrameCounter += 1;
  if (SaverMode && (FrameCounter & 0xFFu) == 0 && Hooks.raiseWindow) Hooks.raiseWindow();
}

void resetScene() {
  if (!FrameLoopReady) return;
  if (const SceneEntry *scene = activeEntry(); scene && scene->reset) scene->reset();
}
