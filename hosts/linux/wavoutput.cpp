#include "hosts/linux/wavoutput.h"

#include <cerrno>
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

void header(uint8_t *h, uint64_t frames) {
  const uint32_t data = static_cast<uint32_t>(frames * FrameBytes);
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, 36 + data);
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
  // The sound goes to a temporary name and takes its own name only when the
  // file is complete, so an interrupted run never leaves a file that looks whole.
  file_ = std::fopen((path + ".tmp").c_str(), "wb");
  if (!file_) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  path_ = path;
  frames_ = 0;
  failed_ = cut_ = false;
  uint8_t h[HeaderBytes];
  header(h, 0);
  if (std::fwrite(h, 1, sizeof h, file_) != sizeof h) failed_ = true;
  return true;
}

void WavOutput::advanceTo(double seconds) {
  if (!file_ || !(seconds > 0.0)) return;
  uint64_t target = static_cast<uint64_t>(std::llround(seconds * Rate));
  if (target > MostFrames) {
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
    if (std::fwrite(buffer.data(), FrameBytes, frames, file_) != frames) failed_ = true;
    frames_ += frames;
  }
}

bool WavOutput::finish(std::string &error) {
  if (!file_) return true;
  uint8_t h[HeaderBytes];
  header(h, frames_);
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(h, 1, sizeof h, file_) != sizeof h) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  source_ = nullptr;
  const std::string temporary = path_ + ".tmp";
  if (!failed_ && std::rename(temporary.c_str(), path_.c_str()) != 0) failed_ = true;
  if (failed_) std::remove(temporary.c_str());
  if (failed_) error = "could not write all of " + path_;
  else if (cut_) error = path_ + " reached the 4 GiB limit of a WAV file; the sound after it is missing";
  return !failed_ && !cut_;
}
