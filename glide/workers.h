// The board's drawing threads. With more than one thread, draw calls record
// their work (set up on the calling thread) and the threads rasterise it
// later: the screen is cut into bands of rows, each thread takes the next
// band nobody has taken and draws into it every piece of work that touches
// it, in the order the work was recorded. Each pixel sees the same writes in
// the same order as on one thread, so the frames are the same to the bit.
#pragma once

#include <climits>
#include <cstddef>

// The rows being drawn: first to last, inclusive.
struct Band {
  int first = 0;
  int last = INT_MAX;
};

inline bool bandOwnsRow(const Band &b, int y) { return y >= b.first && y <= b.last; }

typedef void (*BandJobFn)(const void *job, const Band &band);

// Whether draws are recorded now (more than one thread) rather than drawn at once.
bool boardRecording();

// Room for one piece of recorded work of `bytes` bytes (a plain record, 16-byte
// aligned) that draws into rows `first` to `last`, run later once for each
// band it touches. Valid until the next call.
void *boardRecordJob(BandJobFn fn, size_t bytes, int first, int last);

// Runs everything recorded and returns when every thread is done. Called
// before anything reads the buffers, replaces them, or changes a texture.
void boardDrain();

// The number of drawing threads (at least 1).
int boardThreadCount();
