// The board opened once at 800 x 600 with the program's textures and tables,
// as the scene benchmarks need it. Frames go nowhere and swaps never wait.
#pragma once

#include "assets/textures.h"
#include "display/glidedisplay.h"
#include "glide/glide.h"
#include "glide/presenter.h"
#include "math/trig.h"

inline void openBenchBoard() {
  static bool open = false;
  if (open) return;
  open = true;
  boardSetPresenter(nullptr);
  boardSetRetraceWait(false);
  grGlideInit();
  grSstSelect(0);
  grSstWinOpen(0, GR_RESOLUTION_800x600, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_LOWER_LEFT, 2, 0);
  setRenderSize(800, 600);
  loadTextures();
  initTrigTables();
}
