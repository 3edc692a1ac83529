// The drawing threads: a record of the frame's work, and a pool that runs it
// band by band. The calling thread takes band 0 itself.
#include "glide/workers.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <vector>

#include "glide/boardstate.h"
#include "glide/presenter.h"

namespace {

struct Entry {
  BandJobFn fn;
  size_t offset;
  int first, last; // the rows it draws into
};

// The threads beyond the calling one, and what they wait on between rounds.
struct Crew {
  std::vector<std::thread> threads;
  std::mutex mutex;
  std::condition_variable wake;
  uint32_t round = 0;
  bool quit = false;
};

// A round's bands are handed out through one word: the round's number, the
// number of bands and the next band. A thread takes a band only while the
// word still names its round, so a thread that wakes late, after its round is
// over, touches nothing of the next one.
inline uint64_t ticket(uint32_t round, uint32_t bands, uint32_t next) {
  return (uint64_t)round << 32 | (uint64_t)bands << 16 | next;
}

class Pool;
Pool &pool();

class Pool {
public:
  ~Pool() { stop(); }

  int threads() {
    if (wanted_ == 0)
      wanted_ = defaultThreads();
    return wanted_;
  }

  void setThreads(int count) {
    drain();
    stop();
    wanted_ = count > 0 ? std::min(count, 64) : defaultThreads();
  }

  void *record(BandJobFn fn, size_t bytes, int first, int last) {
    const size_t offset = (arena_.size() + 15) & ~(size_t)15;
    arena_.resize(offset + ((bytes + 15) & ~(size_t)15));
    entries_.push_back({fn, offset, first, last});
    return arena_.data() + offset;
  }

  void drain() {
    if (entries_.empty())
      return;
    bandCount_ = threads();
    // Eight bands a thread, so that a thread slowed by other work on the
    // machine leaves its share to the others.
    int lowest = INT_MAX, highest = 0;
    for (const Entry &e : entries_) {
      lowest = std::min(lowest, e.first);
      highest = std::max(highest, e.last);
    }
    highest = std::min(highest, std::max(Board.height, 1) - 1);
    lowest = std::max(lowest, 0);
    firstRow_ = lowest;
    bandRows_ = std::max(8, (highest - lowest + 1 + 8 * bandCount_ - 1) / (8 * bandCount_));
    bands_ = highest >= lowest ? (highest - lowest + bandRows_) / bandRows_ : 0;
    start();
    const uint32_t round = ++round_;
    finished_.store(0, std::memory_order_relaxed);
    ticket_.store(ticket(round, (uint32_t)bands_, 0), std::memory_order_release);
    {
      std::lock_guard<std::mutex> lock(crew_->mutex);
      crew_->round = round;
    }
    crew_->wake.notify_all();
    runBands(round);
    // Every band taken is finished before the work is let go; a thread that
    // has taken none is not waited for.
    while (finished_.load(std::memory_order_acquire) < bands_)
      std::this_thread::yield();
    entries_.clear();
    arena_.clear();
  }

  // In a child process after fork(): the threads stayed behind in the parent.
  // Their crew is left as it is and a new one starts when needed.
  void forgetCrew() { crew_ = nullptr; }

private:
  static int defaultThreads() {
    if (const char *env = std::getenv("LUMENVEIL_THREADS")) {
      char *end = nullptr;
      long n = std::strtol(env, &end, 10);
      if (end != env && *end == '\0' && n >= 1 && n <= 64)
        return (int)n;
    }
    unsigned cores = std::thread::hardware_concurrency();
    return cores >= 1 ? (int)std::min(cores, 64u) : 1;
  }

  // Takes the round's bands until none is left.
  void runBands(uint32_t round) {
    for (;;) {
      uint64_t t = ticket_.load(std::memory_order_acquire);
      const uint32_t bands = (uint32_t)(t >> 16) & 0xFFFF, next = (uint32_t)t & 0xFFFF;
      if ((uint32_t)(t >> 32) != round || next >= bands)
        return;
      if (!ticket_.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel))
        continue;
      Band band;
      band.first = firstRow_ + (int)next * bandRows_;
      band.last = band.first + bandRows_ - 1;
      const unsigned char *base = arena_.data();
      for (const Entry &e : entries_)
        if (e.first <= band.last && e.last >= band.first)
          e.fn(base + e.offset, band);
      finished_.fetch_add(1, std::memory_order_release);
    }
  }

  void start() {
    if (crew_ && (int)crew_->threads.size() == bandCount_ - 1)
      return;
    stop();
    static bool forkHandled = false;
    if (!forkHandled) {
      pthread_atfork(nullptr, nullptr, [] { pool().forgetCrew(); });
      forkHandled = true;
    }
    crew_ = new Crew;
    crew_->round = round_;
    for (int i = 1; i < bandCount_; ++i)
      crew_->threads.emplace_back([this, seen = crew_->round] { work(seen); });
  }

  void stop() {
    if (!crew_)
      return;
    {
      std::lock_guard<std::mutex> lock(crew_->mutex);
      crew_->quit = true;
    }
    crew_->wake.notify_all();
    for (std::thread &t : crew_->threads)
      t.join();
    delete crew_;
    crew_ = nullptr;
  }

  // `seen`: the last round before the thread started.
  void work(uint32_t seen) {
    Crew &c = *crew_;
    for (;;) {
      uint32_t round;
      {
        std::unique_lock<std::mutex> lock(c.mutex);
        c.wake.wait(lock, [&] { return c.quit || c.round != seen; });
        if (c.quit)
          return;
        round = seen = c.round;
      }
      runBands(round);
    }
  }

  int wanted_ = 0;
  int bandCount_ = 1;                  // threads drawing
  int firstRow_ = 0, bandRows_ = 0, bands_ = 0; // the round's bands
  uint32_t round_ = 0;
  std::atomic<uint64_t> ticket_{0};
  std::atomic<int> finished_{0};                // bands of the round drawn
  std::vector<unsigned char> arena_;
  std::vector<Entry> entries_;
  Crew *crew_ = nullptr;
};

Pool &pool() {
  static Pool p;
  return p;
}

} // namespace

// Pixels written through a frame-buffer lock land at once: draws made while
// one is held land at once too.
bool boardRecording() {
  return pool().threads() > 1 && !Board.lfb.readLocked && !Board.lfb.writeLocked;
}
void *boardRecordJob(BandJobFn fn, size_t bytes, int first, int last) {
  return pool().record(fn, bytes, first, last);
}
void boardDrain() { pool().drain(); }
int boardThreadCount() { return pool().threads(); }
void boardSetThreads(int count) { pool().setThreads(count); }
