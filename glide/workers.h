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

// Frames held to the screen's pace that use little of their time are drawn
// on the calling thread alone: the other threads would only add the cost of
// handing the work over. PaceState follows one run of frames: after
// CalmFrames in a row that took under a third of their time it goes to one
// thread, and back to them all as soon as a frame takes over two thirds (so
// a frame that one thread would draw too slowly is at most one frame late).
struct PaceState {
  static constexpr int CalmFrames = 30;
  bool alone = false; // drawing on the calling thread alone
  int calm = 0;       // frames in a row that took under a third of their time
  // A frame took `took` seconds of the `period` it had; period 0: frames
  // are not paced (all threads).
  void frameTook(double took, double period);
};

// The board's own pace: called once a frame, with the pool drained. Has no
// effect when the number of threads was chosen (LUMENVEIL_THREADS or
// boardSetThreads with a count).
void boardPaceFrame(double took, double period);
