// The drawing threads: a log of the frame's work, and a pool that draws it
// band by band while the calling thread goes on recording. Each band keeps
// how far into the log it has been drawn; a thread takes a band that is
// behind, draws the entries recorded since, in their order, and lets it go.
// At a drain the calling thread draws too, until every band has caught up.
#include "glide/workers.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include <immintrin.h>
#include <pthread.h>

#include "glide/boardstate.h"
#include "glide/extension.h"
#include "glide/presenter.h"

namespace {

struct Entry {
  BandJobFn fn;
  const void *job;
  int first, last; // the rows it draws into
};

// The log's entries, in segments that never move: the threads read entries
// while more are added.
constexpr size_t SegmentEntries = 4096;
constexpr size_t MaxSegments = 4096;

// Storage for the records: chunks reused from one drain to the next.
constexpr size_t ChunkBytes = 256 * 1024;

// Bands a thread: a thread slowed by other work on the machine leaves its
// share to the others.
constexpr int BandsPerThread = 8;

// The most entries a thread draws into a band before letting it go, so that
// at a drain no band stays held long.
constexpr size_t EntriesPerTake = 64;

// One band of rows. `taken` is held by the thread drawing it; `done` is the
// number of log entries drawn into it. Rows are written only while no thread
// draws (between drains, when the log is empty).
struct alignas(64) BandSlot {
  std::atomic<int> taken{0};
  std::atomic<size_t> done{0};
  std::atomic<int> first{0}, last{-1};
};

// The threads beyond the calling one.
struct Crew {
  std::vector<std::thread> threads;
  std::mutex mutex;
  std::condition_variable wake;
  uint64_t calls = 0; // wake-ups sent
  // A drain waiting on bands other threads hold sleeps here; each band let go
  // while it waits counts one.
  std::condition_variable released;
  uint64_t releases = 0;
  bool quit = false;
};

class Pool;
Pool &pool();

inline void pause() { _mm_pause(); }

class Pool {
public:
  Pool() : segments_(new Entry *[MaxSegments]()) {}
  ~Pool() {
    stop();
    for (size_t i = 0; i < MaxSegments; ++i) delete[] segments_[i];
  }

  int threads() {
    if (wanted_ == 0) choose(0);
    return wanted_;
  }

  void setThreads(int count) {
    drain();
    stop();
    choose(count);
    pace = PaceState();
  }

  // Whether the count was chosen rather than taken from the processor.
  bool chosen() {
    threads();
    return chosen_;
  }
  PaceState pace;

  void *record(BandJobFn fn, size_t bytes, int first, int last) {
    if (count_ == SegmentEntries * MaxSegments) drain();
    if (count_ == 0)
      begin();
    else
      publish(count_); // the previous record is complete now
    const size_t size = (bytes + 15) & ~(size_t)15;
    unsigned char *at = allocate(size);
    const size_t segment = count_ / SegmentEntries;
    if (!segments_[segment]) segments_[segment] = new Entry[SegmentEntries];
    segments_[segment][count_ % SegmentEntries] = {fn, at, first, last};
    ++count_;
    return at;
  }

  void drain() {
    if (count_ == 0) return;
    publish(count_, true);
    // Draw alongside the crew until every band has caught up.
    for (int idle = 0;;) {
      bool behind = false, drew = false;
      for (int i = 0; i < bandCount_; ++i) {
        BandSlot &b = bands_[i];
        if (b.done.load(std::memory_order_acquire) >= count_) continue;
        behind = true;
        drew |= drawBand(b);
      }
      if (!behind) break;
      // A band another thread holds: wait a little, then sleep until a band
      // is let go, leaving the processor to whoever draws (a paced run
      // spends no time spinning here).
      idle = drew ? 0 : idle + 1;
      if (idle > 64)
        sleepUntilReleased();
      else if (idle > 0)
        pause();
    }
    // Every band is drawn; a thread may still hold one it found nothing in.
    // Holding them all, the log starts again empty.
    for (int i = 0; i < slotCount_; ++i) {
      int free = 0;
      while (!bands_[i].taken.compare_exchange_weak(free, 1, std::memory_order_acquire)) {
        free = 0;
        pause();
      }
    }
    published_.store(0, std::memory_order_relaxed);
    for (int i = 0; i < slotCount_; ++i) bands_[i].done.store(0, std::memory_order_relaxed);
    count_ = 0;
    woken_ = 0;
    chunk_ = 0;
    used_ = 0;
    large_.clear();
    for (int i = 0; i < slotCount_; ++i) bands_[i].taken.store(0, std::memory_order_release);
  }

  // In a child process after fork(): the threads stayed behind in the parent
  // (with nothing left to draw: the parent drained before forking). Their
  // crew is left as it is and a new one starts when needed.
  void forgetCrew() {
    crew_ = nullptr;
    for (int i = 0; i < slotCount_; ++i) bands_[i].taken.store(0, std::memory_order_relaxed);
  }

private:
  // `count` threads (1 to 64); 0: LUMENVEIL_THREADS when it holds a count
  // from 1 to 64, else one per processor core, and only then not chosen.
  void choose(int count) {
    if (count <= 0)
      if (const char *env = std::getenv("LUMENVEIL_THREADS"); env && *env) {
        char *end = nullptr;
        errno = 0;
        long n = std::strtol(env, &end, 10);
        if (errno == 0 && end != env && *end == '\0' && n >= 1 && n <= 64)
          count = (int)n;
        else if (!toldBadCount_.exchange(true))
          std::fprintf(stderr,
                       "lumenveil: LUMENVEIL_THREADS=%s is not understood (it takes a count "
                       "from 1 to 64); the default is used: one thread per processor core\n",
                       env);
      }
    chosen_ = count > 0;
    const unsigned cores = std::thread::hardware_concurrency();
    wanted_ = count > 0 ? std::min(count, 64) : cores >= 1 ? (int)std::min(cores, 64u) : 1;
  }

  unsigned char *allocate(size_t size) {
    if (size > ChunkBytes) {
      large_.emplace_back(new unsigned char[size]);
      return large_.back().get();
    }
    if (used_ + size > ChunkBytes) {
      ++chunk_;
      used_ = 0;
    }
    if (chunk_ == chunks_.size()) chunks_.emplace_back(new unsigned char[ChunkBytes]);
    unsigned char *at = chunks_[chunk_].get() + used_;
    used_ += size;
    return at;
  }

  // The first record since the log was emptied: the crew, and bands cut for
  // the screen as it is now. Nothing is published, so no thread reads them.
  void begin() {
    const int n = threads();
    start(n);
    const int height = std::max(Board.height, 1);
    const int rows = std::max(8, (height + BandsPerThread * n - 1) / (BandsPerThread * n));
    bandCount_ = (height + rows - 1) / rows;
    for (int i = 0; i < slotCount_; ++i) {
      bands_[i].first.store(i * rows, std::memory_order_relaxed);
      bands_[i].last.store(i < bandCount_ ? std::min(i * rows + rows - 1, height - 1) : -1,
                           std::memory_order_relaxed);
    }
    activeBands_.store(bandCount_, std::memory_order_relaxed);
  }

  // Lets the crew draw the first `count` entries; wakes it when it sleeps
  // and enough has come since it was last woken (always at a drain).
  void publish(size_t count, bool all = false) {
    published_.store(count, std::memory_order_seq_cst);
    if (!crew_ || sleepers_.load(std::memory_order_seq_cst) == 0) return;
    if (!all && count < woken_ + 16) return;
    woken_ = count;
    {
      std::lock_guard<std::mutex> lock(crew_->mutex);
      ++crew_->calls;
    }
    crew_->wake.notify_all();
  }

  // Takes the band if it is free and behind, draws what has been published
  // since, and lets it go. Whether it drew.
  bool drawBand(BandSlot &b) {
    int free = 0;
    if (b.taken.load(std::memory_order_relaxed) != 0 ||
        !b.taken.compare_exchange_strong(free, 1, std::memory_order_acquire))
      return false;
    const size_t from = b.done.load(std::memory_order_relaxed);
    const size_t to = std::min(published_.load(std::memory_order_acquire), from + EntriesPerTake);
    if (from >= to) {
      release(b);
      return false;
    }
    Band band;
    band.first = b.first.load(std::memory_order_relaxed);
    band.last = b.last.load(std::memory_order_relaxed);
    for (size_t i = from; i < to; ++i) {
      const Entry &e = segments_[i / SegmentEntries][i % SegmentEntries];
      if (e.first <= band.last && e.last >= band.first) e.fn(e.job, band);
    }
    b.done.store(to, std::memory_order_release);
    release(b);
    return true;
  }

  // Lets a band go; wakes a drain that sleeps waiting for one.
  void release(BandSlot &b) {
    b.taken.store(0, std::memory_order_release);
    // Pairs with the fence in sleepUntilReleased: either the drain sees the
    // band free, or this thread sees the drain waiting.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (drainWaiting_.load(std::memory_order_relaxed) == 0 || !crew_) return;
    {
      std::lock_guard<std::mutex> lock(crew_->mutex);
      ++crew_->releases;
    }
    crew_->released.notify_all();
  }

  // At a drain, with every band behind held by another thread: sleeps until
  // one of them is let go (at once when one already is, or none is behind).
  void sleepUntilReleased() {
    if (!crew_) {
      std::this_thread::yield();
      return;
    }
    std::unique_lock<std::mutex> lock(crew_->mutex);
    const uint64_t seen = crew_->releases;
    drainWaiting_.store(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    bool behind = false, freeBehind = false;
    for (int i = 0; i < bandCount_ && !freeBehind; ++i)
      if (bands_[i].done.load(std::memory_order_acquire) < count_) {
        behind = true;
        freeBehind = bands_[i].taken.load(std::memory_order_relaxed) == 0;
      }
    if (behind && !freeBehind) crew_->released.wait(lock, [&] { return crew_->releases != seen; });
    drainWaiting_.store(0, std::memory_order_relaxed);
  }

  // Whether some band nobody holds is behind what has been published.
  bool workWaiting() {
    const size_t to = published_.load(std::memory_order_seq_cst);
    const int n = activeBands_.load(std::memory_order_relaxed);
    for (int i = 0; i < n; ++i)
      if (bands_[i].done.load(std::memory_order_relaxed) < to &&
          bands_[i].taken.load(std::memory_order_relaxed) == 0)
        return true;
    return false;
  }

  void start(int n) {
    if (crew_ && (int)crew_->threads.size() == n - 1) return;
    stop();
    static bool forkHandled = false;
    if (!forkHandled) {
      pthread_atfork([] { pool().drain(); }, nullptr, [] { pool().forgetCrew(); });
      forkHandled = true;
    }
    slotCount_ = BandsPerThread * n;
    bands_.reset(new BandSlot[slotCount_]);
    // The last crew's count of bands may be more than this one has room for.
    activeBands_.store(0, std::memory_order_relaxed);
    crew_ = new Crew;
    for (int i = 1; i < n; ++i) crew_->threads.emplace_back([this, i] { work(i); });
  }

  void stop() {
    if (!crew_) return;
    {
      std::lock_guard<std::mutex> lock(crew_->mutex);
      crew_->quit = true;
    }
    crew_->wake.notify_all();
    for (std::thread &t : crew_->threads) t.join();
    delete crew_;
    crew_ = nullptr;
  }

  void work(int index) {
    Crew &c = *crew_;
    int next = index * BandsPerThread; // where this thread starts looking
    for (;;) {
      bool drew = false;
      const int n = activeBands_.load(std::memory_order_relaxed);
      for (int k = 0; k < n; ++k) {
        const int i = (next + k) % n;
        if (drawBand(bands_[i])) {
          drew = true;
          next = i + 1;
        }
      }
      if (drew) continue;
      // Nothing to draw: wait a very little for more, then sleep until woken
      // (in a paced run the wait between frames is long; spinning it away
      // costs more than the wake-up).
      bool waiting = false;
      for (int spin = 0; spin < 32 && !waiting; ++spin) {
        pause();
        waiting = workWaiting();
      }
      if (waiting) continue;
      std::unique_lock<std::mutex> lock(c.mutex);
      if (c.quit) return;
      sleepers_.fetch_add(1, std::memory_order_seq_cst);
      if (!workWaiting()) {
        const uint64_t calls = c.calls;
        c.wake.wait(lock, [&] { return c.quit || c.calls != calls; });
      }
      sleepers_.fetch_sub(1, std::memory_order_seq_cst);
      if (c.quit) return;
    }
  }

  int wanted_ = 0;
  bool chosen_ = false;
  std::atomic<bool> toldBadCount_{false}; // a LUMENVEIL_THREADS not understood was told
  // The log: entries [0, count_) recorded, [0, published_) complete.
  std::unique_ptr<Entry *[]> segments_;
  size_t count_ = 0;
  std::atomic<size_t> published_{0};
  size_t woken_ = 0; // published when the crew was last woken
  std::vector<std::unique_ptr<unsigned char[]>> chunks_;
  size_t chunk_ = 0, used_ = 0;
  std::vector<std::unique_ptr<unsigned char[]>> large_;
  std::unique_ptr<BandSlot[]> bands_;
  int slotCount_ = 0; // bands there is room for
  int bandCount_ = 0; // bands of the screen
  std::atomic<int> activeBands_{0};
  std::atomic<int> sleepers_{0};
  std::atomic<int> drainWaiting_{0}; // a drain sleeps until a band is let go
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
  Pool &p = pool();
  return p.threads() > 1 && !p.pace.alone && !Board.lfb.readLocked && !Board.lfb.writeLocked;
}
void *boardRecordJob(BandJobFn fn, size_t bytes, int first, int last) {
  return pool().record(fn, bytes, first, last);
}
void boardDrain() { pool().drain(); }

namespace {
struct RowsJob {
  void (*rows)(void *context, int first, int last);
  void *context;
  int count;
};
void runRowsJob(const void *job, const Band &band) {
  const RowsJob &j = *static_cast<const RowsJob *>(job);
  const int first = std::max(band.first, 0), last = std::min(band.last, j.count - 1);
  if (first <= last) j.rows(j.context, first, last);
}
} // namespace

void boardRunRows(void (*rows)(void *context, int first, int last), void *context, int count) {
  if (count <= 0) return;
  boardDrain();
  if (!Board.open || count > Board.height || !boardRecording()) {
    rows(context, 0, count - 1);
    return;
  }
  new (boardRecordJob(runRowsJob, sizeof(RowsJob), 0, count - 1)) RowsJob{rows, context, count};
  boardDrain();
}
int boardThreadCount() { return pool().threads(); }
void boardSetThreads(int count) { pool().setThreads(count); }

void PaceState::frameTook(double took, double period) {
  if (period <= 0.0) {
    *this = PaceState();
    return;
  }
  if (took > period * (2.0 / 3.0)) {
    alone = false;
    calm = 0;
  } else if (took < period / 3.0) {
    calm = std::min(calm + 1, CalmFrames);
    alone = alone || calm >= CalmFrames;
  } else {
    calm = 0;
  }
}

void boardPaceFrame(double took, double period) {
  Pool &p = pool();
  if (!p.chosen() && p.threads() > 1) p.pace.frameTook(took, period);
}
