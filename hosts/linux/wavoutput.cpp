#include "hosts/linux/wavoutput.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {
constexpr uint32_t Rate = 44100;
constexpr uint32_t FrameBytes = 4;
constexpr uint32_t HeaderBytes = 44;
// The sizes in a WAV header are 32-bit.
constexpr uint64_t MostFrames = (0xFFFFFFFFull - HeaderBytes) / FrameBytes;

void put32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put16(uint8_t *p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// A stream's length is not known when its header goes out: its sizes are
// the largest there are, which readers take as "to the end".
void header(uint8_t *h, uint64_t frames, bool stream) {
  const uint32_t data = stream ? 0xFFFFFFFFu : static_cast<uint32_t>(frames * FrameBytes);
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, stream ? 0xFFFFFFFFu : 36 + data);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, 1); // PCM
  put16(h + 22, 2);
  put32(h + 24, Rate);
  put32(h + 28, Rate * FrameBytes);
  put16(h + 32, FrameBytes);
  put16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  put32(h + 40, data);
}
} // namespace

WavOutput::~WavOutput() {
  std::string ignored;
  finish(ignored);
}

bool WavOutput::open(const std::string &path, std::string &error) {
  std::string ignored;
  finish(ignored);
  frames_ = 0;
  cut_ = false;
  uint8_t h[HeaderBytes];
  // The header goes out at once: a file that cannot be written is told
  // before the run starts.
  if (out_.open(path, true)) {
    header(h, 0, out_.streaming());
    if (out_.write(h, sizeof h) && out_.flush()) return true;
  }
  error = out_.error();
  out_.discard();
  return false;
}

bool WavOutput::advanceTo(double seconds) {
  if (!out_.isOpen()) return true;
  if (!out_.error().empty()) return false;
  if (!(seconds > 0.0)) return true;
  uint64_t target = static_cast<uint64_t>(std::llround(seconds * Rate));
  // The sizes in a file's header are 32-bit; a stream's say nothing.
  if (target > MostFrames && !out_.streaming()) {
    target = MostFrames;
    cut_ = true;
  }
  std::vector<int16_t> buffer;
  while (frames_ < target) {
    const size_t frames = static_cast<size_t>(std::min<uint64_t>(target - frames_, Rate));
    buffer.assign(frames * 2, 0);
    size_t got = 0;
    while (source_ && got < frames) {
      const size_t n = source_->take(buffer.data() + got * 2, frames - got);
      if (n == 0) break;
      got += n;
    }
    if (!out_.write(buffer.data(), frames * FrameBytes)) return false;
    frames_ += frames;
  }
  return out_.flush();
}

bool WavOutput::finish(std::string &error) {
  if (!out_.isOpen()) return true;
  source_ = nullptr;
  uint8_t h[HeaderBytes];
  header(h, frames_, out_.streaming());
  if (!out_.streaming()) out_.writeAt(0, h, sizeof h);
  if (!out_.commit()) {
    error = out_.error();
    return false;
  }
  if (cut_) error = out_.path() + " reached the 4 GiB limit of a WAV file; the sound after it is missing";
  return !cut_;
}
