// What a window adds to each frame: the Qt presenter's conversion of a
// 3840 x 2160 frame to the window's 32-bit pixels (on 1 and 2 of the board's
// threads), and the copy of the converted image as the window paints it
// (into an image of the window's format). Processor time a frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include <QImage>
#include <QPainter>

#include "glide/extension.h"
#include "glide/glide.h"
#include "glide/presenter.h"
#include "hosts/qt/windowpresenter.h"

namespace {

constexpr int Width = 3840, Height = 2160;

// The board's screen at the frame's size (the bands of its threads cover its
// rows), and a frame of varied pixels.
const PresentedFrame &frameOnOpenBoard() {
  static std::vector<uint16_t> pixels;
  static PresentedFrame frame{};
  if (pixels.empty()) {
    boardSetPresenter(nullptr);
    boardSetRetraceWait(false);
    boardSetScreenOverride(Width, Height);
    grGlideInit();
    grSstSelect(0);
    grSstWinOpen(0, GR_RESOLUTION_800x600, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_LOWER_LEFT, 2, 0);
    pixels.resize((size_t)Width * Height);
    uint32_t seed = 1;
    for (uint16_t &p : pixels) {
      seed = seed * 1664525u + 1013904223u;
      p = (uint16_t)(seed >> 16);
    }
    frame.pixels = pixels.data();
    frame.width = Width;
    frame.height = Height;
    frame.strideInPixels = Width;
  }
  return frame;
}

void BM_PresenterConvert4K(benchmark::State &state) {
  const PresentedFrame &frame = frameOnOpenBoard();
  boardSetThreads((int)state.range(0));
  WindowPresenter presenter;
  for (auto _ : state) {
    presenter.present(frame);
    benchmark::DoNotOptimize(presenter.image().constBits());
  }
  boardSetThreads(0);
  state.SetLabel(std::to_string(state.range(0)) + " thread(s)");
}
BENCHMARK(BM_PresenterConvert4K)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_PresenterBlit4K(benchmark::State &state) {
  const PresentedFrame &frame = frameOnOpenBoard();
  WindowPresenter presenter;
  presenter.present(frame);
  const QImage &image = presenter.image();
  QImage window(Width, Height, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&window);
    drawFrameFitted(painter, window.rect(), image);
    painter.end();
    benchmark::DoNotOptimize(window.constBits());
  }
}
BENCHMARK(BM_PresenterBlit4K)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

} // namespace
