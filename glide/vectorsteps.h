// The steps the vector spans share. At every width, the texel coordinates of
// perspective pixels four lanes at a time (128-bit, as the two-pixel span
// works them out). For the 256- and 512-bit writers, each compiled for its
// own instructions, the channel arithmetic written once over a vector-traits
// type: Lanes256 or Lanes512, 16-bit lanes unless a name says otherwise.
//
// Everything here is internal to the file that includes it: a copy compiled
// for wide vectors must never be one the linker could pick for the rest of
// the program.
#pragma once

#include <immintrin.h>

#include "glide/spans.h"

#if defined(__GNUC__)
#define VECTOR_LAMBDA_INLINE __attribute__((always_inline))
#else
#define VECTOR_LAMBDA_INLINE
#endif

namespace {

// Texel coordinates (16.16, less the half texel) of four lanes of a perspective span
// from their s/w or t/w and their w: the arithmetic of perspectiveUV, lane by lane.
inline __m128i perspectiveLanes(const SpanIter &it, __m128 st, __m128 w) {
  const __m128 k = _mm_div_ps(_mm_set1_ps(it.scale * 65536.0f), w);
  __m128 f = _mm_add_ps(_mm_mul_ps(st, k), _mm_set1_ps(0.5f));
  f = _mm_min_ps(_mm_max_ps(f, _mm_set1_ps(-1.0e9f)), _mm_set1_ps(1.0e9f));
  __m128i n = _mm_cvttps_epi32(f);
  n = _mm_add_epi32(n, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(n), f))); // round down
  n = _mm_sub_epi32(n, _mm_set1_epi32(32768));
  // Behind the eye: the first texel.
  const __m128i ahead = _mm_castps_si128(_mm_cmpgt_ps(w, _mm_setzero_ps()));
  return _mm_or_si128(_mm_and_si128(ahead, n), _mm_andnot_si128(ahead, _mm_set1_epi32(-32768)));
}

// Texel coordinates of pixels i and i + 1 of a perspective span as
// (uA, vA, uB, vB), two pixels at once.
inline __m128i perspectivePair(const SpanIter &it, int i) {
  const __m128 index = _mm_setr_ps((float)i, (float)(i + 1), (float)i, (float)(i + 1));
  const __m128 st = _mm_add_ps(_mm_setr_ps(it.sw, it.sw, it.tw, it.tw),
                               _mm_mul_ps(_mm_setr_ps(it.dsw, it.dsw, it.dtw, it.dtw), index));
  const __m128 w = _mm_add_ps(_mm_set1_ps(it.w), _mm_mul_ps(_mm_set1_ps(it.dw), index));
  return _mm_shuffle_epi32(perspectiveLanes(it, st, w), 0xD8);
}

// perspectiveUV of pixels 0 and n of a perspective span, both at once.
inline void perspectiveEnds(const SpanIter &it, int n, int32_t &u0, int32_t &v0, int32_t &u1, int32_t &v1) {
  const float wn = it.w + it.dw * (float)n;
  const __m128 st = _mm_setr_ps(it.sw, it.tw, it.sw + it.dsw * (float)n, it.tw + it.dtw * (float)n);
  const __m128i q = perspectiveLanes(it, st, _mm_setr_ps(it.w, it.w, wn, wn));
  u0 = _mm_cvtsi128_si32(q);
  v0 = _mm_cvtsi128_si32(_mm_srli_si128(q, 4));
  u1 = _mm_cvtsi128_si32(_mm_srli_si128(q, 8));
  v1 = _mm_cvtsi128_si32(_mm_srli_si128(q, 12));
}

// Two pixels at a time. Where every tap of a span stays within the texture's

// A flat span's colour as 16-bit lanes b, g, r, a, each clamped to 0-255.
inline __m128i flatColour(const SpanIter &it) {
  const __m128i c = _mm_packs_epi32(
      _mm_srai_epi32(_mm_setr_epi32((int)it.b, (int)it.g, (int)it.r, (int)it.a), 16), _mm_setzero_si128());
  return _mm_min_epi16(_mm_max_epi16(c, _mm_setzero_si128()), _mm_set1_epi16(255));
}

#if defined(__AVX2__)
struct Lanes256 {
  typedef __m256i V;
  static constexpr int Bytes = 32;
  static BOARD_ALWAYS_INLINE V splat(int v) { return _mm256_set1_epi16((short)v); }
  // The same four 32-bit elements in each 128-bit lane.
  static BOARD_ALWAYS_INLINE V perLane(int e0, int e1, int e2, int e3) {
    return _mm256_setr_epi32(e0, e1, e2, e3, e0, e1, e2, e3);
  }
  static BOARD_ALWAYS_INLINE V zero() { return _mm256_setzero_si256(); }
  static BOARD_ALWAYS_INLINE V add(V a, V b) { return _mm256_add_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V sub(V a, V b) { return _mm256_sub_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V mullo(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V mulhi(V a, V b) { return _mm256_mulhi_epu16(a, b); }
  static BOARD_ALWAYS_INLINE V min(V a, V b) { return _mm256_min_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V bitAnd(V a, V b) { return _mm256_and_si256(a, b); }
  static BOARD_ALWAYS_INLINE V bitOr(V a, V b) { return _mm256_or_si256(a, b); }
  static BOARD_ALWAYS_INLINE V left(V a, int n) { return _mm256_slli_epi16(a, n); }
  static BOARD_ALWAYS_INLINE V right(V a, int n) { return _mm256_srli_epi16(a, n); }
  static BOARD_ALWAYS_INLINE V rightBy(V a, __m128i n) { return _mm256_srl_epi16(a, n); }
  // Pairs of lanes multiplied and added, to 32-bit lanes.
  static BOARD_ALWAYS_INLINE V madd(V a, V b) { return _mm256_madd_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V add32(V a, V b) { return _mm256_add_epi32(a, b); }
  // Bytes picked within each 128-bit lane.
  static BOARD_ALWAYS_INLINE V shuffleBytes(V a, V order) { return _mm256_shuffle_epi8(a, order); }
  // Each 128-bit lane shifted down by four bytes.
  static BOARD_ALWAYS_INLINE V bytesDown4(V a) { return _mm256_srli_si256(a, 4); }
};
#endif

#if defined(__AVX512BW__)
struct Lanes512 {
  typedef __m512i V;
  static constexpr int Bytes = 64;
  static BOARD_ALWAYS_INLINE V splat(int v) { return _mm512_set1_epi16((short)v); }
  static BOARD_ALWAYS_INLINE V perLane(int e0, int e1, int e2, int e3) {
    return _mm512_set4_epi32(e3, e2, e1, e0);
  }
  static BOARD_ALWAYS_INLINE V zero() { return _mm512_setzero_si512(); }
  static BOARD_ALWAYS_INLINE V add(V a, V b) { return _mm512_add_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V sub(V a, V b) { return _mm512_sub_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V mullo(V a, V b) { return _mm512_mullo_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V mulhi(V a, V b) { return _mm512_mulhi_epu16(a, b); }
  static BOARD_ALWAYS_INLINE V min(V a, V b) { return _mm512_min_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V bitAnd(V a, V b) { return _mm512_and_si512(a, b); }
  static BOARD_ALWAYS_INLINE V bitOr(V a, V b) { return _mm512_or_si512(a, b); }
  static BOARD_ALWAYS_INLINE V left(V a, int n) { return _mm512_slli_epi16(a, n); }
  static BOARD_ALWAYS_INLINE V right(V a, int n) { return _mm512_srli_epi16(a, n); }
  static BOARD_ALWAYS_INLINE V rightBy(V a, __m128i n) { return _mm512_srl_epi16(a, n); }
  static BOARD_ALWAYS_INLINE V madd(V a, V b) { return _mm512_madd_epi16(a, b); }
  static BOARD_ALWAYS_INLINE V add32(V a, V b) { return _mm512_add_epi32(a, b); }
  static BOARD_ALWAYS_INLINE V shuffleBytes(V a, V order) { return _mm512_shuffle_epi8(a, order); }
  static BOARD_ALWAYS_INLINE V bytesDown4(V a) { return _mm512_bsrli_epi128(a, 4); }
};
#endif

// Whether a blend reads the stored pixel.
constexpr bool blendReads(int blend) { return blend != BlendNone && blend != BlendScaled; }

// A flat colour's alpha as the blends take it: x * (alpha + 1) >> 8 as one
// high multiply by (alpha + 1) << 8; at alpha 255 it is x itself.
template <class L> struct AlphaScale {
  typedef typename L::V V;
  bool opaque;
  V alpha8; // (alpha + 1) << 8
  BOARD_ALWAYS_INLINE V operator()(V x) const { return opaque ? x : L::mulhi(x, alpha8); }
};

// Incoming channels c over stored ones d under the blend.
template <class L, int Blend>
BOARD_ALWAYS_INLINE typename L::V blendLanes(typename L::V c, typename L::V d, const AlphaScale<L> &byAlpha) {
  if (Blend == BlendNone) return c;
  if (Blend == BlendScaled) return byAlpha(c);
  if (Blend == BlendAdd) return L::min(L::add(d, byAlpha(c)), L::splat(255));
  if (Blend == BlendFade) return byAlpha(d);
  return L::min(L::add(c, byAlpha(d)), L::splat(255));
}

// ---- Pixels with their channels side by side (b, g, r, - in four lanes) ----

// The second byte of each 32-bit lane, to its low or its high half.
template <class L> struct SecondBytes {
  const typename L::V toLow = L::perLane((int)0x80808001, (int)0x80808005, (int)0x80808009, (int)0x8080800D);
  const typename L::V toHigh = L::perLane((int)0x80018080, (int)0x80058080, (int)0x80098080, (int)0x800D8080);
};

// The constants of the side-by-side steps, with or without dither.
template <class L> struct GroupLanes : SecondBytes<L> {
  typedef typename L::V V;
  explicit BOARD_ALWAYS_INLINE GroupLanes(bool dither)
      : down4(dither ? L::perLane(4096 | 4096 << 16, 4096, 4096 | 4096 << 16, 4096) : L::zero()),
        down76(dither ? L::perLane(512 | 1024 << 16, 512, 512 | 1024 << 16, 512) : L::zero()) {}
  // Two texels side by side (bytes b g r a b' g' r' a') to 16-bit lanes b b'
  // g g' r r' a a': those of the first pixel of each 128-bit lane, or the second.
  const V firstPair = L::perLane((int)0x80048000, (int)0x80058001, (int)0x80068002, (int)0x80078003);
  const V secondPair = L::perLane((int)0x800C8008, (int)0x800D8009, (int)0x800E800A, (int)0x800F800B);
  // Stored RGB 565 pixels, one in each pixel's four lanes, to their
  // top-aligned channels, then times these, high halves: expand5 and
  // expand6, (33 v) >> 2 and (65 v) >> 4.
  const V shift = L::perLane(2048 | 32 << 16, 1, 2048 | 32 << 16, 1);
  const V mask = L::perLane((int)0xFC00F800u, 0xF800, (int)0xFC00F800u, 0xF800);
  const V widen = L::perLane(264 | 260 << 16, 264, 264 | 260 << 16, 264);
  // The channels' weights in an RGB 565 value.
  const V weights565 = L::perLane(1 | 32 << 16, 2048, 1 | 32 << 16, 2048);
  // The multipliers of the dither's v >> 4, and of v >> 7 (red, blue) and
  // v >> 6 (green), high halves: zero without dither.
  const V down4, down76;
};

// bilinearAt's arithmetic on texels side by side, of the upper row in r0 and
// the lower in r1 (pairs of 16-bit lanes, weighed by wu and wv, each
// (f << 16) | (256 - f)): the across sums are below 65536, so the second byte
// of each is the across value; the down sums, 32-bit lanes, are below 65536
// too: the channel times 256, plus a fraction for the caller to drop.
template <class L>
BOARD_ALWAYS_INLINE typename L::V filterPairs(typename L::V r0, typename L::V r1, typename L::V wu,
                                              typename L::V wv, const SecondBytes<L> &to) {
  const typename L::V across =
      L::bitOr(L::shuffleBytes(L::madd(r0, wu), to.toLow), L::shuffleBytes(L::madd(r1, wu), to.toHigh));
  return L::madd(across, wv);
}

// Stored pixels, one in each pixel's four lanes, widened to 8-bit channels.
template <class L> BOARD_ALWAYS_INLINE typename L::V widenStored(typename L::V v, const GroupLanes<L> &k) {
  return L::mulhi(L::bitAnd(L::mullo(v, k.shift), k.mask), k.widen);
}

// The ordered dither computed in the lanes: ((v << 1) - (v >> 4) + (v >> 7) + d) >> 4
// for red and blue, ((v << 2) - (v >> 4) + (v >> 6) + d) >> 4 for green (the
// values of the dither tables), given `up`, (v << 1) or (v << 2) (without
// dither, `offset` is zero and the sum is v's top bits). The RGB 565 value
// of each pixel is the first word of its first 32-bit lane.
template <class L>
BOARD_ALWAYS_INLINE typename L::V ditheredPixels(typename L::V v, typename L::V up, typename L::V offset,
                                                 const GroupLanes<L> &k) {
  const typename L::V sum = L::add(L::sub(up, L::mulhi(v, k.down4)), L::add(L::mulhi(v, k.down76), offset));
  const typename L::V packed = L::madd(L::right(sum, 4), k.weights565);
  return L::add32(packed, L::bytesDown4(packed));
}

// The constants of the grey spans.
template <class L> struct GreyLanes : SecondBytes<L> {
  // A quad's taps t00 t01 and t10 t11 into the 16-bit halves of each lane.
  const typename L::V topTaps =
      L::perLane((int)0x80018000, (int)0x80058004, (int)0x80098008, (int)0x800D800C);
  const typename L::V bottomTaps =
      L::perLane((int)0x80038002, (int)0x80078006, (int)0x800B800A, (int)0x800F800E);
  // Each lane's second byte into both its halves.
  const typename L::V fractionTwice =
      L::perLane((int)0x80018001, (int)0x80058005, (int)0x80098009, (int)0x800D800D);
};

// ---- One channel of many pixels to a vector ------------------------------

// A channel of RGB 565 values widened as expand5 and expand6 do: (33 v) >> 2
// and (65 v) >> 4 of the top-aligned fields, high halves.
template <class L> BOARD_ALWAYS_INLINE typename L::V blueOf(typename L::V v) {
  return L::mulhi(L::left(v, 11), L::splat(264));
}
template <class L> BOARD_ALWAYS_INLINE typename L::V greenOf(typename L::V v) {
  return L::mulhi(L::bitAnd(L::left(v, 5), L::splat(0xFC00)), L::splat(260));
}
template <class L> BOARD_ALWAYS_INLINE typename L::V redOf(typename L::V v) {
  return L::mulhi(L::bitAnd(v, L::splat(0xF800)), L::splat(264));
}

// A flat colour, each channel plus one, and its alpha.
template <class L> struct FlatLook {
  typedef typename L::V V;
  V blue1, green1, red1;
  AlphaScale<L> byAlpha;
  BOARD_ALWAYS_INLINE FlatLook(int red, int green, int blue, int alpha)
      : blue1(L::splat(blue + 1)), green1(L::splat(green + 1)),
        red1(L::splat(red + 1)), byAlpha{alpha == 255, L::splat(alpha == 255 ? 0 : (alpha + 1) << 8)} {}
};

// The four bilinear taps of each pixel, as RGB 565.
template <class L> struct Taps {
  typename L::V t00, t01, t10, t11; // upper left, upper right, lower left, lower right
};

// One channel of the taps filtered as bilinearAt does, across
// ((a (256 - fu) + b fu) >> 8) then down, keeping the channel times 256;
// times the flat colour plus one, high half.
template <class L>
BOARD_ALWAYS_INLINE typename L::V filteredTimes(typename L::V a, typename L::V b, typename L::V c,
                                                typename L::V d, typename L::V nu, typename L::V fu,
                                                typename L::V nv, typename L::V fv, typename L::V colour1) {
  const typename L::V top = L::right(L::add(L::mullo(a, nu), L::mullo(b, fu)), 8);
  const typename L::V bottom = L::right(L::add(L::mullo(c, nu), L::mullo(d, fu)), 8);
  const typename L::V down = L::add(L::mullo(top, nv), L::mullo(bottom, fv));
  return L::mulhi(L::bitAnd(down, L::splat(0xFF00)), colour1);
}

// The taps of each pixel filtered with the fractions fu and fv (0-255), times
// the flat colour, blended with the stored pixels, then the ordered dither,
// ((v << 1) - (v >> 4) + (v >> 7) + d) >> 4, or for green ((v << 2) - (v >> 4)
// + (v >> 6) + d) >> 4, with the offsets in `offset` (without it, v's top
// bits), as RGB 565 values.
template <class L, int Blend>
BOARD_ALWAYS_INLINE typename L::V blendedPixels(const Taps<L> &taps, typename L::V fu, typename L::V fv,
                                                const FlatLook<L> &look, typename L::V stored, bool dither,
                                                typename L::V offset) {
  typedef typename L::V V;
  const V nu = L::sub(L::splat(256), fu), nv = L::sub(L::splat(256), fv);
  auto filtered = [&](V a, V b, V c, V d, V colour1)
                      VECTOR_LAMBDA_INLINE { return filteredTimes<L>(a, b, c, d, nu, fu, nv, fv, colour1); };
  const V blue = filtered(blueOf<L>(taps.t00), blueOf<L>(taps.t01), blueOf<L>(taps.t10), blueOf<L>(taps.t11),
                          look.blue1);
  const V green = filtered(greenOf<L>(taps.t00), greenOf<L>(taps.t01), greenOf<L>(taps.t10),
                           greenOf<L>(taps.t11), look.green1);
  const V red =
      filtered(redOf<L>(taps.t00), redOf<L>(taps.t01), redOf<L>(taps.t10), redOf<L>(taps.t11), look.red1);
  const V outBlue = blendLanes<L, Blend>(blue, blueOf<L>(stored), look.byAlpha);
  const V outGreen = blendLanes<L, Blend>(green, greenOf<L>(stored), look.byAlpha);
  const V outRed = blendLanes<L, Blend>(red, redOf<L>(stored), look.byAlpha);
  V b5, g6, r5;
  if (dither) {
    auto dithered = [&](V up, V v, int low) VECTOR_LAMBDA_INLINE {
      const V sum = L::add(L::sub(up, L::right(v, 4)), L::add(L::rightBy(v, _mm_cvtsi32_si128(low)), offset));
      return L::right(sum, 4);
    };
    b5 = dithered(L::add(outBlue, outBlue), outBlue, 7);
    g6 = dithered(L::left(outGreen, 2), outGreen, 6);
    r5 = dithered(L::add(outRed, outRed), outRed, 7);
  } else {
    b5 = L::right(outBlue, 3);
    g6 = L::right(outGreen, 2);
    r5 = L::right(outRed, 3);
  }
  return L::add(L::add(b5, L::left(g6, 5)), L::left(r5, 11));
}

} // namespace
