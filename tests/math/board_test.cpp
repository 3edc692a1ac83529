// The drawers against the real board: what reaches the frame buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display/glidedisplay.h"
#include "glide/glide.h"
#include "glide/presenter.h"
#include "math/clip.h"

namespace {

class OnTheBoard : public ::testing::Test {
protected:
  void SetUp() override {
    resetBoardDrawCalls();
    boardSetPresent(true);
    boardSetRetraceWait(false);
    grGlideInit();
    ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
                             GR_ORIGIN_LOWER_LEFT, 2, 0));
    setRenderSize(640, 480);
    grRenderBuffer(GR_BUFFER_BACKBUFFER);
    grDitherMode(GR_DITHER_DISABLE);
    guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
    grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ONE, GR_BLEND_ZERO);
    grBufferClear(0, 0, 0);
  }
  void TearDown() override { grGlideShutdown(); }

  // A flat red quad spanning x0..x1 and y0..y1 in clip space at depth w.
  static int drawQuad(float x0, float x1, float y0, float y1, float w) {
    ClipVertex q[4] = {};
    const float xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
    ClipVertex *list[12];
    for (int i = 0; i < 4; ++i) {
      q[i][0] = xs[i] * w;
      q[i][1] = ys[i] * w;
      q[i][2] = -0.5f * w;
      q[i][3] = w;
      q[i][4] = 255.0f;
      q[i][7] = 255.0f;
      list[i] = &q[i];
    }
    int count = 0;
    drawPolygon3D(10, 4, list, count, list);
    return count;
  }

  static std::vector<uint16_t> row(int y) {
    std::vector<uint16_t> pixels(640);
    // Region reads count rows from the top.
    EXPECT_TRUE(grLfbReadRegion(GR_BUFFER_BACKBUFFER, 0, 479 - y, 640, 1, 640 * 2, pixels.data()));
    return pixels;
  }
};

constexpr uint16_t Red = 0xF800;

TEST_F(OnTheBoard, QuadCoversItsScreenRectangle) {
  EXPECT_EQ(drawQuad(-0.5f, 0.5f, -0.5f, 0.5f, 2.0f), 4);
  std::vector<uint16_t> r = row(240);
  // Clip x ±0.5 lands 159.95 pixels either side of the centre.
  EXPECT_EQ(r[165], Red);
  EXPECT_EQ(r[320], Red);
  EXPECT_EQ(r[475], Red);
  EXPECT_EQ(r[150], 0);
  EXPECT_EQ(r[490], 0);
  EXPECT_EQ(row(100)[320], 0);
  EXPECT_EQ(row(380)[320], 0);
}

TEST_F(OnTheBoard, QuadAcrossTheEdgeStopsAtTheScreenEdge) {
  EXPECT_GT(drawQuad(0.5f, 3.0f, -0.2f, 0.2f, 1.0f), 3);
  std::vector<uint16_t> r = row(240);
  EXPECT_EQ(r[485], Red);
  EXPECT_EQ(r[638], Red);
  for (int x = 0; x < 470; ++x) ASSERT_EQ(r[x], 0) << "x " << x;
}

TEST_F(OnTheBoard, QuadBehindTheViewerLeavesTheFrameEmpty) {
  EXPECT_EQ(drawQuad(-0.5f, 0.5f, -0.5f, 0.5f, -1.0f), 0);
  for (int y : {120, 240, 360})
    for (uint16_t p : row(y)) ASSERT_EQ(p, 0);
}

} // namespace
