// The two-pixel span: 128-bit vectors, which every processor the program
// runs on has, for every state the specialised paths take.
#include <emmintrin.h>

#include <cstring>

#include "glide/pipeline.h"
#include "glide/spans.h"
#include "glide/vectorsteps.h"

namespace {

// Two stored pixels as 8-bit channels in lanes b, g, r, -, b, g, r, -.
inline __m128i expandPixels(__m128i two) {
  const __m128i shift = _mm_setr_epi16(2048, 32, 1, 0, 2048, 32, 1, 0);
  const __m128i mask = _mm_setr_epi16((short)0xF800, (short)0xFC00, (short)0xF800, 0, (short)0xF800,
                                      (short)0xFC00, (short)0xF800, 0);
  const __m128i low = _mm_setr_epi16(2048, 1024, 2048, 0, 2048, 1024, 2048, 0);
  __m128i v = _mm_shuffle_epi32(_mm_unpacklo_epi16(two, two), 0x50);
  __m128i t = _mm_srli_epi16(_mm_and_si128(_mm_mullo_epi16(v, shift), mask), 8);
  return _mm_or_si128(t, _mm_mulhi_epu16(t, low));
}

// The bilinear texel at bordered index (tx, ty): 32-bit lanes b, g, r, a.
inline __m128i bilinearAt(const uint32_t *texels, int pitch, int tx, int ty, int32_t tu, int32_t tv) {
  const __m128i zero = _mm_setzero_si128();
  const uint32_t *tp = texels + ty * pitch + tx;
  const unsigned fu = (unsigned)(tu >> 8) & 255u, fv = (unsigned)(tv >> 8) & 255u;
  __m128i r0 = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i *)tp), zero);
  __m128i r1 = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i *)(tp + pitch)), zero);
  r0 = _mm_unpacklo_epi16(r0, _mm_srli_si128(r0, 8));
  r1 = _mm_unpacklo_epi16(r1, _mm_srli_si128(r1, 8));
  __m128i wu = _mm_set1_epi32((int)((fu << 16) | (256 - fu)));
  __m128i top = _mm_srli_epi32(_mm_madd_epi16(r0, wu), 8);
  __m128i bottom = _mm_srli_epi32(_mm_madd_epi16(r1, wu), 8);
  __m128i wv = _mm_set1_epi32((int)((fv << 16) | (256 - fv)));
  return _mm_srli_epi32(_mm_madd_epi16(_mm_or_si128(top, _mm_slli_epi32(bottom, 16)), wv), 8);
}

// Two bilinear texels at uv = (uA, vA, uB, vB), every tap inside the border:
// 16-bit lanes b, g, r, a of A, then of B.
inline __m128i bilinearPair(const uint64_t *pairs, int pitch, __m128i pitchWeights, __m128i uv) {
  const __m128i zero = _mm_setzero_si128();
  __m128i f = _mm_and_si128(_mm_srli_epi32(uv, 8), _mm_set1_epi32(255));
  // (f << 16) | (256 - f): the weights of the far and the near tap.
  __m128i w = _mm_add_epi32(_mm_sub_epi32(_mm_slli_epi32(f, 16), f), _mm_set1_epi32(256));
  __m128i index = _mm_add_epi32(_mm_srai_epi32(uv, 16), _mm_set1_epi32(1));
  __m128i offsets = _mm_madd_epi16(_mm_packs_epi32(index, zero), pitchWeights);
  const uint64_t *pa = pairs + _mm_cvtsi128_si32(offsets);
  const uint64_t *pb = pairs + _mm_cvtsi128_si32(_mm_srli_si128(offsets, 4));
  auto filter = [&](const uint64_t *tp, __m128i wu, __m128i wv) {
    __m128i r0 = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i *)tp), zero);
    __m128i r1 = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i *)(tp + pitch)), zero);
    __m128i top = _mm_srli_epi32(_mm_madd_epi16(r0, wu), 8);
    __m128i bottom = _mm_srli_epi32(_mm_madd_epi16(r1, wu), 8);
    return _mm_srli_epi32(_mm_madd_epi16(_mm_or_si128(top, _mm_slli_epi32(bottom, 16)), wv), 8);
  };
  __m128i a = filter(pa, _mm_shuffle_epi32(w, 0x00), _mm_shuffle_epi32(w, 0x55));
  __m128i b = filter(pb, _mm_shuffle_epi32(w, 0xAA), _mm_shuffle_epi32(w, 0xFF));
  return _mm_packs_epi32(a, b);
}

// Texel coordinates (16.16, less the half texel) of four lanes of a perspective span

// Two pixels at a time. Where every tap of a span stays within the texture's
// border (Direct), the tap index needs no clamping or wrapping.
template <int Tex, int Comb, int Blend, bool Flat, bool Direct>
void spanLoop(const Pipe &p, int x0, int x1, int y, const SpanIter &it, int first) {
  uint16_t *row = p.target + (size_t)y * p.width;
  const DitherParts &parts = *p.parts;
  const int rowBase = (y & 3) << 2;
  const __m128i one = _mm_set1_epi16(1);
  const __m128i zero = _mm_setzero_si128();
  const __m128i max255 = _mm_set1_epi16(255);

  // Iterated colour of the next pixel: 32-bit lanes b, g, r, a.
  __m128i itv = _mm_setr_epi32((int)(it.b + it.db * first), (int)(it.g + it.dg * first),
                               (int)(it.r + it.dr * first), (int)(it.a + it.da * first));
  const __m128i dit = _mm_setr_epi32((int)it.db, (int)it.dg, (int)it.dr, (int)it.da);
  auto iterated = [&](int &alpha) {
    __m128i c = _mm_packs_epi32(_mm_srai_epi32(itv, 16), zero);
    c = _mm_min_epi16(_mm_max_epi16(c, zero), max255);
    alpha = _mm_extract_epi16(c, 3);
    if (!Flat) itv = _mm_add_epi32(itv, dit);
    return c;
  };
  const uint8_t *alphaPass = p.alphaPass;
  __m128i flatColour = zero;
  if (Flat) {
    int a;
    flatColour = iterated(a);
    if (!alphaPass[a]) return;
    flatColour = _mm_unpacklo_epi64(flatColour, flatColour);
  }
  const BoardTexture *t = p.tex;
  const uint32_t *texels = t ? t->texels.data() : nullptr;
  const int pitch = t ? t->pitch : 0, tw = t ? t->width : 0, th = t ? t->height : 0;
  const bool clampS = t ? t->clampS : true, clampT = t ? t->clampT : true;
  int32_t u = it.u, v = it.v;
  for (int k = 0; k < first; ++k) {
    u = stepWrapping(u, it.du);
    v = stepWrapping(v, it.dv);
  }
  // Affine coordinates of the next pair, (u, v, u + du, v + dv), and their step.
  __m128i uv = _mm_setr_epi32(u, v, stepWrapping(u, it.du), stepWrapping(v, it.dv));
  const int32_t du2 = stepWrapping(it.du, it.du), dv2 = stepWrapping(it.dv, it.dv);
  const __m128i uvStep = _mm_setr_epi32(du2, dv2, du2, dv2);
  const __m128i pitchWeights = _mm_setr_epi16(1, (short)pitch, 1, (short)pitch, 0, 0, 0, 0);
  auto texel = [&](int i) {
    int32_t tu = u, tv = v;
    if (Tex == TexPerspective)
      perspectiveUV(it.sw + it.dsw * (float)i, it.tw + it.dtw * (float)i, it.w + it.dw * (float)i, it.scale,
                    tu, tv);
    else {
      u = stepWrapping(u, it.du);
      v = stepWrapping(v, it.dv);
    }
    int tx, ty;
    if (Direct) {
      tx = (tu >> 16) + 1;
      ty = (tv >> 16) + 1;
    } else {
      tx = tapIndex(tu >> 16, tw, clampS);
      ty = tapIndex(tv >> 16, th, clampT);
    }
    return bilinearAt(texels, pitch, tx, ty, tu, tv);
  };

  for (int x = x0 + first, i = first; x <= x1; x += 2, i += 2) {
    const bool pair = x < x1;
    bool writeA = true, writeB = pair;
    __m128i colour;
    if (Flat) {
      colour = flatColour;
    } else {
      int aA, aB = 0;
      __m128i cA = iterated(aA), cB = pair ? iterated(aB) : cA;
      writeA = alphaPass[aA] != 0;
      writeB = pair && alphaPass[aB] != 0;
      if (!writeA && !writeB) {
        if (Tex == TexAffine && Comb == CombTexTimesIterated) {
          u = stepWrapping(u, it.du);
          v = stepWrapping(v, it.dv);
          if (pair) {
            u = stepWrapping(u, it.du);
            v = stepWrapping(v, it.dv);
          }
          uv = _mm_add_epi32(uv, uvStep);
        }
        continue;
      }
      colour = _mm_unpacklo_epi64(cA, cB);
    }
    const __m128i colour1 = _mm_add_epi16(colour, one);
    const __m128i alpha1 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(colour1, 0xFF), 0xFF);
    __m128i c;
    if (Comb == CombTexTimesIterated && Direct) {
      __m128i uvPair;
      if (Tex == TexPerspective) {
        uvPair = perspectivePair(it, i);
        if (!pair) uvPair = _mm_shuffle_epi32(uvPair, 0x44);
      } else {
        uvPair = pair ? uv : _mm_shuffle_epi32(uv, 0x44);
        uv = _mm_add_epi32(uv, uvStep);
      }
      __m128i tex = bilinearPair(t->pairs.data(), pitch, pitchWeights, uvPair);
      c = _mm_srli_epi16(_mm_mullo_epi16(tex, colour1), 8);
    } else if (Comb == CombTexTimesIterated) {
      __m128i tA = texel(i);
      __m128i tB = pair ? texel(i + 1) : tA;
      c = _mm_srli_epi16(_mm_mullo_epi16(_mm_packs_epi32(tA, tB), colour1), 8);
    } else {
      c = colour;
    }
    uint16_t *pixel = row + x;
    __m128i out;
    if (Blend == BlendNone) {
      out = c;
    } else if (Blend == BlendScaled) {
      out = _mm_srli_epi16(_mm_mullo_epi16(c, alpha1), 8);
    } else {
      int32_t both = *pixel;
      if (pair) std::memcpy(&both, pixel, 4);
      __m128i stored = _mm_cvtsi32_si128(both);
      __m128i d = expandPixels(stored);
      if (Blend == BlendAdd)
        out = _mm_min_epi16(_mm_add_epi16(d, _mm_srli_epi16(_mm_mullo_epi16(c, alpha1), 8)), max255);
      else if (Blend == BlendFade)
        out = _mm_srli_epi16(_mm_mullo_epi16(d, alpha1), 8);
      else
        out = _mm_min_epi16(_mm_add_epi16(c, _mm_srli_epi16(_mm_mullo_epi16(d, alpha1), 8)), max255);
    }
    uint64_t bytes = (uint64_t)_mm_cvtsi128_si64(_mm_packus_epi16(out, out));
    const int pa = rowBase | (x & 3), pb = rowBase | ((x + 1) & 3);
    if (writeA)
      pixel[0] = (uint16_t)(parts.red[pa][(bytes >> 16) & 255] | parts.green[pa][(bytes >> 8) & 255] |
                            parts.blue[pa][bytes & 255]);
    if (writeB)
      pixel[1] = (uint16_t)(parts.red[pb][(bytes >> 48) & 255] | parts.green[pb][(bytes >> 40) & 255] |
                            parts.blue[pb][(bytes >> 32) & 255]);
  }
}

} // namespace

// The spans of one texture mode, its combine and a blend, by [flat
// colour][every tap inside the border].
#define LV_PAIRS(Tex, Comb, Blend)                                                                           \
  {                                                                                                          \
    {spanLoop<Tex, Comb, Blend, false, false>, spanLoop<Tex, Comb, Blend, false, true>}, {                   \
      spanLoop<Tex, Comb, Blend, true, false>, spanLoop<Tex, Comb, Blend, true, true>                        \
    }                                                                                                        \
  }
#define LV_BLENDS(Tex, Comb)                                                                                 \
  {                                                                                                          \
    LV_PAIRS(Tex, Comb, BlendNone), LV_PAIRS(Tex, Comb, BlendAdd), LV_PAIRS(Tex, Comb, BlendScaled),         \
        LV_PAIRS(Tex, Comb, BlendFade), LV_PAIRS(Tex, Comb, BlendOneAdd)                                     \
  }

const SpanPartFn SpanPairs[3][5][2][2] = {LV_BLENDS(TexNone, CombIterated),
                                          LV_BLENDS(TexAffine, CombTexTimesIterated),
                                          LV_BLENDS(TexPerspective, CombTexTimesIterated)};
