// Per-frame cost of the first scene's objects (the sky left out), with the
// default counts and with the largest counts the control panel offers: once
// with the drawing discarded at the board's door (the scene's own work), once
// drawn by the software board at 800 x 600.
#include <benchmark/benchmark.h>

#include "bench/benchboard.h"

#include "assets/textures.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "firstscene/director.h"
#include "firstscene/firstscene.h"
#include "glide/glide.h"
#include "glide/presenter.h"
#include "math/clip.h"
#include "math/trig.h"
#include "frame/random.h"

namespace {

void openBoard() { openBenchBoard(); }

FirstSceneSettings sceneSettings(bool largest) {
  FirstSceneSettings s;
  s.backdrop = 0;
  s.staticCamera = 0;
  if (largest) {
    s.trailers = 15;
    s.worms = 5;
    s.spinners = 5;
    s.meteors = 5;
    s.tubifex = 24;
    s.debris = 2000;
  }
  return s;
}

void noPolygon(int, const int[], const GrVertex[]) {}
void noLine(const GrVertex *, const GrVertex *) {}
void noPoint(const GrVertex *) {}

void runScene(benchmark::State &state, bool draw) {
  openBoard();
  if (!draw) BoardDraw = BoardDrawCalls{noPolygon, noLine, noLine, noPoint};
  programSrand(1);
  PeakAlpha = 255.0f;
  ElapsedSeconds = 0.0f;
  buildFirstSceneFrom(sceneSettings(state.range(0) != 0), false);
  // Two seconds at 60 frames per second fill the puff and spark streams.
  for (int i = 0; i < 120; ++i) {
    ElapsedSeconds += 1.0f / 60;
    FrameDelta = 1.0f / 60;
    stepFirstScene(false);
  }
  for (auto _ : state) {
    ElapsedSeconds += 1.0f / 60;
    FrameDelta = 1.0f / 60;
    stepFirstScene(false);
    if (draw) grBufferClear(0, 0, 0);
  }
  clearFirstScene();
  resetBoardDrawCalls();
}

void BM_FirstSceneObjects(benchmark::State &state) { runScene(state, false); }
void BM_FirstSceneDrawn(benchmark::State &state) { runScene(state, true); }

} // namespace

BENCHMARK(BM_FirstSceneObjects)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstSceneDrawn)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
