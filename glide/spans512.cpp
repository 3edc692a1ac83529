// The span writers with 512-bit vectors (AVX-512 F, BW and VL). This file
// alone is compiled for those instructions, and its writers are called only
// where the processor has them: everything but the table at the end is
// internal to it, and it calls nothing the rest of the program has its own
// copy of (no inline function or template from another file), so no
// function compiled here can stand in for one compiled for every processor.
#include <immintrin.h>

#include "glide/spans.h"
#include "glide/vectorsteps.h"

// GCC's own 512-bit headers trip its uninitialised-value warnings.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

namespace {

typedef Lanes512 L;

// Eight pixels at a time: the 256-bit groups twice as wide, lane for lane,
// for whole spans (the caller's `first` is always 0); a last, partial group
// repeats its last pixel's coordinates in the unused lanes and reads and
// writes only its own pixels. Returns how many pixels were drawn (all of them).
template <int Tex, int Blend>
int spanGroups(const Pipe &p, const TexelTables &t, int x0, int x1, int y, const SpanIter &it, int) {
  const int count = x1 - x0 + 1, groups = (count + 7) / 8;
  uint16_t *row = p.target + (size_t)y * p.width;
  const __m512i zero = _mm512_setzero_si512();

  __m128i c4 = flatColour(it);
  if (!p.alphaPass[_mm_extract_epi16(c4, 3)]) return x1 - x0 + 1; // nothing passes the alpha test
  c4 = _mm_add_epi16(c4, _mm_set1_epi16(1));
  const __m512i colour1 = _mm512_broadcastq_epi64(c4);
  const __m512i alpha1 = _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(colour1, 0xFF), 0xFF);
  const AlphaScale<L> byAlpha{_mm_extract_epi16(c4, 3) == 256, _mm512_slli_epi16(alpha1, 8)};
  const GroupLanes<L> k(p.ditherMode != GR_DITHER_DISABLE);

  const uint32_t *texels = t.texels;
  const int pitch = t.pitch;
  const __m512i pitchWeights = _mm512_set4_epi32(0, 0, 1 | pitch << 16, 1 | pitch << 16);
  __m512i uv = _mm512_setr_epi32(it.u, it.v, it.u + it.du, it.v + it.dv, it.u + 2 * it.du, it.v + 2 * it.dv,
                                 it.u + 3 * it.du, it.v + 3 * it.dv, it.u + 4 * it.du, it.v + 4 * it.dv,
                                 it.u + 5 * it.du, it.v + 5 * it.dv, it.u + 6 * it.du, it.v + 6 * it.dv,
                                 it.u + 7 * it.du, it.v + 7 * it.dv);
  const __m512i uvStep = _mm512_set4_epi32(8 * it.dv, 8 * it.du, 8 * it.dv, 8 * it.du);
  // Stored pixel k into lanes 4k to 4k + 3.
  const __m512i spreadPixels = _mm512_setr_epi64(
      0, 0x0001000100010001ll, 0x0002000200020002ll, 0x0003000300030003ll, 0x0004000400040004ll,
      0x0005000500050005ll, 0x0006000600060006ll, 0x0007000700070007ll);
  const __mmask32 greenLanes = 0x22222222u;
  // Pixels x and x + 4 share a dither position: the offsets of four pixels, twice.
  const uint64_t four = ditherOffsetsOfFour(p.ditherMode, x0, y);
  auto offsetOf = [four](int n) { return (long long)((four >> (16 * n) & 0xFFFF) * 0x000100010001ull); };
  const __m512i offset = _mm512_setr_epi64(offsetOf(0), offsetOf(1), offsetOf(2), offsetOf(3), offsetOf(0),
                                           offsetOf(1), offsetOf(2), offsetOf(3));
  // The low word of each pixel's first 32-bit lane.
  const __m512i pixelWords = _mm512_setr_epi64(0x000C000800040000ll, 0x001C001800140010ll, 0, 0, 0, 0, 0, 0);
  const __m512i fraction = _mm512_set1_epi32(0xFF00);
  const __m512i pixelOffsets = _mm512_setr_epi32(0, 1, 4, 5, 8, 9, 12, 13, 0, 0, 0, 0, 0, 0, 0, 0);

  int x = x0;
  for (int g = 0, i = 0; g < groups; ++g, x += 8, i += 8) {
    __m512i coords;
    if (Tex == TexPerspective) {
      coords = _mm512_inserti64x4(
          _mm512_castsi256_si512(_mm256_set_m128i(perspectivePair(it, i + 2), perspectivePair(it, i))),
          _mm256_set_m128i(perspectivePair(it, i + 6), perspectivePair(it, i + 4)), 1);
    } else {
      coords = uv;
      uv = _mm512_add_epi32(uv, uvStep);
    }
    const int valid = count - i < 8 ? count - i : 8;
    if (valid < 8) {
      // Element 2k + c (pixel k, coordinate c) takes pixel min(k, valid - 1).
      const __m512i element = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
      const __m512i pixelOf = _mm512_min_epi32(_mm512_srli_epi32(element, 1), _mm512_set1_epi32(valid - 1));
      const __m512i from =
          _mm512_or_si512(_mm512_slli_epi32(pixelOf, 1), _mm512_and_si512(element, _mm512_set1_epi32(1)));
      coords = _mm512_permutexvar_epi32(from, coords);
    }
    const __mmask8 lanes = (__mmask8)((1u << valid) - 1);
    __m512i f = _mm512_and_si512(_mm512_srli_epi32(coords, 8), _mm512_set1_epi32(255));
    __m512i w = _mm512_add_epi32(_mm512_sub_epi32(_mm512_slli_epi32(f, 16), f), _mm512_set1_epi32(256));
    __m512i index = _mm512_add_epi32(_mm512_srai_epi32(coords, 16), _mm512_set1_epi32(1));
    __m512i offsets = _mm512_madd_epi16(_mm512_packs_epi32(index, zero), pitchWeights);
    // The bordered offsets of pixels 0 to 7 (elements 0, 1, 4, 5, 8, 9, 12, 13),
    // and their two texels side by side in the upper and the lower row.
    const __m256i at = _mm512_castsi512_si256(_mm512_permutexvar_epi32(pixelOffsets, offsets));
    __m512i top = _mm512_i32gather_epi64(at, (const long long *)texels, 4);
    __m512i bottom = _mm512_i32gather_epi64(at, (const long long *)(texels + pitch), 4);
    auto filter = [&](__m512i r0, __m512i r1, __m512i wu, __m512i wv) VECTOR_LAMBDA_INLINE {
      return _mm512_and_si512(filterPairs<L>(r0, r1, wu, wv, k), fraction);
    };
    __m512i texLo = filter(_mm512_shuffle_epi8(top, k.firstPair), _mm512_shuffle_epi8(bottom, k.firstPair),
                           _mm512_shuffle_epi32(w, _MM_PERM_AAAA), _mm512_shuffle_epi32(w, _MM_PERM_BBBB));
    __m512i texHi = filter(_mm512_shuffle_epi8(top, k.secondPair), _mm512_shuffle_epi8(bottom, k.secondPair),
                           _mm512_shuffle_epi32(w, _MM_PERM_CCCC), _mm512_shuffle_epi32(w, _MM_PERM_DDDD));
    // (texel * (colour + 1)) >> 8.
    const __m512i c = _mm512_mulhi_epu16(_mm512_packus_epi32(texLo, texHi), colour1);

    uint16_t *pixel = row + x;
    __m512i stored = zero;
    if (blendReads(Blend))
      stored = widenStored<L>(
          _mm512_permutexvar_epi16(spreadPixels, _mm512_castsi128_si512(_mm_maskz_loadu_epi16(lanes, pixel))),
          k);
    const __m512i out = blendLanes<L, Blend>(c, stored, byAlpha);
    // The dither's (v << 1) for red and blue, (v << 2) for green, as additions.
    __m512i up = _mm512_add_epi16(out, out);
    up = _mm512_mask_add_epi16(up, greenLanes, up, up);
    const __m512i packed = _mm512_permutexvar_epi16(pixelWords, ditheredPixels<L>(out, up, offset, k));
    _mm_mask_storeu_epi16(pixel, lanes, _mm512_castsi512_si128(packed));
  }
  return count;
}

// Word k of 32: the low word of 32-bit lane k of a low vector then of a high
// one; the high words, one on.
BOARD_ALWAYS_INLINE __m512i lowWordsOfTwo() {
  return _mm512_setr_epi32(0x20000, 0x60004, 0xA0008, 0xE000C, 0x120010, 0x160014, 0x1A0018, 0x1E001C,
                           0x220020, 0x260024, 0x2A0028, 0x2E002C, 0x320030, 0x360034, 0x3A0038, 0x3E003C);
}

// A group of 32 pixels whose reads are under way: its tap pairs of the
// upper and the lower row, of pixels 0-15 and 16-31, its filter fractions,
// its stored pixels and its pixels within the span. Read for the next group
// before this one is worked on, so that the reads are under way meanwhile.
struct Group {
  __m512i top0, top1, bottom0, bottom1, fu, fv, stored;
  uint16_t *pixels;
  __mmask32 mask;
};

// The tap pairs of a group of pixels, those past the mask reading nothing.
BOARD_ALWAYS_INLINE void gatherTaps(Group &g, __m512i atLow, __m512i atHigh, const uint16_t *taps,
                                    int pitch) {
  const __m512i zero = _mm512_setzero_si512();
  g.top0 = _mm512_mask_i32gather_epi32(zero, (__mmask16)g.mask, atLow, taps, 2);
  g.top1 = _mm512_mask_i32gather_epi32(zero, (__mmask16)(g.mask >> 16), atHigh, taps, 2);
  g.bottom0 = _mm512_mask_i32gather_epi32(zero, (__mmask16)g.mask, atLow, taps + pitch, 2);
  g.bottom1 = _mm512_mask_i32gather_epi32(zero, (__mmask16)(g.mask >> 16), atHigh, taps + pitch, 2);
}

// A group's 32 pixels filtered, times the colour, blended and dithered, stored.
template <int Blend>
BOARD_ALWAYS_INLINE void drawGroup(const Group &g, const FlatLook<L> &look, bool dither, __m512i offset,
                                   __m512i lowWords, __m512i highWords) {
  // Each tap of the 32 pixels, as RGB 565.
  const Taps<L> taps{_mm512_permutex2var_epi16(g.top0, lowWords, g.top1),
                     _mm512_permutex2var_epi16(g.top0, highWords, g.top1),
                     _mm512_permutex2var_epi16(g.bottom0, lowWords, g.bottom1),
                     _mm512_permutex2var_epi16(g.bottom0, highWords, g.bottom1)};
  _mm512_mask_storeu_epi16(g.pixels, g.mask,
                           blendedPixels<L, Blend>(taps, g.fu, g.fv, look, g.stored, dither, offset));
}

// Thirty-two pixels at a time of a flat colour times an affine texture, one
// channel of 32 pixels to a vector: the arithmetic of spanGroups, pixel for
// pixel, without lanes spent on alpha or shuffles spent on moving channels
// about. Draws the whole span (a last group partial) and returns its length.
template <int Blend>
int spanPlanar(const Pipe &p, const TexelTables &t, int x0, int x1, int y, const SpanIter &it) {
  const int count = x1 - x0 + 1;
  const int alpha = flatChannel(it.a);
  if (!p.alphaPass[alpha]) return count; // nothing passes the alpha test
  const FlatLook<L> look(flatChannel(it.r), flatChannel(it.g), flatChannel(it.b), alpha);

  const int pitch = t.pitch;
  const uint16_t *inside = t.texels565 + pitch + 1;
  const __m512i pitchWeights = _mm512_set1_epi32(1 | pitch << 16);
  // Pixel k's coordinates: k < 16 in the low vectors, the rest in the high ones.
  const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m512i du = _mm512_set1_epi32(it.du), dv = _mm512_set1_epi32(it.dv);
  __m512i uLow = _mm512_add_epi32(_mm512_set1_epi32(it.u), _mm512_mullo_epi32(lanes, du));
  __m512i vLow = _mm512_add_epi32(_mm512_set1_epi32(it.v), _mm512_mullo_epi32(lanes, dv));
  __m512i uHigh = _mm512_add_epi32(uLow, _mm512_slli_epi32(du, 4));
  __m512i vHigh = _mm512_add_epi32(vLow, _mm512_slli_epi32(dv, 4));
  const __m512i uStep = _mm512_slli_epi32(du, 5), vStep = _mm512_slli_epi32(dv, 5);
  const __m512i lowWords = lowWordsOfTwo();
  const __m512i highWords = _mm512_add_epi16(lowWords, _mm512_set1_epi16(1));

  const bool dither = p.ditherMode != GR_DITHER_DISABLE;
  const __m512i offset = _mm512_set1_epi64((long long)ditherOffsetsOfFour(p.ditherMode, x0, y));

  uint16_t *const row = p.target + (size_t)y * p.width + x0;
  auto fetch = [&](int i) VECTOR_LAMBDA_INLINE {
    const int left = count - i;
    Group g;
    g.mask = left >= 32 ? ~0u : (1u << left) - 1;
    g.pixels = row + i;
    // Offsets (u >> 16) + (v >> 16) * pitch from the first texel inside the border.
    const __m512i atLow = _mm512_madd_epi16(
        _mm512_mask_blend_epi16(0xAAAAAAAAu, _mm512_srai_epi32(uLow, 16), vLow), pitchWeights);
    const __m512i atHigh = _mm512_madd_epi16(
        _mm512_mask_blend_epi16(0xAAAAAAAAu, _mm512_srai_epi32(uHigh, 16), vHigh), pitchWeights);
    g.fu = _mm512_srli_epi16(_mm512_permutex2var_epi16(uLow, lowWords, uHigh), 8);
    g.fv = _mm512_srli_epi16(_mm512_permutex2var_epi16(vLow, lowWords, vHigh), 8);
    uLow = _mm512_add_epi32(uLow, uStep);
    uHigh = _mm512_add_epi32(uHigh, uStep);
    vLow = _mm512_add_epi32(vLow, vStep);
    vHigh = _mm512_add_epi32(vHigh, vStep);
    gatherTaps(g, atLow, atHigh, inside, pitch);
    g.stored = _mm512_setzero_si512();
    if (blendReads(Blend)) g.stored = _mm512_maskz_loadu_epi16(g.mask, g.pixels);
    return g;
  };

  Group next = fetch(0);
  // The next row's pixels here are likely the next span's.
  for (int x = 0; x < count; x += 32) _mm_prefetch((const char *)(row + p.width + x), _MM_HINT_T0);
  for (int i = 0; i < count; i += 32) {
    const Group g = next;
    if (i + 32 < count) next = fetch(i + 32);
    drawGroup<Blend>(g, look, dither, offset, lowWords, highWords);
  }
  return count;
}

// The texels of the upper and the lower row that a run of a group's pixels
// reads, from its lowest column on (64 of each, in two vectors), and each
// pixel's column within them.
struct TexelWindow {
  __m512i upper0, upper1, lower0, lower1, column;
};

// The texels of the upper and the lower row from column `lowest` on that a
// run of pixels reads, `span` of them (at most 64), and nothing past them
// (the texture's last row ends there).
BOARD_ALWAYS_INLINE TexelWindow windowAt(const uint16_t *taps, int pitch, int lowest, int span) {
  const __mmask32 near = span >= 32 ? ~0u : (1u << span) - 1;
  const __mmask32 far = span >= 64 ? ~0u : (span > 32 ? (1u << (span - 32)) - 1 : 0u);
  const uint16_t *from = taps + lowest;
  TexelWindow t;
  t.upper0 = _mm512_maskz_loadu_epi16(near, from);
  t.upper1 = _mm512_maskz_loadu_epi16(far, from + 32);
  t.lower0 = _mm512_maskz_loadu_epi16(near, from + pitch);
  t.lower1 = _mm512_maskz_loadu_epi16(far, from + pitch + 32);
  return t;
}

// The lowest of the columns of `count` pixels from u on, du apart, and how
// many texels from it on their taps reach (0 when count is 0). The columns
// go one way: the first and the last pixel's are the lowest and the highest.
BOARD_ALWAYS_INLINE int columnsOf(int32_t u, int32_t du, int count, int &lowest) {
  const int32_t end = (int32_t)((uint32_t)u + (uint32_t)du * (uint32_t)(count > 0 ? count - 1 : 0));
  lowest = (u < end ? u : end) >> 16;
  return count > 0 ? ((u < end ? end : u) >> 16) + 2 - lowest : 0;
}

// Asks for a sprite row's pixels ahead of their reads: the rows of sprites
// drawn one over another a little before are seldom in the nearest cache.
BOARD_ALWAYS_INLINE void prefetchPixels(const SpriteRow &row) {
  for (int k = 0; k < row.count; k += 32) _mm_prefetch((const char *)(row.pixels + k), _MM_HINT_T0);
  _mm_prefetch((const char *)(row.pixels + row.count - 1), _MM_HINT_T0);
}

// A sprite row's group of 32 pixels whose reads are under way: its taps
// read through one window.
struct SpriteGroup {
  Group g;
  TexelWindow window;
};

// The rows of upright glow sprites, thirty-two pixels at a time: the
// arithmetic of spanPlanar for their blend, pixel for pixel. The rows'
// groups are worked on one after the other as if one span, so the taps of a
// row's first group are read while the last group of the row before is
// worked on. Steps under two texels keep every group's taps within 64
// texels of a row: read by plain loads and picked out by permutes instead
// of gathered.
void spriteRowsNear(const SpriteRow *rows, int n, const SpriteLook &look) {
  const FlatLook<L> flat(look.red, look.green, look.blue, look.alpha);
  const int pitch = look.pitch;
  const __m512i du = _mm512_set1_epi32(look.du);
  // Lane k's steps from a group's first pixel: k du, and (16 + k) du.
  const __m512i lowSteps =
      _mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15), du);
  const __m512i highSteps = _mm512_add_epi32(lowSteps, _mm512_slli_epi32(du, 4));
  const uint32_t groupStep = (uint32_t)look.du * 32u;
  const __m512i lowWords = lowWordsOfTwo();
  const __m512i one = _mm512_set1_epi16(1);

  auto fetch = [&](const SpriteRow &row, int i) VECTOR_LAMBDA_INLINE {
    const int left = row.count - i;
    SpriteGroup s;
    Group &g = s.g;
    g.mask = left >= 32 ? ~0u : (1u << left) - 1;
    g.pixels = row.pixels + i;
    const int32_t first = (int32_t)((uint32_t)row.u + groupStep * (uint32_t)(i / 32));
    const __m512i u = _mm512_set1_epi32(first);
    const __m512i uLow = _mm512_add_epi32(u, lowSteps), uHigh = _mm512_add_epi32(u, highSteps);
    g.fu = _mm512_srli_epi16(_mm512_permutex2var_epi16(uLow, lowWords, uHigh), 8);
    g.fv = _mm512_set1_epi16((short)row.fv);
    const __m512i columns =
        _mm512_permutex2var_epi16(_mm512_srai_epi32(uLow, 16), lowWords, _mm512_srai_epi32(uHigh, 16));
    int lowest;
    const int span = columnsOf(first, look.du, left >= 32 ? 32 : left, lowest);
    s.window = windowAt(row.taps, pitch, lowest, span);
    s.window.column = _mm512_sub_epi16(columns, _mm512_set1_epi16((short)lowest));
    g.stored = _mm512_maskz_loadu_epi16(g.mask, g.pixels);
    return s;
  };
  auto draw = [&](const SpriteGroup &s) VECTOR_LAMBDA_INLINE {
    const TexelWindow &t = s.window;
    const __m512i right = _mm512_add_epi16(t.column, one);
    const Taps<L> taps{_mm512_permutex2var_epi16(t.upper0, t.column, t.upper1),
                       _mm512_permutex2var_epi16(t.upper0, right, t.upper1),
                       _mm512_permutex2var_epi16(t.lower0, t.column, t.lower1),
                       _mm512_permutex2var_epi16(t.lower0, right, t.lower1)};
    _mm512_mask_storeu_epi16(
        s.g.pixels, s.g.mask,
        blendedPixels<L, BlendAdd>(taps, s.g.fu, s.g.fv, flat, s.g.stored, false, _mm512_setzero_si512()));
  };

  int r = 0, i = 0;
  constexpr int Ahead = 2;
  SpriteGroup next = fetch(rows[0], 0);
  for (;;) {
    const SpriteGroup s = next;
    i += 32;
    if (i >= rows[r].count) {
      ++r;
      i = 0;
      if (r + Ahead < n) prefetchPixels(rows[r + Ahead]);
    }
    const bool more = r < n;
    if (more) next = fetch(rows[r], i);
    draw(s);
    if (!more) break;
  }
}

// The rows of upright glow sprites whose steps are two texels or more,
// thirty-two pixels at a time as spriteRowsNear draws them, taken in runs of
// at most sixteen pixels of a row: a group is two runs, of one row or of
// two (the rows of small sprites are short). Each run's tap pairs are read
// through one window of 64 texels where its taps lie within one, else
// through two windows of eight pixels each where theirs do, else gathered.
void spriteRuns(const SpriteRow *rows, int n, const SpriteLook &look) {
  const FlatLook<L> flat(look.red, look.green, look.blue, look.alpha);
  const int pitch = look.pitch;
  const int32_t du = look.du;
  const __m512i steps = _mm512_mullo_epi32(
      _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15), _mm512_set1_epi32(du));
  const __m512i lowWords = lowWordsOfTwo();
  const __m512i highWords = _mm512_add_epi16(lowWords, _mm512_set1_epi16(1));
  const __m512i zero = _mm512_setzero_si512();
  const __m512i right = _mm512_set1_epi32(0x10000);
  const __mmask32 secondEight = 0xFFFF0000u;

  // A run's tap pairs of the upper and the lower row (pixel k in 32-bit
  // lane k), its coordinates, its pixels and which of the 16 are its own.
  struct Run {
    __m512i top, bottom, u;
    uint16_t *pixels;
    __mmask16 mask;
    int fv;
  };
  auto fetchRun = [&](const SpriteRow &row, int i) VECTOR_LAMBDA_INLINE {
    Run run;
    const int count = row.count - i < 16 ? row.count - i : 16;
    run.mask = (__mmask16)(count >= 16 ? 0xFFFFu : (1u << count) - 1);
    run.pixels = row.pixels + i;
    run.fv = row.fv;
    const int32_t first = (int32_t)((uint32_t)row.u + (uint32_t)du * (uint32_t)i);
    run.u = _mm512_add_epi32(_mm512_set1_epi32(first), steps);
    const __m512i columns = _mm512_srai_epi32(run.u, 16);
    // Each pixel's pair of columns within a window from `lowest` on.
    auto pairsFrom = [&](__m512i lowest) VECTOR_LAMBDA_INLINE {
      const __m512i at = _mm512_sub_epi32(columns, lowest);
      return _mm512_add_epi32(_mm512_or_si512(at, _mm512_slli_epi32(at, 16)), right);
    };
    int lowest;
    const int span = columnsOf(first, du, count, lowest);
    if (span <= 64) {
      const TexelWindow w = windowAt(row.taps, pitch, lowest, span);
      const __m512i pairs = pairsFrom(_mm512_set1_epi32(lowest));
      run.top = _mm512_permutex2var_epi16(w.upper0, pairs, w.upper1);
      run.bottom = _mm512_permutex2var_epi16(w.lower0, pairs, w.lower1);
      return run;
    }
    const int firstEight = count < 8 ? count : 8;
    int lowest1;
    const int span0 = columnsOf(first, du, firstEight, lowest);
    const int span1 =
        columnsOf((int32_t)((uint32_t)first + (uint32_t)du * 8u), du, count - firstEight, lowest1);
    if (span0 <= 64 && span1 <= 64) {
      const TexelWindow w0 = windowAt(row.taps, pitch, lowest, span0);
      const TexelWindow w1 = windowAt(row.taps, pitch, lowest1, span1);
      const __m512i pairs = pairsFrom(_mm512_mask_set1_epi32(_mm512_set1_epi32(lowest), 0xFF00, lowest1));
      run.top = _mm512_mask_blend_epi16(secondEight, _mm512_permutex2var_epi16(w0.upper0, pairs, w0.upper1),
                                        _mm512_permutex2var_epi16(w1.upper0, pairs, w1.upper1));
      run.bottom =
          _mm512_mask_blend_epi16(secondEight, _mm512_permutex2var_epi16(w0.lower0, pairs, w0.lower1),
                                  _mm512_permutex2var_epi16(w1.lower0, pairs, w1.lower1));
      return run;
    }
    run.top = _mm512_mask_i32gather_epi32(zero, run.mask, columns, row.taps, 2);
    run.bottom = _mm512_mask_i32gather_epi32(zero, run.mask, columns, row.taps + pitch, 2);
    return run;
  };
  // A group of two runs whose reads are under way, and the pixels stored under them.
  struct Pair {
    Run low, high;
    __m512i stored;
  };
  int r = 0, i = 0;
  constexpr int Ahead = 4;
  // The next run, or one of no pixels past the last row.
  auto nextRun = [&]() VECTOR_LAMBDA_INLINE {
    if (r >= n) {
      Run none;
      none.top = none.bottom = none.u = zero;
      none.pixels = nullptr;
      none.mask = 0;
      none.fv = 0;
      return none;
    }
    if (i == 0 && r + Ahead < n) prefetchPixels(rows[r + Ahead]);
    const Run run = fetchRun(rows[r], i);
    i += 16;
    if (i >= rows[r].count) {
      ++r;
      i = 0;
    }
    return run;
  };
  auto fetch = [&]() VECTOR_LAMBDA_INLINE {
    Pair p;
    p.low = nextRun();
    p.high = nextRun();
    const __m256i storedLow = _mm256_maskz_loadu_epi16(p.low.mask, p.low.pixels);
    const __m256i storedHigh = _mm256_maskz_loadu_epi16(p.high.mask, p.high.pixels);
    p.stored = _mm512_inserti64x4(_mm512_castsi256_si512(storedLow), storedHigh, 1);
    return p;
  };
  auto draw = [&](const Pair &p) VECTOR_LAMBDA_INLINE {
    const Taps<L> taps{_mm512_permutex2var_epi16(p.low.top, lowWords, p.high.top),
                       _mm512_permutex2var_epi16(p.low.top, highWords, p.high.top),
                       _mm512_permutex2var_epi16(p.low.bottom, lowWords, p.high.bottom),
                       _mm512_permutex2var_epi16(p.low.bottom, highWords, p.high.bottom)};
    const __m512i fu = _mm512_srli_epi16(_mm512_permutex2var_epi16(p.low.u, lowWords, p.high.u), 8);
    const __m512i fv = _mm512_mask_blend_epi16(0xFFFF0000u, _mm512_set1_epi16((short)p.low.fv),
                                               _mm512_set1_epi16((short)p.high.fv));
    const __m512i out = blendedPixels<L, BlendAdd>(taps, fu, fv, flat, p.stored, false, zero);
    _mm256_mask_storeu_epi16(p.low.pixels, p.low.mask, _mm512_castsi512_si256(out));
    _mm256_mask_storeu_epi16(p.high.pixels, p.high.mask, _mm512_extracti64x4_epi64(out, 1));
  };

  Pair next = fetch();
  for (;;) {
    const Pair p = next;
    const bool more = r < n;
    if (more) next = fetch();
    draw(p);
    if (!more) break;
  }
}

void spriteRows(const SpriteRow *rows, int n, const SpriteLook &look) {
  // Steps under two texels keep a group's 33 taps within 64 columns.
  if (look.du > -131072 && look.du < 131072)
    spriteRowsNear(rows, n, look);
  else
    spriteRuns(rows, n, look);
}

// The grey spans sixteen pixels at a time. The work on
// each sixteen is a long chain (a division, the quads, the filter, the
// table), so the loop runs three sixteens at once, each a step further on:
// the coordinates of one, the filter of the one before, the table reads of
// the one before that. The quads of a sixteen usually lie within sixteen of
// four rows, taken from four loads in registers rather than gathered one by
// one.
template <int Tex>
bool spanGrey(const Pipe &p, const TexelTables &t, int x0, int x1, int y, const SpanIter &it) {
  const int last = x1 - x0;
  uint16_t *row = p.target + (size_t)y * p.width + x0;
  const int pitch = t.pitch;
  const int *quads = reinterpret_cast<const int *>(t.quads);
  const __m512 lanes = _mm512_setr_ps(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m512 lastLane = _mm512_set1_ps((float)last);
  // The grey table's entries worked out in the lanes: each channel of the
  // level, (level * (colour + 1)) >> 8, under (source alpha, zero) then
  // times the alpha, (c * (alpha + 1)) >> 8, then dithered as the table's
  // dither parts are; sixteens start a multiple of four pixels apart, so
  // every sixteen has the same dither offsets.
  auto colourOf = [](int64_t v) { return v < 0 ? 0 : ((v >> 16) > 255 ? 255 : (int)(v >> 16)); };
  const __m256i red1 = _mm256_set1_epi16((short)(colourOf(it.r) + 1));
  const __m256i green1 = _mm256_set1_epi16((short)(colourOf(it.g) + 1));
  const __m256i blue1 = _mm256_set1_epi16((short)(colourOf(it.b) + 1));
  const int alpha = colourOf(it.a);
  const bool scaled = p.blendMode == BlendScaled && alpha < 255;
  const __m256i alpha8 = _mm256_set1_epi16((short)(scaled ? (alpha + 1) << 8 : 0));
  const bool dither = p.ditherMode != GR_DITHER_DISABLE;
  const __m256i offset = _mm256_set1_epi64x((long long)ditherOffsetsOfFour(p.ditherMode, x0, y));
  auto shade = [&](__m512i sum) VECTOR_LAMBDA_INLINE {
    // The level times 256 (the filter's fraction dropped), one to a 16-bit lane.
    const __m256i level = _mm512_cvtepi32_epi16(_mm512_and_si512(sum, _mm512_set1_epi32(0xFF00)));
    auto channel = [&](__m256i colour1) VECTOR_LAMBDA_INLINE {
      const __m256i c = _mm256_mulhi_epu16(level, colour1);
      return scaled ? _mm256_mulhi_epu16(c, alpha8) : c;
    };
    const __m256i r = channel(red1), g = channel(green1), b = channel(blue1);
    __m256i r5, g6, b5;
    if (dither) {
      auto dithered = [&](__m256i up, __m256i v, int low) VECTOR_LAMBDA_INLINE {
        const __m256i sum = _mm256_add_epi16(_mm256_sub_epi16(up, _mm256_srli_epi16(v, 4)),
                                             _mm256_add_epi16(_mm256_srl_epi16(v, _mm_cvtsi32_si128(low)), offset));
        return _mm256_srli_epi16(sum, 4);
      };
      r5 = dithered(_mm256_add_epi16(r, r), r, 7);
      g6 = dithered(_mm256_slli_epi16(g, 2), g, 6);
      b5 = dithered(_mm256_add_epi16(b, b), b, 7);
    } else {
      r5 = _mm256_srli_epi16(r, 3);
      g6 = _mm256_srli_epi16(g, 2);
      b5 = _mm256_srli_epi16(b, 3);
    }
    return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(r5, 11), _mm256_slli_epi16(g6, 5)), b5);
  };
  const GreyLanes<L> k;
  // Each lane's fraction in both halves (k.fractionTwice), the low one taken
  // from 256, gives the weights (f << 16) | (256 - f).
  const __mmask32 nearTaps = 0x55555555u;
  const __m512i w256 = _mm512_set1_epi16(256);
  const __m512i pitchWeights = _mm512_set1_epi32(1 | pitch << 16);
  const __m512 kScale = _mm512_set1_ps(it.scale * 65536.0f);
  const __m512 sw0 = _mm512_set1_ps(it.sw), dsw = _mm512_set1_ps(it.dsw);
  const __m512 tw0 = _mm512_set1_ps(it.tw), dtw = _mm512_set1_ps(it.dtw);
  const __m512 w0 = _mm512_set1_ps(it.w), dw = _mm512_set1_ps(it.dw);
  const __m512i u0 = _mm512_set1_epi32(it.u), du = _mm512_set1_epi32(it.du);
  const __m512i v0 = _mm512_set1_epi32(it.v), dv = _mm512_set1_epi32(it.dv);
  // Coordinates are kept a whole texel more than perspectiveUV's: the taps
  // stay inside the border while they are from 0 to (size + 1) * 65536 - 1,
  // compared unsigned, and their whole parts are the bordered indices.
  const __m512i perspectiveAhead = _mm512_set1_epi32(65536 - 32768);
  const __m512i affineAhead = _mm512_set1_epi32(65536);
  const __m512i uHighest = _mm512_set1_epi32((int)(((uint32_t)(t.width + 1) << 16) - 1u));
  const __m512i vHighest = _mm512_set1_epi32((int)(((uint32_t)(t.height + 1) << 16) - 1u));
  const __m512i lastPixel = _mm512_set1_epi32(15);
  const __m512i windowSize = _mm512_set1_epi32(16 | 4 << 16);
  // The last row a pixel's upper taps may lie in.
  const int lastRow = t.height;
  const __m512i lowerRows = _mm512_set1_epi32(32);
  const __m512i windowWeights = _mm512_set1_epi32(1 | 16 << 16);

  // The coordinates of pixels i to i + 15, the last pixel repeated past the
  // span's end; false when a tap leaves the border.
  auto coordinates = [&](int i, __m512i &u, __m512i &v) VECTOR_LAMBDA_INLINE {
    const __m512 index = _mm512_min_ps(_mm512_add_ps(_mm512_set1_ps((float)i), lanes), lastLane);
    if (Tex == TexPerspective) {
      const __m512 sw = _mm512_add_ps(sw0, _mm512_mul_ps(dsw, index));
      const __m512 tw = _mm512_add_ps(tw0, _mm512_mul_ps(dtw, index));
      const __m512 w = _mm512_add_ps(w0, _mm512_mul_ps(dw, index));
      const __m512 k = _mm512_div_ps(kScale, w);
      // Rounded down as they are converted. A value the conversion cannot
      // hold becomes 0x80000000, outside like the value itself, and so does
      // a large one that the addition takes past the sign bit.
      u = _mm512_add_epi32(_mm512_cvt_roundps_epi32(_mm512_add_ps(_mm512_mul_ps(sw, k), _mm512_set1_ps(0.5f)),
                                                    _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC),
                           perspectiveAhead);
      v = _mm512_add_epi32(_mm512_cvt_roundps_epi32(_mm512_add_ps(_mm512_mul_ps(tw, k), _mm512_set1_ps(0.5f)),
                                                    _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC),
                           perspectiveAhead);
    } else {
      const __m512i n = _mm512_cvttps_epi32(index);
      u = _mm512_add_epi32(_mm512_add_epi32(u0, _mm512_mullo_epi32(du, n)), affineAhead);
      v = _mm512_add_epi32(_mm512_add_epi32(v0, _mm512_mullo_epi32(dv, n)), affineAhead);
    }
    return _mm512_mask_cmple_epu32_mask(_mm512_cmple_epu32_mask(u, uHighest), v, vHighest) == 0xFFFF;
  };
  // The filter's sum of each pixel: its level times 256, and a fraction.
  auto tableIndex = [&](__m512i u, __m512i v) VECTOR_LAMBDA_INLINE {
    // The whole parts of u and v, in the low and the high half of each lane.
    const __m512i whole = _mm512_mask_blend_epi16(0xAAAAAAAAu, _mm512_srli_epi32(u, 16), v);
    // Where they lie within sixteen columns and four rows of the lowest
    // column and row of the first and the last pixel (those between are
    // most likely between too), the quads come from four loads (a quarter
    // of the sky's sixteens reach a third row).
    const __m512i corner = _mm512_min_epu16(_mm512_broadcastd_epi32(_mm512_castsi512_si128(whole)),
                                            _mm512_permutexvar_epi32(lastPixel, whole));
    const __m512i within = _mm512_sub_epi16(whole, corner);
    __m512i quad;
    if (_mm512_cmplt_epu16_mask(within, windowSize) == 0xFFFFFFFFu) {
      // Rows 2 and 3 hold a pixel only where they lie within the border;
      // elsewhere no lane takes them, and rows 0 and 1 are read again.
      const uint32_t c = (uint32_t)_mm_cvtsi128_si32(_mm512_castsi512_si128(corner));
      const int *from = quads + (c & 0xFFFF) + (c >> 16) * pitch;
      const int *below = (int)(c >> 16) + 2 <= lastRow ? from + 2 * pitch : from;
      const __m512i at = _mm512_madd_epi16(within, windowWeights);
      const __m512i upper =
          _mm512_permutex2var_epi32(_mm512_loadu_si512(from), at, _mm512_loadu_si512(from + pitch));
      const __m512i lower =
          _mm512_permutex2var_epi32(_mm512_loadu_si512(below), at, _mm512_loadu_si512(below + pitch));
      quad = _mm512_mask_blend_epi32(_mm512_test_epi32_mask(at, lowerRows), upper, lower);
    } else {
      quad = _mm512_i32gather_epi32(_mm512_madd_epi16(whole, pitchWeights), quads, 4);
    }
    const __m512i top = _mm512_shuffle_epi8(quad, k.topTaps);
    const __m512i bottom = _mm512_shuffle_epi8(quad, k.bottomTaps);
    const __m512i fu = _mm512_shuffle_epi8(u, k.fractionTwice);
    const __m512i fv = _mm512_shuffle_epi8(v, k.fractionTwice);
    const __m512i wu = _mm512_mask_sub_epi16(fu, nearTaps, w256, fu);
    const __m512i wv = _mm512_mask_sub_epi16(fv, nearTaps, w256, fv);
    return filterPairs<L>(top, bottom, wu, wv, k);
  };

  __m512i u, v;
  if (!coordinates(0, u, v)) return false;
  __m512i index = tableIndex(u, v);
  if (16 <= last && !coordinates(16, u, v)) return false;
  for (int i = 0; i <= last; i += 16) {
    const __m512i now = index;
    if (i + 16 <= last) {
      index = tableIndex(u, v);
      if (i + 32 <= last && !coordinates(i + 32, u, v)) return false;
    }
    // Whole sixteens are stored plainly, a last, partial one under a mask.
    if (i + 16 <= last + 1)
      _mm256_storeu_si256((__m256i *)(row + i), shade(now));
    else
      _mm256_mask_storeu_epi16(row + i, (__mmask16)((1u << (last + 1 - i)) - 1), shade(now));
  }
  return true;
}

// The first and the last of a table's columns that lie within `lit`, as
// indexes into it; false when none do. The columns run one way, so those
// within are one run.
bool litColumns(const ColumnTable &table, BoardTexture::LitColumns lit, int64_t &first, int64_t &last) {
  const __m512i low = _mm512_set1_epi16(lit.first), high = _mm512_set1_epi16(lit.last);
  const __m512i left = _mm512_load_si512(table.column), right = _mm512_load_si512(table.column + 32);
  const uint64_t within =
      ((uint64_t)(_mm512_cmpge_epi16_mask(left, low) & _mm512_cmple_epi16_mask(left, high)) |
       (uint64_t)(_mm512_cmpge_epi16_mask(right, low) & _mm512_cmple_epi16_mask(right, high)) << 32) &
      table.valid;
  if (within == 0) return false;
  first = __builtin_ctzll(within);
  last = 63 - __builtin_clzll(within);
  return true;
}

} // namespace

const VectorSpans Spans512 = {
    512,
    {{},
     {spanGroups<TexAffine, BlendNone>, spanGroups<TexAffine, BlendAdd>, spanGroups<TexAffine, BlendScaled>,
      spanGroups<TexAffine, BlendFade>, spanGroups<TexAffine, BlendOneAdd>},
     {spanGroups<TexPerspective, BlendNone>, spanGroups<TexPerspective, BlendAdd>,
      spanGroups<TexPerspective, BlendScaled>, spanGroups<TexPerspective, BlendFade>,
      spanGroups<TexPerspective, BlendOneAdd>}},
    {spanPlanar<BlendNone>, spanPlanar<BlendAdd>, spanPlanar<BlendScaled>, spanPlanar<BlendFade>,
     spanPlanar<BlendOneAdd>},
    {nullptr, spanGrey<TexAffine>, spanGrey<TexPerspective>},
    spriteRows,
    litColumns,
};
