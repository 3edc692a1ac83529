// The call trace: every board call written to a text file, one line each (its
// name and arguments; floats with "%.9g"; a vertex as its x y r g b a oow sow
// tow; a texture download as its handle and a hash of the texels, the texels
// themselves once per distinct content on a "texels" line before it; pixels
// written through a frame-buffer lock on "lfbWrite x y count hex" lines), and
// its replay through the board.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "glide/glide.h"

// Starts writing every board call to the file (replacing a trace in progress).
bool boardStartTrace(const char *path, std::string &error);
// Finishes the trace file; true when nothing runs. False, with a message naming
// the file, when any of the trace could not be written (a full disk, /dev/full).
bool boardStopTrace(std::string &error);

// How a replay runs; the defaults replay the whole trace as recorded.
struct BoardReplayControl {
  bool (*stopRequested)() = nullptr; // asked after every frame: true ends the replay, as a failure
  long frameLimit = 0;               // > 0: the replay ends, as a success, after this many frames
  int screenWidth = 0;               // > 0 with screenHeight: every screen opens at this
  int screenHeight = 0;              // size instead (up to 4096 x 4096)
};

// The longest line a trace may hold: four times a texels line of the largest
// texture the board takes (256 x 256 texels of 2 bytes, in hex).
constexpr size_t BoardTraceMaxLine = 1u << 20;

// Renders a trace through the board: every grBufferSwap presents through the
// installed presenter as usual. False with a message naming the file (and the
// line) when the file cannot be read, a line is not understood, the trace
// holds no board call at all, or the replay was stopped.
bool boardReplay(const char *path, std::string &error, const BoardReplayControl &control = {});
// The same for a trace held in memory; `name` stands for the file in messages.
bool boardReplayText(const char *text, size_t size, const char *name, std::string &error,
                     const BoardReplayControl &control = {});

// A trace read and checked ahead of its replay, kept in memory in a form that
// replays without reading text (for timing the board alone).
struct BoardTrace {
  std::string name;                 // the file, for messages
  std::vector<unsigned char> calls; // the calls with their arguments
};

// Reads a whole trace. False with a message naming the file (and the line)
// when the file cannot be read, a line is not understood, or it holds no call.
bool boardReadTrace(const char *path, BoardTrace &trace, std::string &error);
// Replays a trace read by boardReadTrace, as boardReplay does the file.
bool boardReplayTrace(const BoardTrace &trace, std::string &error, const BoardReplayControl &control = {});

// The arguments of one call of a read trace, as a visitor is handed them: by
// the argument's place, numbers (integers, sizes, hashes) in `number`, floats
// in `real`; Vertex arguments in `vertex`, in order; a vertex list in `list`,
// texels in `bytes`, frame-buffer pixels in `pixels`.
struct BoardTraceArgs {
  static constexpr int MaxArgs = 16;
  long long number[MaxArgs];
  float real[MaxArgs];
  GrVertex vertex[2];
  std::vector<GrVertex> list;
  std::vector<int> index; // 0, 1, 2, ... as long as the list
  std::vector<uint8_t> bytes;
  std::vector<uint16_t> pixels;
};

// Hands every call of a read trace, in order, to `visit` with its TraceCall
// number (see tracewrite.h) and its arguments, without making any board call
// (for drawing a trace through something other than the board). Ends early,
// with false, when `visit` returns false.
bool boardVisitTrace(const BoardTrace &trace,
                     bool (*visit)(void *context, int call, const BoardTraceArgs &args), void *context);
