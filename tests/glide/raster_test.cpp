// Coverage: the fill rule, polygons, lines and antialiased primitives.
#include <cmath>

#include "tests/glide/boardtest.h"

namespace {

using Coverage = BoardTest;

int count(const std::vector<uint16_t> &px, int value) {
  int n = 0;
  for (uint16_t v : px) n += (v >> 11) == value;
  return n;
}

TEST_F(Coverage, PixelCentresOnEdgesFollowTheTopLeftRule) {
  countingState();
  // Corners on pixel centres: the left and top edges own their centres, the
  // right and bottom edges do not (y grows upward).
  quad(10.5f, 20.5f, 14.5f, 24.5f, 8, 0, 0, 255);
  auto px = backBuffer();
  for (int y = 18; y < 27; ++y)
    for (int x = 8; x < 17; ++x) {
      bool inside = x >= 10 && x <= 13 && y >= 21 && y <= 24;
      EXPECT_EQ(px[y * W + x] >> 11, inside ? 1 : 0) << x << "," << y;
    }
  EXPECT_EQ(count(px, 1), 16);
}

TEST_F(Coverage, SharedEdgesDrawEveryPixelExactlyOnce) {
  countingState();
  // A grid of quads with shared, irregular corners at sixteenth positions,
  // each quad split into two triangles by the fan.
  const int n = 6;
  float gx[n + 1][n + 1], gy[n + 1][n + 1];
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      gx[j][i] = 50.0f + i * 31.0f + ((i * 7 + j * 3) % 5) * 1.3125f;
      gy[j][i] = 40.0f + j * 27.0f + ((i * 5 + j * 11) % 7) * 0.8125f;
    }
  int index[4] = {0, 1, 2, 3};
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      GrVertex v[4] = {screenVertex(gx[j][i], gy[j][i], 8, 0, 0),
                       screenVertex(gx[j][i + 1], gy[j][i + 1], 8, 0, 0),
                       screenVertex(gx[j + 1][i + 1], gy[j + 1][i + 1], 8, 0, 0),
                       screenVertex(gx[j + 1][i], gy[j + 1][i], 8, 0, 0)};
      // Alternate the winding: the rule must not depend on it.
      if ((i + j) & 1) {
        std::swap(v[1], v[3]);
      }
      grDrawPolygon(4, index, v);
    }
  // Nothing drawn twice; every centre inside the outer boundary drawn once.
  auto px = backBuffer();
  EXPECT_EQ(count(px, 2), 0);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      float cx = x + 0.5f, cy = y + 0.5f;
      // Well inside the outer border (whose edges are irregular).
      bool deepInside =
          cx > gx[0][0] + 8 && cx < 50.0f + n * 31.0f - 2 && cy > 48 && cy < 40.0f + n * 27.0f - 2;
      if (deepInside) {
        ASSERT_EQ(px[y * W + x] >> 11, 1) << x << "," << y;
      }
    }
}

TEST_F(Coverage, FanAroundACentreLeavesNoGapAndNoOverlap) {
  countingState();
  // Sixteen triangles around a centre off the pixel grid form a polygon.
  const float cx = 300.3125f, cy = 200.6875f;
  std::vector<GrVertex> rim;
  for (int k = 0; k < 16; ++k) {
    float angle = k * 6.2831853f / 16;
    rim.push_back(screenVertex(cx + 90 * std::cos(angle), cy + 70 * std::sin(angle), 8, 0, 0));
  }
  GrVertex centre = screenVertex(cx, cy, 8, 0, 0);
  for (int k = 0; k < 16; ++k) {
    GrVertex tri[3] = {centre, rim[k], rim[(k + 1) % 16]};
    int index[3] = {0, 1, 2};
    grDrawPolygon(3, index, tri);
  }
  auto px = backBuffer();
  EXPECT_EQ(count(px, 2), 0);
  for (int y = 150; y < 250; ++y)
    for (int x = 250; x < 350; ++x) {
      float dx = (x + 0.5f - cx) / 90, dy = (y + 0.5f - cy) / 70;
      if (dx * dx + dy * dy < 0.85f) {
        ASSERT_EQ(px[y * W + x] >> 11, 1) << x << "," << y;
      }
    }
}

TEST_F(Coverage, DegenerateAndOffscreenPolygonsDrawNothingOutsideTheScreen) {
  countingState();
  quad(10, 10, 10, 50, 8, 0, 0, 255);       // zero width
  quad(-100, -100, 700, 600, 8, 0, 0, 255); // covers the screen and more
  auto px = backBuffer();
  EXPECT_EQ(count(px, 1), W * H);
}

TEST_F(Coverage, WildVerticesDrawWithinTheScreenOrNotAtAll) {
  countingState();
  const float nan = std::nanf(""), inf = INFINITY;
  const float wild[] = {nan, inf, -inf, 1e30f, -1e30f, 3e9f};
  int index[4] = {0, 1, 2, 3};
  for (float w : wild) {
    GrVertex v[4] = {screenVertex(10, 10, 8, 0, 0, 255, 0, 0), screenVertex(w, 10, 8, w, 0, 255, w, 0),
                     screenVertex(w, w, 8, 0, w, w, 256, w), screenVertex(10, w, w, 0, 0, 255, 0, 256)};
    v[2].oow = w;
    grDrawPolygon(4, index, v);
    grDrawPlanarPolygon(4, index, v);
    grDrawLine(&v[0], &v[1]);
    grAADrawLine(&v[1], &v[2]);
    grAADrawPoint(&v[2]);
  }
  // Whatever landed on the screen, the buffer is intact and a normal quad still draws.
  grBufferClear(0, 0, 0);
  quad(0, 0, 4, 4, 8, 0, 0, 255);
  EXPECT_EQ(count(backBuffer(), 1), 16);
}

TEST_F(Coverage, LinesDrawTheFirstEndButNotTheLast) {
  countingState();
  GrVertex a = screenVertex(10.5f, 10.5f, 8, 0, 0), b = screenVertex(20.5f, 10.5f, 8, 0, 0);
  grDrawLine(&a, &b);
  GrVertex c = screenVertex(40.5f, 30.5f, 8, 0, 0), d = screenVertex(30.5f, 30.5f, 8, 0, 0);
  grDrawLine(&c, &d);
  GrVertex e = screenVertex(60.5f, 5.5f, 8, 0, 0), f = screenVertex(60.5f, 9.5f, 8, 0, 0);
  grDrawLine(&e, &f);
  GrVertex g = screenVertex(80.5f, 80.5f, 8, 0, 0);
  grDrawLine(&g, &g); // zero length: nothing
  auto px = backBuffer();
  for (int x = 0; x < 64; ++x) {
    EXPECT_EQ(px[10 * W + x] >> 11, x >= 10 && x <= 19) << x;
    EXPECT_EQ(px[30 * W + x] >> 11, x >= 31 && x <= 40) << x;
  }
  for (int y = 0; y < 12; ++y) EXPECT_EQ(px[y * W + 60] >> 11, y >= 5 && y <= 8) << y;
  EXPECT_EQ(px[80 * W + 80], 0);
  EXPECT_EQ(count(px, 1), 10 + 10 + 4);
}

TEST_F(Coverage, LinesBetweenPixelCentresTakeTheUpperRowOrTheLeftColumn) {
  countingState();
  GrVertex a = screenVertex(10.5f, 10.0f, 8, 0, 0), b = screenVertex(14.5f, 10.0f, 8, 0, 0);
  grDrawLine(&a, &b);
  GrVertex c = screenVertex(60.0f, 20.5f, 8, 0, 0), d = screenVertex(60.0f, 24.5f, 8, 0, 0);
  grDrawLine(&c, &d);
  auto px = backBuffer();
  EXPECT_EQ(px[10 * W + 12] >> 11, 1);
  EXPECT_EQ(px[9 * W + 12] >> 11, 0);
  EXPECT_EQ(px[22 * W + 59] >> 11, 1);
  EXPECT_EQ(px[22 * W + 60] >> 11, 0);
  EXPECT_EQ(count(px, 1), 8);
}

TEST_F(Coverage, ADiagonalLineHasOnePixelPerColumn) {
  countingState();
  GrVertex a = screenVertex(100.5f, 100.25f, 8, 0, 0), b = screenVertex(140.5f, 120.25f, 8, 0, 0);
  grDrawLine(&a, &b);
  auto px = backBuffer();
  for (int x = 100; x < 140; ++x) {
    int column = 0;
    for (int y = 90; y < 130; ++y) column += px[y * W + x] >> 11;
    EXPECT_EQ(column, 1) << x;
    // The pixel whose centre band holds the line at this column's centre.
    int expected = (int)std::floor(100.25 + (x + 0.5 - 100.5) * 0.5);
    EXPECT_EQ(px[expected * W + x] >> 11, 1) << x;
  }
  EXPECT_EQ(count(px, 1), 40);
}

TEST_F(Coverage, AntialiasedLineFadesAcrossItsWidth) {
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grAlphaTestFunction(GR_CMP_GREATER);
  grAlphaTestReferenceValue(5);
  // On a row's centre: that row at full alpha, the rows beside at alpha 0 (dropped).
  GrVertex a = screenVertex(10.5f, 20.5f), b = screenVertex(30.5f, 20.5f);
  grAADrawLine(&a, &b);
  // Between two rows: both at half alpha (255 * 0.5 -> 127; 255 * 128 >> 8 = 127 -> 15).
  GrVertex c = screenVertex(10.5f, 40.0f), d = screenVertex(30.5f, 40.0f);
  grAADrawLine(&c, &d);
  auto px = backBuffer();
  for (int x = 10; x < 30; ++x) {
    EXPECT_EQ(px[20 * W + x], 0xFFFF) << x;
    EXPECT_EQ(px[19 * W + x], 0) << x;
    EXPECT_EQ(px[21 * W + x], 0) << x;
    EXPECT_EQ(px[39 * W + x], rgb565(15, 31, 15)) << x;
    EXPECT_EQ(px[40 * W + x], rgb565(15, 31, 15)) << x;
    EXPECT_EQ(px[38 * W + x], 0) << x;
    EXPECT_EQ(px[41 * W + x], 0) << x;
  }
  EXPECT_EQ(px[20 * W + 30], 0); // the last end is not drawn
  GrVertex e = screenVertex(50.5f, 50.5f);
  grAADrawLine(&e, &e); // zero length: nothing
  EXPECT_EQ(pixel(50, 50), 0);
}

TEST_F(Coverage, AntialiasedPointSpreadsOverTheSquareAroundIt) {
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grAlphaTestFunction(GR_CMP_ALWAYS);
  // On a pixel centre: that pixel alone.
  GrVertex p = screenVertex(100.5f, 100.5f);
  grAADrawPoint(&p);
  // On a pixel corner: the four pixels around it at half alpha.
  GrVertex q = screenVertex(200.0f, 100.0f);
  grAADrawPoint(&q);
  // A quarter pixel off a centre: alpha 1 - 0.25 on its pixel, 0.75 - 0.5 beside.
  GrVertex r = screenVertex(300.75f, 100.5f);
  grAADrawPoint(&r);
  auto px = backBuffer();
  EXPECT_EQ(px[100 * W + 100], 0xFFFF);
  EXPECT_EQ(px[100 * W + 99], 0);
  EXPECT_EQ(px[101 * W + 100], 0);
  for (int y = 99; y <= 100; ++y)
    for (int x = 199; x <= 200; ++x) EXPECT_EQ(px[y * W + x], rgb565(15, 31, 15)) << x << "," << y;
  EXPECT_EQ(px[98 * W + 199], 0);
  // floor(255 * 0.75) = 191 -> 255 * 192 >> 8 = 191; floor(255 * 0.25) = 63 -> 63.
  EXPECT_EQ(px[100 * W + 300], rgb565(191 >> 3, 191 >> 2, 191 >> 3));
  EXPECT_EQ(px[100 * W + 301], rgb565(63 >> 3, 63 >> 2, 63 >> 3));
  EXPECT_EQ(px[100 * W + 299], 0);
}

} // namespace
