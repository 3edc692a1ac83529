// Start-up and per-frame costs of the textures, the font and the read-out.
#include <benchmark/benchmark.h>

#include "assets/font.h"
#include "assets/framestats.h"
#include "assets/textures.h"
#include "glide/glide.h"
#include "platform/resources.h"

namespace {

// Parsing one 256 x 256 16-bit texture (done seven times at start-up).
void BM_ReadTexture(benchmark::State &state) {
  for (auto _ : state) {
    TextureInfo t;
    benchmark::DoNotOptimize(readTexture3df("#110", t));
    releaseTexels(t);
  }
  state.SetBytesProcessed(state.iterations() * 131072);
}
BENCHMARK(BM_ReadTexture);

// The whole texture load at start-up: parse, allocate and download all seven.
void BM_LoadTextures(benchmark::State &state) {
  for (auto _ : state) {
    grGlideInit();
    clearTextureTable();
    benchmark::DoNotOptimize(loadTextures());
    grGlideShutdown();
  }
  clearTextureTable();
}
BENCHMARK(BM_LoadTextures)->Unit(benchmark::kMillisecond);

// A texture change during a frame: table scan and the board call.
void BM_SelectTexture(benchmark::State &state) {
  grGlideInit();
  clearTextureTable();
  loadTextures();
  for (auto _ : state) selectTexture(110);
  clearTextureTable();
  grGlideShutdown();
}
BENCHMARK(BM_SelectTexture);

// The frame-rate read-out's step and drawing on a 640 x 480 screen.
void BM_ReadOut(benchmark::State &state) {
  grGlideInit();
  grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_LOWER_LEFT, 2, 1);
  setFontData(findResource("#108", "TEXTUREDATA").data);
  FrameStats stats;
  float clock = 0.0f;
  char text[256];
  for (auto _ : state) {
    clock += 1.0f / 60.0f;
    if (stepFrameStats(stats, clock, text)) drawText(1, 3, text);
  }
  grGlideShutdown();
}
BENCHMARK(BM_ReadOut);

} // namespace
