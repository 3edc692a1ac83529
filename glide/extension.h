// What the program may call of the board beyond the library's API: the snap
// offset of screen coordinates, the screen sizes the resolution codes stand
// for, the screen size override and the render state to set again after it,
// the retrace wait, the texture download counter, and the widest vectors allowed. With glide.h (the API), presenter.h (how frames leave
// the board) and trace.h (the call trace), the board's public face: its
// other headers are its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "glide/glide.h"

// The offset the program adds to screen x and y (GrVertex): at 2^19 a float
// keeps four bits below the binary point, so coordinates snap to 1/16 pixel.
constexpr float BoardSnapBias = 524288.0f;

// The screen sizes and refresh rates the board's codes stand for, indexed by
// GR_RESOLUTION_* and GR_REFRESH_* code. The board opens its screens by them,
// and the display layer sizes its render area by them before a screen is open.
struct BoardResolutionSize {
  int width, height;
};

inline constexpr BoardResolutionSize BoardResolutions[] = {
    {320, 200}, {320, 240}, {400, 256}, {512, 384}, {640, 200},  {640, 350},   {640, 400},   {640, 480},
    {800, 600}, {960, 720}, {856, 480}, {512, 256}, {1024, 768}, {1280, 1024}, {1600, 1200}, {400, 300}};

inline constexpr int BoardRefreshHz[] = {60, 70, 72, 75, 80, 90, 100, 85, 120};

// The largest screen the board opens, in either direction.
constexpr int BoardMaxScreenSide = 4096;

// Opens every screen at this size, whatever resolution grSstWinOpen names
// (frames at a window's own size, replays for fuzzing; 0 x 0, or a size
// beyond BoardMaxScreenSide, goes back to the named resolutions).
void boardSetScreenOverride(int width, int height);

// The render state that opening a screen resets, as the library's calls set
// it: for setting it again through them after a screen opens at a new size
// (so that a trace of the run replays that too).
struct BoardRenderState {
  int renderBuffer, ditherMode, depthMode, cullMode, colorCombine, texCombine, alphaSource;
  int rgbSrc, rgbDst, alphaSrc, alphaDst, alphaFunc, alphaRef;
  int texture; // the texture handle guTexSource made current; -1: none
  bool rgbMask, alphaMask;
  uint16_t lfbDepth;
};
BoardRenderState boardRenderState();

// The widest vectors LUMENVEIL_VECTORS lets drawing use: 128, 256 or 512
// bits (512 when it is unset, or not understood, which is told once on the
// error stream).
int boardVectorBitsAllowed();

// Whether grBufferSwap waits for simulated vertical retraces. Headless and
// benchmark runs switch it off.
void boardSetRetraceWait(bool wait);

// The next `frames` frames (buffer swaps) are worked out without being
// drawn: every call keeps its effect on the board's state, but draws,
// clears and locked writes of the frame buffer write no pixel (a pointer
// straight into a buffer still writes there), and those swaps wait for no
// retrace and present nothing. Drawing starts again right after the last of
// them, so a frame drawn after them is the one drawn at the same point of a
// run that drew them all, as long as it does not read what they would have
// left in the buffers. A trace leaves out their draws,
// clears and swaps (the calls that set state stay), so that its replay
// draws just the frames after them. 0 ends a skip at once.
void boardSkipFrames(int frames);

// Runs rows(context, first, last) over rows 0 to `count` - 1 of the screen,
// band by band, on the board's drawing threads (on the calling thread alone
// when the board draws there alone, or `count` is more than the screen's
// rows), and returns when every row is done. For work on a finished frame,
// such as converting it for a window; `rows` may run on several threads at
// once, on rows apart, and must not call the board.
void boardRunRows(void (*rows)(void *context, int first, int last), void *context, int count);

// Opens every screen at this refresh rate (a monitor's own, 144 or 59.94 Hz),
// whatever rate grSstWinOpen names: its retraces then fall that far apart.
// 0 goes back to the named rates.
void boardSetRefreshOverride(double hz);

// Replaces the thread's sleep while waiting for retraces (tests; null restores it).
void boardSetRetraceSleep(void (*sleep)(double seconds));

// Bytes guTexDownloadMipMap reads for a texture handle (its largest level);
// 0 for a handle that names no texture.
size_t boardTextureDownloadBytes(GrMipMapId_t mmid);
