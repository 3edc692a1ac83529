// The pixel pipeline: combine, alpha test, blending, dithering and textures,
// against values worked out by hand.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "glide/extension.h"
#include "glide/pipeline.h"
#include "tests/glide/boardtest.h"

namespace {

using Pipeline = BoardTest;

GrMipMapId_t allocate(GrTextureFormat_t format, GrAspectRatio_t aspect = GR_ASPECT_1x1,
                      GrLOD_t lod = GR_LOD_256) {
  int longSide = 256 >> lod;
  int w = aspect == GR_ASPECT_1x2 ? longSide / 2 : longSide;
  int h = aspect == GR_ASPECT_2x1 ? longSide / 2 : longSide;
  return guTexAllocateMemory(GR_TMU0, GR_MIPMAPLEVELMASK_BOTH, w, h, format, GR_MIPMAP_NEAREST, lod, lod,
                             aspect, GR_TEXTURECLAMP_CLAMP, GR_TEXTURECLAMP_CLAMP, GR_TEXTUREFILTER_BILINEAR,
                             GR_TEXTUREFILTER_BILINEAR, 0.0f, FXFALSE);
}

void texturedState() {
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
  grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO, GR_BLEND_ZERO);
}

void texturedQuad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1,
                  float c = 255, float oowFar = 0) {
  float near = 1.0f / 65500, far = oowFar > 0 ? oowFar : near;
  GrVertex v[4] = {
      screenVertex(x0, y0, c, c, c, 255, s0, t0, near), screenVertex(x1, y0, c, c, c, 255, s1, t0, near),
      screenVertex(x1, y1, c, c, c, 255, s1, t1, far), screenVertex(x0, y1, c, c, c, 255, s0, t1, far)};
  int index[4] = {0, 1, 2, 3};
  grDrawPolygon(4, index, v);
}

TEST(Sixteenths, ScreenCoordinatesRoundToTheNearestSixteenthHalvesAwayFromZero) {
  // Below the bias a float holds halves of a sixteenth and finer: exact
  // halves either way, values a step off them, whole sixteenths, and the far
  // limits, as llround takes them.
  const float bias = BoardSnapBias, half = BoardSnapBias / 2;
  for (float biased : {bias, bias - 1.0f / 32, bias - 3.0f / 32, bias - 5.0f / 64, bias - 1.0f / 64,
                       bias - 1.0f + 1.0f / 32, half + 1.0f / 32, half + 3.0f / 64, half - 1.0f / 64,
                       1000.0f + 1.0f / 32, 0.5f, -1.0e9f, 1.0e9f, bias + 1.0f / 16, 600000.0f}) {
    double p = ((double)biased - bias) * 16.0;
    p = std::min(std::max(p, -2.5e8), 2.5e8);
    EXPECT_EQ(toSixteenths(biased), (int64_t)std::llround(p)) << biased;
  }
  EXPECT_EQ(toSixteenths(std::nanf("")), -250000000);
  EXPECT_EQ(toSixteenths(INFINITY), 250000000);
}

TEST_F(Pipeline, IteratedColourIsTruncatedWithoutDither) {
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  quad(0, 0, 8, 8, 200, 100, 50, 255);
  EXPECT_EQ(pixel(3, 3), rgb565(25, 25, 6));
}

TEST_F(Pipeline, TextureTimesIteratedColour) {
  std::vector<uint16_t> texels(256 * 256, rgb565(31, 32, 10)); // 255, 130, 82
  GrMipMapId_t id = allocate(GR_TEXFMT_RGB_565);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  guTexSource(id);
  texturedState();
  GrVertex v[4] = {
      screenVertex(0, 0, 128, 64, 255, 255, 0, 0), screenVertex(16, 0, 128, 64, 255, 255, 256, 0),
      screenVertex(16, 16, 128, 64, 255, 255, 256, 256), screenVertex(0, 16, 128, 64, 255, 255, 0, 256)};
  int index[4] = {0, 1, 2, 3};
  grDrawPolygon(4, index, v);
  // (255 * 129) >> 8 = 128, (130 * 65) >> 8 = 33, (82 * 256) >> 8 = 82.
  EXPECT_EQ(pixel(5, 5), rgb565(128 >> 3, 33 >> 2, 82 >> 3));
}

TEST_F(Pipeline, BlendFactorsOnTheZeroTo256Scale) {
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  const uint16_t dst = rgb565(10, 20, 30); // 82, 81, 247
  struct Case {
    int src, dstFactor;
    int r, g, b, a;
    uint16_t expected;
  } cases[] = {
      // additive: min(255, d + (s * (a + 1)) >> 8)
      {GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, 100, 100, 100, 127,
       rgb565((82 + 50) >> 3, (81 + 50) >> 2, 255 >> 3)},
      // scaled source: (s * (a + 1)) >> 8
      {GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, 200, 200, 200, 100, rgb565(78 >> 3, 78 >> 2, 78 >> 3)},
      // the fade: (d * (a + 1)) >> 8 with alpha 145
      {GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA, 255, 255, 255, 145, rgb565(46 >> 3, 46 >> 2, 140 >> 3)},
      // the text blend: s + (d * (a + 1)) >> 8, saturating
      {GR_BLEND_ONE, GR_BLEND_SRC_ALPHA, 10, 10, 10, 0, rgb565(10 >> 3, 10 >> 2, 10 >> 3)},
      // classic transparency: (s * (a + 1) + d * (256 - a)) >> 8
      {GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, 255, 0, 0, 63,
       rgb565(((255 * 64 + 82 * 193) >> 8) >> 3, ((81 * 193) >> 8) >> 2, ((247 * 193) >> 8) >> 3)},
      // no blending
      {GR_BLEND_ONE, GR_BLEND_ZERO, 40, 40, 40, 0, rgb565(40 >> 3, 40 >> 2, 40 >> 3)},
  };
  for (const Case &c : cases) {
    fill(dst);
    grAlphaBlendFunction(c.src, c.dstFactor, GR_BLEND_ZERO, GR_BLEND_ZERO);
    quad(0, 0, 8, 8, (float)c.r, (float)c.g, (float)c.b, (float)c.a);
    EXPECT_EQ(pixel(2, 2), c.expected) << c.src << "," << c.dstFactor;
  }
}

TEST_F(Pipeline, AlphaTestGreaterThanFiveDropsFiveAndKeepsSix) {
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaTestFunction(GR_CMP_GREATER);
  grAlphaTestReferenceValue(5);
  quad(0, 0, 4, 4, 255, 255, 255, 5);
  quad(4, 0, 8, 4, 255, 255, 255, 6);
  EXPECT_EQ(pixel(1, 1), 0);
  EXPECT_EQ(pixel(5, 1), 0xFFFF);
  // Every comparison against reference 100.
  const int funcs[] = {GR_CMP_NEVER,   GR_CMP_LESS,     GR_CMP_EQUAL,  GR_CMP_LEQUAL,
                       GR_CMP_GREATER, GR_CMP_NOTEQUAL, GR_CMP_GEQUAL, GR_CMP_ALWAYS};
  const bool expected[8][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                               {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}}; // 99, 100, 101
  grAlphaTestReferenceValue(100);
  for (int f = 0; f < 8; ++f) {
    grBufferClear(0, 0, 0);
    grAlphaTestFunction(funcs[f]);
    for (int k = 0; k < 3; ++k) quad(k * 4.0f, 10, k * 4.0f + 4, 14, 255, 255, 255, 99.0f + k);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(pixel(k * 4 + 1, 11) != 0, expected[f][k]) << "function " << f << " alpha " << 99 + k;
  }
}

TEST_F(Pipeline, DitherMatricesAndFormulas) {
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grDitherMode(GR_DITHER_4x4);
  quad(0, 0, 8, 8, 100, 100, 100, 255);
  // (x 1, y 2): d = 11. Red and blue ((200 - 6 + 0 + 11) >> 4) = 12, green ((400 - 6 + 1 + 11) >> 4) = 25.
  EXPECT_EQ(pixel(1, 2), rgb565(12, 25, 12));
  // (x 0, y 0): d = 0: 194 >> 4 = 12, 395 >> 4 = 24.
  EXPECT_EQ(pixel(0, 0), rgb565(12, 24, 12));
  // (x 2, y 1): d = 14: 208 >> 4 = 13, 409 >> 4 = 25.
  EXPECT_EQ(pixel(2, 1), rgb565(13, 25, 13));
  // The pattern repeats every four pixels.
  EXPECT_EQ(pixel(5, 6), pixel(1, 2));
  grDitherMode(GR_DITHER_2x2);
  quad(0, 0, 8, 8, 100, 100, 100, 255);
  // (x 1, y 1): d = 6: 200 >> 4 = 12; 401 >> 4 = 25. (x 1, y 0): d = 10: 204 >> 4 = 12, 405 >> 4 = 25.
  EXPECT_EQ(pixel(1, 1), rgb565(12, 25, 12));
  EXPECT_EQ(pixel(0, 0), rgb565(12, 24, 12)); // d = 2: 196 >> 4, 397 >> 4
  EXPECT_EQ(pixel(3, 3), pixel(1, 1));
  // White stays white and black stays black under every matrix.
  grDitherMode(GR_DITHER_4x4);
  quad(0, 0, 8, 8, 255, 255, 255, 255);
  quad(8, 0, 16, 8, 0, 0, 0, 255);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(pixel(x, y), 0xFFFF);
      EXPECT_EQ(pixel(8 + x, y), 0);
    }
}

TEST_F(Pipeline, MotionBlurFadeKeeps146Of256OfEachChannel) {
  fill(rgb565(31, 63, 16));
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaBlendFunction(GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grDitherMode(GR_DITHER_4x4);
  GrVertex v[4] = {screenVertex(0, 0, 0, 0, 0, 145), screenVertex(W, 0, 0, 0, 0, 145),
                   screenVertex(W, H, 0, 0, 0, 145), screenVertex(0, H, 0, 0, 0, 145)};
  int index[4] = {0, 1, 2, 3};
  grDrawPlanarPolygon(4, index, v);
  // Red 255 -> 145, green 255 -> 145, blue 132 -> 75; then dithered at each position.
  const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  auto rb = [](int v, int d) { return ((v << 1) - (v >> 4) + (v >> 7) + d) >> 4; };
  auto g = [](int v, int d) { return ((v << 2) - (v >> 4) + (v >> 6) + d) >> 4; };
  auto px = backBuffer();
  for (int y : {0, 1, 2, 3, 241, 479})
    for (int x : {0, 1, 2, 3, 322, 639}) {
      int d = m[y & 3][x & 3];
      EXPECT_EQ(px[y * W + x], rgb565(rb(145, d), g(145, d), rb(75, d))) << x << "," << y;
    }
}

TEST_F(Pipeline, BilinearAtTexelCentresReturnsTheTexels) {
  std::vector<uint16_t> texels(256 * 256);
  for (int i = 0; i < 256 * 256; ++i) texels[i] = (uint16_t)(i * 2654435761u >> 16);
  GrMipMapId_t id = allocate(GR_TEXFMT_RGB_565);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  guTexSource(id);
  texturedState();
  // Pixel centre x + 0.5 lands on texel centre x: the texture comes back exact.
  texturedQuad(100, 50, 356, 306, 0, 0, 256, 256);
  auto px = backBuffer();
  for (int t = 0; t < 256; ++t)
    for (int s = 0; s < 256; ++s) ASSERT_EQ(px[(50 + t) * W + 100 + s], texels[t * 256 + s]) << s << "," << t;
}

TEST_F(Pipeline, IntensityTextureAndBilinearWeights) {
  // An intensity texture of 2:1 whose columns alternate 0 and 255: t spans 0..128.
  std::vector<uint8_t> texels(256 * 128);
  for (int t = 0; t < 128; ++t)
    for (int s = 0; s < 256; ++s) texels[t * 256 + s] = (s & 1) ? 255 : 0;
  GrMipMapId_t id = allocate(GR_TEXFMT_INTENSITY_8, GR_ASPECT_2x1);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  guTexSource(id);
  texturedState();
  // Texel centres: exact; texel edges: halfway (0 * 128 + 255 * 128) >> 8 = 127.
  texturedQuad(0, 0, 256, 128, 0, 0, 256, 128);
  texturedQuad(0, 200, 256, 328, 0.5f, 0, 256.5f, 128);
  EXPECT_EQ(pixel(4, 10), 0);
  EXPECT_EQ(pixel(5, 10), 0xFFFF);
  EXPECT_EQ(pixel(4, 210), rgb565(127 >> 3, 127 >> 2, 127 >> 3));
  EXPECT_EQ(pixel(5, 210), rgb565(127 >> 3, 127 >> 2, 127 >> 3));
}

TEST_F(Pipeline, ClampRepeatsTheEdgeTexels) {
  std::vector<uint16_t> texels(256 * 256, rgb565(0, 20, 0));
  for (int t = 0; t < 256; ++t) {
    texels[t * 256] = rgb565(31, 0, 0);
    texels[t * 256 + 255] = rgb565(0, 0, 31);
  }
  GrMipMapId_t id = allocate(GR_TEXFMT_RGB_565);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  guTexSource(id);
  texturedState();
  // s from -64 to 320 over 384 pixels: one texel per pixel, 64 beyond each side.
  texturedQuad(0, 0, 384, 16, -64, 100, 320, 116);
  for (int x : {0, 10, 63}) EXPECT_EQ(pixel(x, 8), rgb565(31, 0, 0)) << x;
  for (int x : {64 + 255, 330, 383}) EXPECT_EQ(pixel(x, 8), rgb565(0, 0, 31)) << x;
  EXPECT_EQ(pixel(200, 8), rgb565(0, 20, 0));
}

TEST_F(Pipeline, PerspectiveCorrectTextureCoordinates) {
  std::vector<uint8_t> texels(256 * 256);
  for (int i = 0; i < 256 * 256; ++i) texels[i] = (uint8_t)(i & 255); // intensity = s
  GrMipMapId_t id = allocate(GR_TEXFMT_INTENSITY_8);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  guTexSource(id);
  texturedState();
  // 1/w falls to a quarter towards the top corner: s = (s/w) / (1/w) per pixel.
  const float near = 1.0f / 65500;
  GrVertex v[3] = {screenVertex(0, 0, 255, 255, 255, 255, 0, 0, near),
                   screenVertex(256, 0, 255, 255, 255, 255, 256, 0, near),
                   screenVertex(256, 256, 255, 255, 255, 255, 256, 0, near * 0.25f)};
  int index[3] = {0, 1, 2};
  grDrawPolygon(3, index, v);
  for (int y : {0, 60, 100, 200})
    for (int x : {210, 230, 250}) {
      double cx = x + 0.5, cy = y + 0.5;
      double s = (cx - 0.75 * cy) / (1.0 - 0.75 * cy / 256.0); // the exact projective s
      int expected = (int)std::floor(s - 0.5) >> 3;
      int got = pixel(x, y) >> 11;
      EXPECT_LE(std::abs(got - expected), 1) << x << "," << y << " s " << s;
    }
}

// The specialised paths with vectors up to one width (the test's parameter:
// 512, 256 or 128 bits) against the reference path. Skipped, saying so, where
// the processor has no vectors that wide: those paths were not tested.
class VectorWidth : public BoardTest, public ::testing::WithParamInterface<int> {
protected:
  void SetUp() override {
    BoardTest::SetUp();
    boardUseVectors(GetParam());
    if (boardVectorBits() != GetParam())
      GTEST_SKIP() << "this processor has no " << GetParam() << "-bit vectors (it has up to "
                   << boardVectorBits() << "): the " << GetParam() << "-bit paths did not run";
  }
  void TearDown() override {
    boardForceReferencePipeline(false);
    boardUseVectors(512);
    BoardTest::TearDown();
  }

  // Runs `draw` (which starts by filling the back buffer) the reference way,
  // then the fast way at the test's width: the same pixels, to the bit.
  // Returns the reference pixels.
  std::vector<uint16_t> drawnAlike(const std::function<void()> &draw) {
    std::vector<uint16_t> results[2];
    for (int pass = 0; pass < 2; ++pass) {
      boardForceReferencePipeline(pass == 0);
      draw();
      results[pass] = backBuffer();
    }
    boardForceReferencePipeline(false);
    int differing = 0;
    for (size_t i = 0; i < results[0].size(); ++i) differing += results[1][i] != results[0][i];
    EXPECT_EQ(differing, 0) << GetParam() << "-bit paths";
    return results[0];
  }
};

INSTANTIATE_TEST_SUITE_P(Bits, VectorWidth, ::testing::Values(512, 256, 128),
                         [](const ::testing::TestParamInfo<int> &info) {
                           return std::to_string(info.param) + "bit";
                         });

// Random triangles, lines and points under every state the specialised paths
// cover, over a grey background, with a noise texture of the format.
void drawRandomShapes(GrTextureFormat_t format) {
  std::vector<uint16_t> texels(256 * 256);
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (auto &t : texels) t = (uint16_t)next();
  GrMipMapId_t id = allocate(format);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  guTexSource(id);
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
  grAlphaTestFunction(GR_CMP_GREATER);
  grAlphaTestReferenceValue(5);
  const int blends[5][2] = {{GR_BLEND_ONE, GR_BLEND_ZERO},
                            {GR_BLEND_SRC_ALPHA, GR_BLEND_ONE},
                            {GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO},
                            {GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA},
                            {GR_BLEND_ONE, GR_BLEND_SRC_ALPHA}};
  seed = 777;
  grBufferClear(0x808080, 0, 0);
  for (int k = 0; k < 600; ++k) {
    int mode = k % 5;
    grAlphaBlendFunction(blends[mode][0], blends[mode][1], GR_BLEND_ZERO, GR_BLEND_ZERO);
    guColorCombineFunction((k / 5) % 2 ? GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB : GR_COLORCOMBINE_ITRGB);
    grDitherMode((k / 10) % 3);
    bool flat = (k / 30) % 2;
    bool perspective = (k / 60) % 2;
    float size = k % 7 == 0 ? 400.0f : 60.0f;
    GrVertex v[3];
    for (int i = 0; i < 3; ++i) {
      float x = (float)(next() % 640) + (next() % 16) / 16.0f;
      float y = (float)(next() % 480) + (next() % 16) / 16.0f;
      if (i > 0) {
        x = v[0].x - BoardSnapBias + ((float)(next() % 1000) / 1000.0f - 0.5f) * size;
        y = v[0].y - BoardSnapBias + ((float)(next() % 1000) / 1000.0f - 0.5f) * size;
      }
      float c[4];
      for (float &ch : c) ch = flat ? 0 : (float)(next() % 300) - 20.0f;
      if (flat) {
        // Every alpha from 0 to 255 comes round, with red at 255 and below.
        c[0] = k % 2 ? 255.0f : 180.0f;
        c[1] = 90;
        c[2] = 240;
        c[3] = (float)((k * 37) % 256);
      }
      float oow = (perspective ? 0.2f + (next() % 100) / 100.0f : 1.0f) / 65500;
      v[i] = screenVertex(x, y, c[0], c[1], c[2], c[3], (float)(next() % 300) - 20,
                          (float)(next() % 300) - 20, oow);
    }
    int index[3] = {0, 1, 2};
    grDrawPolygon(3, index, v);
    // Lines and points go through the same specialised writers.
    if (k % 3 == 0)
      grAADrawLine(&v[0], &v[1]);
    else if (k % 3 == 1)
      grDrawLine(&v[1], &v[2]);
    else
      grAADrawPoint(&v[2]);
  }
}

TEST_P(VectorWidth, SpecialisedSpansMatchTheReferencePipeline) {
  // Colour textures, and grey ones (which have a span of their own).
  for (GrTextureFormat_t format : {GR_TEXFMT_RGB_565, GR_TEXFMT_INTENSITY_8}) {
    SCOPED_TRACE("texture format " + std::to_string(format));
    drawnAlike([format] { drawRandomShapes(format); });
  }
}

TEST_P(VectorWidth, LinesCreepingOverTheirTextureMatchTheReferencePipeline) {
  // Long textured lines whose coordinates move by fractions of a texel a
  // step, with and without perspective: steps that share a texel and steps
  // that do not, which the fast writers tell apart; left of the texture and
  // right of it (coordinates rounded down both sides of 0).
  drawnAlike([] {
    drawRandomShapes(GR_TEXFMT_RGB_565); // the texture and the state
    grBufferClear(0x404040, 0, 0);
    guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
    grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
    grDitherMode(GR_DITHER_DISABLE);
    for (int k = 0; k < 40; ++k) {
      const float s = -70.0f + k * 3.3f, reach = 0.02f * (float)(1 << (k % 8));
      const float near = 1.0f / 65500, far = k % 2 ? near * 0.3f : near;
      GrVertex a = screenVertex(10.0f + k, 20.0f + 11 * k, 200, 180, 160, 220, s, s * 0.7f, near);
      GrVertex b =
          screenVertex(630.0f - k, 30.0f + 10 * k, 200, 180, 160, 220, s + reach, s * 0.7f - reach, far);
      grDrawLine(&a, &b);
      a.y += 3.0f;
      b.y += 5.0f;
      grAADrawLine(&a, &b);
    }
  });
}

// A 256 x 256 texture of the given format filled with noise from seed 99
// (texels of T, each the generator's value shifted down by `shift`), made the
// current one.
// With `disc`, texels outside a disc a little off centre are black, as
// around a glow.
template <typename T> void downloadNoise(GrTextureFormat_t format, int shift, bool disc = false) {
  std::vector<T> texels(256 * 256);
  uint32_t seed = 99;
  for (size_t i = 0; i < texels.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int x = (int)(i % 256) - 120, y = (int)(i / 256) - 136;
    texels[i] = disc && x * x + y * y > 90 * 90 ? 0 : (T)(seed >> shift);
  }
  GrMipMapId_t id = allocate(format);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  guTexSource(id);
}

// A 256 x 256 RGB 565 glow made current: white at the centre, fading to
// black at 120 texels through every level, as the scenes' glows do.
void downloadGlow() {
  std::vector<uint16_t> texels(256 * 256);
  for (int i = 0; i < 256 * 256; ++i) {
    const int x = i % 256 - 128, y = i / 256 - 128;
    const int level = std::max(0, 255 - (int)std::sqrt((double)(x * x + y * y)) * 255 / 120);
    texels[i] = (uint16_t)((level >> 3) << 11 | (level >> 2) << 5 | (level >> 3));
  }
  GrMipMapId_t id = allocate(GR_TEXFMT_RGB_565);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  guTexSource(id);
}

TEST_P(VectorWidth, SpritesOfEveryWidthDrawTheSameAsTheReference) {
  // Upright, flat-coloured sprites like the scenes' glows: every width from 1
  // to 100 pixels (groups of 32, their ends, and spans too short for them),
  // the texture shrunk to a few pixels or stretched over many, each blend,
  // dither setting and alpha the fast paths treat apart, drawn over a
  // varied background, some mirrored: the reference path's pixels, and so
  // does leaving out what adds black to a glow's corners.
  // A glow fading through every level, under dim colours and alphas, leaves
  // out the pixels whose taps are too dark to add anything.
  for (int texture : {0, 1, 2}) {
    const bool disc = texture == 1, glow = texture == 2;
    SCOPED_TRACE(glow ? "a fading glow" : (disc ? "black around a disc" : "noise everywhere"));
    if (glow)
      downloadGlow();
    else
      downloadNoise<uint16_t>(GR_TEXFMT_RGB_565, 13, disc);
    grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
    guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
    guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
    const int blends[5][2] = {{GR_BLEND_ONE, GR_BLEND_ZERO},
                              {GR_BLEND_SRC_ALPHA, GR_BLEND_ONE},
                              {GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO},
                              {GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA},
                              {GR_BLEND_ONE, GR_BLEND_SRC_ALPHA}};
    drawnAlike([&] {
      fillPattern();
      for (int k = 0; k < 300; ++k) {
        grAlphaBlendFunction(blends[k % 5][0], blends[k % 5][1], GR_BLEND_ZERO, GR_BLEND_ZERO);
        grDitherMode(k / 5 % 3);
        const float width = (float)(k % 100 + 1), height = 5.0f + (float)(k % 7);
        const float x = 2.0f + (float)(k * 37 % 520) + (float)(k % 16) / 16.0f;
        const float y = 2.0f + (float)(k * 53 % 460);
        const float alpha = k % 4 == 0 ? 255.0f : (float)(k * 61 % 256);
        const float red = glow ? (float)(k * 29 % 256) : 250.0f, green = glow ? (float)(k * 13 % 200) : 120.0f,
                    blue = glow ? (float)(k * 7 % 64) : 30.0f;
        // Shrunk (the whole texture over the sprite) or stretched (a few texels).
        float s0 = k % 3 == 0 ? (k % 2 ? 100.0f : 20.0f) : 0.5f,
              s1 = k % 3 == 0 ? s0 + 20.0f + (float)(k % 11) : 255.0f;
        if (k % 4 == 1) std::swap(s0, s1);
        const float t0 = 0.5f + (float)(k % 9) * 5.0f, t1 = 200.0f + (float)(k % 5) * 10.0f;
        GrVertex v[4] = {screenVertex(x, y, red, green, blue, alpha, s0, t0),
                         screenVertex(x + width, y, red, green, blue, alpha, s1, t0),
                         screenVertex(x + width, y + height, red, green, blue, alpha, s1, t1),
                         screenVertex(x, y + height, red, green, blue, alpha, s0, t1)};
        int index[4] = {0, 1, 2, 3};
        grDrawPolygon(4, index, v);
      }
    });
  }
}

TEST_P(VectorWidth, FarTextureCoordinatesDrawTheSameAsTheReference) {
  // Perspective spans whose texel coordinates run far past the texture, some
  // beyond what 32 bits hold: the vector spans must notice that their taps
  // leave the border and give the reference path's pixels.
  std::vector<uint16_t> texels(256 * 256);
  for (int i = 0; i < 256 * 256; ++i) texels[i] = (uint16_t)(i * 40503u >> 3);
  const float far[] = {-3.0e6f, -40000.0f, -300.0f, -1.5f, 0.5f, 255.5f, 300.0f, 40000.0f, 3.0e6f};
  for (GrTextureFormat_t format : {GR_TEXFMT_INTENSITY_8, GR_TEXFMT_RGB_565}) {
    SCOPED_TRACE("texture format " + std::to_string(format));
    GrMipMapId_t id = allocate(format);
    guTexDownloadMipMap(id, texels.data(), nullptr);
    guTexSource(id);
    grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
    guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
    guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
    grDitherMode(GR_DITHER_4x4);
    drawnAlike([&] {
      fill(0x4208);
      for (int k = 0; k < 81; ++k) {
        grAlphaBlendFunction(k % 2 ? GR_BLEND_SRC_ALPHA : GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO,
                             GR_BLEND_ZERO);
        const float x = 8.0f + (k % 9) * 70.0f, y = 8.0f + (k / 9) * 52.0f;
        const float s = far[k % 9], t = far[k / 9];
        GrVertex v[3] = {screenVertex(x, y, 200, 160, 90, 220, 10, 20, 1.0f / 65500),
                         screenVertex(x + 66.5f, y + 3, 200, 160, 90, 220, s, 128, 0.5f / 65500),
                         screenVertex(x + 20, y + 49.25f, 200, 160, 90, 220, 40, t, 0.01f / 65500)};
        int index[3] = {0, 1, 2};
        grDrawPolygon(3, index, v);
      }
    });
  }
}

TEST_P(VectorWidth, GreySpansOfEveryLengthMatchTheReference) {
  // Rectangles 1 to 40 pixels wide, at every start modulo sixteen and on
  // every dither row, with a grey texture magnified as the sky's is (whose
  // quads the vector spans read from registers), stretched so that a group
  // of pixels reaches a third or fourth row, or past sixteen columns or four
  // rows, and minified; under both blends of a grey span, several alphas and
  // every dither mode.
  downloadNoise<uint8_t>(GR_TEXFMT_INTENSITY_8, 24);
  texturedState();
  struct Reach {
    float s, t; // texels across and down a rectangle
  } const reaches[] = {{3, 2}, {0.5f, 9}, {40, 1}, {20, 70}, {300, 250}};
  const int dithers[] = {GR_DITHER_DISABLE, GR_DITHER_2x2, GR_DITHER_4x4};
  const std::vector<uint16_t> reference = drawnAlike([&] {
    fill(0x1234);
    int k = 0;
    for (int width = 1; width <= 40; ++width)
      for (int start = 0; start < 16; start += 3, ++k) {
        const Reach &r = reaches[k % 5];
        grDitherMode(dithers[k % 3]);
        const bool scaled = k % 4 != 0;
        grAlphaBlendFunction(scaled ? GR_BLEND_SRC_ALPHA : GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO,
                             GR_BLEND_ZERO);
        const float a = k % 7 == 0 ? 255.0f : (float)(40 + k * 29 % 216);
        const float red = (float)(k * 53 % 256), green = (float)(255 - k * 31 % 256), blue = 255;
        // Sixteen pixels a column plus the start, six rows down the screen.
        const float x = (float)(start + 48 * (k % 13)), y = (float)(7 * (k / 13));
        const float s0 = (float)(k * 11 % 200), t0 = (float)(k * 17 % 180);
        const float near = 1.0f / 65500, far = (0.4f + (k % 5) * 0.15f) / 65500;
        GrVertex v[4] = {screenVertex(x, y, red, green, blue, a, s0, t0, near),
                         screenVertex(x + width, y, red, green, blue, a, s0 + r.s, t0 + r.t / 2, far),
                         screenVertex(x + width, y + 6, red, green, blue, a, s0 + r.s, t0 + r.t * 1.5f, far),
                         screenVertex(x, y + 6, red, green, blue, a, s0, t0 + r.t, near)};
        int index[4] = {0, 1, 2, 3};
        grDrawPolygon(4, index, v);
      }
  });
  // Something was drawn over the fill.
  int drawn = 0;
  for (uint16_t px : reference) drawn += px != 0x1234;
  EXPECT_GT(drawn, 40 * 6 * 6 * 10);
}

TEST_F(Pipeline, PolygonsDrawTheSameAsTheirTriangles) {
  // Sprites, rotated and scaled, flat or shaded, and polygons that are not
  // convex: the fast path (which may draw a convex polygon in one pass) and
  // the reference path (triangle by triangle) give the same pixels.
  std::vector<uint16_t> texels(256 * 256);
  for (int i = 0; i < 256 * 256; ++i) texels[i] = (uint16_t)(i * 7919u);
  GrMipMapId_t id = allocate(GR_TEXFMT_RGB_565);
  guTexDownloadMipMap(id, texels.data(), nullptr);
  guTexSource(id);
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grDitherMode(GR_DITHER_4x4);
  std::vector<uint16_t> results[2];
  for (int pass = 0; pass < 2; ++pass) {
    boardForceReferencePipeline(pass == 1);
    fill(0x2104);
    for (int k = 0; k < 120; ++k) {
      guColorCombineFunction(k % 3 ? GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB : GR_COLORCOMBINE_ITRGB);
      float cx = 40.0f + (k * 53 % 560) + (k % 16) / 16.0f, cy = 30.0f + (k * 37 % 420);
      float size = 6.0f + (k * 13 % 60), angle = k * 0.37f;
      float c = std::cos(angle) * size, s = std::sin(angle) * size;
      bool shaded = k % 4 == 0;
      GrVertex v[6];
      const float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
      for (int i = 0; i < 4; ++i) {
        float x = cx + corner[i][0] * c - corner[i][1] * s, y = cy + corner[i][0] * s + corner[i][1] * c;
        v[i] = screenVertex(x, y, 200, shaded ? 60.0f * i : 150, 90, shaded ? 100.0f + 40 * i : 180,
                            corner[i][0] > 0 ? 256 : 0, corner[i][1] > 0 ? 256 : 0);
      }
      int index[6] = {0, 1, 2, 3, 4, 5};
      if (k % 10 == 9) {
        // Not convex: a dart, and a five-pointed star.
        v[2] = screenVertex(cx, cy - size * 0.2f, 255, 255, 255, 200, 128, 128);
        grDrawPolygon(4, index, v);
        for (int i = 0; i < 5; ++i) {
          float a = i * 2 * 2.5132741f;
          v[i] = screenVertex(cx + size * std::cos(a), cy + size * std::sin(a), 255, 200, 100, 150,
                              128 + 100 * std::cos(a), 128 + 100 * std::sin(a));
        }
        grDrawPolygon(5, index, v);
      } else if (k % 2) {
        grDrawPolygon(4, index, v);
      } else {
        grDrawPlanarPolygon(4, index, v);
      }
    }
    results[pass] = backBuffer();
  }
  boardForceReferencePipeline(false);
  int differing = 0;
  for (size_t i = 0; i < results[0].size(); ++i) differing += results[0][i] != results[1][i];
  EXPECT_EQ(differing, 0);
}

TEST_F(Pipeline, ColourMaskOffWritesNothing) {
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grColorMask(FXFALSE, FXFALSE);
  quad(0, 0, 8, 8, 255, 255, 255, 255);
  grBufferClear(0xFFFFFFFF, 0, 0);
  EXPECT_EQ(pixel(2, 2), 0);
  grColorMask(FXTRUE, FXFALSE);
  grBufferClear(0x000000FF, 0, 0); // ABGR: red
  EXPECT_EQ(pixel(2, 2), rgb565(31, 0, 0));
}

} // namespace
