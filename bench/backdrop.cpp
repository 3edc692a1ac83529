// Start-up and per-frame cost of the nebula sky on an 800 x 600 board.
#include <benchmark/benchmark.h>

#include "bench/benchboard.h"

#include <cmath>

#include "assets/textures.h"
#include "backdrop/backdrop.h"
#include "backdrop/noise.h"
#include "backdrop/skycube.h"
#include "display/glidedisplay.h"
#include "glide/glide.h"
#include "glide/presenter.h"
#include "math/camera.h"
#include "frame/random.h"

namespace {

void openBoard() {
  openBenchBoard();
  setFixedSeed(1);
}

// The first scene's orbit at time t: radius 55 around the origin.
void orbitCamera(float t) {
  float a = std::sin(0.05f * t) * 0.785398f;
  float c = -0.0593f * t;
  Vector3 eye{std::cos(c) * std::cos(a) * 55.0f, std::sin(a) * 55.0f, std::sin(c) * std::cos(a) * 55.0f};
  setCamera(eye, Vector3{0, 0, 0}, Vector3{0, 1, 0}, 1.6f, 2.0f, 30000.0f);
  updateCamera();
}

void BM_BuildBackdrop(benchmark::State &state) {
  openBoard();
  for (auto _ : state) buildBackdrop(false, 255.0f, 0.0f, 16.0f, 64.0f);
}
BENCHMARK(BM_BuildBackdrop)->Unit(benchmark::kMillisecond);

// One frame while the faces are still being refined (the first 51 seconds).
void BM_DrawBackdropRefining(benchmark::State &state) {
  openBoard();
  buildBackdrop(state.range(0) != 0, 255.0f, 0.0f, 16.0f, 64.0f);
  float t = 0.0f;
  for (auto _ : state) {
    if (backdropRefineProgress() >= RefineTotal) {
      state.PauseTiming();
      buildBackdrop(state.range(0) != 0, 255.0f, 0.0f, 16.0f, 64.0f);
      state.ResumeTiming();
    }
    orbitCamera(t += 1.0f / 60.0f);
    drawBackdrop(state.range(0) != 0);
  }
}
BENCHMARK(BM_DrawBackdropRefining)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One frame after every face is sharp.
void BM_DrawBackdropSharp(benchmark::State &state) {
  openBoard();
  buildBackdrop(false, 255.0f, 0.0f, 16.0f, 64.0f);
  while (backdropRefineProgress() < RefineTotal) refineTexels(TexelsPerFrame);
  float t = 0.0f;
  for (auto _ : state) {
    orbitCamera(t += 1.0f / 60.0f);
    drawBackdrop(false);
  }
}
BENCHMARK(BM_DrawBackdropSharp)->Unit(benchmark::kMicrosecond);

void BM_RefineTexels(benchmark::State &state) {
  openBoard();
  buildBackdrop(false, 255.0f, 0.0f, 16.0f, 64.0f);
  for (auto _ : state) {
    if (backdropRefineProgress() >= RefineTotal) {
      state.PauseTiming();
      buildBackdrop(false, 255.0f, 0.0f, 16.0f, 64.0f);
      state.ResumeTiming();
    }
    refineTexels(TexelsPerFrame);
  }
}
BENCHMARK(BM_RefineTexels)->Unit(benchmark::kMicrosecond);

void BM_TexelIntensity(benchmark::State &state) {
  setFixedSeed(1);
  initNoise();
  Vector3 p{0.48f, 0.6f, 0.64f};
  for (auto _ : state) {
    benchmark::DoNotOptimize(texelIntensity(p));
    p.x += 1e-4f;
  }
}
BENCHMARK(BM_TexelIntensity);

} // namespace
