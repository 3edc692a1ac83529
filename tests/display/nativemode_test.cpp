// Mode 6: frames at the size of the window they are shown in, projected with
// the window's own shape; the table's modes keep their sizes and 4:3.
#include <gtest/gtest.h>

#include <vector>

#include "display/glidedisplay.h"
#include "glide/boardstate.h"
#include "glide/extension.h"
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
  setCamera(Vector3{0.0f, 0.0f, -10.0f}, Vector3{0.0f, 0.0f, 0.0f}, Vector3{0.0f, 1.0f, 0.0f}, 1.0f, 0.1f,
            100.0f);
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

TEST_F(NativeMode, AResizedWindowGetsAScreenOfItsNewSizeWithTheRenderStateTheSceneLeft) {
  nativeFor(320, 200);
  ASSERT_TRUE(startDisplay(true));
  EXPECT_FALSE(followNativeSize()); // the same size: nothing to do
  // State a scene sets once and relies on afterwards.
  std::vector<uint8_t> texels(256 * 256, 77);
  const GrMipMapId_t tex = guTexAllocateMemory(
      GR_TMU0, GR_MIPMAPLEVELMASK_BOTH, 256, 256, GR_TEXFMT_INTENSITY_8, GR_MIPMAP_DISABLE, GR_LOD_256,
      GR_LOD_256, GR_ASPECT_1x1, GR_TEXTURECLAMP_CLAMP, GR_TEXTURECLAMP_CLAMP, GR_TEXTUREFILTER_BILINEAR,
      GR_TEXTUREFILTER_BILINEAR, 0.0f, FXFALSE);
  ASSERT_NE(tex, GR_NULL_MIPMAP_HANDLE);
  guTexDownloadMipMap(tex, texels.data(), nullptr);
  guTexSource(tex);
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grDitherMode(GR_DITHER_2x2);
  const BoardContext before = Board;
  swapBuffers();

  app_.setScreen(1000, 500);
  ASSERT_TRUE(followNativeSize());
  EXPECT_EQ(grSstScreenWidth(), 1000u);
  EXPECT_EQ(grSstScreenHeight(), 500u);
  EXPECT_EQ(ScreenWidth, 1000);
  EXPECT_EQ(ScreenHeight, 500);
  EXPECT_FLOAT_EQ(ScreenCenterX, 500.0f);
  EXPECT_FLOAT_EQ(CameraAspect, 0.5f);
  EXPECT_EQ(SelectedMode.width, 1000);
  EXPECT_EQ(Board.currentTexture, before.currentTexture);
  EXPECT_EQ(Board.colorCombine, before.colorCombine);
  EXPECT_EQ(Board.rgbSrc, before.rgbSrc);
  EXPECT_EQ(Board.rgbDst, before.rgbDst);
  EXPECT_EQ(Board.ditherMode, before.ditherMode);
  EXPECT_EQ(Board.alphaFunc, before.alphaFunc);
  EXPECT_EQ(Board.alphaRef, before.alphaRef);
  EXPECT_EQ(Board.textures.size(), before.textures.size()); // the textures stay loaded
  // Textured drawing goes on at the new size, into the new buffers.
  GrVertex v[3] = {};
  const float corners[3][2] = {{900, 10}, {990, 10}, {990, 90}};
  for (int i = 0; i < 3; ++i) {
    v[i].x = corners[i][0] + BoardSnapBias;
    v[i].y = corners[i][1] + BoardSnapBias;
    v[i].r = v[i].g = v[i].b = v[i].a = 255.0f;
    v[i].oow = 1.0f;
  }
  const int index[3] = {0, 1, 2};
  grDrawPolygon(3, index, v);
  swapBuffers();
  EXPECT_EQ(frames_.width, 1000);
  EXPECT_EQ(frames_.height, 500);
  EXPECT_NE(boardBuffer(GR_BUFFER_FRONTBUFFER)[20 * 1000 + 980], 0);
  EXPECT_FALSE(followNativeSize());

  // The table's modes keep their size whatever the window does.
  closeDisplay();
  selectDisplayMode(2, 0, 0, 0);
  ASSERT_TRUE(startDisplay(true));
  app_.setScreen(640, 400);
  EXPECT_FALSE(followNativeSize());
  EXPECT_EQ(grSstScreenWidth(), 512u);
  EXPECT_EQ(ScreenWidth, 512);
}
