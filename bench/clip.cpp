// Clipping and emitting camera-facing quads, the way the scenes draw their
// particles. The board's draw call is replaced by a counter so that the figure
// is the cost of projection, clipping and screen conversion alone.
#include <benchmark/benchmark.h>

#include <vector>

#include "display/glidedisplay.h"
#include "math/camera.h"
#include "math/clip.h"
#include "math/trig.h"
#include "frame/random.h"

namespace {

long long Drawn = 0;
void countPolygon(int, const int[], const GrVertex[]) { ++Drawn; }

float symmetric() { return 1.0f - 2.0f * programRand() / 32767.0f; }

// Centres spread so that some quads sit well inside the view, some cross its
// edges or the near plane, and some lie behind the camera or beyond the far plane.
// The quads' half-sizes vary widely, as the scenes' glows and debris do.
std::vector<Vector3> quadCentres(int count, std::vector<float> *halves = nullptr) {
  programSrand(7);
  std::vector<Vector3> centres(count);
  for (Vector3 &c : centres) {
    c = {symmetric() * 900.0f, symmetric() * 700.0f, symmetric() * 1200.0f + 600.0f};
    if (halves) halves->push_back(10.0f + 500.0f * programRand() / 32767.0f);
  }
  return centres;
}

void placeCamera() {
  setRenderSize(800, 600);
  initTrigTables();
  setCamera(Vector3{0, 0, -300}, Vector3{0, 0, 0}, Vector3{0, 1, 0}, 0.6f, 5.0f, 1500.0f);
  updateCamera();
}

void BM_ClipAndEmitBillboards(benchmark::State &state) {
  placeCamera();
  std::vector<float> halves;
  const std::vector<Vector3> centres = quadCentres(100000, &halves);
  BoardDraw.drawPolygon = countPolygon;
  Drawn = 0;
  ClipVertex corners[4] = {};
  for (ClipVertex &v : corners) {
    v[4] = 200.0f;
    v[5] = 180.0f;
    v[6] = 255.0f;
    v[7] = 255.0f;
  }
  corners[1][8] = 255.0f;
  corners[2][8] = 255.0f;
  corners[2][9] = 255.0f;
  corners[3][9] = 255.0f;
  for (auto _ : state) {
    for (size_t q = 0; q < centres.size(); ++q) {
      float clip[4];
      projectToClip(centres[q], clip);
      const float dx = halves[q] * CameraScaleX, dy = halves[q] * CameraScaleY;
      corners[0][0] = clip[0] - dx;
      corners[0][1] = clip[1] - dy;
      corners[1][0] = clip[0] + dx;
      corners[1][1] = clip[1] - dy;
      corners[2][0] = clip[0] + dx;
      corners[2][1] = clip[1] + dy;
      corners[3][0] = clip[0] - dx;
      corners[3][1] = clip[1] + dy;
      for (ClipVertex &v : corners) {
        v[2] = clip[2];
        v[3] = clip[3];
      }
      ClipVertex *list[12] = {&corners[0], &corners[1], &corners[2], &corners[3]};
      int count;
      drawPolygon3D(10, 4, list, count, list);
    }
  }
  resetBoardDrawCalls();
  // How the quads fall: wholly inside, crossing a plane, or not drawn at all.
  long long inside = 0, crossing = 0;
  for (size_t q = 0; q < centres.size(); ++q) {
    float clip[4];
    projectToClip(centres[q], clip);
    const float dx = halves[q] * CameraScaleX, dy = halves[q] * CameraScaleY;
    const float xs[4] = {-dx, dx, dx, -dx}, ys[4] = {-dy, -dy, dy, dy};
    int in = 0;
    for (int i = 0; i < 4; ++i) {
      ClipVertex v{};
      v[0] = clip[0] + xs[i];
      v[1] = clip[1] + ys[i];
      v[2] = clip[2];
      v[3] = clip[3];
      in += insideClipVolume(v);
    }
    if (in == 4)
      ++inside;
    else if (in > 0)
      ++crossing;
  }
  state.counters["inside_share"] = static_cast<double>(inside) / centres.size();
  state.counters["crossing_share"] = static_cast<double>(crossing) / centres.size();
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(centres.size()));
  state.counters["drawn_share"] = static_cast<double>(Drawn) / (state.iterations() * centres.size());
}
BENCHMARK(BM_ClipAndEmitBillboards)->Unit(benchmark::kMillisecond);

void BM_ProjectToClip(benchmark::State &state) {
  placeCamera();
  const std::vector<Vector3> centres = quadCentres(4096);
  float sum = 0.0f;
  for (auto _ : state) {
    for (const Vector3 &c : centres) {
      float clip[4];
      projectToClip(c, clip);
      sum += clip[3];
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(centres.size()));
}
BENCHMARK(BM_ProjectToClip);

void BM_TableCos(benchmark::State &state) {
  initTrigTables();
  float a = 0.0f, sum = 0.0f;
  for (auto _ : state) {
    for (int i = 0; i < 1024; ++i) {
      sum += tableCos(a) + tableNegSin(a);
      a += 0.0137f;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_TableCos);

} // namespace
