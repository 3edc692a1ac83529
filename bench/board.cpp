// Fill rate of the software board on one thread, in megapixels per second,
// for the four kinds of drawing a frame is made of.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "glide/extension.h"
#include "glide/glide.h"
#include "glide/pipeline.h"
#include "glide/presenter.h"

namespace {

GrVertex vertex(float x, float y, float r, float g, float b, float a, float s, float t, float oow) {
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

// Opens the screen; the spans use vectors up to `bits` wide (0: the widest
// the processor has). False, the benchmark skipped, where the processor has
// none that wide.
bool openScreen(benchmark::State &state, int bits = 0) {
  boardSetThreads(1); // draws land at each call: the fill rate of one thread
  boardUseVectors(bits ? bits : 512);
  if (bits && boardVectorBits() != bits) {
    state.SkipWithError(("this processor has no " + std::to_string(bits) + "-bit vectors").c_str());
    return false;
  }
  boardSetPresenter(nullptr);
  boardSetRetraceWait(false);
  grGlideInit();
  GrHwConfiguration hw;
  grSstQueryHardware(&hw);
  grSstWinOpen(0, GR_RESOLUTION_800x600, GR_REFRESH_60Hz, GR_COLORFORMAT_ABGR, GR_ORIGIN_LOWER_LEFT, 2, 0);
  grBufferClear(0x00203040, 0, 0);
  return true;
}

GrMipMapId_t glowTexture(GrTextureFormat_t format, GrAspectRatio_t aspect) {
  int w = 256, h = aspect == GR_ASPECT_2x1 ? 128 : 256;
  GrMipMapId_t id = guTexAllocateMemory(GR_TMU0, 3, w, h, format, GR_MIPMAP_NEAREST, GR_LOD_256, GR_LOD_256,
                                        aspect, GR_TEXTURECLAMP_CLAMP, GR_TEXTURECLAMP_CLAMP,
                                        GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR, 0.0f, FXFALSE);
  std::vector<uint16_t> t565(w * h);
  std::vector<uint8_t> t8(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float dx = (x - w / 2 + 0.5f) / (w / 2), dy = (y - h / 2 + 0.5f) / (h / 2);
      float d = std::sqrt(dx * dx + dy * dy);
      int c = d < 1.0f ? (int)(255 * (1 - d) * (1 - d)) : 0;
      t565[y * w + x] = (uint16_t)((c >> 3) << 11 | (c >> 2) << 5 | (c >> 3));
      t8[y * w + x] = (uint8_t)c;
    }
  guTexDownloadMipMap(id, format == GR_TEXFMT_RGB_565 ? (void *)t565.data() : (void *)t8.data(), nullptr);
  return id;
}

void reportPixels(benchmark::State &state, double pixelsPerIteration) {
  state.counters["Mpixel/s"] =
      benchmark::Counter(pixelsPerIteration * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

// The scenes' glow state: an RGB 565 glow texture times the vertex colour,
// added by its alpha.
void useGlowState() {
  guTexSource(glowTexture(GR_TEXFMT_RGB_565, GR_ASPECT_1x1));
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
}

// (a) 48 x 48 textured sprites, additive, the scenes' glow state.
void BM_Sprites48(benchmark::State &state) {
  if (!openScreen(state, (int)state.range(0))) return;
  useGlowState();
  grAlphaTestFunction(GR_CMP_GREATER);
  grAlphaTestReferenceValue(5);
  grDitherMode(GR_DITHER_4x4);
  const int count = 200;
  std::vector<GrVertex> quads(count * 4);
  for (int i = 0; i < count; ++i) {
    float x = 40.0f + (i * 37 % 700) + 0.3125f, y = 40.0f + (i * 53 % 500) + 0.6875f;
    float oow = 1.0f / 65500.0f;
    quads[i * 4 + 0] = vertex(x, y, 255, 180, 120, 200, 0, 0, oow);
    quads[i * 4 + 1] = vertex(x + 48, y, 255, 180, 120, 200, 256, 0, oow);
    quads[i * 4 + 2] = vertex(x + 48, y + 48, 255, 180, 120, 200, 256, 256, oow);
    quads[i * 4 + 3] = vertex(x, y + 48, 255, 180, 120, 200, 0, 256, oow);
  }
  int index[4] = {0, 1, 2, 3};
  for (auto _ : state)
    for (int i = 0; i < count; ++i) grDrawPolygon(4, index, &quads[i * 4]);
  reportPixels(state, 48.0 * 48.0 * count);
  grGlideShutdown();
}
BENCHMARK(BM_Sprites48)->Arg(512)->Arg(256)->Arg(128);

// (a') the first scene's glows: 800 small upright sprites a frame, from 12 to
// 40 pixels across, of a 256 x 256 texture, added without dither.
void BM_Glows(benchmark::State &state) {
  if (!openScreen(state, (int)state.range(0))) return;
  useGlowState();
  grDitherMode(GR_DITHER_DISABLE);
  const int count = 800;
  std::vector<GrVertex> quads(count * 4);
  double pixels = 0.0;
  for (int i = 0; i < count; ++i) {
    const float size = 12.0f + (float)(i * 7 % 29), oow = 1.0f / 65500.0f;
    const float x = 20.0f + (float)(i * 37 % 740) + (float)(i % 7) * 0.1171875f;
    const float y = 20.0f + (float)(i * 53 % 540) + (float)(i % 5) * 0.1796875f;
    const float r = (float)(i * 41 % 256), g = (float)(i * 67 % 256), b = 255.0f;
    quads[i * 4 + 0] = vertex(x, y, r, g, b, 255, 0, 0, oow);
    quads[i * 4 + 1] = vertex(x + size, y, r, g, b, 255, 256, 0, oow);
    quads[i * 4 + 2] = vertex(x + size, y + size, r, g, b, 255, 256, 256, oow);
    quads[i * 4 + 3] = vertex(x, y + size, r, g, b, 255, 0, 256, oow);
    pixels += (double)size * size;
  }
  int index[4] = {0, 1, 2, 3};
  for (auto _ : state)
    for (int i = 0; i < count; ++i) grDrawPolygon(4, index, &quads[i * 4]);
  reportPixels(state, pixels);
  grGlideShutdown();
}
BENCHMARK(BM_Glows)->Arg(512)->Arg(256);

// (b) a full-screen quad with an intensity texture and varying 1/w.
void BM_PerspectiveScreen(benchmark::State &state) {
  if (!openScreen(state, (int)state.range(0))) return;
  guTexSource(glowTexture(GR_TEXFMT_INTENSITY_8, GR_ASPECT_1x1));
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO, GR_BLEND_ZERO);
  GrVertex q[4] = {vertex(0, 0, 200, 220, 255, 255, 0, 0, 1.0f / 65500),
                   vertex(800, 0, 200, 220, 255, 255, 256, 0, 1.0f / 65500),
                   vertex(800, 600, 200, 220, 255, 255, 256, 256, 0.4f / 65500),
                   vertex(0, 600, 200, 220, 255, 255, 0, 256, 0.4f / 65500)};
  int index[4] = {0, 1, 2, 3};
  for (auto _ : state) grDrawPolygon(4, index, q);
  reportPixels(state, 800.0 * 600.0);
  grGlideShutdown();
}
BENCHMARK(BM_PerspectiveScreen)->Arg(512)->Arg(256)->Arg(128);

// (c) the motion-blur fade over the whole screen.
void BM_Fade(benchmark::State &state) {
  if (!openScreen(state)) return;
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grDitherMode(GR_DITHER_4x4);
  grAlphaBlendFunction(GR_BLEND_ZERO, GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  GrVertex q[4] = {vertex(0, 0, 0, 0, 0, 145, 0, 0, 1), vertex(800, 0, 0, 0, 0, 145, 0, 0, 1),
                   vertex(800, 600, 0, 0, 0, 145, 0, 0, 1), vertex(0, 600, 0, 0, 0, 145, 0, 0, 1)};
  int index[4] = {0, 1, 2, 3};
  grBufferClear(0x00F0C0A0, 0, 0);
  // The cost does not depend on the colours, so the buffer need not be refilled.
  for (auto _ : state) grDrawPlanarPolygon(4, index, q);
  reportPixels(state, 800.0 * 600.0);
  grGlideShutdown();
}
BENCHMARK(BM_Fade);

// Ends of `count` lines 20 pixels long along their major axis, at angles up
// to 40 degrees either way, with the texture coordinates and 1/w given for
// the first and the second end.
std::vector<GrVertex> lineEnds(int count, float s0, float t0, float oow0, float s1, float t1, float oow1) {
  std::vector<GrVertex> ends(count * 2);
  for (int i = 0; i < count; ++i) {
    float slope = std::tan(((i * 37 % 81) - 40) * 0.0174533f);
    float x = 50.0f + (i * 37 % 700) + 0.5f, y = 50.0f + (i * 53 % 500) + 0.3125f;
    float dx = i % 2 ? 20.0f : -20.0f;
    ends[i * 2] = vertex(x, y, 120, 200, 255, 255, s0, t0, oow0);
    ends[i * 2 + 1] = vertex(x + dx, y + dx * slope, 255, 255, 255, 128, s1, t1, oow1);
  }
  return ends;
}

// (d) antialiased lines 20 pixels long along their major axis, at angles up
// to 40 degrees either way; each step along the major axis covers two pixels.
void BM_AALines20(benchmark::State &state) {
  if (!openScreen(state)) return;
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
  grAlphaTestFunction(GR_CMP_GREATER);
  grAlphaTestReferenceValue(5);
  const int count = 1000;
  const std::vector<GrVertex> ends = lineEnds(count, 0, 0, 1, 0, 0, 1);
  for (auto _ : state)
    for (int i = 0; i < count; ++i) grAADrawLine(&ends[i * 2], &ends[i * 2 + 1]);
  reportPixels(state, 40.0 * count);
  grGlideShutdown();
}
BENCHMARK(BM_AALines20);

} // namespace

// (e) textured antialiased lines and points, the streams' state: the fast
// writers (0) and the reference path (1).
void BM_TexturedLinesAndPoints(benchmark::State &state) {
  if (!openScreen(state)) return;
  boardForceReferencePipeline(state.range(0) == 1);
  useGlowState();
  grAlphaTestFunction(GR_CMP_GREATER);
  grAlphaTestReferenceValue(5);
  const int count = 1000;
  const std::vector<GrVertex> ends = lineEnds(count, 10, 128, 1.0f / 65500, 240, 128, 0.5f / 65500);
  for (auto _ : state)
    for (int i = 0; i < count; ++i) {
      grAADrawLine(&ends[i * 2], &ends[i * 2 + 1]);
      grAADrawPoint(&ends[i * 2]);
    }
  reportPixels(state, (40.0 + 9.0) * count);
  boardForceReferencePipeline(false);
  grGlideShutdown();
}
BENCHMARK(BM_TexturedLinesAndPoints)->Arg(0)->Arg(1);
