// The board's drawing threads. With more than one thread, draw calls record
// their work (set up on the calling thread) and the threads rasterise it
// later, each one the rows of its own band, every piece of work in the order
// it was recorded: each pixel sees the same writes in the same order as on
// one thread, so the frames are the same to the bit.
#pragma once

#include <cstddef>

// The rows a thread draws: strips of BandStripRows rows dealt out in turn.
struct Band {
  int index = 0;
  int count = 1;
};

constexpr int BandStripShift = 3; // strips of 8 rows

inline bool bandOwnsRow(const Band &b, int y) {
  return b.count <= 1 || ((y >> BandStripShift) % b.count) == b.index;
}

typedef void (*BandJobFn)(const void *job, const Band &band);

// Whether draws are recorded now (more than one thread) rather than drawn at once.
bool boardRecording();

// Room for one piece of recorded work of `bytes` bytes (a plain record, 16-byte
// aligned), run later on every thread with its band. Valid until the next call.
void *boardRecordJob(BandJobFn fn, size_t bytes);

// Runs everything recorded and returns when every thread is done. Called
// before anything reads the buffers, replaces them, or changes a texture.
void boardDrain();

// The number of drawing threads (at least 1).
int boardThreadCount();
