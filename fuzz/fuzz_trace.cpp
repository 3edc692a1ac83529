// Fuzzes the board trace replay: any input is either replayed or refused with
// a message; the board never reads or writes outside its buffers. Inputs are
// replayed from memory on a 32 x 24 screen, a few frames each, so that
// millions of them run in minutes.
#include <cstdint>
#include <string>

#include "glide/glide.h"
#include "glide/presenter.h"
#include "glide/trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // One thread: on a 32 x 24 screen handing rows to other threads costs more
  // than drawing them (the thread-count test shows the pixels are the same).
  boardSetThreads(1);
  boardSetRetraceWait(false);
  boardSetPresenter(nullptr);
  BoardReplayControl control;
  control.frameLimit = 3;
  control.screenWidth = 32;
  control.screenHeight = 24;
  std::string error;
  boardReplayText(reinterpret_cast<const char *>(data), size, "input", error, control);
  // Each input starts from a closed board, as a fresh replay does.
  grSstWinClose();
  grGlideShutdown();
  return 0;
}
