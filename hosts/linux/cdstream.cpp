#include "hosts/linux/cdstream.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

namespace {
constexpr uint32_t ChunkSectors = 8;  // one read: about a tenth of a second
constexpr uint32_t RingSectors = 32;  // read ahead: under half a second
// A disc that fails this many sectors in a row (two seconds) ends the range.
constexpr uint32_t GiveUpSectors = 150;
} // namespace

CdStream::CdStream(Disc &disc, bool readAhead, std::function<void()> ended)
    : disc_(disc), readAhead_(readAhead), ended_(std::move(ended)),
      ring_(static_cast<size_t>(RingSectors) * CdSectorBytes),
      readBuffer_(static_cast<size_t>(ChunkSectors) * CdSectorBytes) {
  if (readAhead_)
    reader_ = std::thread([this] {
      pthread_setname_np(pthread_self(), "lv-cd-read");
      readAheadLoop();
    });
}

CdStream::~CdStream() {
  {
    std::lock_guard<std::mutex> g(lock_);
    quit_ = true;
    active_ = false;
    ++generation_;
  }
  wake_.notify_all();
  if (reader_.joinable()) reader_.join();
}

void CdStream::start(int32_t first, int32_t last) {
  {
    std::lock_guard<std::mutex> g(lock_);
    ++generation_;
    active_ = last >= first;
    next_ = first;
    last_ = last;
    failing_ = 0;
    head_ = count_ = 0;
  }
  wake_.notify_all();
}

void CdStream::stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    ++generation_;
    active_ = false;
    head_ = count_ = 0;
  }
  wake_.notify_all();
}

bool CdStream::active() {
  std::lock_guard<std::mutex> g(lock_);
  return active_;
}

uint32_t CdStream::readSectors(int32_t sector, uint32_t count) {
  // An image cut short gives part of a sector: the rest is silence, never
  // what an earlier read left in the buffer.
  std::memset(readBuffer_.data(), 0, static_cast<size_t>(count) * CdSectorBytes);
  if (disc_.read(sector, count, readBuffer_.data())) return 0;
  // Sector by sector, so one bad sector costs 1/75 s and not the whole read.
  uint32_t failed = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t *at = readBuffer_.data() + static_cast<size_t>(i) * CdSectorBytes;
    if (!disc_.read(sector + static_cast<int32_t>(i), 1, at)) {
      std::memset(at, 0, CdSectorBytes);
      ++failed;
    }
  }
  return failed;
}

void CdStream::push(uint32_t bytes) {
  const size_t size = ring_.size();
  size_t tail = (head_ + count_) % size;
  size_t done = 0;
  while (done < bytes) {
    const size_t n = std::min<size_t>(bytes - done, size - tail);
    std::memcpy(ring_.data() + tail, readBuffer_.data() + done, n);
    tail = (tail + n) % size;
    done += n;
  }
  count_ += bytes;
}

void CdStream::account(uint32_t count, uint32_t failed) {
  next_ += static_cast<int32_t>(count);
  failing_ = failed == count ? failing_ + failed : failed;
  if (failing_ >= GiveUpSectors) next_ = last_ + 1;
}

void CdStream::readAheadLoop() {
  std::unique_lock<std::mutex> lk(lock_);
  while (!quit_) {
    const size_t room = ring_.size() - count_;
    if (!active_ || next_ > last_ || room < static_cast<size_t>(ChunkSectors) * CdSectorBytes) {
      wake_.wait(lk);
      continue;
    }
    const unsigned generation = generation_;
    const int32_t sector = next_;
    const uint32_t count = static_cast<uint32_t>(std::min<int64_t>(ChunkSectors, int64_t(last_) - next_ + 1));
    lk.unlock();
    // The drive may take its time (spinning up, a scratched disc): the output
    // plays on from what was read before.
    const uint32_t failed = readSectors(sector, count);
    lk.lock();
    if (generation != generation_) continue; // stopped or restarted meanwhile
    push(count * CdSectorBytes);
    account(count, failed);
  }
}

size_t CdStream::take(int16_t *out, size_t frames) {
  bool ended = false;
  size_t taken = 0;
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!active_) return 0;
    size_t want = frames * 4;
    if (!readAhead_) {
      while (count_ < want && next_ <= last_ && ring_.size() - count_ >= readBuffer_.size()) {
        const uint32_t count = static_cast<uint32_t>(std::min<int64_t>(ChunkSectors, int64_t(last_) - next_ + 1));
        const uint32_t failed = readSectors(next_, count);
        push(count * CdSectorBytes);
        account(count, failed);
      }
    }
    want = std::min(want, count_);
    uint8_t *dest = reinterpret_cast<uint8_t *>(out);
    while (taken < want) {
      const size_t n = std::min(want - taken, ring_.size() - head_);
      std::memcpy(dest + taken, ring_.data() + head_, n);
      head_ = (head_ + n) % ring_.size();
      taken += n;
    }
    count_ -= taken;
    if (next_ > last_ && count_ == 0) {
      active_ = false;
      ended = true;
    }
  }
  if (readAhead_) wake_.notify_all();
  if (ended && ended_) ended_();
  return taken / 4;
}
