// The pixel pipeline shared by the board's drawing code: a snapshot of the
// render state, texel fetch, and the reference path for one fragment.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/workers.h"

#if defined(__GNUC__)
#define BOARD_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define BOARD_ALWAYS_INLINE inline
#endif

// The blends the program draws with, which have specialised paths.
enum BlendMode {
  BlendOther = -1,
  BlendNone,   // (one, zero)
  BlendAdd,    // (source alpha, one)
  BlendScaled, // (source alpha, zero)
  BlendFade,   // (zero, source alpha)
  BlendOneAdd  // (one, source alpha)
};

// Dithered RGB 565 parts by position ((y & 3) * 4 + (x & 3)) and channel value.
struct DitherParts {
  uint16_t red[16][256], green[16][256], blue[16][256]; // r << 11, g << 5, b
};

// Large flat untextured areas (the motion-blur fade): the result depends only
// on the stored pixel and the dither position, so it comes from tables.
struct FlatTables {
  int blend, r, g, b, a, dither;
  uint16_t red[16][32], green[16][64], blue[16][32];
};

// The render state a draw call works with: everything it needs, fixed when
// the call is made (recorded draws run later on other threads).
struct Pipe {
  uint16_t *target;
  int width, height;
  int colorCombine, alphaSource, texCombine;
  int alphaFunc, alphaRef;
  int rgbSrc, rgbDst;
  int ditherMode;
  const uint8_t *ditherRB, *ditherG; // [16 positions][256]
  const uint8_t *alphaPass;          // [256]: 1 where the alpha test passes
  const DitherParts *parts;          // the dither mode's tables
  int blendMode;                     // BlendMode of the colour factors
  bool rgbMask;
  bool useTexture;         // the combine or the alpha source reads a texel
  const BoardTexture *tex; // null: no texture (texels read as opaque black)
  const FlatTables *flat;  // the flat-area tables of this draw, when it has them
  const uint16_t *grey;    // the grey-texture table of this draw, when it has one
  Band band;               // the rows this thread draws
};

inline bool ownsRow(const Pipe &p, int y) { return bandOwnsRow(p.band, y); }

Pipe makePipe();

// The flat-area tables for a blend of one colour and alpha under a dither
// mode. They stay put until the board drains its recorded work; a draw may
// keep the pointer.
const FlatTables *flatTablesFor(int blend, int r, int g, int b, int a, int dither);

// For a grey texture (texels with red = green = blue) times one flat colour
// under the blend (one, zero) or (source alpha, zero): the RGB 565 value of
// each intensity at each dither position, [(y & 3) * 4 + (x & 3)][intensity],
// followed by a few entries of padding. Kept like the flat-area tables.
const uint16_t *greyTableFor(int blend, int r, int g, int b, int a, int dither);
constexpr int GreyTableEntries = 16 * 256 + 16;

// Forces every fragment through the reference path and every polygon through
// its triangles one by one (for tests comparing them with the fast paths).
void boardForceReferencePipeline(bool force);
bool boardReferencePipelineForced();
// The widest vectors the spans may use: 128, 256 or 512 bits (at start,
// LUMENVEIL_VECTORS, else 512), for tests of the narrower paths.
void boardUseVectors(int bits);
// The widest vectors the spans use now: those allowed, as far as the
// processor has them (128 bits every processor has).
int boardVectorBits();

// Everything after iteration for one fragment: texel (0xAARRGGBB), combine,
// alpha, alpha test, blend, dither, write at (x, y) of the render target.
void shadeFragment(const Pipe &p, int x, int y, int ir, int ig, int ib, int ia, uint32_t texel);

constexpr uint32_t NoTexel = 0xFF000000u;

// One channel through a specialised blend: s incoming, d stored, a the alpha.
inline int blendChannel(int blend, int s, int a, int d) {
  switch (blend) {
  case BlendNone: return s;
  case BlendAdd: return std::min(255, d + ((s * (a + 1)) >> 8));
  case BlendScaled: return (s * (a + 1)) >> 8;
  case BlendFade: return (d * (a + 1)) >> 8;
  default: return std::min(255, s + ((d * (a + 1)) >> 8));
  }
}

// (Internal to each file that includes it, as the vector files call it too:
// see vectorsteps.h.)
namespace {
// The ordered dither's offset at (x, y) for a dither mode (0 when disabled).
inline int ditherOffset(int mode, int x, int y) {
  static const int m4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  static const int m2[2][2] = {{2, 10}, {14, 6}};
  if (mode == GR_DITHER_4x4) return m4[y & 3][x & 3];
  if (mode == GR_DITHER_2x2) return m2[y & 1][x & 1];
  return 0;
}
} // namespace

inline int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
inline int expand5(unsigned v) { return (int)((v << 3) | (v >> 2)); }
inline int expand6(unsigned v) { return (int)((v << 2) | (v >> 4)); }

// ---- Fixed point, shared by triangles, lines and points -------------------------

// Rounds down to an integer (float or double), saturating far outside the
// useful range.
template <class Real> inline int32_t floorToInt(Real f) {
  if (!(f > Real(-1.0e9))) return -1000000000;
  if (f > Real(1.0e9)) return 1000000000;
  int32_t i = (int32_t)f;
  return (Real)i > f ? i - 1 : i;
}

// A biased screen coordinate (see GrVertex) in sixteenths of a pixel, to the
// nearest. Far outside the screen (or not a number) it is kept within 2^28
// sixteenths, so that the edge arithmetic cannot overflow.
inline int64_t toSixteenths(float biased) {
  double p = ((double)biased - BoardSnapBias) * 16.0;
  if (!(p > -2.5e8)) p = -2.5e8;
  if (p > 2.5e8) p = 2.5e8;
  // To the nearest, halves away from zero, as llround does, without the
  // library call: p and its whole part differ by an exact fraction.
  const int64_t whole = (int64_t)p;
  const double fraction = p - (double)whole;
  return whole + (fraction >= 0.5) - (fraction <= -0.5);
}

// v with `bits` fractional bits, to the nearest step, saturated at +-limit
// (not a number reads as -limit).
inline int64_t toFixed(double v, int bits, double limit) {
  double f = std::floor(v * std::ldexp(1.0, bits) + 0.5); // exact scaling by a power of two
  if (!(f > -limit)) return -(int64_t)limit;
  if (f > limit) return (int64_t)limit;
  return (int64_t)f;
}

inline int64_t floorDiv(int64_t a, int64_t b) { // b > 0
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); } // b > 0

// Texel coordinates (16 fractional bits, half a texel taken off) from the
// interpolated s/w, t/w and 1/w, to the nearest step.
inline void perspectiveUV(float sw, float tw, float w, float scale, int32_t &u, int32_t &v) {
  if (!(w > 0.0f)) {
    u = v = -32768;
    return;
  }
  float k = scale * 65536.0f / w;
  u = floorToInt(sw * k + 0.5f) - 32768;
  v = floorToInt(tw * k + 0.5f) - 32768;
}

// Index into the bordered texel rows of the first of the two taps at i.
inline int tapIndex(int32_t i, int size, bool clamp) {
  if (clamp) return (i < -1 ? -1 : (i > size - 1 ? size - 1 : i)) + 1;
  return (i & (size - 1)) + 1;
}

// 0xAARRGGBB spread to four 16-bit lanes.
inline uint64_t spreadTexel(uint32_t t) {
  return (uint64_t)(t & 0x00FF00FFu) | ((uint64_t)(t & 0xFF00FF00u) << 24);
}
inline uint32_t gatherTexel(uint64_t e) {
  return (uint32_t)(e & 0x00FF00FFu) | (uint32_t)((e >> 24) & 0xFF00FF00u);
}
inline uint64_t lerpLanes(uint64_t a, uint64_t b, unsigned f) {
  return ((a * (256 - f) + b * f) >> 8) & 0x00FF00FF00FF00FFull;
}

// The texel at (u, v): across first (weights 256 - f and f from the top 8
// fractional bits), then down; point sampling takes the nearest texel.
inline uint32_t sampleTexel(const BoardTexture &t, int32_t u, int32_t v) {
  if (!t.bilinear) {
    int32_t iu = (int32_t)(((int64_t)u + 0x8000) >> 16), iv = (int32_t)(((int64_t)v + 0x8000) >> 16);
    int x = t.clampS ? (iu < 0 ? 0 : (iu >= t.width ? t.width - 1 : iu)) : (iu & (t.width - 1));
    int y = t.clampT ? (iv < 0 ? 0 : (iv >= t.height ? t.height - 1 : iv)) : (iv & (t.height - 1));
    return t.texels[(size_t)(y + 1) * t.pitch + x + 1];
  }
  int x = tapIndex(u >> 16, t.width, t.clampS);
  int y = tapIndex(v >> 16, t.height, t.clampT);
  unsigned fu = (unsigned)(u >> 8) & 255u, fv = (unsigned)(v >> 8) & 255u;
  const uint32_t *r0 = t.texels.data() + (size_t)y * t.pitch + x;
  const uint32_t *r1 = r0 + t.pitch;
  uint64_t top = lerpLanes(spreadTexel(r0[0]), spreadTexel(r0[1]), fu);
  uint64_t bottom = lerpLanes(spreadTexel(r1[0]), spreadTexel(r1[1]), fu);
  return gatherTexel(lerpLanes(top, bottom, fv));
}
