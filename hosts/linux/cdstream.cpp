#include "hosts/linux/cdstream.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace {
constexpr uint32_t ChunkSectors = 8; // one read: about a tenth of a second
constexpr uint32_t RingSectors = 32; // read ahead: under half a second
// A disc that fails this many sectors in a row (two seconds) ends the range.
constexpr uint32_t GiveUpSectors = 150;
// How long the end of a stream waits for a read in progress before it leaves
// the reader to finish on its own.
constexpr std::chrono::milliseconds ReaderWait{200};
} // namespace

struct CdStream::State {
  explicit State(CdSectorReader r)
      : read(std::move(r)), ring(size_t(RingSectors) * CdSectorBytes),
        readBuffer(size_t(ChunkSectors) * CdSectorBytes) {}

  CdSectorReader read;
  std::mutex lock;
  std::condition_variable wake;
  bool quit = false;
  bool exited = false; // the reader thread is done

  unsigned generation = 0; // a new range or a stop makes reads in flight stale
  bool active = false;
  int32_t next = 0; // next sector to read
  int32_t last = -1;
  uint32_t failing = 0; // sectors that failed one after another

  std::vector<uint8_t> ring;
  size_t head = 0;  // first byte to take
  size_t count = 0; // bytes held
  std::vector<uint8_t> readBuffer;

  // Reads count sectors into the read buffer, silence where the disc fails.
  // Returns the number of sectors that failed.
  uint32_t readSectors(int32_t sector, uint32_t n) {
    // An image cut short gives part of a sector: the rest is silence, never
    // what an earlier read left in the buffer.
    std::memset(readBuffer.data(), 0, size_t(n) * CdSectorBytes);
    if (read(sector, n, readBuffer.data())) return 0;
    // Sector by sector, so one bad sector costs 1/75 s and not the whole read.
    uint32_t failed = 0;
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t *at = readBuffer.data() + size_t(i) * CdSectorBytes;
      if (!read(sector + int32_t(i), 1, at)) {
        std::memset(at, 0, CdSectorBytes);
        ++failed;
      }
    }
    return failed;
  }

  void push(uint32_t bytes) {
    const size_t size = ring.size();
    size_t tail = (head + count) % size;
    size_t done = 0;
    while (done < bytes) {
      const size_t n = std::min<size_t>(bytes - done, size - tail);
      std::memcpy(ring.data() + tail, readBuffer.data() + done, n);
      tail = (tail + n) % size;
      done += n;
    }
    count += bytes;
  }

  // After a read: the range gives up on a disc that keeps failing.
  void account(uint32_t n, uint32_t failed) {
    next += int32_t(n);
    failing = failed == n ? failing + failed : failed;
    if (failing >= GiveUpSectors) next = last + 1;
  }

  uint32_t chunk() const { return uint32_t(std::min<int64_t>(ChunkSectors, int64_t(last) - next + 1)); }

  void readAheadLoop() {
    std::unique_lock<std::mutex> lk(lock);
    while (!quit) {
      const size_t room = ring.size() - count;
      if (!active || next > last || room < size_t(ChunkSectors) * CdSectorBytes) {
        wake.wait(lk);
        continue;
      }
      const unsigned started = generation;
      const int32_t sector = next;
      const uint32_t n = chunk();
      lk.unlock();
      // The drive may take its time (spinning up, a scratched disc): the output
      // plays on from what was read before.
      const uint32_t failed = readSectors(sector, n);
      lk.lock();
      if (started != generation) continue; // stopped or restarted meanwhile
      push(n * CdSectorBytes);
      account(n, failed);
    }
    exited = true;
    wake.notify_all();
  }
};

CdStream::CdStream(std::shared_ptr<Disc> disc, bool readAhead, std::function<void()> ended)
    : CdStream([disc](int32_t sector, uint32_t count, void *out) { return disc->read(sector, count, out); },
               readAhead, std::move(ended)) {}

CdStream::CdStream(CdSectorReader read, bool readAhead, std::function<void()> ended)
    : s_(std::make_shared<State>(std::move(read))), readAhead_(readAhead), ended_(std::move(ended)) {
  if (readAhead_)
    reader_ = std::thread([s = s_] {
      pthread_setname_np(pthread_self(), "lv-cd-read");
      s->readAheadLoop();
    });
}

CdStream::~CdStream() {
  std::unique_lock<std::mutex> lk(s_->lock);
  s_->quit = true;
  s_->active = false;
  ++s_->generation;
  s_->wake.notify_all();
  if (!reader_.joinable()) return;
  // A read stuck in a drive must not hold up a stop: the reader keeps what it
  // uses and ends on its own once the read returns.
  const bool exited = s_->wake.wait_for(lk, ReaderWait, [this] { return s_->exited; });
  lk.unlock();
  if (exited)
    reader_.join();
  else
    reader_.detach();
}

void CdStream::start(int32_t first, int32_t last) {
  {
    std::lock_guard<std::mutex> g(s_->lock);
    ++s_->generation;
    s_->active = last >= first;
    s_->next = first;
    s_->last = last;
    s_->failing = 0;
    s_->head = s_->count = 0;
  }
  s_->wake.notify_all();
}

void CdStream::stop() {
  {
    std::lock_guard<std::mutex> g(s_->lock);
    ++s_->generation;
    s_->active = false;
    s_->head = s_->count = 0;
  }
  s_->wake.notify_all();
}

bool CdStream::active() {
  std::lock_guard<std::mutex> g(s_->lock);
  return s_->active;
}

size_t CdStream::take(int16_t *out, size_t frames) {
  State &s = *s_;
  bool ended = false;
  size_t taken = 0;
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.active) return 0;
    size_t want = frames * 4;
    if (!readAhead_) {
      while (s.count < want && s.next <= s.last && s.ring.size() - s.count >= s.readBuffer.size()) {
        const uint32_t n = s.chunk();
        const uint32_t failed = s.readSectors(s.next, n);
        s.push(n * CdSectorBytes);
        s.account(n, failed);
      }
    }
    want = std::min(want, s.count);
    uint8_t *dest = reinterpret_cast<uint8_t *>(out);
    while (taken < want) {
      const size_t n = std::min(want - taken, s.ring.size() - s.head);
      std::memcpy(dest + taken, s.ring.data() + s.head, n);
      s.head = (s.head + n) % s.ring.size();
      taken += n;
    }
    s.count -= taken;
    if (s.next > s.last && s.count == 0) {
      s.active = false;
      ended = true;
    }
  }
  if (readAhead_) s.wake.notify_all();
  if (ended && ended_) ended_();
  return taken / 4;
}
