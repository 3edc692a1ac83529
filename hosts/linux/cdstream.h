// The sound of one play range of a disc, read ahead of the sound output.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "hosts/linux/disc.h"

class CdStream {
public:
  // With readAhead a thread of its own reads the disc into a small buffer,
  // so the output never waits for the drive; without it take() reads the
  // disc itself (the output that follows the program's clock). `ended` is
  // called when the last sample of a range has been taken.
  CdStream(Disc &disc, bool readAhead, std::function<void()> ended);
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
  void readAheadLoop();
  // Reads count sectors into the read buffer, silence where the disc fails.
  // Returns the number of sectors that failed.
  uint32_t readSectors(int32_t sector, uint32_t count);
  void push(uint32_t bytes);
  // After a read: the range gives up on a disc that keeps failing.
  void account(uint32_t count, uint32_t failed);

  Disc &disc_;
  const bool readAhead_;
  std::function<void()> ended_;

  std::mutex lock_;
  std::condition_variable wake_;
  std::thread reader_;
  bool quit_ = false;

  unsigned generation_ = 0; // a new range or a stop makes reads in flight stale
  bool active_ = false;
  int32_t next_ = 0; // next sector to read
  int32_t last_ = -1;
  uint32_t failing_ = 0; // sectors that failed one after another

  std::vector<uint8_t> ring_;
  size_t head_ = 0;  // first byte to take
  size_t count_ = 0; // bytes held
  std::vector<uint8_t> readBuffer_;
};
