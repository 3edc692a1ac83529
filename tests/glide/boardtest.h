// Shared helpers of the board tests: an open 640 x 480 screen and pixel access.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "glide/extension.h"
#include "glide/glide.h"
#include "glide/presenter.h"

inline GrVertex screenVertex(float x, float y, float r = 255, float g = 255, float b = 255, float a = 255,
                             float s = 0, float t = 0, float oow = 1.0f / 65500) {
  GrVertex v{};
  v.x = x + BoardSnapBias;
  v.y = y + BoardSnapBias;
  v.r = r;
  v.g = g;
  v.b = b;
  v.a = a;
  v.oow = oow;
  v.tmuvtx[0].sow = s * oow;
  v.tmuvtx[0].tow = t * oow;
  v.tmuvtx[0].oow = oow;
  return v;
}

inline uint16_t rgb565(int r5, int g6, int b5) { return (uint16_t)(r5 << 11 | g6 << 5 | b5); }

class BoardTest : public ::testing::Test {
protected:
  static constexpr int W = 640, H = 480;
  void SetUp() override {
    boardSetPresenter(nullptr);
    boardSetRetraceWait(false);
    boardSetPresent(true);
    boardSetType(0);
    grGlideInit();
    GrHwConfiguration hw;
    ASSERT_TRUE(grSstQueryHardware(&hw));
    ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR,
                             GR_ORIGIN_LOWER_LEFT, 2, 0));
    grDitherMode(GR_DITHER_DISABLE);
    grBufferClear(0, 0, 0);
  }
  void TearDown() override { grGlideShutdown(); }

  // The back buffer, lowest row first.
  std::vector<uint16_t> backBuffer() {
    // Region reads count rows from the top: read each row where it lies.
    std::vector<uint16_t> px(W * H);
    for (int y = 0; y < H; ++y)
      EXPECT_TRUE(grLfbReadRegion(GR_BUFFER_BACKBUFFER, 0, H - 1 - y, W, 1, W * 2,
                                  px.data() + static_cast<size_t>(y) * W));
    return px;
  }
  uint16_t pixel(int x, int y) {
    uint16_t v = 0;
    EXPECT_TRUE(grLfbReadRegion(GR_BUFFER_BACKBUFFER, x, H - 1 - y, 1, 1, 2, &v));
    return v;
  }
  // Fills the back buffer with one raw pixel value.
  void fill(uint16_t value) {
    fillWith([value](int, int) { return value; });
  }
  // Fills the back buffer with a pattern of every kind of pixel value.
  void fillPattern() {
    fillWith([](int x, int y) { return (uint16_t)(x * 97 + y * 131 + (x * y) % 251); });
  }
  // Fills the back buffer with the raw pixel values pixelAt(x, y) gives.
  template <typename PixelAt> void fillWith(PixelAt pixelAt) {
    GrLfbInfo_t info{};
    info.size = sizeof info;
    ASSERT_TRUE(grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_ANY,
                          FXFALSE, &info));
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        ((uint16_t *)((uint8_t *)info.lfbPtr + y * info.strideInBytes))[x] = pixelAt(x, y);
    ASSERT_TRUE(grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER));
  }
  void quad(float x0, float y0, float x1, float y1, float r, float g, float b, float a) {
    GrVertex v[4] = {screenVertex(x0, y0, r, g, b, a), screenVertex(x1, y0, r, g, b, a),
                     screenVertex(x1, y1, r, g, b, a), screenVertex(x0, y1, r, g, b, a)};
    int index[4] = {0, 1, 2, 3};
    grDrawPolygon(4, index, v);
  }
  // Blending that adds one step of red per draw: every covered pixel counts.
  void countingState() {
    guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
    guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
    grAlphaTestFunction(GR_CMP_ALWAYS);
    grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
    grDitherMode(GR_DITHER_DISABLE);
  }
};
