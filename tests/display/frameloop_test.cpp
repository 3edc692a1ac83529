// The shared clock, the frame loop's overlays and the motion-blur fade.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/program.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "frame/fixedclock.h"
#include "glide/extension.h"
#include "glide/presenter.h"
#include "hosts/headless/headlessapp.h"
#include "platform/ticks.h"
#include "settings/configuration.h"

namespace {

// Keeps the last presented frame.
struct KeepFrame : FramePresenter {
  std::vector<uint16_t> pixels;
  int width = 0, height = 0;
  void present(const PresentedFrame &f) override {
    width = f.width;
    height = f.height;
    pixels.resize(static_cast<size_t>(f.width) * f.height);
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x)
        pixels[static_cast<size_t>(y) * f.width + x] =
            f.pixels[static_cast<size_t>(y) * f.strideInPixels + x];
  }
  uint16_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

class FrameLoop : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "lv-frameloop-registry.reg";
    std::remove(path_.c_str());
    setenv("LUMENVEIL_REGISTRY", path_.c_str(), 1);
    boardSetRetraceWait(false);
    boardSetPresenter(&frame_);
    setApplication(&app_);
    connectProgram(); // the scenes and the saver's hooks, as runSaver registers them
    DisplayModeOverride = -1;
  }
  void TearDown() override {
    closeDisplay();
    FrameLoopReady = false;
    boardSetPresenter(nullptr);
    setApplication(nullptr);
    setFixedClock(0.0);
    std::remove(path_.c_str());
  }
  std::string path_;
  KeepFrame frame_;
  HeadlessApplication app_;
};

} // namespace

TEST(Clock, AFrameWhoseTicksHaveNotMovedGetsTheSmallestDelta) {
  setFixedClock(50.0);
  startClock();
  stepClock();
  EXPECT_FLOAT_EQ(FrameDelta, 0.00001f);
  EXPECT_FLOAT_EQ(ElapsedSeconds, 0.00001f);
  advanceFixedClock();
  stepClock();
  EXPECT_NEAR(FrameDelta, 0.02f - 0.00001f, 1e-6);
  EXPECT_NEAR(ElapsedSeconds, 0.02f, 1e-6);
  setFixedClock(0.0);
}

TEST(Clock, FixedStepsAddUpWithoutDrift) {
  setFixedClock(60.0);
  startClock();
  for (int i = 0; i < 3600; ++i) {
    advanceFixedClock();
    stepClock();
  }
  EXPECT_NEAR(ElapsedSeconds, 60.0f, 0.01f);
  setFixedClock(0.0);
}

TEST(DisplayModes, TablesAndOutOfRangeIndicesFallBackToTheFirstEntry) {
  selectDisplayMode(3, 5, 2, 2);
  EXPECT_EQ(ScreenWidth, 1024);
  EXPECT_EQ(ScreenHeight, 768);
  EXPECT_EQ(refreshRateHz(), 85);
  EXPECT_EQ(SelectedMode.refresh, GR_REFRESH_85Hz);
  EXPECT_EQ(SelectedMode.dither, GR_DITHER_4x4);
  EXPECT_EQ(SelectedMode.swapInterval, 2);
  EXPECT_FLOAT_EQ(ScreenCenterX, 512.0f);
  selectDisplayMode(17, -1, 0, 9);
  EXPECT_EQ(ScreenWidth, 800);
  EXPECT_EQ(refreshRateHz(), 60);
  EXPECT_EQ(SelectedMode.dither, GR_DITHER_DISABLE);
}

TEST_F(FrameLoop, BlurFadeLeaves145Of255OfEachChannel) {
  selectDisplayMode(2, 0, 0, 0);
  ASSERT_TRUE(startDisplay(true));
  grBufferClear(0xFFFFFFFFu, 0, 0); // white back buffer
  clearFrame(true, false, true, 0);
  swapBuffers();
  ASSERT_EQ(frame_.width, 512);
  // 145/255 of full scale, within the 4x4 dither's reach.
  long sumR = 0, sumG = 0;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      uint16_t p = frame_.at(100 + x, 100 + y);
      sumR += (p >> 11) & 0x1F;
      sumG += (p >> 5) & 0x3F;
    }
  EXPECT_NEAR(sumR / 16.0, 31.0 * 145.0 / 255.0, 0.8);
  EXPECT_NEAR(sumG / 16.0, 63.0 * 145.0 / 255.0, 0.8);
}

TEST_F(FrameLoop, CenteringGridOnlyInTheFirstNinetySecondsOfTheSaver) {
  {
    DisplayConfiguration d;
    d.Mode = 1;
    d.ImageCenteringAid = 1;
    d.save();
    GlobalConfiguration g;
    g.ScreenSaver = 7; // no scene: only the overlays
    g.save();
  }
  setFixedClock(1.0); // one second a frame
  ActiveScene = -1;
  ASSERT_TRUE(initFrameLoop(true));
  ASSERT_EQ(ActiveScene, 7);
  advanceFixedClock();
  renderFrame();
  ASSERT_EQ(frame_.width, 640);
  // The middle lines run along pixel edges (x = 320.0, y = 240.0): one of
  // the two columns or rows beside them is lit, whichever the fill rule picks.
  auto lit = [&](int x, int y) { return frame_.at(x, y) == 0xFFFF; };
  EXPECT_NE(lit(319, 200), lit(320, 200)); // the middle vertical line
  EXPECT_NE(lit(200, 239), lit(200, 240)); // the middle horizontal line
  EXPECT_TRUE(lit(0, 100));                // the left edge
  EXPECT_TRUE(lit(100, 0));                // the bottom edge
  EXPECT_FALSE(lit(200, 200));
  for (int i = 0; i < 90; ++i) {
    advanceFixedClock();
    renderFrame();
  }
  EXPECT_GE(ElapsedSeconds, 90.0f);
  EXPECT_FALSE(lit(319, 200) || lit(320, 200) || lit(0, 100));

  // Never in the control panel.
  closeDisplay();
  ActiveScene = -1;
  ASSERT_TRUE(initFrameLoop(false));
  advanceFixedClock();
  renderFrame();
  EXPECT_FALSE(lit(319, 200) || lit(320, 200) || lit(0, 100));
}

TEST_F(FrameLoop, MotionBlurHalvesPeakAlphaAndTheControlPanelRuns640x480) {
  {
    GlobalConfiguration g;
    g.MotionBlur = 1;
    g.Statistics = 1;
    g.ScreenSaver = 7;
    g.save();
  }
  PeakAlpha = 255.0f;
  ActiveScene = -1;
  ASSERT_TRUE(initFrameLoop(false));
  EXPECT_FLOAT_EQ(PeakAlpha, 127.5f);
  EXPECT_FALSE(ShowStatistics); // never in the control panel
  EXPECT_EQ(SelectedMode.width, 640);
  EXPECT_EQ(SelectedMode.swapInterval, 0);
  PeakAlpha = 255.0f;
  MotionBlur = false;
}

TEST_F(FrameLoop, RandomSceneChoiceAndTheSwitchWins) {
  // "ScreenSaver" 2 is resolved to 0 or 1; a switch's choice stays.
  ActiveScene = -1;
  {
    GlobalConfiguration g;
    g.ScreenSaver = 2;
    g.save();
  }
  DisplayModeOverride = 2; // small frames keep the scene build quick
  ASSERT_TRUE(initFrameLoop(true));
  EXPECT_TRUE(ActiveScene == 0 || ActiveScene == 1);
  closeDisplay();
  selectScene(1);
  ASSERT_TRUE(initFrameLoop(true));
  EXPECT_EQ(ActiveScene, 1);
}

// Where the user stored no rate, the frames are paced to the monitor's own
// (as the host names it), one retrace of it a frame at "Divisor" 1; a
// stored rate is kept.
TEST_F(FrameLoop, FramesFollowTheMonitorsRateUnlessOneIsStored) {
  static double longestWait;
  longestWait = 0.0;
  boardSetRetraceSleep([](double seconds) { longestWait = std::max(longestWait, seconds); });
  boardSetRetraceWait(true);
  setMonitorRefreshHz(144.0);
  DisplayModeOverride = 2;
  ASSERT_TRUE(initFrameLoop(true));
  EXPECT_EQ(refreshRateHz(), 144);
  for (int i = 0; i < 5; ++i) swapBuffers();
  EXPECT_GT(longestWait, 0.0);
  EXPECT_LE(longestWait, 1.0 / 144.0 + 1e-9);
  closeDisplay();
  {
    DisplayConfiguration d;
    d.RefreshRate = 3; // 75 Hz
    d.save();
  }
  ASSERT_TRUE(initFrameLoop(true));
  EXPECT_EQ(refreshRateHz(), 75);
  setMonitorRefreshHz(0.0);
  boardSetRetraceWait(false);
  boardSetRetraceSleep(nullptr);
}

TEST(HeadlessRender, SameSeedAndStepGiveIdenticalFiles) {
  const std::string exe = std::string(LV_BINARY_DIR) + "/lumenveil";
  const std::string base = ::testing::TempDir() + "lv-render-";
  const std::string reg = ::testing::TempDir() + "lv-render.reg";
  for (const char *run : {"a", "b"}) {
    std::string cmd = "rm -rf " + base + run + " && LUMENVEIL_REGISTRY=" + reg + " " + exe + " --render " +
                      base + run + " --frames 3 --fps 60 --seed 42 --scene 1 --mode 2 >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  for (const char *f : {"/frame-000001.png", "/frame-000002.png", "/frame-000003.png"}) {
    std::ifstream a(base + "a" + f, std::ios::binary), b(base + "b" + f, std::ios::binary);
    ASSERT_TRUE(a && b) << f;
    std::string da((std::istreambuf_iterator<char>(a)), {}), db((std::istreambuf_iterator<char>(b)), {});
    EXPECT_GT(da.size(), 1000u);
    EXPECT_EQ(da, db) << f;
  }
  std::ifstream missing(base + "a/frame-000004.png");
  EXPECT_FALSE(missing.good());
}

TEST(HeadlessRender, APacedBenchKeepsTheScreensPaceAndTellsTheProcessorTime) {
  const std::string exe = std::string(LV_BINARY_DIR) + "/lumenveil";
  const std::string reg = ::testing::TempDir() + "lv-paced.reg";
  const std::string cmd = "LUMENVEIL_REGISTRY=" + reg + " " + exe +
                          " --bench --paced --frames 12 --fps 60 --seed 3 --scene 2 --mode 2";
  FILE *out = popen(cmd.c_str(), "r");
  ASSERT_NE(out, nullptr);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  ASSERT_EQ(pclose(out), 0) << cmd;
  long frames = 0;
  double seconds = 0.0, fps = 0.0, cpu = -1.0;
  ASSERT_EQ(
      std::sscanf(line, "frames %ld seconds %lf fps %lf cpu %lf ms a frame", &frames, &seconds, &fps, &cpu),
      4)
      << line;
  EXPECT_EQ(frames, 12);
  // Each swap waits for the next of the screen's 60 Hz retraces: the eleven
  // after the first frame's take at least 11/60 s, however fast the drawing.
  EXPECT_GE(seconds, 11.0 / 60.0 - 0.002) << line;
  EXPECT_GT(cpu, 0.0) << line;
}

namespace {
// A host whose control panel has a 348 x 229 preview panel that keeps what it is shown.
struct PanelHost : HeadlessApplication {
  std::vector<uint16_t> shown;
  int shownW = 0, shownH = 0;
  WindowHandle createControlPanel() override { return 2; }
  bool windowSize(WindowHandle w, int &width, int &height) override {
    if (w != 2) return HeadlessApplication::windowSize(w, width, height);
    width = 348;
    height = 229;
    return true;
  }
  bool drawImage565(WindowHandle, const uint16_t *pixels, int width, int height) override {
    shown.assign(pixels, pixels + static_cast<size_t>(width) * height);
    shownW = width;
    shownH = height;
    return true;
  }
};
} // namespace

TEST(ControlPanelPreview, ThePanelShowsTheBottomRowsOfTheFrameTopRowFirst) {
  const std::string reg = ::testing::TempDir() + "lv-panel.reg";
  std::remove(reg.c_str());
  setenv("LUMENVEIL_REGISTRY", reg.c_str(), 1);
  {
    GlobalConfiguration g;
    g.ScreenSaver = 7; // no scene
    g.save();
  }
  boardSetRetraceWait(false);
  PanelHost host;
  setApplication(&host);
  setRenderWindow(host.createControlPanel());
  ActiveScene = -1;
  ASSERT_TRUE(initFrameLoop(false));
  EXPECT_EQ(ScreenWidth, 348);
  EXPECT_EQ(ScreenHeight, 229);
  // Red over the lower half of the render area (the frame's origin is the lower left).
  GrVertex v[4] = {};
  const float xy[4][2] = {{0, 0}, {348, 0}, {348, 114}, {0, 114}};
  for (int i = 0; i < 4; ++i) {
    v[i].x = xy[i][0] + BoardSnapBias;
    v[i].y = xy[i][1] + BoardSnapBias;
    v[i].r = 255.0f;
    v[i].a = 255.0f;
    v[i].oow = 1.0f;
  }
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ONE, GR_BLEND_ZERO);
  const int idx[4] = {0, 1, 2, 3};
  grDrawPolygon(4, idx, v);
  presentFrame(); // shows the frame before; this one becomes the front buffer
  presentFrame(); // shows the red one
  ASSERT_EQ(host.shownW, 348);
  ASSERT_EQ(host.shownH, 229);
  // Top-down rows: the panel's bottom half is red, its top half black.
  EXPECT_EQ(host.shown[static_cast<size_t>(228) * 348 + 10], 0xF800);
  EXPECT_EQ(host.shown[static_cast<size_t>(120) * 348 + 300], 0xF800);
  EXPECT_EQ(host.shown[static_cast<size_t>(100) * 348 + 10], 0x0000);
  EXPECT_EQ(host.shown[10], 0x0000);
  closeDisplay();
  FrameLoopReady = false;
  RenderWindow = 0;
  setApplication(nullptr);
  std::remove(reg.c_str());
}
