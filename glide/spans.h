// Spans: one row of a shape from x0 to x1, with its iterators. What the span
// writers share: the reference span (referencespans.cpp), the two-pixel span
// (spans128.cpp), the writers of each wider vector width (spans256.cpp,
// spans512.cpp, each compiled for its own instructions) and the choice among
// them (spanselection.cpp).
#pragma once

#include <cstdint>

#include "glide/boardstate.h"
#include "glide/pipeline.h"

enum TexMode { TexNone = 0, TexAffine = 1, TexPerspective = 2 };
enum CombineMode { CombIterated, CombTexTimesIterated };

// Iterators of one span.
struct SpanIter {
  int64_t r, g, b, a, dr, dg, db, da; // 16 fractional bits
  int32_t u, v, du, dv;               // affine texel coordinates, 16 fractional bits
  float sw, tw, w, dsw, dtw, dw;      // perspective
  float scale;
  int texMode;
  bool flat; // colour and alpha the same everywhere
};

typedef void (*SpanFn)(const Pipe &p, int x0, int x1, int y, const SpanIter &it);

// Texture coordinates far off a clamped texture may wrap around; the taps
// are clamped whatever they hold.
inline int32_t stepWrapping(int32_t v, int32_t d) { return (int32_t)((uint32_t)v + (uint32_t)d); }

inline int channel(int64_t v) {
  int64_t i = v >> 16;
  return i < 0 ? 0 : (i > 255 ? 255 : (int)i);
}

// Helpers the vector files call are internal to every file that includes
// them: a copy compiled for wide vectors is never one the rest of the
// program may be linked with.
namespace {
// A flat span's channel as the vector spans take it: the iterator's integer
// part, clamped to 0-255.
inline int flatChannel(int64_t v) {
  const int32_t c = (int32_t)v >> 16;
  return c < 0 ? 0 : (c > 255 ? 255 : c);
}

// The dither offsets of pixels x to x + 3 of row y, lowest word first: pixels
// four apart share one.
inline uint64_t ditherOffsetsOfFour(int mode, int x, int y) {
  uint64_t four = 0;
  for (int k = 0; k < 4; ++k) four |= (uint64_t)(uint16_t)ditherOffset(mode, x + k, y) << (16 * k);
  return four;
}
} // namespace

// Everything after iteration, one pixel at a time through shadeFragment:
// every state, and the truth the other writers are held to.
void spanReference(const Pipe &p, int x0, int x1, int y, const SpanIter &it);

// A part of a span, from its pixel `first` on.
typedef void (*SpanPartFn)(const Pipe &p, int x0, int x1, int y, const SpanIter &it, int first);

// Two pixels at a time with 128-bit vectors, every state the specialised
// paths take, by [texture mode][blend][flat colour][every tap inside the
// texture's border] (the combine follows from the texture mode).
extern const SpanPartFn SpanPairs[3][5][2][2];

// One row of an upright glow sprite to draw: `count` pixels from `pixels`,
// the first at texel coordinate u; the upper taps as RGB 565 from `taps` (the
// row's first column inside the border), the lower ones a pitch on; v's
// fraction, 0-255.
struct SpriteRow {
  uint16_t *pixels;
  const uint16_t *taps;
  int32_t u;
  int count, fv;
};

// What the rows of one sprite share.
struct SpriteLook {
  int32_t du;
  int pitch;
  int red, green, blue, alpha;
};

// The bordered texel column of each of a sprite's columns, when it has at
// most 64, to find the lit columns of a row by comparing them all at once.
struct ColumnTable {
  alignas(64) int16_t column[64];
  uint64_t valid; // which of the 64 are the sprite's
};

// A texture's tables as the vector writers read them.
struct TexelTables {
  const uint32_t *texels;    // BoardTexture::texels
  const uint16_t *texels565; // BoardTexture::texels565, null when it has none
  const uint32_t *quads;     // BoardTexture::quads, null when it has none
  int pitch, width, height;
};

inline TexelTables texelTablesOf(const BoardTexture &t) {
  return TexelTables{t.texels.data(),
                     t.texels565.empty() ? nullptr : t.texels565.data(),
                     t.quads.empty() ? nullptr : t.quads.data(),
                     t.pitch,
                     t.width,
                     t.height};
}

// The writers of one vector width wider than 128 bits, each for a flat
// colour times a bilinear texture. They run only where the processor has
// the width's instructions.
struct VectorSpans {
  int bits;
  // Four (256) or eight (512) pixels at a time, every tap inside the
  // texture's border, by [texture mode][blend]: from pixel `first` (always 0
  // at 512 bits), leaving spans shorter than a group of four to the caller.
  // Returns how many pixels of the span are done.
  int (*groups[3][5])(const Pipe &p, const TexelTables &t, int x0, int x1, int y, const SpanIter &it,
                      int first);
  // One channel of many pixels to a vector, from the texture's RGB 565 taps,
  // affine, every tap inside the border, by blend. Returns how many pixels it
  // drew: all, or none (at 256 bits, spans under 16 pixels).
  int (*planar[5])(const Pipe &p, const TexelTables &t, int x0, int x1, int y, const SpanIter &it);
  // A grey texture under the blends (one, zero) and (source alpha, zero),
  // through the draw's grey table, by texture mode; every pixel in front of
  // the eye. False, having drawn part of the span, when a tap leaves the border.
  bool (*grey[3])(const Pipe &p, const TexelTables &t, int x0, int x1, int y, const SpanIter &it);
  // Rows of upright glow sprites (added, no dither).
  void (*spriteRows)(const SpriteRow *rows, int n, const SpriteLook &look);
  // The first and the last of a table's columns that lie within `lit`, as
  // indexes into it; false when none do. Null at widths that have none.
  bool (*litColumns)(const ColumnTable &table, BoardTexture::LitColumns lit, int64_t &first, int64_t &last);
};

extern const VectorSpans Spans256, Spans512;

// The widest vectors the spans use now: 128, 256 or 512 bits (the widest the
// processor has, up to what is allowed).
extern int SpanVectorBits;

// Divides by a step of a texel coordinate, d != 0, with its reciprocal.
struct StepDivider {
  int64_t d;
  double inverse;
  explicit StepDivider(int64_t step) : d(step < 0 ? -step : step), inverse(d != 0 ? 1.0 / (double)d : 0.0) {}
  // floor(a / |step|), |a| below 2^44: the quotient rounded toward zero,
  // then put right.
  int64_t floor(int64_t a) const {
    int64_t q = (int64_t)((double)a * inverse);
    while (q * d > a) --q;
    while ((q + 1) * d <= a) ++q;
    return q;
  }
  int64_t ceil(int64_t a) const { return -floor(-a); }
};

// Narrows [first, last], steps along which a texel coordinate runs from u by
// du, to the steps whose taps lie in lit columns. False when none do.
bool litSteps(const BoardTexture::LitColumns &lit, int64_t u, int64_t du, const StepDivider &by,
              int64_t &first, int64_t &last);

// The span routine for the current state, or the reference path; the tables
// it needs, if any, go into the pipe.
SpanFn pickSpan(Pipe &p, int texMode, const SpanIter &it, int64_t area);

// The span routine of the glows of upright sprites (see uprightGlow).
extern const SpanFn GlowSpan;
