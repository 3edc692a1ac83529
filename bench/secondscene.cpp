// Per-frame cost of the star-field scene's objects (the sky left out), with
// the default "MainStars" 200 and the control panel's largest 500, the star
// population filled up to the capacity: once with the drawing discarded at the
// board's door (the scene's own work), once drawn by the software board at
// 800 x 600. Also one neighbour rebuild, the scene's costliest operation.
#include <benchmark/benchmark.h>

#include "bench/benchboard.h"

#include "assets/textures.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "glide/glide.h"
#include "glide/presenter.h"
#include "math/clip.h"
#include "math/trig.h"
#include "frame/random.h"
#include "secondscene/director.h"
#include "secondscene/mainstar.h"
#include "secondscene/secondscene.h"

namespace {

void openBoard() { openBenchBoard(); }

void noPolygon(int, const int[], const GrVertex[]) {}
void noLine(const GrVertex *, const GrVertex *) {}
void noPoint(const GrVertex *) {}

void advance() {
  ElapsedSeconds += 1.0f / 60;
  FrameDelta = 1.0f / 60;
  stepSecondScene(false);
}

// A scene whose main stars fill the capacity, two seconds into its life.
void fillScene(int capacity) {
  programSrand(1);
  PeakAlpha = 255.0f;
  ElapsedSeconds = 0.0f;
  applySecondSceneSettings(capacity, 3, 650, 60, 0);
  fillRingTables();
  spawnSecondScene();
  for (int i = 0; i < capacity - 5; ++i) StarType1::create();
  for (int i = 0; i < 120; ++i) advance();
}

void runScene(benchmark::State &state, bool draw) {
  openBoard();
  if (!draw) BoardDraw = BoardDrawCalls{noPolygon, noLine, noLine, noPoint};
  fillScene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    advance();
    if (draw) grBufferClear(0, 0, 0);
  }
  state.counters["stars"] = StarType1::liveCount();
  clearSecondScene();
  resetBoardDrawCalls();
}

void BM_SecondSceneObjects(benchmark::State &state) { runScene(state, false); }
void BM_SecondSceneDrawn(benchmark::State &state) { runScene(state, true); }

void BM_RebuildNeighbours(benchmark::State &state) {
  openBoard();
  BoardDraw = BoardDrawCalls{noPolygon, noLine, noLine, noPoint};
  fillScene(static_cast<int>(state.range(0)));
  StarType1 *o = StarType1::list().head;
  for (auto _ : state) rebuildNeighbours(*o);
  clearSecondScene();
  resetBoardDrawCalls();
}

} // namespace

BENCHMARK(BM_SecondSceneObjects)->Arg(200)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SecondSceneDrawn)->Arg(200)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildNeighbours)->Arg(200)->Arg(500)->Unit(benchmark::kMicrosecond);
