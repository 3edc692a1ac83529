// Mode 6: frames at the size of the window they are shown in, projected with
// the window's own shape; the table's modes keep their sizes and 4:3.
#include <gtest/gtest.h>

#include "display/glidedisplay.h"
#include "glide/presenter.h"
#include "hosts/headless/headlessapp.h"
#include "math/camera.h"

namespace {

struct CountFrames : FramePresenter {
  int width = 0, height = 0, count = 0;
  void present(const PresentedFrame &f) override {
    width = f.width;
    height = f.height;
    ++count;
  }
};

class NativeMode : public ::testing::Test {
protected:
  void SetUp() override {
    boardSetRetraceWait(false);
    boardSetPresenter(&frames_);
    setApplication(&app_);
    app_.createSaverWindow();
    setRenderWindow(app_.activeWindow());
  }
  void TearDown() override {
    closeDisplay();
    setRenderWindow(0);
    boardSetPresenter(nullptr);
    setApplication(nullptr);
    selectDisplayMode(0, 0, 0, 0);
  }
  // The size mode 6 picks for a window (and screen) of this size.
  void nativeFor(int width, int height) {
    app_.setScreen(width, height);
    selectDisplayMode(NativeDisplayMode, 0, 0, 0);
  }
  CountFrames frames_;
  HeadlessApplication app_;
};

} // namespace

TEST_F(NativeMode, TheBoardOpensAtTheWindowsSizeAndTheTableModesAfterItAtTheirOwn) {
  nativeFor(320, 200);
  EXPECT_EQ(ScreenWidth, 320);
  EXPECT_EQ(ScreenHeight, 200);
  EXPECT_FLOAT_EQ(ScreenCenterX, 160.0f);
  ASSERT_TRUE(startDisplay(true));
  EXPECT_EQ(grSstScreenWidth(), 320u);
  EXPECT_EQ(grSstScreenHeight(), 200u);
  swapBuffers();
  EXPECT_EQ(frames_.count, 1);
  EXPECT_EQ(frames_.width, 320);
  EXPECT_EQ(frames_.height, 200);
  closeDisplay();

  // The native size is not left behind for the next screen the board opens.
  selectDisplayMode(2, 0, 0, 0);
  ASSERT_TRUE(startDisplay(true));
  EXPECT_EQ(grSstScreenWidth(), 512u);
  EXPECT_EQ(grSstScreenHeight(), 384u);
  swapBuffers();
  EXPECT_EQ(frames_.width, 512);
  EXPECT_EQ(frames_.height, 384);
}

TEST_F(NativeMode, SizesAreHeldToTheRangeTheBoardTakes) {
  nativeFor(1920, 1080);
  EXPECT_EQ(ScreenWidth, 1920);
  EXPECT_EQ(ScreenHeight, 1080);
  nativeFor(10, 5);
  EXPECT_EQ(ScreenWidth, NativeMinWidth);
  EXPECT_EQ(ScreenHeight, NativeMinHeight);
  nativeFor(9000, 30);
  EXPECT_EQ(ScreenWidth, NativeMaxSide);
  EXPECT_EQ(ScreenHeight, NativeMinHeight);
  ASSERT_TRUE(startDisplay(true));
  EXPECT_EQ(grSstScreenWidth(), static_cast<FxU32>(NativeMaxSide));
  EXPECT_EQ(grSstScreenHeight(), static_cast<FxU32>(NativeMinHeight));
}

TEST_F(NativeMode, WithoutAWindowTheScreenThenEightHundredBySixHundred) {
  setRenderWindow(0);
  app_.setScreen(1366, 768);
  selectDisplayMode(NativeDisplayMode, 0, 0, 0);
  EXPECT_EQ(ScreenWidth, 1366);
  EXPECT_EQ(ScreenHeight, 768);

  app_.setScreen(0, 0); // a screen whose size is not known
  selectDisplayMode(NativeDisplayMode, 0, 0, 0);
  EXPECT_EQ(ScreenWidth, 800);
  EXPECT_EQ(ScreenHeight, 600);

  setApplication(nullptr);
  selectDisplayMode(NativeDisplayMode, 0, 0, 0);
  EXPECT_EQ(ScreenWidth, 800);
  EXPECT_EQ(ScreenHeight, 600);
}

TEST_F(NativeMode, TheProjectionTakesTheWindowsShapeAndTheTableModesKeepFourToThree) {
  setCamera(Vector3{0.0f, 0.0f, -10.0f}, Vector3{0.0f, 0.0f, 0.0f}, Vector3{0.0f, 1.0f, 0.0f},
            1.0f, 0.1f, 100.0f);
  for (int mode = 0; mode < NativeDisplayMode; ++mode) {
    nativeFor(320, 200); // a native mode before it must not linger
    selectDisplayMode(mode, 0, 0, 0);
    EXPECT_EQ(CameraAspect, 0.75f) << "mode " << mode;
    EXPECT_TRUE(cameraChanged());
    updateCamera();
    EXPECT_EQ(CameraScaleX, 0.75f * 1.0f / 101.0f) << "mode " << mode;
  }
  nativeFor(320, 200);
  EXPECT_FLOAT_EQ(CameraAspect, 200.0f / 320.0f);
  updateCamera();
  EXPECT_FLOAT_EQ(CameraScaleX, (200.0f / 320.0f) / 101.0f);
  EXPECT_FLOAT_EQ(CameraScaleY, 1.0f / 101.0f);
  nativeFor(1080, 1920); // a portrait window
  EXPECT_FLOAT_EQ(CameraAspect, 1920.0f / 1080.0f);
}
