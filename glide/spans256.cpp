// The span writers with 256-bit vectors (AVX2). This file alone is compiled
// for those instructions, and its writers are called only where the
// processor has them: everything but the table at the end is internal to it,
// and it calls nothing the rest of the program has its own copy of (no
// inline function or template from another file), so no function compiled
// here can stand in for one compiled for every processor.
#include <immintrin.h>

#include <cstring>

#include "glide/spans.h"
#include "glide/vectorsteps.h"

namespace {

typedef Lanes256 L;

// Four pixels at a time, for flat-coloured textured spans whose taps stay
// inside the texture's border: the arithmetic of the two-pixel span, lane
// for lane, from pixel `first`. Spans shorter than four pixels are left to
// the caller. Returns how many pixels were drawn.
template <int Tex, int Blend>
int spanGroups(const Pipe &p, const TexelTables &t, int x0, int x1, int y, const SpanIter &it, int first) {
  const int count = x1 - x0 + 1 - first, groups = (count + 3) / 4;
  if (count < 4) return first;
  uint16_t *row = p.target + (size_t)y * p.width;
  const __m256i zero = _mm256_setzero_si256();

  // The flat colour and alpha, plus one, in every pixel's lanes.
  __m128i c4 = flatColour(it);
  if (!p.alphaPass[_mm_extract_epi16(c4, 3)]) return x1 - x0 + 1; // nothing passes the alpha test
  c4 = _mm_add_epi16(c4, _mm_set1_epi16(1));
  const __m256i colour1 = _mm256_broadcastq_epi64(c4);
  const __m256i alpha1 = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(colour1, 0xFF), 0xFF);
  const AlphaScale<L> byAlpha{_mm_extract_epi16(c4, 3) == 256, _mm256_slli_epi16(alpha1, 8)};
  const GroupLanes<L> k(p.ditherMode != GR_DITHER_DISABLE);
  const __m256i fraction = _mm256_set1_epi16((short)0xFF00);
  // The low words of each pixel's first 32-bit lane, to the lane's first four bytes.
  const __m256i pixelWords =
      _mm256_setr_epi8(0, 1, 8, 9, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, 0,
                       1, 8, 9, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128);

  const int pitch = t.pitch;
  const uint32_t *inside = t.texels + pitch + 1;
  const __m256i pitchWeights = _mm256_setr_epi16(1, (short)pitch, 1, (short)pitch, 0, 0, 0, 0, 1,
                                                 (short)pitch, 1, (short)pitch, 0, 0, 0, 0);
  const int32_t u = (int32_t)((uint32_t)it.u + (uint32_t)it.du * (uint32_t)first);
  const int32_t v = (int32_t)((uint32_t)it.v + (uint32_t)it.dv * (uint32_t)first);
  __m256i uv = _mm256_setr_epi32(u, v, u + it.du, v + it.dv, u + 2 * it.du, v + 2 * it.dv, u + 3 * it.du,
                                 v + 3 * it.dv);
  const __m256i uvStep = _mm256_setr_epi32(4 * it.du, 4 * it.dv, 4 * it.du, 4 * it.dv, 4 * it.du, 4 * it.dv,
                                           4 * it.du, 4 * it.dv);
  // Stored pixel k (of four, all in each 128-bit lane) into the blue, green
  // and red lanes of pixel k.
  const __m256i spreadPixels = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, -128, -128, 2, 3, 2, 3, 2, 3, -128, -128, 4,
                                                5, 4, 5, 4, 5, -128, -128, 6, 7, 6, 7, 6, 7, -128, -128);
  const __m256i upFactors = _mm256_setr_epi16(2, 4, 2, 0, 2, 4, 2, 0, 2, 4, 2, 0, 2, 4, 2, 0);
  const uint64_t d = ditherOffsetsOfFour(p.ditherMode, x0 + first, y);
  const short d0 = (short)d, d1 = (short)(d >> 16), d2 = (short)(d >> 32), d3 = (short)(d >> 48);
  const __m256i offset = _mm256_setr_epi16(d0, d0, d0, 0, d1, d1, d1, 0, d2, d2, d2, 0, d3, d3, d3, 0);

  int x = x0 + first;
  for (int g = 0, i = first; g < groups; ++g, x += 4, i += 4) {
    __m256i coords;
    if (Tex == TexPerspective) {
      coords = _mm256_set_m128i(perspectivePair(it, i + 2), perspectivePair(it, i));
    } else {
      coords = uv;
      uv = _mm256_add_epi32(uv, uvStep);
    }
    // A last, partial group repeats its last pixel's coordinates in the unused lanes.
    const int left = count - (i - first), valid = left < 4 ? left : 4;
    if (valid < 4) {
      static const int repeat[3][8] = {
          {0, 1, 0, 1, 0, 1, 0, 1}, {0, 1, 2, 3, 2, 3, 2, 3}, {0, 1, 2, 3, 4, 5, 4, 5}};
      coords = _mm256_permutevar8x32_epi32(coords, _mm256_loadu_si256((const __m256i *)repeat[valid - 1]));
    }
    // Weights (f << 16) | (256 - f) and bordered offsets of pixels A, B | C, D.
    __m256i f = _mm256_and_si256(_mm256_srli_epi32(coords, 8), _mm256_set1_epi32(255));
    __m256i w = _mm256_add_epi32(_mm256_sub_epi32(_mm256_slli_epi32(f, 16), f), _mm256_set1_epi32(256));
    // Offsets from the first texel inside the border.
    __m256i index = _mm256_srai_epi32(coords, 16);
    __m256i offsets = _mm256_madd_epi16(_mm256_packs_epi32(index, zero), pitchWeights);
    // The bordered offsets of pixels A, B, C, D (elements 0, 1, 4, 5), and
    // their two texels side by side in the upper and the lower row: lane 0
    // holds A then B, lane 1 C then D.
    const __m128i at = _mm256_castsi256_si128(_mm256_permute4x64_epi64(offsets, 0x08));
    const __m256i top = _mm256_i32gather_epi64((const long long *)inside, at, 4);
    const __m256i bottom = _mm256_i32gather_epi64((const long long *)(inside + pitch), at, 4);
    const __m256i texAC =
        filterPairs<L>(_mm256_shuffle_epi8(top, k.firstPair), _mm256_shuffle_epi8(bottom, k.firstPair),
                       _mm256_shuffle_epi32(w, 0x00), _mm256_shuffle_epi32(w, 0x55), k);
    const __m256i texBD =
        filterPairs<L>(_mm256_shuffle_epi8(top, k.secondPair), _mm256_shuffle_epi8(bottom, k.secondPair),
                       _mm256_shuffle_epi32(w, 0xAA), _mm256_shuffle_epi32(w, 0xFF), k);
    // (texel * (colour + 1)) >> 8.
    const __m256i c =
        _mm256_mulhi_epu16(_mm256_and_si256(_mm256_packus_epi32(texAC, texBD), fraction), colour1);

    uint16_t *pixel = row + x;
    __m256i stored = zero;
    if (blendReads(Blend)) {
      // Broadcast straight from memory: the shuffle unit has enough to do.
      alignas(8) uint16_t partial[4] = {0, 0, 0, 0};
      const uint16_t *from = pixel;
      if (valid < 4) {
        for (int n = 0; n < valid; ++n) partial[n] = pixel[n];
        from = partial;
      }
      stored = widenStored<L>(
          _mm256_shuffle_epi8(
              _mm256_castpd_si256(_mm256_broadcast_sd(reinterpret_cast<const double *>(from))), spreadPixels),
          k);
    }
    const __m256i out = blendLanes<L, Blend>(c, stored, byAlpha);
    // (v << 1) for red and blue, (v << 2) for green, as one multiply.
    __m256i packed = ditheredPixels<L>(out, _mm256_mullo_epi16(out, upFactors), offset, k);
    packed = _mm256_shuffle_epi8(packed, pixelWords);
    packed = _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 0, 4, 0, 4, 0, 4));
    const long long four = _mm_cvtsi128_si64(_mm256_castsi256_si128(packed));
    if (valid == 4)
      std::memcpy(pixel, &four, 8);
    else
      for (int n = 0; n < valid; ++n) pixel[n] = (uint16_t)((uint64_t)four >> (16 * n));
  }
  return x1 - x0 + 1;
}

// Each tap of sixteen pixels as RGB 565, from the tap pairs of the upper and
// the lower row of pixels 0-7 and of 8-15, in the order the in-lane packs
// give: pixels 0-3 and 8-11 in the low 128 bits, 4-7 and 12-15 in the high.
BOARD_ALWAYS_INLINE Taps<L> tapsOf(__m256i top0, __m256i top1, __m256i bottom0, __m256i bottom1) {
  const __m256i lowWord = _mm256_set1_epi32(0xFFFF);
  return Taps<L>{_mm256_packus_epi32(_mm256_and_si256(top0, lowWord), _mm256_and_si256(top1, lowWord)),
                 _mm256_packus_epi32(_mm256_srli_epi32(top0, 16), _mm256_srli_epi32(top1, 16)),
                 _mm256_packus_epi32(_mm256_and_si256(bottom0, lowWord), _mm256_and_si256(bottom1, lowWord)),
                 _mm256_packus_epi32(_mm256_srli_epi32(bottom0, 16), _mm256_srli_epi32(bottom1, 16))};
}

// The fractions (0-255) of sixteen coordinates, pixels 0-7 in `low` and
// 8-15 in `high`, in the lanes of their pixels.
BOARD_ALWAYS_INLINE __m256i fractionsOf(__m256i low, __m256i high) {
  const __m256i lowWord = _mm256_set1_epi32(0xFFFF);
  return _mm256_srli_epi16(
      _mm256_packus_epi32(_mm256_and_si256(low, lowWord), _mm256_and_si256(high, lowWord)), 8);
}

// Sixteen pixels at a time of a flat colour times an affine texture, one
// channel to a vector, for spans of at least 16 (shorter ones are left to
// spanGroups). The pixels of a group are in the lanes in tapsOf's order; the
// stored pixels are put in that order and back. Returns how many pixels it
// drew: all of them, or none.
template <int Blend>
int spanPlanar(const Pipe &p, const TexelTables &t, int x0, int x1, int y, const SpanIter &it) {
  const int count = x1 - x0 + 1;
  if (count < 16) return 0;
  const int alpha = flatChannel(it.a);
  if (!p.alphaPass[alpha]) return count; // nothing passes the alpha test
  const FlatLook<L> look(flatChannel(it.r), flatChannel(it.g), flatChannel(it.b), alpha);

  const int pitch = t.pitch;
  const uint16_t *inside = t.texels565 + pitch + 1;
  const __m256i pitchWeights = _mm256_set1_epi32(1 | pitch << 16);
  // Pixels 0-7 of the group in the low vectors, 8-15 in the high ones.
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i du = _mm256_set1_epi32(it.du), dv = _mm256_set1_epi32(it.dv);
  const __m256i uLanes = _mm256_mullo_epi32(lanes, du), vLanes = _mm256_mullo_epi32(lanes, dv);
  const __m256i uEight = _mm256_slli_epi32(du, 3), vEight = _mm256_slli_epi32(dv, 3);

  // Pixels four apart share a dither position, in either order.
  const bool dither = p.ditherMode != GR_DITHER_DISABLE;
  auto offsetsFrom = [&](int x) {
    return _mm256_set1_epi64x((long long)ditherOffsetsOfFour(p.ditherMode, x, y));
  };

  uint16_t *const row = p.target + (size_t)y * p.width + x0;
  // The pixels of the group from pixel i of the span, in their own order.
  auto group = [&](int i, __m256i offset) VECTOR_LAMBDA_INLINE {
    const uint16_t *pixel = row + i;
    const __m256i uLow = _mm256_add_epi32(
        _mm256_set1_epi32((int32_t)((uint32_t)it.u + (uint32_t)it.du * (uint32_t)i)), uLanes);
    const __m256i vLow = _mm256_add_epi32(
        _mm256_set1_epi32((int32_t)((uint32_t)it.v + (uint32_t)it.dv * (uint32_t)i)), vLanes);
    const __m256i uHigh = _mm256_add_epi32(uLow, uEight), vHigh = _mm256_add_epi32(vLow, vEight);
    const __m256i atLow =
        _mm256_madd_epi16(_mm256_blend_epi16(_mm256_srai_epi32(uLow, 16), vLow, 0xAA), pitchWeights);
    const __m256i atHigh =
        _mm256_madd_epi16(_mm256_blend_epi16(_mm256_srai_epi32(uHigh, 16), vHigh, 0xAA), pitchWeights);
    // The tap pairs of the upper and the lower row, of pixels 0-7 and 8-15.
    const Taps<L> taps = tapsOf(_mm256_i32gather_epi32((const int *)inside, atLow, 2),
                                _mm256_i32gather_epi32((const int *)inside, atHigh, 2),
                                _mm256_i32gather_epi32((const int *)(inside + pitch), atLow, 2),
                                _mm256_i32gather_epi32((const int *)(inside + pitch), atHigh, 2));
    __m256i stored = _mm256_setzero_si256();
    if (blendReads(Blend))
      stored = _mm256_permute4x64_epi64(_mm256_loadu_si256((const __m256i *)pixel), 0xD8);
    const __m256i packed = blendedPixels<L, Blend>(taps, fractionsOf(uLow, uHigh), fractionsOf(vLow, vHigh),
                                                   look, stored, dither, offset);
    return _mm256_permute4x64_epi64(packed, 0xD8);
  };

  // Groups of 16 from the start; a span that does not end with one ends with a
  // group of its last 16 pixels, worked out from the pixels as they were
  // before the group it overlaps is stored.
  const __m256i offset = offsetsFrom(x0);
  const int whole = count & ~15;
  // The next row's pixels here are likely the next span's.
  for (int x = 0; x < count; x += 32) _mm_prefetch((const char *)(row + p.width + x), _MM_HINT_T0);
  for (int i = 0; i < whole; i += 16) {
    const __m256i packed = group(i, offset);
    if (i + 16 == whole && whole < count) {
      const __m256i last = group(count - 16, offsetsFrom(x0 + count - 16));
      _mm256_storeu_si256((__m256i *)(row + i), packed);
      _mm256_storeu_si256((__m256i *)(row + count - 16), last);
    } else {
      _mm256_storeu_si256((__m256i *)(row + i), packed);
    }
  }
  return count;
}

// The rows of upright glow sprites, sixteen pixels at a time, in the lane
// order of spanPlanar; a row's last group of fewer than sixteen reads and
// writes its pixels through a copy.
void spriteRows(const SpriteRow *rows, int n, const SpriteLook &look) {
  const FlatLook<L> flat(look.red, look.green, look.blue, look.alpha);
  const int pitch = look.pitch;
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i du = _mm256_set1_epi32(look.du);
  const __m256i uLanes = _mm256_mullo_epi32(lanes, du), uEight = _mm256_slli_epi32(du, 3);

  for (const SpriteRow *row = rows; row < rows + n; ++row) {
    const __m256i fv = _mm256_set1_epi16((short)row->fv);
    const uint16_t *taps = row->taps;
    for (int i = 0; i < row->count; i += 16) {
      const int left = row->count - i;
      uint16_t *pixel = row->pixels + i;
      const __m256i uLow = _mm256_add_epi32(
          _mm256_set1_epi32((int32_t)((uint32_t)row->u + (uint32_t)look.du * (uint32_t)i)), uLanes);
      const __m256i uHigh = _mm256_add_epi32(uLow, uEight);
      const __m256i atLow = _mm256_srai_epi32(uLow, 16), atHigh = _mm256_srai_epi32(uHigh, 16);
      __m256i top0, top1, bottom0, bottom1;
      alignas(32) uint16_t copy[16] = {};
      __m256i stored;
      if (left >= 16) {
        top0 = _mm256_i32gather_epi32((const int *)(taps), atLow, 2);
        top1 = _mm256_i32gather_epi32((const int *)(taps), atHigh, 2);
        bottom0 = _mm256_i32gather_epi32((const int *)(taps + pitch), atLow, 2);
        bottom1 = _mm256_i32gather_epi32((const int *)(taps + pitch), atHigh, 2);
        stored = _mm256_loadu_si256((const __m256i *)pixel);
      } else {
        // Lanes past the row's end read no taps.
        const __m256i zero = _mm256_setzero_si256();
        const __m256i lowLanes = _mm256_cmpgt_epi32(_mm256_set1_epi32(left), lanes);
        const __m256i highLanes = _mm256_cmpgt_epi32(_mm256_set1_epi32(left - 8), lanes);
        top0 = _mm256_mask_i32gather_epi32(zero, (const int *)(taps), atLow, lowLanes, 2);
        top1 = _mm256_mask_i32gather_epi32(zero, (const int *)(taps), atHigh, highLanes, 2);
        bottom0 = _mm256_mask_i32gather_epi32(zero, (const int *)(taps + pitch), atLow, lowLanes, 2);
        bottom1 = _mm256_mask_i32gather_epi32(zero, (const int *)(taps + pitch), atHigh, highLanes, 2);
        std::memcpy(copy, pixel, (size_t)left * 2);
        stored = _mm256_load_si256((const __m256i *)copy);
      }
      stored = _mm256_permute4x64_epi64(stored, 0xD8);
      const __m256i blended =
          blendedPixels<L, BlendAdd>(tapsOf(top0, top1, bottom0, bottom1), fractionsOf(uLow, uHigh), fv, flat,
                                     stored, false, _mm256_setzero_si256());
      const __m256i packed = _mm256_permute4x64_epi64(blended, 0xD8);
      if (left >= 16) {
        _mm256_storeu_si256((__m256i *)pixel, packed);
      } else {
        _mm256_store_si256((__m256i *)copy, packed);
        std::memcpy(pixel, copy, (size_t)left * 2);
      }
    }
  }
}

// Eight pixels at a time of a flat colour times a grey texture, whose taps
// stay inside the texture's border, under a blend that does not read the
// buffer: one channel filtered (the arithmetic of bilinearAt on it) from the
// four taps read at once, and the pixel's RGB 565 value from the draw's grey
// table. Returns false, having drawn part of the span, when a tap of it
// leaves the border; every pixel must be in front of the eye. The work on
// each eight is a long chain (a division, the quads, the filter, the table),
// so the loop runs three eights at once, each a step further on: the
// coordinates of one, the filter of the one before, the table reads of the
// one before that.
template <int Tex>
bool spanGrey(const Pipe &p, const TexelTables &t, int x0, int x1, int y, const SpanIter &it) {
  const int last = x1 - x0;
  uint16_t *row = p.target + (size_t)y * p.width + x0;
  const int pitch = t.pitch;
  // The quads from the first texel inside the border.
  const int *quads = reinterpret_cast<const int *>(t.quads) + pitch + 1;
  const int *rowTable = reinterpret_cast<const int *>(p.grey + ((y & 3) << 10));
  const __m256 lanes = _mm256_setr_ps(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256 lastLane = _mm256_set1_ps((float)last);
  // Entry (x & 3) * 256 of each lane's dither position, times 256 as the
  // filter's sum is: eights start a multiple of four pixels apart, and lanes
  // past the span's end are not stored.
  const __m256i position = _mm256_slli_epi32(
      _mm256_and_si256(_mm256_add_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(x0)),
                       _mm256_set1_epi32(3)),
      16);
  const GreyLanes<L> k;
  // Each lane's fraction in both halves (k.fractionTwice) times -1 and 1,
  // plus 256 in the low half, are the weights (f << 16) | (256 - f).
  const __m256i signs = _mm256_set1_epi32(0x0001FFFF);
  const __m256i w256 = _mm256_set1_epi32(256);
  // The low half of each lane to the lane's first eight bytes.
  const __m256i lowHalves =
      _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -128, -128, -128, -128, -128, -128, -128, -128, 0, 1, 4, 5,
                       8, 9, 12, 13, -128, -128, -128, -128, -128, -128, -128, -128);
  const __m256i pitchWeights = _mm256_set1_epi32(1 | pitch << 16);
  const __m256 kScale = _mm256_set1_ps(it.scale * 65536.0f);
  const __m256 sw0 = _mm256_set1_ps(it.sw), dsw = _mm256_set1_ps(it.dsw);
  const __m256 tw0 = _mm256_set1_ps(it.tw), dtw = _mm256_set1_ps(it.dtw);
  const __m256 w0 = _mm256_set1_ps(it.w), dw = _mm256_set1_ps(it.dw);
  const __m256i u0 = _mm256_set1_epi32(it.u), du = _mm256_set1_epi32(it.du);
  const __m256i v0 = _mm256_set1_epi32(it.v), dv = _mm256_set1_epi32(it.dv);
  const __m256i half = _mm256_set1_epi32(32768);
  // The taps of coordinates from -65536 to size * 65536 - 1 stay inside the
  // border: coordinate + 65536 is at most (size + 1) * 65536 - 1 unsigned,
  // compared signed with the sign bits flipped.
  const __m256i toUnsigned = _mm256_set1_epi32((int)0x80010000u);
  const __m256i uHighest = _mm256_set1_epi32((int)(((uint32_t)(t.width + 1) << 16) - 1u - 0x80000000u));
  const __m256i vHighest = _mm256_set1_epi32((int)(((uint32_t)(t.height + 1) << 16) - 1u - 0x80000000u));
  // Values the conversion cannot hold become 0x80000000, and less half a
  // texel a large positive coordinate: outside like the value itself.
  auto floorCoord = [&](__m256 f) VECTOR_LAMBDA_INLINE {
    return _mm256_sub_epi32(_mm256_cvttps_epi32(_mm256_floor_ps(f)), half);
  };
  // The coordinates of pixels i to i + 7, the last pixel repeated past the
  // span's end; false when a tap leaves the border.
  auto coordinates = [&](int i, __m256i &u, __m256i &v) VECTOR_LAMBDA_INLINE {
    const __m256 index = _mm256_min_ps(_mm256_add_ps(_mm256_set1_ps((float)i), lanes), lastLane);
    if (Tex == TexPerspective) {
      const __m256 sw = _mm256_add_ps(sw0, _mm256_mul_ps(dsw, index));
      const __m256 tw = _mm256_add_ps(tw0, _mm256_mul_ps(dtw, index));
      const __m256 w = _mm256_add_ps(w0, _mm256_mul_ps(dw, index));
      const __m256 k = _mm256_div_ps(kScale, w);
      u = floorCoord(_mm256_add_ps(_mm256_mul_ps(sw, k), _mm256_set1_ps(0.5f)));
      v = floorCoord(_mm256_add_ps(_mm256_mul_ps(tw, k), _mm256_set1_ps(0.5f)));
    } else {
      const __m256i n = _mm256_cvttps_epi32(index);
      u = _mm256_add_epi32(u0, _mm256_mullo_epi32(du, n));
      v = _mm256_add_epi32(v0, _mm256_mullo_epi32(dv, n));
    }
    const __m256i outside = _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_add_epi32(u, toUnsigned), uHighest),
                                            _mm256_cmpgt_epi32(_mm256_add_epi32(v, toUnsigned), vHighest));
    return (bool)_mm256_testz_si256(outside, outside);
  };
  // The grey table's index of each pixel: its dither position and its level.
  auto tableIndex = [&](__m256i u, __m256i v) VECTOR_LAMBDA_INLINE {
    // The whole parts of u and v, in the low and the high half of each lane,
    // give the offset from the first texel inside the border.
    const __m256i whole = _mm256_blend_epi16(_mm256_srli_epi32(u, 16), v, 0xAA);
    const __m256i offset = _mm256_madd_epi16(whole, pitchWeights);
    const __m256i quad = _mm256_i32gather_epi32(quads, offset, 4);
    const __m256i top = _mm256_shuffle_epi8(quad, k.topTaps);
    const __m256i bottom = _mm256_shuffle_epi8(quad, k.bottomTaps);
    const __m256i wu =
        _mm256_add_epi16(_mm256_sign_epi16(_mm256_shuffle_epi8(u, k.fractionTwice), signs), w256);
    const __m256i wv =
        _mm256_add_epi16(_mm256_sign_epi16(_mm256_shuffle_epi8(v, k.fractionTwice), signs), w256);
    return _mm256_srli_epi32(_mm256_add_epi32(filterPairs<L>(top, bottom, wu, wv, k), position), 8);
  };

  __m256i u, v;
  if (!coordinates(0, u, v)) return false;
  __m256i index = tableIndex(u, v);
  if (8 <= last && !coordinates(8, u, v)) return false;
  for (int i = 0; i <= last; i += 8) {
    const __m256i now = index;
    if (i + 8 <= last) {
      index = tableIndex(u, v);
      if (i + 16 <= last && !coordinates(i + 16, u, v)) return false;
    }
    __m256i out = _mm256_i32gather_epi32(rowTable, now, 2);
    out = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(out, lowHalves), 0x08);
    __m128i eight = _mm256_castsi256_si128(out);
    if (i + 8 <= last + 1) {
      _mm_storeu_si128((__m128i *)(row + i), eight);
    } else {
      // The last few: four, two and one at a time.
      const int n = last + 1 - i;
      uint16_t *to = row + i;
      if (n & 4) {
        _mm_storel_epi64((__m128i *)to, eight);
        eight = _mm_srli_si128(eight, 8);
        to += 4;
      }
      if (n & 2) {
        const int two = _mm_cvtsi128_si32(eight);
        std::memcpy(to, &two, 4);
        eight = _mm_srli_si128(eight, 4);
        to += 2;
      }
      if (n & 1) *to = (uint16_t)_mm_cvtsi128_si32(eight);
    }
  }
  return true;
}

} // namespace

const VectorSpans Spans256 = {
    256,
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
    nullptr,
};
