// The board's internal state, shared by the board's own source files only
// (the program's side of it is in extension.h).
// Everything lives in one context, `Board`, defined in board.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "glide/extension.h"
#include "glide/glide.h"

// Zero quads after the last of a grey texture.
constexpr size_t QuadPadding = 16;

// One allocated texture: its largest level, expanded to 0xAARRGGBB texels.
struct BoardTexture {
  int width = 0;
  int height = 0;
  int format = 0;
  uint32_t bytes = 0; // texture memory it takes
  bool clampS = true;
  bool clampT = true;
  bool bilinear = true;
  float scale = 1.0f; // texel units per unit of s and t (long side spans 0..256)
  int pitch = 0;      // width + 2
  // (width + 2) x (height + 2) texels: the image with a one-texel border, so
  // that a bilinear tap pair is always two neighbours in memory.
  std::vector<uint32_t> texels;
  // Horizontal neighbours side by side for the filter: entry (x, y) holds the
  // bytes b, b', g, g', r, r', a, a' of bordered texels x and x + 1 of row y.
  std::vector<uint64_t> pairs;
  // Whether every texel has red = green = blue; then `quads` holds, for each
  // bordered texel (same layout as texels), that value of it, of its right
  // neighbour, of the one below and of the one below right, lowest byte first
  // (0 past the last column and row), and QuadPadding zero entries after the
  // last, so that sixteen quads may be read from any of them.
  bool grey = false;
  std::vector<uint32_t> quads;
  // When every texel is an RGB 565 value widened (expand5, expand6), the
  // bordered texels (same layout as texels) as RGB 565, and one zero entry
  // after the last: a texel and its right neighbour, a tap pair, in one
  // 32-bit read, from a table half the size of `texels`. Empty otherwise.
  std::vector<uint16_t> texels565;
  // For bordered row y (0 to height): the first and the last bordered column
  // x whose bilinear taps, texels x and x + 1 of rows y and y + 1, are not
  // all black (first > last when every one is). A pixel whose taps lie
  // outside them has no colour. Then the same again for each level k from 1
  // to LitLevels - 1, at entry k * (height + 1) + y: the columns where some
  // channel of some tap reaches 2^k (a filtered channel is at most its
  // brightest tap's, so outside them every channel is below 2^k).
  struct LitColumns {
    int16_t first, last;
  };
  static constexpr int LitLevels = 8;
  std::vector<LitColumns> lit;
};

// The linear frame buffer lock in progress.
struct BoardLfbLock {
  bool readLocked = false;
  bool writeLocked = false;
  int buffer = GR_BUFFER_BACKBUFFER;
  int origin = GR_ORIGIN_LOWER_LEFT; // rows of the pointer count from here
  bool pipeline = false;
  bool flipRows = false;        // lock origin differs from the screen's
  bool direct = false;          // pointer goes straight into the buffer
  std::vector<uint16_t> shadow; // written pixels when not direct
};

struct BoardContext {
  bool initialised = false;
  bool present = true;
  int boardType = GR_SSTTYPE_VOODOO;
  bool retraceWait = true;

  bool open = false;
  int width = 0;
  int height = 0;
  double refreshHz = 60.0;
  int colorFormat = GR_COLORFORMAT_ARGB;
  int origin = GR_ORIGIN_LOWER_LEFT;
  double openedAt = 0.0;       // seconds on the steady clock: the first retrace
  double frameStartedAt = 0.0; // the same clock when the last swap ended (0: none yet)
  bool outputActive = true;
  int skipSwaps = 0; // frames still to be worked out without drawing (boardSkipFrames)

  std::vector<uint16_t> buffers[2]; // RGB 565, lowest row first
  int frontIndex = 0;
  int renderBuffer = GR_BUFFER_BACKBUFFER;

  bool rgbMask = true;
  bool alphaMask = false;
  int ditherMode = GR_DITHER_4x4;
  int depthMode = GR_DEPTHBUFFER_DISABLE;
  int cullMode = GR_CULL_DISABLE;
  int colorCombine = GR_COLORCOMBINE_ITRGB;
  int texCombine = GR_TEXTURECOMBINE_DECAL;
  int alphaSource = GR_ALPHASOURCE_ITERATED_ALPHA;
  int rgbSrc = GR_BLEND_ONE, rgbDst = GR_BLEND_ZERO;
  int alphaSrc = GR_BLEND_ONE, alphaDst = GR_BLEND_ZERO;
  int alphaFunc = GR_CMP_ALWAYS;
  int alphaRef = 0;
  uint16_t lfbDepth = 0;

  std::vector<BoardTexture> textures; // index = handle
  uint32_t textureBytesUsed = 0;
  int currentTexture = -1;

  BoardLfbLock lfb;
};

extern BoardContext Board;

// Texture memory of the one texture unit.
constexpr uint32_t BoardTextureMemory = 4u * 1024u * 1024u;

// Whether draw calls write pixels now: a screen is open and no frame is
// being skipped.
inline bool boardDrawing() { return Board.open && Board.skipSwaps == 0; }

// The buffer drawing goes to.
uint16_t *boardRenderTarget();
// The pixels of a buffer named by GR_BUFFER_FRONTBUFFER or GR_BUFFER_BACKBUFFER.
uint16_t *boardBuffer(int buffer);
