// Fuzzes the board trace replay: any file is either replayed or refused with
// a message; the board never reads or writes outside its buffers.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "glide/glide.h"
#include "glide/presenter.h"
#include "glide/trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static std::string path = "/dev/shm/lumenveil-fuzz-trace-" + std::to_string(::getpid());
  boardSetRetraceWait(false);
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  std::string error;
  boardReplay(path.c_str(), error);
  // Each input starts from a closed board, as a fresh replay does.
  grSstWinClose();
  grGlideShutdown();
  return 0;
}
