// The sound of one play range of a disc, read ahead of the sound output.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "hosts/linux/disc.h"

// Reads `count` sectors from `sector` into `out`; false when the disc fails.
using CdSectorReader = std::function<bool(int32_t sector, uint32_t count, void *out)>;

class CdStream {
public:
  // With readAhead a thread of its own reads the disc into a small buffer,
  // so the output never waits for the drive; without it take() reads the
  // disc itself (the output that follows the program's clock). `ended` is
  // called when the last sample of a range has been taken. The reader thread
  // shares the disc: a read stuck in a drive keeps the disc open until it
  // returns, but never holds up the end of the stream.
  CdStream(std::shared_ptr<Disc> disc, bool readAhead, std::function<void()> ended);
  CdStream(CdSectorReader read, bool readAhead, std::function<void()> ended);
  ~CdStream();
  CdStream(const CdStream &) = delete;
  CdStream &operator=(const CdStream &) = delete;

  // Plays sectors first..last (inclusive), dropping whatever was read before.
  void start(int32_t first, int32_t last);
  // Drops the range and what was read of it; `ended` is not called for it.
  void stop();
  // Copies up to `frames` stereo frames of the range into out; fewer when the
  // reader has not caught up or the range is over.
  size_t take(int16_t *out, size_t frames);
  bool active();

private:
  struct State; // what the reader thread uses, shared with it
  std::shared_ptr<State> s_;
  const bool readAhead_;
  std::function<void()> ended_;
  std::thread reader_;
};
