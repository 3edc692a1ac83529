// Triangles: 12.4 fixed-point vertices, a top-left fill rule walked with
// exact integer edge functions, attributes iterated in fixed point, and spans
// specialised for the render states the program draws with.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/pipeline.h"
#include "glide/tracewrite.h"

namespace {

// The widest vectors the spans may use: LUMENVEIL_VECTORS=128, 256 or 512
// (default 512), to time or check the narrower paths on a processor that has
// the wider ones.
int vectorBitsAllowed() {
  const char *env = std::getenv("LUMENVEIL_VECTORS");
  if (!env)
    return 512;
  const int bits = std::atoi(env);
  return bits == 128 || bits == 256 ? bits : 512;
}

bool WideVectors = vectorBitsAllowed() >= 256;   // 256-bit vectors where the processor has them
bool WidestVectors = vectorBitsAllowed() >= 512; // 512-bit vectors where the processor has them

// ---- Setup --------------------------------------------------------------------------

// The most vertices a polygon call takes.
constexpr int MaxPolygon = 64;

struct FixedVertex {
  int64_t X, Y; // sixteenths of a pixel
  const GrVertex *v;
};

inline FixedVertex fixVertex(const GrVertex *v) {
  FixedVertex f;
  f.X = toSixteenths(v->x);
  f.Y = toSixteenths(v->y);
  if (Board.origin == GR_ORIGIN_UPPER_LEFT)
    f.Y = (int64_t)Board.height * 16 - f.Y;
  f.v = v;
  return f;
}

// value = base + dx * (px - x0) + dy * (py - y0), px and py in pixels.
struct Plane {
  double base, dx, dy;
};

enum TexMode { TexNone = 0, TexAffine = 1, TexPerspective = 2 };

struct Planes {
  double x0, y0;
  Plane r, g, b, a;
  Plane s, t, w; // affine: texel coordinates * 65536 less half a texel; perspective: s/w, t/w, 1/w
  int texMode;
};

struct PlaneBasis {
  double x0, y0, ex1, ey1, ex2, ey2, inv;
  Plane make(double v0, double v1, double v2) const {
    Plane p;
    p.base = v0;
    p.dx = ((v1 - v0) * ey2 - (v2 - v0) * ey1) * inv;
    p.dy = ((v2 - v0) * ex1 - (v1 - v0) * ex2) * inv;
    return p;
  }
};

inline bool samePlane(const Plane &a, const Plane &b) {
  return a.base == b.base && a.dx == b.dx && a.dy == b.dy;
}

// Whether two sets of planes hold the same values (those their texture mode uses).
inline bool samePlanes(const Planes &a, const Planes &b) {
  if (a.x0 != b.x0 || a.y0 != b.y0 || a.texMode != b.texMode || !samePlane(a.r, b.r) ||
      !samePlane(a.g, b.g) || !samePlane(a.b, b.b) || !samePlane(a.a, b.a))
    return false;
  if (a.texMode == TexNone)
    return true;
  return samePlane(a.s, b.s) && samePlane(a.t, b.t) &&
         (a.texMode != TexPerspective || samePlane(a.w, b.w));
}

inline double evalPlane(const Plane &p, const Planes &ps, double px, double py) {
  return p.base + p.dx * (px - ps.x0) + p.dy * (py - ps.y0);
}

bool makePlanes(const FixedVertex &a, const FixedVertex &b, const FixedVertex &c, int texMode,
                float scale, Planes &out) {
  int64_t det16 = (b.X - a.X) * (c.Y - a.Y) - (c.X - a.X) * (b.Y - a.Y);
  if (det16 == 0)
    return false;
  PlaneBasis k;
  k.x0 = a.X / 16.0;
  k.y0 = a.Y / 16.0;
  k.ex1 = (b.X - a.X) / 16.0;
  k.ey1 = (b.Y - a.Y) / 16.0;
  k.ex2 = (c.X - a.X) / 16.0;
  k.ey2 = (c.Y - a.Y) / 16.0;
  k.inv = 256.0 / (double)det16;
  out.x0 = k.x0;
  out.y0 = k.y0;
  const GrVertex *va = a.v, *vb = b.v, *vc = c.v;
  out.r = k.make(va->r, vb->r, vc->r);
  out.g = k.make(va->g, vb->g, vc->g);
  out.b = k.make(va->b, vb->b, vc->b);
  out.a = k.make(va->a, vb->a, vc->a);
  out.texMode = texMode;
  if (texMode == TexAffine) {
    double m = (double)scale / (double)va->oow * 65536.0;
    out.s = k.make(va->tmuvtx[0].sow * m - 32768.0, vb->tmuvtx[0].sow * m - 32768.0,
                   vc->tmuvtx[0].sow * m - 32768.0);
    out.t = k.make(va->tmuvtx[0].tow * m - 32768.0, vb->tmuvtx[0].tow * m - 32768.0,
                   vc->tmuvtx[0].tow * m - 32768.0);
  } else if (texMode == TexPerspective) {
    out.s = k.make(va->tmuvtx[0].sow, vb->tmuvtx[0].sow, vc->tmuvtx[0].sow);
    out.t = k.make(va->tmuvtx[0].tow, vb->tmuvtx[0].tow, vc->tmuvtx[0].tow);
    out.w = k.make(va->oow, vb->oow, vc->oow);
  }
  return true;
}

// Fixed point with 16 fractional bits (to the nearest step), saturated to a range that cannot overflow.
inline int64_t fixed16(double v) { return toFixed(v, 16, 1.0e15); }

inline int32_t clamp32(int64_t v) {
  return (int32_t)std::clamp<int64_t>(v, -(int64_t)1 << 30, (int64_t)1 << 30);
}

// Iterators of one span.
struct SpanIter {
  int64_t r, g, b, a, dr, dg, db, da; // 16 fractional bits
  int32_t u, v, du, dv;               // affine texel coordinates, 16 fractional bits
  float sw, tw, w, dsw, dtw, dw;      // perspective
  float scale;
  int texMode;
  bool flat;                          // colour and alpha the same everywhere
};

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

// Texture coordinates far off a clamped texture may wrap around; the taps
// are clamped whatever they hold.
inline int32_t stepWrapping(int32_t v, int32_t d) { return (int32_t)((uint32_t)v + (uint32_t)d); }

inline int channel(int64_t v) {
  int64_t i = v >> 16;
  return i < 0 ? 0 : (i > 255 ? 255 : (int)i);
}

// ---- Spans --------------------------------------------------------------------------

typedef void (*SpanFn)(const Pipe &p, int x0, int x1, int y, const SpanIter &it);

void spanReference(const Pipe &p, int x0, int x1, int y, const SpanIter &it) {
  int64_t r = it.r, g = it.g, b = it.b, a = it.a;
  int32_t u = it.u, v = it.v;
  const bool textured = p.useTexture && p.tex;
  for (int x = x0, i = 0; x <= x1; ++x, ++i) {
    uint32_t texel = NoTexel;
    if (textured) {
      int32_t tu = u, tv = v;
      if (it.texMode == TexPerspective)
        perspectiveUV(it.sw + it.dsw * (float)i, it.tw + it.dtw * (float)i,
                      it.w + it.dw * (float)i, it.scale, tu, tv);
      texel = sampleTexel(*p.tex, tu, tv);
    }
    shadeFragment(p, x, y, channel(r), channel(g), channel(b), channel(a), texel);
    r += it.dr; g += it.dg; b += it.db; a += it.da;
    u = stepWrapping(u, it.du);
    v = stepWrapping(v, it.dv);
  }
}

enum CombineMode { CombIterated, CombTexTimesIterated };

// Whether 32-bit iterators stay in range over a span of n pixels.
inline bool iteratorsFit(const SpanIter &it, int n) {
  const int64_t lim = (int64_t)1 << 30;
  auto ok = [&](int64_t v, int64_t d) {
    int64_t e = v + d * n;
    return v > -lim && v < lim && e > -lim && e < lim;
  };
  return ok(it.r, it.dr) && ok(it.g, it.dg) && ok(it.b, it.db) && ok(it.a, it.da);
}

// Two stored pixels as 8-bit channels in lanes b, g, r, -, b, g, r, -.
inline __m128i expandPixels(__m128i two) {
  const __m128i shift = _mm_setr_epi16(2048, 32, 1, 0, 2048, 32, 1, 0);
  const __m128i mask = _mm_setr_epi16((short)0xF800, (short)0xFC00, (short)0xF800, 0,
                                      (short)0xF800, (short)0xFC00, (short)0xF800, 0);
  const __m128i low = _mm_setr_epi16(2048, 1024, 2048, 0, 2048, 1024, 2048, 0);
  __m128i v = _mm_shuffle_epi32(_mm_unpacklo_epi16(two, two), 0x50);
  __m128i t = _mm_srli_epi16(_mm_and_si128(_mm_mullo_epi16(v, shift), mask), 8);
  return _mm_or_si128(t, _mm_mulhi_epu16(t, low));
}

// The bilinear texel at bordered index (tx, ty): 32-bit lanes b, g, r, a.
inline __m128i bilinearAt(const uint32_t *texels, int pitch, int tx, int ty, int32_t tu,
                          int32_t tv) {
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
inline void perspectiveEnds(const SpanIter &it, int n, int32_t &u0, int32_t &v0, int32_t &u1,
                            int32_t &v1) {
  const float wn = it.w + it.dw * (float)n;
  const __m128 st = _mm_setr_ps(it.sw, it.tw, it.sw + it.dsw * (float)n, it.tw + it.dtw * (float)n);
  const __m128i q = perspectiveLanes(it, st, _mm_setr_ps(it.w, it.w, wn, wn));
  u0 = _mm_cvtsi128_si32(q);
  v0 = _mm_cvtsi128_si32(_mm_srli_si128(q, 4));
  u1 = _mm_cvtsi128_si32(_mm_srli_si128(q, 8));
  v1 = _mm_cvtsi128_si32(_mm_srli_si128(q, 12));
}

// Two pixels at a time. Where every tap of a span stays within the texture's
// border (Direct), the tap index needs no clamping or wrapping.
template <int Tex, int Comb, int Blend, bool Flat, bool Direct>
void spanLoop(const Pipe &p, int x0, int x1, int y, const SpanIter &it, int first = 0) {
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
    if (!Flat)
      itv = _mm_add_epi32(itv, dit);
    return c;
  };
  const uint8_t *alphaPass = p.alphaPass;
  __m128i flatColour = zero;
  if (Flat) {
    int a;
    flatColour = iterated(a);
    if (!alphaPass[a])
      return;
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
      perspectiveUV(it.sw + it.dsw * (float)i, it.tw + it.dtw * (float)i, it.w + it.dw * (float)i,
                    it.scale, tu, tv);
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
        if (!pair)
          uvPair = _mm_shuffle_epi32(uvPair, 0x44);
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
      if (pair)
        std::memcpy(&both, pixel, 4);
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

#if defined(__GNUC__) // the vector spans need per-function target selection
// Four pixels at a time with 256-bit vectors, for flat-coloured textured
// spans whose taps stay inside the texture's border: the arithmetic of
// spanLoop, lane for lane. Spans shorter than four pixels are left to
// spanLoop. Returns how many pixels were drawn.
template <int Tex, int Blend>
__attribute__((target("avx2"))) int spanGroupsAvx2(const Pipe &p, int x0, int x1, int y,
                                                   const SpanIter &it, int first = 0) {
  const int count = x1 - x0 + 1 - first, groups = (count + 3) / 4;
  if (count < 4)
    return first;
  uint16_t *row = p.target + (size_t)y * p.width;
  const __m256i zero = _mm256_setzero_si256();
  const __m256i max255 = _mm256_set1_epi16(255);

  // The flat colour and alpha, plus one, in every pixel's lanes.
  __m128i c4 = _mm_packs_epi32(_mm_srai_epi32(_mm_setr_epi32((int)it.b, (int)it.g, (int)it.r,
                                                             (int)it.a), 16), _mm_setzero_si128());
  c4 = _mm_min_epi16(_mm_max_epi16(c4, _mm_setzero_si128()), _mm_set1_epi16(255));
  if (!p.alphaPass[_mm_extract_epi16(c4, 3)])
    return x1 - x0 + 1; // nothing passes the alpha test
  c4 = _mm_add_epi16(c4, _mm_set1_epi16(1));
  const __m256i colour1 = _mm256_broadcastq_epi64(c4);
  const __m256i alpha1 = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(colour1, 0xFF), 0xFF);
  // (x * (alpha + 1)) >> 8 as one high multiply by (alpha + 1) << 8; at alpha
  // 255 it is x itself.
  const bool opaque = _mm_extract_epi16(c4, 3) == 256;
  const __m256i alpha8 = _mm256_slli_epi16(alpha1, 8);
  auto byAlpha = [&](__m256i x) __attribute__((target("avx2"))) {
    return opaque ? x : _mm256_mulhi_epu16(x, alpha8);
  };
  // The second byte of each 32-bit lane, to its low or its high half.
  const __m256i toLow = _mm256_set_epi32((int)0x8080800D, (int)0x80808009, (int)0x80808005,
                                         (int)0x80808001, (int)0x8080800D, (int)0x80808009,
                                         (int)0x80808005, (int)0x80808001);
  const __m256i toHigh = _mm256_set_epi32((int)0x800D8080, (int)0x80098080, (int)0x80058080,
                                          (int)0x80018080, (int)0x800D8080, (int)0x80098080,
                                          (int)0x80058080, (int)0x80018080);
  const __m256i fraction = _mm256_set1_epi16((short)0xFF00);
  // The low words of each pixel's first 32-bit lane, to the lane's first four bytes.
  const __m256i pixelWords = _mm256_setr_epi8(0, 1, 8, 9, -128, -128, -128, -128, -128, -128, -128,
                                              -128, -128, -128, -128, -128, 0, 1, 8, 9, -128, -128,
                                              -128, -128, -128, -128, -128, -128, -128, -128, -128,
                                              -128);

  const BoardTexture &t = *p.tex;
  const uint32_t *texels = t.texels.data();
  // Two texels side by side (bytes b g r a b' g' r' a') to 16-bit lanes b b'
  // g g' r r' a a': those of the first pixel of each 128-bit lane, or the second.
  const __m256i firstPair = _mm256_setr_epi32((int)0x80048000, (int)0x80058001, (int)0x80068002,
                                              (int)0x80078003, (int)0x80048000, (int)0x80058001,
                                              (int)0x80068002, (int)0x80078003);
  const __m256i secondPair = _mm256_setr_epi32((int)0x800C8008, (int)0x800D8009, (int)0x800E800A,
                                               (int)0x800F800B, (int)0x800C8008, (int)0x800D8009,
                                               (int)0x800E800A, (int)0x800F800B);
  const int pitch = t.pitch;
  const uint32_t *inside = texels + pitch + 1;
  const __m256i pitchWeights = _mm256_setr_epi16(1, (short)pitch, 1, (short)pitch, 0, 0, 0, 0,
                                                 1, (short)pitch, 1, (short)pitch, 0, 0, 0, 0);
  const int32_t u = (int32_t)((uint32_t)it.u + (uint32_t)it.du * (uint32_t)first);
  const int32_t v = (int32_t)((uint32_t)it.v + (uint32_t)it.dv * (uint32_t)first);
  __m256i uv = _mm256_setr_epi32(u, v, u + it.du, v + it.dv, u + 2 * it.du, v + 2 * it.dv,
                                 u + 3 * it.du, v + 3 * it.dv);
  const __m256i uvStep = _mm256_setr_epi32(4 * it.du, 4 * it.dv, 4 * it.du, 4 * it.dv,
                                           4 * it.du, 4 * it.dv, 4 * it.du, 4 * it.dv);
  const __m256i shift = _mm256_setr_epi16(2048, 32, 1, 0, 2048, 32, 1, 0, 2048, 32, 1, 0, 2048,
                                          32, 1, 0);
  const __m256i mask = _mm256_setr_epi16(
      (short)0xF800, (short)0xFC00, (short)0xF800, 0, (short)0xF800, (short)0xFC00, (short)0xF800,
      0, (short)0xF800, (short)0xFC00, (short)0xF800, 0, (short)0xF800, (short)0xFC00,
      (short)0xF800, 0);
  // The top-aligned channels times these, high halves: expand5 and expand6,
  // (33 v) >> 2 and (65 v) >> 4.
  // Stored pixel k (of four, all in each 128-bit lane) into the blue, green
  // and red lanes of pixel k.
  const __m256i spreadPixels = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, -128, -128, 2, 3, 2, 3, 2, 3, -128,
                                                -128, 4, 5, 4, 5, 4, 5, -128, -128, 6, 7, 6, 7, 6, 7,
                                                -128, -128);
  const __m256i upFactors = _mm256_setr_epi16(2, 4, 2, 0, 2, 4, 2, 0, 2, 4, 2, 0, 2, 4, 2, 0);
  const __m256i widen = _mm256_setr_epi16(264, 260, 264, 0, 264, 260, 264, 0, 264, 260, 264, 0,
                                          264, 260, 264, 0);

  const bool dither = p.ditherMode != GR_DITHER_DISABLE;
  const __m256i down4 = dither ? _mm256_setr_epi16(4096, 4096, 4096, 0, 4096, 4096, 4096, 0, 4096,
                                                   4096, 4096, 0, 4096, 4096, 4096, 0)
                               : zero;
  const __m256i down76 = dither ? _mm256_setr_epi16(512, 1024, 512, 0, 512, 1024, 512, 0, 512,
                                                    1024, 512, 0, 512, 1024, 512, 0)
                                : zero;
  short d[4];
  for (int k = 0; k < 4; ++k)
    d[k] = (short)ditherOffset(p.ditherMode, x0 + first + k, y);
  const __m256i offset = _mm256_setr_epi16(d[0], d[0], d[0], 0, d[1], d[1], d[1], 0, d[2], d[2],
                                           d[2], 0, d[3], d[3], d[3], 0);
  const __m256i weights565 = _mm256_setr_epi16(1, 32, 2048, 0, 1, 32, 2048, 0, 1, 32, 2048, 0, 1,
                                               32, 2048, 0);

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
    const int valid = std::min(4, count - (i - first));
    if (valid < 4) {
      static const int repeat[3][8] = {{0, 1, 0, 1, 0, 1, 0, 1}, {0, 1, 2, 3, 2, 3, 2, 3},
                                       {0, 1, 2, 3, 4, 5, 4, 5}};
      coords = _mm256_permutevar8x32_epi32(
          coords, _mm256_loadu_si256((const __m256i *)repeat[valid - 1]));
    }
    // Weights (f << 16) | (256 - f) and bordered offsets of pixels A, B | C, D.
    __m256i f = _mm256_and_si256(_mm256_srli_epi32(coords, 8), _mm256_set1_epi32(255));
    __m256i w = _mm256_add_epi32(_mm256_sub_epi32(_mm256_slli_epi32(f, 16), f),
                                 _mm256_set1_epi32(256));
    // Offsets from the first texel inside the border.
    __m256i index = _mm256_srai_epi32(coords, 16);
    __m256i offsets = _mm256_madd_epi16(_mm256_packs_epi32(index, zero), pitchWeights);
    // The bordered offsets of pixels A, B, C, D (elements 0, 1, 4, 5), and
    // their two texels side by side in the upper and the lower row: lane 0
    // holds A then B, lane 1 C then D.
    const __m128i at = _mm256_castsi256_si128(_mm256_permute4x64_epi64(offsets, 0x08));
    const __m256i top = _mm256_i32gather_epi64((const long long *)inside, at, 4);
    const __m256i bottom = _mm256_i32gather_epi64((const long long *)(inside + pitch), at, 4);
    // bilinearAt's arithmetic, giving each channel times 256: the across
    // sums are below 65536, so the second byte of each is the across value;
    // the down sum (below 65536 too) with its low byte cleared is the channel
    // times 256.
    auto filter = [&](__m256i r0, __m256i r1, __m256i wu, __m256i wv)
        __attribute__((target("avx2"))) {
      const __m256i across = _mm256_or_si256(_mm256_shuffle_epi8(_mm256_madd_epi16(r0, wu), toLow),
                                             _mm256_shuffle_epi8(_mm256_madd_epi16(r1, wu), toHigh));
      return _mm256_madd_epi16(across, wv);
    };
    __m256i texAC = filter(_mm256_shuffle_epi8(top, firstPair), _mm256_shuffle_epi8(bottom, firstPair),
                           _mm256_shuffle_epi32(w, 0x00), _mm256_shuffle_epi32(w, 0x55));
    __m256i texBD = filter(_mm256_shuffle_epi8(top, secondPair), _mm256_shuffle_epi8(bottom, secondPair),
                           _mm256_shuffle_epi32(w, 0xAA), _mm256_shuffle_epi32(w, 0xFF));
    // (texel * (colour + 1)) >> 8.
    __m256i c = _mm256_mulhi_epu16(_mm256_and_si256(_mm256_packus_epi32(texAC, texBD), fraction), colour1);

    uint16_t *pixel = row + x;
    __m256i out;
    if (Blend == BlendNone) {
      out = c;
    } else if (Blend == BlendScaled) {
      out = byAlpha(c);
    } else {
      // Broadcast straight from memory: the shuffle unit has enough to do.
      alignas(8) uint16_t partial[4] = {0, 0, 0, 0};
      const uint16_t *from = pixel;
      if (valid < 4) {
        for (int k = 0; k < valid; ++k)
          partial[k] = pixel[k];
        from = partial;
      }
      const __m256i v = _mm256_shuffle_epi8(
          _mm256_castpd_si256(_mm256_broadcast_sd(reinterpret_cast<const double *>(from))), spreadPixels);
      const __m256i d = _mm256_mulhi_epu16(_mm256_and_si256(_mm256_mullo_epi16(v, shift), mask), widen);
      if (Blend == BlendAdd)
        out = _mm256_min_epi16(_mm256_add_epi16(d, byAlpha(c)), max255);
      else if (Blend == BlendFade)
        out = byAlpha(d);
      else
        out = _mm256_min_epi16(_mm256_add_epi16(c, byAlpha(d)), max255);
    }
    // The ordered dither computed in the lanes: ((v << 1) - (v >> 4) + (v >> 7) + d) >> 4
    // for red and blue, ((v << 2) - (v >> 4) + (v >> 6) + d) >> 4 for green (the
    // values of the dither tables), then packed to RGB 565.
    // (v << 1) for red and blue, (v << 2) for green, as one multiply.
    const __m256i up = _mm256_mullo_epi16(out, upFactors);
    __m256i sum = _mm256_add_epi16(_mm256_sub_epi16(up, _mm256_mulhi_epu16(out, down4)),
                                   _mm256_add_epi16(_mm256_mulhi_epu16(out, down76), offset));
    __m256i packed = _mm256_madd_epi16(_mm256_srli_epi16(sum, 4), weights565);
    packed = _mm256_add_epi32(packed, _mm256_srli_si256(packed, 4));
    packed = _mm256_shuffle_epi8(packed, pixelWords);
    packed = _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 0, 4, 0, 4, 0, 4));
    const long long four = _mm_cvtsi128_si64(_mm256_castsi256_si128(packed));
    if (valid == 4)
      std::memcpy(pixel, &four, 8);
    else
      for (int k = 0; k < valid; ++k)
        pixel[k] = (uint16_t)((uint64_t)four >> (16 * k));
  }
  return x1 - x0 + 1;
}

// Eight pixels at a time with 512-bit vectors: spanGroupsAvx2 twice as wide,
// lane for lane; a last, partial group repeats its last pixel's coordinates in
// the unused lanes and reads and writes only its own pixels. Returns how many
// pixels were drawn (all of them).
// (The compiler's own 512-bit headers trip its uninitialised-value warning.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
template <int Tex, int Blend>
__attribute__((target("avx512f,avx512bw,avx512vl"))) int
spanGroupsAvx512(const Pipe &p, int x0, int x1, int y, const SpanIter &it) {
  const int count = x1 - x0 + 1, groups = (count + 7) / 8;
  uint16_t *row = p.target + (size_t)y * p.width;
  const __m512i zero = _mm512_setzero_si512();
  const __m512i max255 = _mm512_set1_epi16(255);

  __m128i c4 = _mm_packs_epi32(_mm_srai_epi32(_mm_setr_epi32((int)it.b, (int)it.g, (int)it.r,
                                                             (int)it.a), 16), _mm_setzero_si128());
  c4 = _mm_min_epi16(_mm_max_epi16(c4, _mm_setzero_si128()), _mm_set1_epi16(255));
  if (!p.alphaPass[_mm_extract_epi16(c4, 3)])
    return x1 - x0 + 1; // nothing passes the alpha test
  c4 = _mm_add_epi16(c4, _mm_set1_epi16(1));
  const __m512i colour1 = _mm512_broadcastq_epi64(c4);
  const __m512i alpha1 = _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(colour1, 0xFF), 0xFF);
  // (x * (alpha + 1)) >> 8 as one high multiply by (alpha + 1) << 8; at alpha
  // 255 it is x itself.
  const bool opaque = _mm_extract_epi16(c4, 3) == 256;
  const __m512i alpha8 = _mm512_slli_epi16(alpha1, 8);

  const BoardTexture &t = *p.tex;
  const uint32_t *texels = t.texels.data();
  // Two texels side by side (bytes b g r a b' g' r' a') to 16-bit lanes b b'
  // g g' r r' a a': those of the first pixel of each 128-bit lane, or the second.
  const __m512i firstPair = _mm512_set4_epi32((int)0x80078003, (int)0x80068002, (int)0x80058001, (int)0x80048000);
  const __m512i secondPair = _mm512_set4_epi32((int)0x800F800B, (int)0x800E800A, (int)0x800D8009, (int)0x800C8008);
  const int pitch = t.pitch;
  const __m512i pitchWeights = _mm512_set4_epi32(0, 0, 1 | pitch << 16, 1 | pitch << 16);
  __m512i uv = _mm512_setr_epi32(it.u, it.v, it.u + it.du, it.v + it.dv, it.u + 2 * it.du,
                                 it.v + 2 * it.dv, it.u + 3 * it.du, it.v + 3 * it.dv,
                                 it.u + 4 * it.du, it.v + 4 * it.dv, it.u + 5 * it.du,
                                 it.v + 5 * it.dv, it.u + 6 * it.du, it.v + 6 * it.dv,
                                 it.u + 7 * it.du, it.v + 7 * it.dv);
  const __m512i uvStep = _mm512_set4_epi32(8 * it.dv, 8 * it.du, 8 * it.dv, 8 * it.du);
  const __m512i shift = _mm512_set4_epi32(1, 2048 | 32 << 16, 1, 2048 | 32 << 16);
  const __m512i mask = _mm512_set4_epi32(0xF800, (int)0xFC00F800u, 0xF800, (int)0xFC00F800u);
  // The top-aligned channels times these, high halves: expand5 and expand6, (33 v) >> 2 and (65 v) >> 4.
  const __m512i widen = _mm512_set4_epi32(264, 264 | 260 << 16, 264, 264 | 260 << 16);
  // Stored pixel k into lanes 4k to 4k + 3.
  const __m512i spreadPixels = _mm512_setr_epi64(0, 0x0001000100010001ll, 0x0002000200020002ll,
                                                 0x0003000300030003ll, 0x0004000400040004ll,
                                                 0x0005000500050005ll, 0x0006000600060006ll,
                                                 0x0007000700070007ll);

  const bool dither = p.ditherMode != GR_DITHER_DISABLE;
  const __mmask32 greenLanes = 0x22222222u;
  const __m512i down4 = dither ? _mm512_set4_epi32(4096, 4096 | 4096 << 16, 4096, 4096 | 4096 << 16)
                               : zero;
  const __m512i down76 = dither ? _mm512_set4_epi32(512, 512 | 1024 << 16, 512, 512 | 1024 << 16)
                                : zero;
  // Pixels x and x + 4 share a dither position: the offsets of four pixels, twice.
  short d[4];
  for (int k = 0; k < 4; ++k)
    d[k] = (short)ditherOffset(p.ditherMode, x0 + k, y);
  const __m512i offset = _mm512_setr_epi64(
      (long long)((uint64_t)(uint16_t)d[0] * 0x000100010001ull), (long long)((uint64_t)(uint16_t)d[1] * 0x000100010001ull),
      (long long)((uint64_t)(uint16_t)d[2] * 0x000100010001ull), (long long)((uint64_t)(uint16_t)d[3] * 0x000100010001ull),
      (long long)((uint64_t)(uint16_t)d[0] * 0x000100010001ull), (long long)((uint64_t)(uint16_t)d[1] * 0x000100010001ull),
      (long long)((uint64_t)(uint16_t)d[2] * 0x000100010001ull), (long long)((uint64_t)(uint16_t)d[3] * 0x000100010001ull));
  const __m512i weights565 = _mm512_set4_epi32(2048, 1 | 32 << 16, 2048, 1 | 32 << 16);
  // The low word of each pixel's first 32-bit lane.
  const __m512i pixelWords = _mm512_setr_epi64(0x000C000800040000ll, 0x001C001800140010ll, 0, 0, 0, 0, 0, 0);
  // Per 32-bit lane: its second byte to the low word, or to the high word.
  const __m512i toLow = _mm512_set4_epi32((int)0x8080800D, (int)0x80808009, (int)0x80808005, (int)0x80808001);
  const __m512i toHigh = _mm512_set4_epi32((int)0x800D8080, (int)0x80098080, (int)0x80058080, (int)0x80018080);
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
    const int valid = std::min(8, count - i);
    if (valid < 8) {
      // Element 2k + c (pixel k, coordinate c) takes pixel min(k, valid - 1).
      const __m512i element = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
      const __m512i pixelOf = _mm512_min_epi32(_mm512_srli_epi32(element, 1), _mm512_set1_epi32(valid - 1));
      const __m512i from = _mm512_or_si512(_mm512_slli_epi32(pixelOf, 1),
                                           _mm512_and_si512(element, _mm512_set1_epi32(1)));
      coords = _mm512_permutexvar_epi32(from, coords);
    }
    const __mmask8 lanes = (__mmask8)((1u << valid) - 1);
    __m512i f = _mm512_and_si512(_mm512_srli_epi32(coords, 8), _mm512_set1_epi32(255));
    __m512i w = _mm512_add_epi32(_mm512_sub_epi32(_mm512_slli_epi32(f, 16), f),
                                 _mm512_set1_epi32(256));
    __m512i index = _mm512_add_epi32(_mm512_srai_epi32(coords, 16), _mm512_set1_epi32(1));
    __m512i offsets = _mm512_madd_epi16(_mm512_packs_epi32(index, zero), pitchWeights);
    // The bordered offsets of pixels 0 to 7 (elements 0, 1, 4, 5, 8, 9, 12, 13),
    // and their two texels side by side in the upper and the lower row.
    const __m256i at = _mm512_castsi512_si256(_mm512_permutexvar_epi32(pixelOffsets, offsets));
    __m512i top = _mm512_i32gather_epi64(at, (const long long *)texels, 4);
    __m512i bottom = _mm512_i32gather_epi64(at, (const long long *)(texels + pitch), 4);
    // bilinearAt's arithmetic, giving each channel times 256: the across
    // sums are below 65536, so the second byte of each is the across value;
    // the down sum with its low byte cleared is the channel times 256.
    auto filter = [&](__m512i r0, __m512i r1, __m512i wu, __m512i wv)
        __attribute__((target("avx512f,avx512bw,avx512vl"))) {
      const __m512i across = _mm512_or_si512(_mm512_shuffle_epi8(_mm512_madd_epi16(r0, wu), toLow),
                                             _mm512_shuffle_epi8(_mm512_madd_epi16(r1, wu), toHigh));
      return _mm512_and_si512(_mm512_madd_epi16(across, wv), fraction);
    };
    auto byAlpha = [&](__m512i x) __attribute__((target("avx512f,avx512bw,avx512vl"))) {
      return opaque ? x : _mm512_mulhi_epu16(x, alpha8);
    };
    __m512i texLo = filter(_mm512_shuffle_epi8(top, firstPair), _mm512_shuffle_epi8(bottom, firstPair),
                           _mm512_shuffle_epi32(w, _MM_PERM_AAAA), _mm512_shuffle_epi32(w, _MM_PERM_BBBB));
    __m512i texHi = filter(_mm512_shuffle_epi8(top, secondPair), _mm512_shuffle_epi8(bottom, secondPair),
                           _mm512_shuffle_epi32(w, _MM_PERM_CCCC), _mm512_shuffle_epi32(w, _MM_PERM_DDDD));
    // (texel * (colour + 1)) >> 8.
    __m512i c = _mm512_mulhi_epu16(_mm512_packus_epi32(texLo, texHi), colour1);

    uint16_t *pixel = row + x;
    __m512i out;
    if (Blend == BlendNone) {
      out = c;
    } else if (Blend == BlendScaled) {
      out = byAlpha(c);
    } else {
      const __m512i v = _mm512_permutexvar_epi16(
          spreadPixels, _mm512_castsi128_si512(_mm_maskz_loadu_epi16(lanes, pixel)));
      const __m512i dd = _mm512_mulhi_epu16(_mm512_and_si512(_mm512_mullo_epi16(v, shift), mask), widen);
      if (Blend == BlendAdd)
        out = _mm512_min_epi16(_mm512_add_epi16(dd, byAlpha(c)), max255);
      else if (Blend == BlendFade)
        out = byAlpha(dd);
      else
        out = _mm512_min_epi16(_mm512_add_epi16(c, byAlpha(dd)), max255);
    }
    // The dither's (v << 1) for red and blue, (v << 2) for green, as additions.
    __m512i up = _mm512_add_epi16(out, out);
    up = _mm512_mask_add_epi16(up, greenLanes, up, up);
    __m512i sum = _mm512_add_epi16(_mm512_sub_epi16(up, _mm512_mulhi_epu16(out, down4)),
                                   _mm512_add_epi16(_mm512_mulhi_epu16(out, down76), offset));
    __m512i packed = _mm512_madd_epi16(_mm512_srli_epi16(sum, 4), weights565);
    packed = _mm512_add_epi32(packed, _mm512_bsrli_epi128(packed, 4));
    packed = _mm512_permutexvar_epi16(pixelWords, packed);
    _mm_mask_storeu_epi16(pixel, lanes, _mm512_castsi512_si128(packed));
  }
  return count;
}
#pragma GCC diagnostic pop

// The channel arithmetic of the planar glow spans, at both vector widths. A
// channel of RGB 565 values widened as expand5 and expand6 do: (33 v) >> 2
// and (65 v) >> 4 of the top-aligned fields, high halves.
__attribute__((target("avx512f,avx512bw,avx512vl"), always_inline)) inline __m512i blueOf(__m512i v) {
  return _mm512_mulhi_epu16(_mm512_slli_epi16(v, 11), _mm512_set1_epi16(264));
}
__attribute__((target("avx512f,avx512bw,avx512vl"), always_inline)) inline __m512i greenOf(__m512i v) {
  return _mm512_mulhi_epu16(_mm512_and_si512(_mm512_slli_epi16(v, 5), _mm512_set1_epi16((short)0xFC00)),
                            _mm512_set1_epi16(260));
}
__attribute__((target("avx512f,avx512bw,avx512vl"), always_inline)) inline __m512i redOf(__m512i v) {
  return _mm512_mulhi_epu16(_mm512_and_si512(v, _mm512_set1_epi16((short)0xF800)), _mm512_set1_epi16(264));
}
__attribute__((target("avx2"), always_inline)) inline __m256i blueOf(__m256i v) {
  return _mm256_mulhi_epu16(_mm256_slli_epi16(v, 11), _mm256_set1_epi16(264));
}
__attribute__((target("avx2"), always_inline)) inline __m256i greenOf(__m256i v) {
  return _mm256_mulhi_epu16(_mm256_and_si256(_mm256_slli_epi16(v, 5), _mm256_set1_epi16((short)0xFC00)),
                            _mm256_set1_epi16(260));
}
__attribute__((target("avx2"), always_inline)) inline __m256i redOf(__m256i v) {
  return _mm256_mulhi_epu16(_mm256_and_si256(v, _mm256_set1_epi16((short)0xF800)), _mm256_set1_epi16(264));
}

// One channel of four taps (upper left, upper right, lower left, lower right)
// filtered as bilinearAt does, across ((a (256 - fu) + b fu) >> 8) then down,
// keeping the channel times 256; times the flat colour plus one, high half.
__attribute__((target("avx512f,avx512bw,avx512vl"), always_inline)) inline __m512i
filteredTimes(__m512i a, __m512i b, __m512i c, __m512i d, __m512i nu, __m512i fu, __m512i nv,
              __m512i fv, __m512i colour1) {
  const __m512i top = _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(a, nu), _mm512_mullo_epi16(b, fu)), 8);
  const __m512i bottom = _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(c, nu), _mm512_mullo_epi16(d, fu)), 8);
  const __m512i down = _mm512_add_epi16(_mm512_mullo_epi16(top, nv), _mm512_mullo_epi16(bottom, fv));
  return _mm512_mulhi_epu16(_mm512_and_si512(down, _mm512_set1_epi16((short)0xFF00)), colour1);
}
__attribute__((target("avx2"), always_inline)) inline __m256i
filteredTimes(__m256i a, __m256i b, __m256i c, __m256i d, __m256i nu, __m256i fu, __m256i nv,
              __m256i fv, __m256i colour1) {
  const __m256i top = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, nu), _mm256_mullo_epi16(b, fu)), 8);
  const __m256i bottom = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(c, nu), _mm256_mullo_epi16(d, fu)), 8);
  const __m256i down = _mm256_add_epi16(_mm256_mullo_epi16(top, nv), _mm256_mullo_epi16(bottom, fv));
  return _mm256_mulhi_epu16(_mm256_and_si256(down, _mm256_set1_epi16((short)0xFF00)), colour1);
}

// The filtered channels (times the colour) blended with the stored pixels'
// (widened), then the ordered dither, ((v << 1) - (v >> 4) + (v >> 7) + d) >> 4,
// or for green ((v << 2) - (v >> 4) + (v >> 6) + d) >> 4, with the offsets in
// `offset` (without it, v's top bits), as RGB 565 values. alpha8 is
// (alpha + 1) << 8 unless `opaque`.
template <int Blend>
__attribute__((target("avx512f,avx512bw,avx512vl"), always_inline)) inline __m512i
blendedPixels(__m512i blue, __m512i green, __m512i red, __m512i stored, bool opaque, __m512i alpha8,
              bool dither, __m512i offset) {
  const __m512i max255 = _mm512_set1_epi16(255);
  auto byAlpha = [&](__m512i x) __attribute__((target("avx512f,avx512bw,avx512vl"))) {
    return opaque ? x : _mm512_mulhi_epu16(x, alpha8);
  };
  auto blend = [&](__m512i c, __m512i d) __attribute__((target("avx512f,avx512bw,avx512vl"))) {
    if (Blend == BlendNone)
      return c;
    if (Blend == BlendScaled)
      return byAlpha(c);
    if (Blend == BlendAdd)
      return _mm512_min_epi16(_mm512_add_epi16(d, byAlpha(c)), max255);
    if (Blend == BlendFade)
      return byAlpha(d);
    return _mm512_min_epi16(_mm512_add_epi16(c, byAlpha(d)), max255);
  };
  const __m512i outBlue = blend(blue, blueOf(stored));
  const __m512i outGreen = blend(green, greenOf(stored));
  const __m512i outRed = blend(red, redOf(stored));
  __m512i b5, g6, r5;
  if (dither) {
    auto dithered = [&](__m512i up, __m512i v, int low) __attribute__((target("avx512f,avx512bw,avx512vl"))) {
      const __m512i sum = _mm512_add_epi16(_mm512_sub_epi16(up, _mm512_srli_epi16(v, 4)),
                                           _mm512_add_epi16(_mm512_srl_epi16(v, _mm_cvtsi32_si128(low)), offset));
      return _mm512_srli_epi16(sum, 4);
    };
    b5 = dithered(_mm512_add_epi16(outBlue, outBlue), outBlue, 7);
    g6 = dithered(_mm512_slli_epi16(outGreen, 2), outGreen, 6);
    r5 = dithered(_mm512_add_epi16(outRed, outRed), outRed, 7);
  } else {
    b5 = _mm512_srli_epi16(outBlue, 3);
    g6 = _mm512_srli_epi16(outGreen, 2);
    r5 = _mm512_srli_epi16(outRed, 3);
  }
  return _mm512_add_epi16(_mm512_add_epi16(b5, _mm512_slli_epi16(g6, 5)), _mm512_slli_epi16(r5, 11));
}
template <int Blend>
__attribute__((target("avx2"), always_inline)) inline __m256i
blendedPixels(__m256i blue, __m256i green, __m256i red, __m256i stored, bool opaque, __m256i alpha8,
              bool dither, __m256i offset) {
  const __m256i max255 = _mm256_set1_epi16(255);
  auto byAlpha = [&](__m256i x) __attribute__((target("avx2"))) {
    return opaque ? x : _mm256_mulhi_epu16(x, alpha8);
  };
  auto blend = [&](__m256i c, __m256i d) __attribute__((target("avx2"))) {
    if (Blend == BlendNone)
      return c;
    if (Blend == BlendScaled)
      return byAlpha(c);
    if (Blend == BlendAdd)
      return _mm256_min_epi16(_mm256_add_epi16(d, byAlpha(c)), max255);
    if (Blend == BlendFade)
      return byAlpha(d);
    return _mm256_min_epi16(_mm256_add_epi16(c, byAlpha(d)), max255);
  };
  const __m256i outBlue = blend(blue, blueOf(stored));
  const __m256i outGreen = blend(green, greenOf(stored));
  const __m256i outRed = blend(red, redOf(stored));
  __m256i b5, g6, r5;
  if (dither) {
    auto dithered = [&](__m256i up, __m256i v, int low) __attribute__((target("avx2"))) {
      const __m256i sum = _mm256_add_epi16(_mm256_sub_epi16(up, _mm256_srli_epi16(v, 4)),
                                           _mm256_add_epi16(_mm256_srl_epi16(v, _mm_cvtsi32_si128(low)), offset));
      return _mm256_srli_epi16(sum, 4);
    };
    b5 = dithered(_mm256_add_epi16(outBlue, outBlue), outBlue, 7);
    g6 = dithered(_mm256_slli_epi16(outGreen, 2), outGreen, 6);
    r5 = dithered(_mm256_add_epi16(outRed, outRed), outRed, 7);
  } else {
    b5 = _mm256_srli_epi16(outBlue, 3);
    g6 = _mm256_srli_epi16(outGreen, 2);
    r5 = _mm256_srli_epi16(outRed, 3);
  }
  return _mm256_add_epi16(_mm256_add_epi16(b5, _mm256_slli_epi16(g6, 5)), _mm256_slli_epi16(r5, 11));
}

// A flat span's channel as the vector spans take it: the iterator's integer
// part, clamped to 0-255.
inline int flatChannel(int64_t v) { return std::clamp((int32_t)v >> 16, 0, 255); }

// The dither offsets of pixels x to x + 3 of row y, lowest word first: pixels
// four apart share one.
inline uint64_t ditherOffsetsOfFour(int mode, int x, int y) {
  uint64_t four = 0;
  for (int k = 0; k < 4; ++k)
    four |= (uint64_t)(uint16_t)ditherOffset(mode, x + k, y) << (16 * k);
  return four;
}

// Thirty-two pixels at a time of a flat colour times an affine texture, one
// channel of 32 pixels to a vector (16-bit lanes): the arithmetic of
// spanGroupsAvx512, pixel for pixel, without lanes spent on alpha or shuffles
// spent on moving channels about. The taps are read as RGB 565 pairs from
// the texture's `texels565`; every tap must lie inside the texture's border.
// Draws the whole span (a last group partial) and returns its length.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
template <int Blend>
__attribute__((target("avx512f,avx512bw,avx512vl"))) int
spanPlanarAvx512(const Pipe &p, int x0, int x1, int y, const SpanIter &it) {
  const int count = x1 - x0 + 1;
  const int alpha = flatChannel(it.a);
  if (!p.alphaPass[alpha])
    return count; // nothing passes the alpha test
  const __m512i blue1 = _mm512_set1_epi16((short)(flatChannel(it.b) + 1));
  const __m512i green1 = _mm512_set1_epi16((short)(flatChannel(it.g) + 1));
  const __m512i red1 = _mm512_set1_epi16((short)(flatChannel(it.r) + 1));
  const bool opaque = alpha == 255;
  const __m512i alpha8 = _mm512_set1_epi16((short)(opaque ? 0 : (alpha + 1) << 8));

  const BoardTexture &t = *p.tex;
  const int pitch = t.pitch;
  const uint16_t *inside = t.texels565.data() + pitch + 1;
  const __m512i pitchWeights = _mm512_set1_epi32(1 | pitch << 16);
  // Pixel k's coordinates: k < 16 in the low vectors, the rest in the high ones.
  const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m512i du = _mm512_set1_epi32(it.du), dv = _mm512_set1_epi32(it.dv);
  __m512i uLow = _mm512_add_epi32(_mm512_set1_epi32(it.u), _mm512_mullo_epi32(lanes, du));
  __m512i vLow = _mm512_add_epi32(_mm512_set1_epi32(it.v), _mm512_mullo_epi32(lanes, dv));
  __m512i uHigh = _mm512_add_epi32(uLow, _mm512_slli_epi32(du, 4));
  __m512i vHigh = _mm512_add_epi32(vLow, _mm512_slli_epi32(dv, 4));
  const __m512i uStep = _mm512_slli_epi32(du, 5), vStep = _mm512_slli_epi32(dv, 5);
  // Word k of 32: the low word of 32-bit lane k of a low vector then of a high one.
  const __m512i lowWords = _mm512_setr_epi32(0x20000, 0x60004, 0xA0008, 0xE000C, 0x120010, 0x160014,
                                             0x1A0018, 0x1E001C, 0x220020, 0x260024, 0x2A0028,
                                             0x2E002C, 0x320030, 0x360034, 0x3A0038, 0x3E003C);
  const __m512i highWords = _mm512_add_epi16(lowWords, _mm512_set1_epi16(1));
  const __m512i w256 = _mm512_set1_epi16(256);
  const __m512i zero = _mm512_setzero_si512();

  const bool dither = p.ditherMode != GR_DITHER_DISABLE;
  const __m512i offset = _mm512_set1_epi64((long long)ditherOffsetsOfFour(p.ditherMode, x0, y));

  uint16_t *const row = p.target + (size_t)y * p.width + x0;
  // The taps and stored pixels of the group from pixel i (read for the next
  // group before this one is worked on, so that the reads are under way
  // meanwhile), its filter fractions, and its pixels within the span.
  struct Taps {
    __m512i top0, top1, bottom0, bottom1, fu, fv, stored;
    __mmask32 mask;
  };
  auto fetch = [&](int i) __attribute__((target("avx512f,avx512bw,avx512vl"))) {
    const int left = count - i;
    const __mmask32 mask = left >= 32 ? ~0u : (1u << left) - 1;
    // Offsets (u >> 16) + (v >> 16) * pitch from the first texel inside the border.
    const __m512i atLow = _mm512_madd_epi16(
        _mm512_mask_blend_epi16(0xAAAAAAAAu, _mm512_srai_epi32(uLow, 16), vLow), pitchWeights);
    const __m512i atHigh = _mm512_madd_epi16(
        _mm512_mask_blend_epi16(0xAAAAAAAAu, _mm512_srai_epi32(uHigh, 16), vHigh), pitchWeights);
    Taps t;
    t.mask = mask;
    t.fu = _mm512_srli_epi16(_mm512_permutex2var_epi16(uLow, lowWords, uHigh), 8);
    t.fv = _mm512_srli_epi16(_mm512_permutex2var_epi16(vLow, lowWords, vHigh), 8);
    uLow = _mm512_add_epi32(uLow, uStep);
    uHigh = _mm512_add_epi32(uHigh, uStep);
    vLow = _mm512_add_epi32(vLow, vStep);
    vHigh = _mm512_add_epi32(vHigh, vStep);
    // The tap pairs of the upper and the lower row, of pixels 0-15 and 16-31.
    t.top0 = _mm512_mask_i32gather_epi32(zero, (__mmask16)mask, atLow, inside, 2);
    t.top1 = _mm512_mask_i32gather_epi32(zero, (__mmask16)(mask >> 16), atHigh, inside, 2);
    t.bottom0 = _mm512_mask_i32gather_epi32(zero, (__mmask16)mask, atLow, inside + pitch, 2);
    t.bottom1 = _mm512_mask_i32gather_epi32(zero, (__mmask16)(mask >> 16), atHigh, inside + pitch, 2);
    t.stored = zero;
    if (Blend != BlendNone && Blend != BlendScaled)
      t.stored = _mm512_maskz_loadu_epi16(mask, row + i);
    return t;
  };

  Taps next = fetch(0);
  // The next row's pixels here are likely the next span's.
  for (int x = 0; x < count; x += 32)
    _mm_prefetch((const char *)(row + p.width + x), _MM_HINT_T0);
  for (int i = 0; i < count; i += 32) {
    const Taps taps = next;
    if (i + 32 < count)
      next = fetch(i + 32);
    const __m512i fu = taps.fu, fv = taps.fv;
    const __m512i nu = _mm512_sub_epi16(w256, fu), nv = _mm512_sub_epi16(w256, fv);
    // Each tap of the 32 pixels, as RGB 565.
    const __m512i t00 = _mm512_permutex2var_epi16(taps.top0, lowWords, taps.top1);
    const __m512i t01 = _mm512_permutex2var_epi16(taps.top0, highWords, taps.top1);
    const __m512i t10 = _mm512_permutex2var_epi16(taps.bottom0, lowWords, taps.bottom1);
    const __m512i t11 = _mm512_permutex2var_epi16(taps.bottom0, highWords, taps.bottom1);
    auto filtered = [&](__m512i a, __m512i b, __m512i c, __m512i d, __m512i colour1)
        __attribute__((target("avx512f,avx512bw,avx512vl"))) {
      return filteredTimes(a, b, c, d, nu, fu, nv, fv, colour1);
    };
    const __m512i blue = filtered(blueOf(t00), blueOf(t01), blueOf(t10), blueOf(t11), blue1);
    const __m512i green = filtered(greenOf(t00), greenOf(t01), greenOf(t10), greenOf(t11), green1);
    const __m512i red = filtered(redOf(t00), redOf(t01), redOf(t10), redOf(t11), red1);

    const __m512i packed =
        blendedPixels<Blend>(blue, green, red, taps.stored, opaque, alpha8, dither, offset);
    _mm512_mask_storeu_epi16(row + i, taps.mask, packed);
  }
  return count;
}
#pragma GCC diagnostic pop

// The rows of an upright glow sprite, thirty-two pixels at a time: a flat
// colour times an affine texture whose v stays put along each row, added
// (source alpha, one) without dither. The arithmetic of spanPlanarAvx512 for
// that blend, pixel for pixel; the rows' groups are worked on one after the
// other as if one span, so the taps of a row's first group are read while
// the last group of the row before is worked on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized" // GCC 12 on the intrinsics' undefined sources
__attribute__((target("avx512f,avx512bw,avx512vl"))) void
spriteRowsAvx512(const SpriteRow *rows, int n, const SpriteLook &look) {
  const __m512i blue1 = _mm512_set1_epi16((short)(look.blue + 1));
  const __m512i green1 = _mm512_set1_epi16((short)(look.green + 1));
  const __m512i red1 = _mm512_set1_epi16((short)(look.red + 1));
  const bool opaque = look.alpha == 255;
  const __m512i alpha8 = _mm512_set1_epi16((short)(opaque ? 0 : (look.alpha + 1) << 8));
  const int pitch = look.pitch;
  const __m512i du = _mm512_set1_epi32(look.du);
  // Lane k's steps from a group's first pixel: k du, and (16 + k) du.
  const __m512i lowSteps =
      _mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15), du);
  const __m512i highSteps = _mm512_add_epi32(lowSteps, _mm512_slli_epi32(du, 4));
  const uint32_t groupStep = (uint32_t)look.du * 32u;
  const __m512i lowWords = _mm512_setr_epi32(0x20000, 0x60004, 0xA0008, 0xE000C, 0x120010, 0x160014,
                                             0x1A0018, 0x1E001C, 0x220020, 0x260024, 0x2A0028,
                                             0x2E002C, 0x320030, 0x360034, 0x3A0038, 0x3E003C);
  const __m512i highWords = _mm512_add_epi16(lowWords, _mm512_set1_epi16(1));
  const __m512i w256 = _mm512_set1_epi16(256);
  const __m512i zero = _mm512_setzero_si512();

  struct Taps {
    __m512i top0, top1, bottom0, bottom1, fu, fv, stored;
    uint16_t *pixels;
    __mmask32 mask;
  };
  auto fetch = [&](const SpriteRow &row, int i) __attribute__((target("avx512f,avx512bw,avx512vl"))) {
    const int left = row.count - i;
    Taps t;
    t.mask = left >= 32 ? ~0u : (1u << left) - 1;
    const __m512i u = _mm512_set1_epi32((int32_t)((uint32_t)row.u + groupStep * (uint32_t)(i / 32)));
    const __m512i uLow = _mm512_add_epi32(u, lowSteps), uHigh = _mm512_add_epi32(u, highSteps);
    const __m512i atLow = _mm512_srai_epi32(uLow, 16), atHigh = _mm512_srai_epi32(uHigh, 16);
    t.fu = _mm512_srli_epi16(_mm512_permutex2var_epi16(uLow, lowWords, uHigh), 8);
    t.fv = _mm512_set1_epi16((short)row.fv);
    t.top0 = _mm512_mask_i32gather_epi32(zero, (__mmask16)t.mask, atLow, row.taps, 2);
    t.top1 = _mm512_mask_i32gather_epi32(zero, (__mmask16)(t.mask >> 16), atHigh, row.taps, 2);
    t.bottom0 = _mm512_mask_i32gather_epi32(zero, (__mmask16)t.mask, atLow, row.taps + pitch, 2);
    t.bottom1 = _mm512_mask_i32gather_epi32(zero, (__mmask16)(t.mask >> 16), atHigh, row.taps + pitch, 2);
    t.pixels = row.pixels + i;
    t.stored = _mm512_maskz_loadu_epi16(t.mask, t.pixels);
    return t;
  };

  int r = 0, i = 0;
  Taps next = fetch(rows[0], 0);
  for (;;) {
    const Taps taps = next;
    i += 32;
    if (i >= rows[r].count) {
      ++r;
      i = 0;
    }
    const bool more = r < n;
    if (more)
      next = fetch(rows[r], i);
    const __m512i fu = taps.fu, fv = taps.fv;
    const __m512i nu = _mm512_sub_epi16(w256, fu), nv = _mm512_sub_epi16(w256, fv);
    const __m512i t00 = _mm512_permutex2var_epi16(taps.top0, lowWords, taps.top1);
    const __m512i t01 = _mm512_permutex2var_epi16(taps.top0, highWords, taps.top1);
    const __m512i t10 = _mm512_permutex2var_epi16(taps.bottom0, lowWords, taps.bottom1);
    const __m512i t11 = _mm512_permutex2var_epi16(taps.bottom0, highWords, taps.bottom1);
    auto filtered = [&](__m512i a, __m512i b, __m512i c, __m512i d, __m512i colour1)
        __attribute__((target("avx512f,avx512bw,avx512vl"))) {
      return filteredTimes(a, b, c, d, nu, fu, nv, fv, colour1);
    };
    const __m512i blue = filtered(blueOf(t00), blueOf(t01), blueOf(t10), blueOf(t11), blue1);
    const __m512i green = filtered(greenOf(t00), greenOf(t01), greenOf(t10), greenOf(t11), green1);
    const __m512i red = filtered(redOf(t00), redOf(t01), redOf(t10), redOf(t11), red1);
    const __m512i packed =
        blendedPixels<BlendAdd>(blue, green, red, taps.stored, opaque, alpha8, false, zero);
    _mm512_mask_storeu_epi16(taps.pixels, taps.mask, packed);
    if (!more)
      break;
  }
}
#pragma GCC diagnostic pop

// spanPlanarAvx512 with 256-bit vectors: sixteen pixels at a time, for spans
// of at least 16 (shorter ones are left to spanGroupsAvx2). Inside a group the
// lanes hold pixels 0-3 and 8-11 in the low 128 bits and 4-7 and 12-15 in the
// high, the order the in-lane packs give; the stored pixels are put in that
// order and back. Returns how many pixels it drew: all of them, or none.
template <int Blend>
__attribute__((target("avx2"))) int spanPlanarAvx2(const Pipe &p, int x0, int x1, int y,
                                                   const SpanIter &it) {
  const int count = x1 - x0 + 1;
  if (count < 16)
    return 0;
  const int alpha = flatChannel(it.a);
  if (!p.alphaPass[alpha])
    return count; // nothing passes the alpha test
  const __m256i blue1 = _mm256_set1_epi16((short)(flatChannel(it.b) + 1));
  const __m256i green1 = _mm256_set1_epi16((short)(flatChannel(it.g) + 1));
  const __m256i red1 = _mm256_set1_epi16((short)(flatChannel(it.r) + 1));
  const bool opaque = alpha == 255;
  const __m256i alpha8 = _mm256_set1_epi16((short)(opaque ? 0 : (alpha + 1) << 8));

  const BoardTexture &t = *p.tex;
  const int pitch = t.pitch;
  const uint16_t *inside = t.texels565.data() + pitch + 1;
  const __m256i pitchWeights = _mm256_set1_epi32(1 | pitch << 16);
  // Pixels 0-7 of the group in the low vectors, 8-15 in the high ones.
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i du = _mm256_set1_epi32(it.du), dv = _mm256_set1_epi32(it.dv);
  const __m256i uLanes = _mm256_mullo_epi32(lanes, du), vLanes = _mm256_mullo_epi32(lanes, dv);
  const __m256i uEight = _mm256_slli_epi32(du, 3), vEight = _mm256_slli_epi32(dv, 3);
  const __m256i lowWord = _mm256_set1_epi32(0xFFFF);
  const __m256i w256 = _mm256_set1_epi16(256);

  // Pixels four apart share a dither position, in either order.
  const bool dither = p.ditherMode != GR_DITHER_DISABLE;
  auto offsetsFrom = [&](int x) __attribute__((target("avx2"))) {
    return _mm256_set1_epi64x((long long)ditherOffsetsOfFour(p.ditherMode, x, y));
  };

  uint16_t *const row = p.target + (size_t)y * p.width + x0;
  // The pixels of the group from pixel i of the span, in their own order.
  auto group = [&](int i, __m256i offset) __attribute__((target("avx2"), always_inline)) {
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
    const __m256i fu = _mm256_srli_epi16(
        _mm256_packus_epi32(_mm256_and_si256(uLow, lowWord), _mm256_and_si256(uHigh, lowWord)), 8);
    const __m256i fv = _mm256_srli_epi16(
        _mm256_packus_epi32(_mm256_and_si256(vLow, lowWord), _mm256_and_si256(vHigh, lowWord)), 8);
    const __m256i nu = _mm256_sub_epi16(w256, fu), nv = _mm256_sub_epi16(w256, fv);
    // The tap pairs of the upper and the lower row, of pixels 0-7 and 8-15;
    // then each tap, in the group's order.
    const __m256i top0 = _mm256_i32gather_epi32((const int *)inside, atLow, 2);
    const __m256i top1 = _mm256_i32gather_epi32((const int *)inside, atHigh, 2);
    const __m256i bottom0 = _mm256_i32gather_epi32((const int *)(inside + pitch), atLow, 2);
    const __m256i bottom1 = _mm256_i32gather_epi32((const int *)(inside + pitch), atHigh, 2);
    const __m256i t00 = _mm256_packus_epi32(_mm256_and_si256(top0, lowWord), _mm256_and_si256(top1, lowWord));
    const __m256i t01 = _mm256_packus_epi32(_mm256_srli_epi32(top0, 16), _mm256_srli_epi32(top1, 16));
    const __m256i t10 = _mm256_packus_epi32(_mm256_and_si256(bottom0, lowWord), _mm256_and_si256(bottom1, lowWord));
    const __m256i t11 = _mm256_packus_epi32(_mm256_srli_epi32(bottom0, 16), _mm256_srli_epi32(bottom1, 16));
    auto filtered = [&](__m256i a, __m256i b, __m256i c, __m256i d, __m256i colour1)
        __attribute__((target("avx2"))) {
      return filteredTimes(a, b, c, d, nu, fu, nv, fv, colour1);
    };
    const __m256i blue = filtered(blueOf(t00), blueOf(t01), blueOf(t10), blueOf(t11), blue1);
    const __m256i green = filtered(greenOf(t00), greenOf(t01), greenOf(t10), greenOf(t11), green1);
    const __m256i red = filtered(redOf(t00), redOf(t01), redOf(t10), redOf(t11), red1);

    __m256i stored = _mm256_setzero_si256();
    if (Blend != BlendNone && Blend != BlendScaled)
      stored = _mm256_permute4x64_epi64(_mm256_loadu_si256((const __m256i *)pixel), 0xD8);
    const __m256i packed = blendedPixels<Blend>(blue, green, red, stored, opaque, alpha8, dither, offset);
    return _mm256_permute4x64_epi64(packed, 0xD8);
  };

  // Groups of 16 from the start; a span that does not end with one ends with a
  // group of its last 16 pixels, worked out from the pixels as they were
  // before the group it overlaps is stored.
  const __m256i offset = offsetsFrom(x0);
  const int whole = count & ~15;
  // The next row's pixels here are likely the next span's.
  for (int x = 0; x < count; x += 32)
    _mm_prefetch((const char *)(row + p.width + x), _MM_HINT_T0);
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

// spriteRowsAvx512 with 256-bit vectors: sixteen pixels at a time, in the
// lane order of spanPlanarAvx2; a row's last group of fewer than sixteen
// reads and writes its pixels through a copy.
__attribute__((target("avx2"))) void spriteRowsAvx2(const SpriteRow *rows, int n,
                                                    const SpriteLook &look) {
  const __m256i blue1 = _mm256_set1_epi16((short)(look.blue + 1));
  const __m256i green1 = _mm256_set1_epi16((short)(look.green + 1));
  const __m256i red1 = _mm256_set1_epi16((short)(look.red + 1));
  const bool opaque = look.alpha == 255;
  const __m256i alpha8 = _mm256_set1_epi16((short)(opaque ? 0 : (look.alpha + 1) << 8));
  const int pitch = look.pitch;
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i du = _mm256_set1_epi32(look.du);
  const __m256i uLanes = _mm256_mullo_epi32(lanes, du), uEight = _mm256_slli_epi32(du, 3);
  const __m256i lowWord = _mm256_set1_epi32(0xFFFF);
  const __m256i w256 = _mm256_set1_epi16(256);

  for (const SpriteRow *row = rows; row < rows + n; ++row) {
    const __m256i fv = _mm256_set1_epi16((short)row->fv), nv = _mm256_sub_epi16(w256, fv);
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
      const __m256i fu = _mm256_srli_epi16(
          _mm256_packus_epi32(_mm256_and_si256(uLow, lowWord), _mm256_and_si256(uHigh, lowWord)), 8);
      const __m256i nu = _mm256_sub_epi16(w256, fu);
      const __m256i t00 = _mm256_packus_epi32(_mm256_and_si256(top0, lowWord), _mm256_and_si256(top1, lowWord));
      const __m256i t01 = _mm256_packus_epi32(_mm256_srli_epi32(top0, 16), _mm256_srli_epi32(top1, 16));
      const __m256i t10 = _mm256_packus_epi32(_mm256_and_si256(bottom0, lowWord), _mm256_and_si256(bottom1, lowWord));
      const __m256i t11 = _mm256_packus_epi32(_mm256_srli_epi32(bottom0, 16), _mm256_srli_epi32(bottom1, 16));
      auto filtered = [&](__m256i a, __m256i b, __m256i c, __m256i d, __m256i colour1)
          __attribute__((target("avx2"))) {
        return filteredTimes(a, b, c, d, nu, fu, nv, fv, colour1);
      };
      const __m256i blue = filtered(blueOf(t00), blueOf(t01), blueOf(t10), blueOf(t11), blue1);
      const __m256i green = filtered(greenOf(t00), greenOf(t01), greenOf(t10), greenOf(t11), green1);
      const __m256i red = filtered(redOf(t00), redOf(t01), redOf(t10), redOf(t11), red1);
      const __m256i packed = _mm256_permute4x64_epi64(
          blendedPixels<BlendAdd>(blue, green, red, stored, opaque, alpha8, false, _mm256_setzero_si256()),
          0xD8);
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
__attribute__((target("avx2"))) bool spanGreyAvx2(const Pipe &p, int x0, int x1, int y,
                                                  const SpanIter &it) {
  const int last = x1 - x0;
  uint16_t *row = p.target + (size_t)y * p.width + x0;
  const BoardTexture &t = *p.tex;
  const int pitch = t.pitch;
  // The quads from the first texel inside the border.
  const int *quads = reinterpret_cast<const int *>(t.quads.data()) + pitch + 1;
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
  // A quad's taps t00 t01 and t10 t11 into the 16-bit halves of each lane.
  const __m256i topTaps = _mm256_set_epi32(0x800D800C, 0x80098008, 0x80058004, 0x80018000,
                                           0x800D800C, 0x80098008, 0x80058004, 0x80018000);
  const __m256i bottomTaps = _mm256_set_epi32(0x800F800E, 0x800B800A, 0x80078006, 0x80038002,
                                              0x800F800E, 0x800B800A, 0x80078006, 0x80038002);
  // The second byte of each lane, to its low or its high half.
  const __m256i toLow = _mm256_set_epi32((int)0x8080800D, (int)0x80808009, (int)0x80808005,
                                         (int)0x80808001, (int)0x8080800D, (int)0x80808009,
                                         (int)0x80808005, (int)0x80808001);
  const __m256i toHigh = _mm256_set_epi32((int)0x800D8080, (int)0x80098080, (int)0x80058080,
                                          (int)0x80018080, (int)0x800D8080, (int)0x80098080,
                                          (int)0x80058080, (int)0x80018080);
  // Each lane's second byte into both its halves; those times -1 and 1, plus
  // 256 in the low half, are the weights (f << 16) | (256 - f).
  const __m256i fractionTwice = _mm256_setr_epi32((int)0x80018001, (int)0x80058005, (int)0x80098009,
                                                  (int)0x800D800D, (int)0x80018001, (int)0x80058005,
                                                  (int)0x80098009, (int)0x800D800D);
  const __m256i signs = _mm256_set1_epi32(0x0001FFFF);
  const __m256i w256 = _mm256_set1_epi32(256);
  // The low half of each lane to the lane's first eight bytes.
  const __m256i lowHalves = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -128, -128, -128, -128, -128,
                                             -128, -128, -128, 0, 1, 4, 5, 8, 9, 12, 13, -128, -128,
                                             -128, -128, -128, -128, -128, -128);
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
  auto floorCoord = [&](__m256 f) __attribute__((target("avx2"), always_inline)) {
    return _mm256_sub_epi32(_mm256_cvttps_epi32(_mm256_floor_ps(f)), half);
  };
  // The coordinates of pixels i to i + 7, the last pixel repeated past the
  // span's end; false when a tap leaves the border.
  auto coordinates = [&](int i, __m256i &u, __m256i &v) __attribute__((target("avx2"), always_inline)) {
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
  auto tableIndex = [&](__m256i u, __m256i v) __attribute__((target("avx2"), always_inline)) {
    // The whole parts of u and v, in the low and the high half of each lane,
    // give the offset from the first texel inside the border.
    const __m256i whole = _mm256_blend_epi16(_mm256_srli_epi32(u, 16), v, 0xAA);
    const __m256i offset = _mm256_madd_epi16(whole, pitchWeights);
    const __m256i quad = _mm256_i32gather_epi32(quads, offset, 4);
    const __m256i top = _mm256_shuffle_epi8(quad, topTaps);
    const __m256i bottom = _mm256_shuffle_epi8(quad, bottomTaps);
    const __m256i wu = _mm256_add_epi16(_mm256_sign_epi16(_mm256_shuffle_epi8(u, fractionTwice), signs), w256);
    const __m256i wv = _mm256_add_epi16(_mm256_sign_epi16(_mm256_shuffle_epi8(v, fractionTwice), signs), w256);
    // The across sums are below 65536: their second bytes are the across values.
    const __m256i across = _mm256_or_si256(_mm256_shuffle_epi8(_mm256_madd_epi16(top, wu), toLow),
                                           _mm256_shuffle_epi8(_mm256_madd_epi16(bottom, wu), toHigh));
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_madd_epi16(across, wv), position), 8);
  };

  __m256i u, v;
  if (!coordinates(0, u, v))
    return false;
  __m256i index = tableIndex(u, v);
  if (8 <= last && !coordinates(8, u, v))
    return false;
  for (int i = 0; i <= last; i += 8) {
    const __m256i now = index;
    if (i + 8 <= last) {
      index = tableIndex(u, v);
      if (i + 16 <= last && !coordinates(i + 16, u, v))
        return false;
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
      if (n & 1)
        *to = (uint16_t)_mm_cvtsi128_si32(eight);
    }
  }
  return true;
}

// spanGreyAvx2 sixteen pixels at a time with 512-bit vectors. The work on
// each sixteen is a long chain (a division, the quads, the filter, the
// table), so the loop runs three sixteens at once, each a step further on:
// the coordinates of one, the filter of the one before, the table reads of
// the one before that. The quads of a sixteen usually lie within sixteen of
// one row and sixteen of the next, taken from two loads in registers, rather
// than gathered one by one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
template <int Tex>
__attribute__((target("avx512f,avx512bw"))) bool spanGreyAvx512(const Pipe &p, int x0, int x1,
                                                                 int y, const SpanIter &it) {
  const int last = x1 - x0;
  uint16_t *row = p.target + (size_t)y * p.width + x0;
  const BoardTexture &t = *p.tex;
  const int pitch = t.pitch;
  const int *quads = reinterpret_cast<const int *>(t.quads.data());
  const int *rowTable = reinterpret_cast<const int *>(p.grey + ((y & 3) << 10));
  const __m512 lanes = _mm512_setr_ps(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m512 lastLane = _mm512_set1_ps((float)last);
  // Entry (x & 3) * 256 of each lane's dither position, times 256 as the
  // filter's sum is: sixteens start a multiple of four pixels apart.
  const __m512i position = _mm512_slli_epi32(
      _mm512_and_si512(_mm512_add_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                        _mm512_set1_epi32(x0)),
                       _mm512_set1_epi32(3)),
      16);
  // A quad's taps t00 t01 and t10 t11 into the 16-bit halves of each lane.
  const __m512i topTaps = _mm512_set4_epi32(0x800D800C, 0x80098008, 0x80058004, 0x80018000);
  const __m512i bottomTaps = _mm512_set4_epi32(0x800F800E, 0x800B800A, 0x80078006, 0x80038002);
  // The second byte of each lane, to its low or its high half.
  const __m512i toLow = _mm512_set4_epi32((int)0x8080800D, (int)0x80808009, (int)0x80808005, (int)0x80808001);
  const __m512i toHigh = _mm512_set4_epi32((int)0x800D8080, (int)0x80098080, (int)0x80058080, (int)0x80018080);
  // Each lane's second byte into both its halves; the low one taken from 256
  // gives the weights (f << 16) | (256 - f).
  const __m512i fractionTwice = _mm512_set4_epi32((int)0x800D800D, (int)0x80098009, (int)0x80058005, (int)0x80018001);
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
  const __m512i windowSize = _mm512_set1_epi32(16 | 2 << 16);
  const __m512i windowWeights = _mm512_set1_epi32(1 | 16 << 16);

  // The coordinates of pixels i to i + 15, the last pixel repeated past the
  // span's end; false when a tap leaves the border.
  auto coordinates = [&](int i, __m512i &u, __m512i &v)
      __attribute__((target("avx512f,avx512bw"), always_inline)) {
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
  // The grey table's index of each pixel: its dither position and its level.
  auto tableIndex = [&](__m512i u, __m512i v) __attribute__((target("avx512f,avx512bw"), always_inline)) {
    // The whole parts of u and v, in the low and the high half of each lane.
    const __m512i whole = _mm512_mask_blend_epi16(0xAAAAAAAAu, _mm512_srli_epi32(u, 16), v);
    // Where they lie within sixteen columns and two rows of the lowest
    // column and row of the first and the last pixel (those between are
    // most likely between too), the quads come from two loads.
    const __m512i corner = _mm512_min_epu16(_mm512_broadcastd_epi32(_mm512_castsi512_si128(whole)),
                                            _mm512_permutexvar_epi32(lastPixel, whole));
    const __m512i within = _mm512_sub_epi16(whole, corner);
    __m512i quad;
    if (_mm512_cmplt_epu16_mask(within, windowSize) == 0xFFFFFFFFu) {
      const uint32_t c = (uint32_t)_mm_cvtsi128_si32(_mm512_castsi512_si128(corner));
      const int *from = quads + (c & 0xFFFF) + (c >> 16) * pitch;
      quad = _mm512_permutex2var_epi32(_mm512_loadu_si512(from), _mm512_madd_epi16(within, windowWeights),
                                       _mm512_loadu_si512(from + pitch));
    } else {
      quad = _mm512_i32gather_epi32(_mm512_madd_epi16(whole, pitchWeights), quads, 4);
    }
    const __m512i top = _mm512_shuffle_epi8(quad, topTaps);
    const __m512i bottom = _mm512_shuffle_epi8(quad, bottomTaps);
    const __m512i fu = _mm512_shuffle_epi8(u, fractionTwice);
    const __m512i fv = _mm512_shuffle_epi8(v, fractionTwice);
    const __m512i wu = _mm512_mask_sub_epi16(fu, nearTaps, w256, fu);
    const __m512i wv = _mm512_mask_sub_epi16(fv, nearTaps, w256, fv);
    // The across sums are below 65536: their second bytes are the across values.
    const __m512i across = _mm512_or_si512(_mm512_shuffle_epi8(_mm512_madd_epi16(top, wu), toLow),
                                           _mm512_shuffle_epi8(_mm512_madd_epi16(bottom, wu), toHigh));
    return _mm512_srli_epi32(_mm512_add_epi32(_mm512_madd_epi16(across, wv), position), 8);
  };

  __m512i u, v;
  if (!coordinates(0, u, v))
    return false;
  __m512i index = tableIndex(u, v);
  if (16 <= last && !coordinates(16, u, v))
    return false;
  for (int i = 0; i <= last; i += 16) {
    const __m512i now = index;
    if (i + 16 <= last) {
      index = tableIndex(u, v);
      if (i + 32 <= last && !coordinates(i + 32, u, v))
        return false;
    }
    // The low half of each entry, into the pixels of the span.
    const __mmask16 store = i + 16 <= last + 1 ? (__mmask16)0xFFFF : (__mmask16)((1u << (last + 1 - i)) - 1);
    _mm512_mask_cvtepi32_storeu_epi16(row + i, store, _mm512_i32gather_epi32(now, rowTable, 2));
  }
  return true;
}
#pragma GCC diagnostic pop

// The first and the last of a table's columns that lie within `lit`, as
// indexes into it; false when none do. The columns run one way, so those
// within are one run.
__attribute__((target("avx512f,avx512bw,avx512vl"))) bool
litColumnsAvx512(const ColumnTable &table, BoardTexture::LitColumns lit, int64_t &first, int64_t &last) {
  const __m512i low = _mm512_set1_epi16(lit.first), high = _mm512_set1_epi16(lit.last);
  const __m512i left = _mm512_load_si512(table.column), right = _mm512_load_si512(table.column + 32);
  const uint64_t within =
      ((uint64_t)(_mm512_cmpge_epi16_mask(left, low) & _mm512_cmple_epi16_mask(left, high)) |
       (uint64_t)(_mm512_cmpge_epi16_mask(right, low) & _mm512_cmple_epi16_mask(right, high)) << 32) &
      table.valid;
  if (within == 0)
    return false;
  first = __builtin_ctzll(within);
  last = 63 - __builtin_clzll(within);
  return true;
}

bool haveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
bool haveAvx512() {
  static const bool have = __builtin_cpu_supports("avx512f") &&
                           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
  return have;
}
#else
bool haveAvx512() { return false; }
bool litColumnsAvx512(const ColumnTable &, BoardTexture::LitColumns, int64_t &, int64_t &) { return false; }
void spriteRowsAvx512(const SpriteRow *, int, const SpriteLook &) {}
void spriteRowsAvx2(const SpriteRow *, int, const SpriteLook &) {}
template <int Tex, int Blend>
int spanGroupsAvx512(const Pipe &, int, int, int, const SpanIter &) { return 0; }
template <int Blend>
int spanPlanarAvx512(const Pipe &, int, int, int, const SpanIter &) { return 0; }
template <int Blend>
int spanPlanarAvx2(const Pipe &, int, int, int, const SpanIter &) { return 0; }
bool haveAvx2() { return false; }
template <int Tex, int Blend>
int spanGroupsAvx2(const Pipe &, int, int, int, const SpanIter &, int first = 0) { return first; }
template <int Tex>
bool spanGreyAvx2(const Pipe &, int, int, int, const SpanIter &) { return false; }
template <int Tex>
bool spanGreyAvx512(const Pipe &, int, int, int, const SpanIter &) { return false; }
#endif

// A span of a texture times a colour, bilinear, whose taps all lie inside
// the texture's border.
template <int Tex, int Comb, int Blend, bool Flat>
void spanInside(const Pipe &p, int x0, int x1, int y, const SpanIter &it) {
  int done = 0;
  if (Flat && x1 - x0 >= 3 && WideVectors && haveAvx2() && !boardReferencePipelineForced()) {
    // One channel to a vector where the texture has its texels as RGB 565.
    const bool planar = Tex == TexAffine && !p.tex->texels565.empty();
    if (WidestVectors && haveAvx512())
      done = planar ? spanPlanarAvx512<Blend>(p, x0, x1, y, it)
                    : spanGroupsAvx512<Tex, Blend>(p, x0, x1, y, it);
    else if (planar)
      done = spanPlanarAvx2<Blend>(p, x0, x1, y, it);
    if (x0 + done <= x1)
      done = spanGroupsAvx2<Tex, Blend>(p, x0, x1, y, it, done);
  }
  if (x0 + done <= x1)
    spanLoop<Tex, Comb, Blend, Flat, true>(p, x0, x1, y, it, done);
}

// Divides by a step of a texel coordinate, d != 0, with its reciprocal.
struct StepDivider {
  int64_t d;
  double inverse;
  explicit StepDivider(int64_t step)
      : d(step < 0 ? -step : step), inverse(d != 0 ? 1.0 / (double)d : 0.0) {}
  // floor(a / |step|), |a| below 2^44: the quotient rounded toward zero,
  // then put right.
  int64_t floor(int64_t a) const {
    int64_t q = (int64_t)((double)a * inverse);
    while (q * d > a)
      --q;
    while ((q + 1) * d <= a)
      ++q;
    return q;
  }
  int64_t ceil(int64_t a) const { return -floor(-a); }
};

// Narrows [first, last], steps along which a texel coordinate runs from u by
// du, to the steps whose taps lie in lit columns. False when none do.
bool litSteps(const BoardTexture::LitColumns &lit, int64_t u, int64_t du, const StepDivider &by,
              int64_t &first, int64_t &last) {
  if (lit.first > lit.last)
    return false;
  // The bordered column of u is (u >> 16) + 1: within the lit columns for u
  // in [low, high].
  const int64_t low = (int64_t)(lit.first - 1) << 16, high = ((int64_t)lit.last << 16) - 1;
  if (du > 0) {
    first = std::max(first, by.ceil(low - u));
    last = std::min(last, by.floor(high - u));
  } else if (du < 0) {
    first = std::max(first, by.ceil(u - high));
    last = std::min(last, by.floor(u - low));
  } else if (u < low || u > high) {
    return false;
  }
  return first <= last;
}

template <int Tex, int Comb, int Blend, bool Flat>
void spanFast(const Pipe &p, int x0, int x1, int y, const SpanIter &it) {
  if (!Flat && !iteratorsFit(it, x1 - x0)) {
    spanReference(p, x0, x1, y, it);
    return;
  }
  if (Comb == CombTexTimesIterated) {
    if (!p.tex->bilinear) {
      spanReference(p, x0, x1, y, it);
      return;
    }
    const int n = x1 - x0;
    bool endsAhead = Tex != TexPerspective || (it.w > 0.0f && it.w + it.dw * (float)n > 0.0f);
    if (endsAhead && Flat && p.grey && WideVectors && !boardReferencePipelineForced()) {
      // The grey spans check their taps as they go; one whose taps leave the
      // border is drawn again the long way (its blend does not read the buffer).
      const bool drawn = WidestVectors && haveAvx512() ? spanGreyAvx512<Tex>(p, x0, x1, y, it)
                                                       : spanGreyAvx2<Tex>(p, x0, x1, y, it);
      if (!drawn)
        spanLoop<Tex, Comb, Blend, Flat, false>(p, x0, x1, y, it);
      return;
    }
    // The taps of the first and the last pixel bound those between.
    int32_t u0 = it.u, v0 = it.v, u1, v1;
    if (Tex == TexPerspective) {
      perspectiveEnds(it, n, u0, v0, u1, v1);
    } else {
      u1 = (int32_t)((int64_t)it.u + (int64_t)it.du * n);
      v1 = (int32_t)((int64_t)it.v + (int64_t)it.dv * n);
    }
    const int64_t uLimit = ((int64_t)p.tex->width << 16) - 1, vLimit = ((int64_t)p.tex->height << 16) - 1;
    auto within = [](int64_t a, int64_t b, int64_t limit) {
      return std::min(a, b) >= -65536 && std::max(a, b) <= limit;
    };
    if (endsAhead && within(u0, u1, uLimit) && within(v0, v1, vLimit)) {
      // Adding black leaves an undithered pixel as it was: a row of an
      // upright sprite is drawn only where its taps have some colour.
      if (Blend == BlendAdd && Tex == TexAffine && it.dv == 0 && p.ditherMode == GR_DITHER_DISABLE &&
          !boardReferencePipelineForced()) {
        int64_t first = 0, last = n;
        if (!litSteps(p.tex->lit[(it.v >> 16) + 1], it.u, it.du, StepDivider(it.du), first, last))
          return;
        SpanIter moved = it;
        moved.u = (int32_t)((uint32_t)it.u + (uint32_t)first * (uint32_t)it.du);
        moved.r += it.dr * first;
        moved.g += it.dg * first;
        moved.b += it.db * first;
        moved.a += it.da * first;
        spanInside<Tex, Comb, Blend, Flat>(p, x0 + (int)first, x0 + (int)last, y, moved);
      } else {
        spanInside<Tex, Comb, Blend, Flat>(p, x0, x1, y, it);
      }
      return;
    }
  }
  spanLoop<Tex, Comb, Blend, Flat, false>(p, x0, x1, y, it);
}

void spanFlatTable(const Pipe &p, int x0, int x1, int y, const SpanIter &) {
  const FlatTables &f = *p.flat;
  uint16_t *row = p.target + (size_t)y * p.width;
  const int base = (y & 3) << 2;
  int x = x0;
  for (; x <= x1 && (x & 3); ++x) {
    unsigned v = row[x];
    int pos = base | (x & 3);
    row[x] = (uint16_t)(f.red[pos][v >> 11] | f.green[pos][(v >> 5) & 63] | f.blue[pos][v & 31]);
  }
  const uint16_t(*R)[32] = f.red + base;
  const uint16_t(*G)[64] = f.green + base;
  const uint16_t(*B)[32] = f.blue + base;
  for (; x + 3 <= x1; x += 4) {
    for (int k = 0; k < 4; ++k) {
      unsigned v = row[x + k];
      row[x + k] = (uint16_t)(R[k][v >> 11] | G[k][(v >> 5) & 63] | B[k][v & 31]);
    }
  }
  for (; x <= x1; ++x) {
    unsigned v = row[x];
    int pos = base | (x & 3);
    row[x] = (uint16_t)(f.red[pos][v >> 11] | f.green[pos][(v >> 5) & 63] | f.blue[pos][v & 31]);
  }
}

template <int Tex, int Comb, bool FlatColour>
SpanFn pickBlend(int blend) {
  switch (blend) {
  case BlendNone: return spanFast<Tex, Comb, BlendNone, FlatColour>;
  case BlendAdd: return spanFast<Tex, Comb, BlendAdd, FlatColour>;
  case BlendScaled: return spanFast<Tex, Comb, BlendScaled, FlatColour>;
  case BlendFade: return spanFast<Tex, Comb, BlendFade, FlatColour>;
  default: return spanFast<Tex, Comb, BlendOneAdd, FlatColour>;
  }
}

template <bool FlatColour>
SpanFn pickCombine(const Pipe &p, int texMode, int blend) {
  if (p.colorCombine == GR_COLORCOMBINE_ITRGB)
    return pickBlend<TexNone, CombIterated, FlatColour>(blend);
  if (texMode == TexPerspective)
    return pickBlend<TexPerspective, CombTexTimesIterated, FlatColour>(blend);
  return pickBlend<TexAffine, CombTexTimesIterated, FlatColour>(blend);
}

// The span routine for the current state, or the reference path; the tables
// it needs, if any, go into the pipe.
SpanFn pickSpan(Pipe &p, int texMode, const SpanIter &it, int64_t area) {
  if (!p.rgbMask)
    return nullptr;
  int blend = p.blendMode;
  bool simple = blend >= 0 && p.alphaSource == GR_ALPHASOURCE_ITERATED_ALPHA &&
                !boardReferencePipelineForced();
  bool iteratedOnly = p.colorCombine == GR_COLORCOMBINE_ITRGB;
  bool textured = p.colorCombine == GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB &&
                  p.texCombine == GR_TEXTURECOMBINE_DECAL && p.tex && texMode != TexNone;
  if (!simple || !(iteratedOnly || textured))
    return spanReference;
  if (it.flat && iteratedOnly && area >= 4096) {
    int a = channel(it.a);
    if (!p.alphaPass[a])
      return nullptr;
    p.flat = flatTablesFor(blend, channel(it.r), channel(it.g), channel(it.b), a, p.ditherMode);
    return spanFlatTable;
  }
  if (it.flat && textured && p.tex->grey && p.tex->bilinear &&
      (blend == BlendNone || blend == BlendScaled) && haveAvx2()) {
    int a = channel(it.a);
    if (!p.alphaPass[a])
      return nullptr;
    p.grey = greyTableFor(blend, channel(it.r), channel(it.g), channel(it.b), a, p.ditherMode);
  }
  return it.flat ? pickCombine<true>(p, texMode, blend) : pickCombine<false>(p, texMode, blend);
}

// ---- Edges --------------------------------------------------------------------------

// Follows q = ceil(N / D) while N grows by a fixed step each row.
struct CeilStepper {
  int64_t q, r, D, stepQ, stepR; // N = q * D - r, 0 <= r < D
  void start(int64_t N, int64_t d, int64_t step) {
    D = d;
    q = ceilDiv(N, D);
    r = q * D - N;
    stepQ = ceilDiv(step, D);
    stepR = stepQ * D - step;
  }
  void advance() {
    q += stepQ;
    r += stepR;
    if (r >= D) {
      r -= D;
      q -= 1;
    }
  }
};

// A pixel centre (px, py) in sixteenths is inside an edge of a
// counter-clockwise triangle when dx * (py - Y0) - dy * (px - X0) + bias >= 0,
// bias 0 on left and top edges and -1 on the others (which own no centre on them).
struct EdgeWalk {
  int kind; // +1: bounds x from below, -1: from above, 0: horizontal
  CeilStepper s;
  int64_t k, kStep; // horizontal edges: k + bias >= 0 inside
};

void setupEdge(const FixedVertex &from, const FixedVertex &to, int64_t firstRow, EdgeWalk &e) {
  int64_t dx = to.X - from.X, dy = to.Y - from.Y;
  int64_t bias = (dy < 0 || (dy == 0 && dx < 0)) ? 0 : -1;
  int64_t py = 16 * firstRow + 8;
  // k(py) = dx * (py - Y0) + dy * X0 + bias; inside: k - dy * px >= 0.
  int64_t k = dx * (py - from.Y) + dy * from.X + bias;
  int64_t kStep = 16 * dx;
  if (dy < 0) {
    // px >= ceil(-k / a) with a = -dy; x = ceil((px_min - 8) / 16), so
    // x >= ceil((-k - 8a) / 16a).
    int64_t a = -dy;
    e.kind = 1;
    e.s.start(-k - 8 * a, 16 * a, -kStep);
  } else if (dy > 0) {
    // px <= floor(k / dy); x <= floor((k - 8 dy) / 16 dy) = -ceil((8 dy - k) / 16 dy).
    e.kind = -1;
    e.s.start(8 * dy - k, 16 * dy, -kStep);
  } else {
    e.kind = 0;
    e.k = k;
    e.kStep = kStep;
  }
}

// The fixed-point iterators of a set of planes, anchored at the centre of
// pixel (xr, yr): the value at pixel (x, y) is base + (x - xr) * dX + (y - yr) * dY.
struct Iterators {
  SpanIter base;
  int64_t rY, gY, bY, aY;
  int64_t u0, v0, uX, vX, uY, vY;

  bool sameAs(const Iterators &o) const {
    const SpanIter &a = base, &b = o.base;
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a && a.dr == b.dr &&
           a.dg == b.dg && a.db == b.db && a.da == b.da && rY == o.rY && gY == o.gY &&
           bY == o.bY && aY == o.aY && u0 == o.u0 && v0 == o.v0 && uX == o.uX && vX == o.vX &&
           uY == o.uY && vY == o.vY && a.texMode == b.texMode;
  }
};

Iterators makeIterators(const Pipe &p, const Planes &pl, int64_t xr, int64_t yr) {
  Iterators its;
  SpanIter &base = its.base;
  const double cx = xr + 0.5, cy = yr + 0.5;
  base.r = fixed16(evalPlane(pl.r, pl, cx, cy)); base.dr = fixed16(pl.r.dx); its.rY = fixed16(pl.r.dy);
  base.g = fixed16(evalPlane(pl.g, pl, cx, cy)); base.dg = fixed16(pl.g.dx); its.gY = fixed16(pl.g.dy);
  base.b = fixed16(evalPlane(pl.b, pl, cx, cy)); base.db = fixed16(pl.b.dx); its.bY = fixed16(pl.b.dy);
  base.a = fixed16(evalPlane(pl.a, pl, cx, cy)); base.da = fixed16(pl.a.dx); its.aY = fixed16(pl.a.dy);
  base.flat = base.dr == 0 && base.dg == 0 && base.db == 0 && base.da == 0 && its.rY == 0 &&
              its.gY == 0 && its.bY == 0 && its.aY == 0;
  base.u = base.v = base.du = base.dv = 0;
  base.sw = base.tw = base.w = base.dsw = base.dtw = base.dw = 0.0f;
  base.scale = p.tex ? p.tex->scale : 1.0f;
  base.texMode = pl.texMode;
  its.u0 = its.v0 = its.uX = its.vX = its.uY = its.vY = 0;
  if (pl.texMode == TexAffine) {
    auto nearest = [](double v) { return fixed16(v / 65536.0); }; // already fixed point
    its.u0 = nearest(evalPlane(pl.s, pl, cx, cy));
    its.v0 = nearest(evalPlane(pl.t, pl, cx, cy));
    its.uX = nearest(pl.s.dx);
    its.vX = nearest(pl.t.dx);
    its.uY = nearest(pl.s.dy);
    its.vY = nearest(pl.t.dy);
    base.du = clamp32(its.uX);
    base.dv = clamp32(its.vX);
  }
  return its;
}

// The anchor of a shape: the first pixel of its bounding box on the screen.
void anchorOf(const FixedVertex *v, int n, int64_t &xr, int64_t &yr) {
  int64_t minX = v[0].X, minY = v[0].Y;
  for (int i = 1; i < n; ++i) {
    minX = std::min(minX, v[i].X);
    minY = std::min(minY, v[i].Y);
  }
  xr = std::max<int64_t>(0, ceilDiv(minX - 8, 16));
  yr = std::max<int64_t>(0, ceilDiv(minY - 8, 16));
}

// A convex polygon ready to rasterise: everything fixed at the draw call.
struct ConvexShape {
  Pipe p;
  Planes pl;
  Iterators its;
  int64_t xr, yr, y0, y1, bx0, bx1;
  SpanFn span;
  bool sprite; // an upright glow (uprightGlow), drawn by runSprite
  int n;       // vertices, which follow the record
  const FixedVertex *v() const { return reinterpret_cast<const FixedVertex *>(this + 1); }
  FixedVertex *v() { return reinterpret_cast<FixedVertex *>(this + 1); }
};

// Calls row(y, lo, hi) for each row y of the shape that the pipe's band
// owns with pixels lo to hi inside it.
template <class Row> void eachRow(const ConvexShape &s, const Pipe &p, Row row) {
  const int n = s.n;
  EdgeWalk edges[MaxPolygon];
  // Edges start exactly at any row, so a band starts at its own first row.
  const int64_t y0 = std::max<int64_t>(s.y0, p.band.first);
  const int64_t y1 = std::min<int64_t>(s.y1, p.band.last);
  for (int i = 0; i < n; ++i)
    setupEdge(s.v()[i], s.v()[(i + 1) % n], y0, edges[i]);
  // An edge that keeps its column from row to row (an upright one) bounds
  // every row alike. When every edge is upright or level, as a glow
  // sprite's are, the rows share one span, and only the level edges are
  // followed from row to row.
  int64_t boxLo = s.bx0, boxHi = s.bx1;
  int levels[MaxPolygon], levelCount = 0;
  bool boxed = true;
  for (int i = 0; i < n && boxed; ++i) {
    const EdgeWalk &e = edges[i];
    if (e.kind == 0)
      levels[levelCount++] = i;
    else if (e.s.stepQ != 0 || e.s.stepR != 0)
      boxed = false;
    else if (e.kind > 0)
      boxLo = std::max(boxLo, e.s.q);
    else
      boxHi = std::min(boxHi, -e.s.q);
  }
  if (boxed) {
    if (boxLo > boxHi)
      return;
    for (int64_t y = y0; y <= y1; ++y) {
      bool empty = false;
      for (int k = 0; k < levelCount; ++k) {
        EdgeWalk &e = edges[levels[k]];
        empty |= e.k < 0;
        e.k += e.kStep;
      }
      if (!empty)
        row(y, boxLo, boxHi);
    }
    return;
  }
  for (int64_t y = y0; y <= y1; ++y) {
    int64_t lo = s.bx0, hi = s.bx1;
    bool empty = false;
    for (int i = 0; i < n; ++i) {
      EdgeWalk &e = edges[i];
      if (e.kind > 0) {
        lo = std::max(lo, e.s.q);
        e.s.advance();
      } else if (e.kind < 0) {
        hi = std::min(hi, -e.s.q);
        e.s.advance();
      } else {
        empty |= e.k < 0;
        e.k += e.kStep;
      }
    }
    if (!empty && lo <= hi)
      row(y, lo, hi);
  }
}

// The rows of the shape that the pipe's band owns.
void runConvex(const ConvexShape &s, const Pipe &p) {
  const Plane &ps = s.pl.s, &pt = s.pl.t, &pw = s.pl.w;
  const SpanIter &base = s.its.base;
  const Iterators &its = s.its;
  eachRow(s, p, [&](int64_t y, int64_t lo, int64_t hi) __attribute__((always_inline)) {
    SpanIter it = base;
    const int64_t ox = lo - s.xr, oy = y - s.yr;
    it.r = base.r + ox * base.dr + oy * its.rY;
    it.g = base.g + ox * base.dg + oy * its.gY;
    it.b = base.b + ox * base.db + oy * its.bY;
    it.a = base.a + ox * base.da + oy * its.aY;
    if (s.pl.texMode == TexAffine) {
      it.u = clamp32(its.u0 + ox * its.uX + oy * its.uY);
      it.v = clamp32(its.v0 + ox * its.vX + oy * its.vY);
    } else if (s.pl.texMode == TexPerspective) {
      const double px = lo + 0.5, pyc = y + 0.5;
      it.sw = (float)evalPlane(ps, s.pl, px, pyc);
      it.tw = (float)evalPlane(pt, s.pl, px, pyc);
      it.w = (float)evalPlane(pw, s.pl, px, pyc);
      it.dsw = (float)ps.dx;
      it.dtw = (float)pt.dx;
      it.dw = (float)pw.dx;
    }
    s.span(p, (int)lo, (int)hi, (int)y, it);
  });
}

// Whether the shape is an upright glow sprite that runSprite may draw: a
// flat colour times an affine 565 texture, v fixed along each row and u down
// each column, every tap inside the texture's border, added (source alpha,
// one) without dither, with 256-bit vectors or wider.
bool uprightGlow(const ConvexShape &s) {
  const Pipe &p = s.p;
  const Iterators &its = s.its;
  if (s.span != spanFast<TexAffine, CombTexTimesIterated, BlendAdd, true> ||
      p.ditherMode != GR_DITHER_DISABLE || !WideVectors || !haveAvx2() ||
      its.vX != 0 || its.uY != 0 || !p.tex->bilinear || p.tex->texels565.empty())
    return false;
  auto inside = [](int64_t a, int64_t b, int64_t limit) {
    return std::min(a, b) >= -65536 && std::max(a, b) <= limit;
  };
  return inside(its.u0 + (s.bx0 - s.xr) * its.uX, its.u0 + (s.bx1 - s.xr) * its.uX,
                ((int64_t)p.tex->width << 16) - 1) &&
         inside(its.v0 + (s.y0 - s.yr) * its.vY, its.v0 + (s.y1 - s.yr) * its.vY,
                ((int64_t)p.tex->height << 16) - 1);
}

// The rows of an upright glow sprite that the pipe's band owns, each drawn
// only where its taps have some colour (adding black leaves an undithered
// pixel as it was), gathered up and drawn a batch at a time.
void runSprite(const ConvexShape &s, const Pipe &p) {
  const BoardTexture &t = *p.tex;
  const Iterators &its = s.its;
  const SpanIter &base = s.its.base;
  const SpriteLook look{base.du, t.pitch, flatChannel(base.r), flatChannel(base.g),
                        flatChannel(base.b), flatChannel(base.a)};
  if (!p.alphaPass[look.alpha])
    return;
  const uint16_t *inside = t.texels565.data() + t.pitch + 1;
  const auto draw = WidestVectors && haveAvx512() ? spriteRowsAvx512 : spriteRowsAvx2;
  constexpr int Batch = 64;
  SpriteRow rows[Batch];
  int n = 0;
  // The pixels whose taps lie in the last lit columns looked up: found by
  // comparing a narrow sprite's columns, else by dividing.
  const StepDivider by(its.uX);
  const int64_t width = s.bx1 - s.bx0 + 1;
  const bool compared = width >= 1 && width <= 64 && WidestVectors && haveAvx512();
  ColumnTable table;
  if (compared) {
    table.valid = width == 64 ? ~(uint64_t)0 : ((uint64_t)1 << width) - 1;
    const int64_t du = its.uX;
    int64_t u = its.u0 + (s.bx0 - s.xr) * du;
    for (int64_t k = 0; k < width; ++k, u += du)
      table.column[k] = (int16_t)((u >> 16) + 1);
    std::fill(table.column + width, table.column + 64, (int16_t)0);
  }
  BoardTexture::LitColumns seen{1, 0};
  int64_t litFirst = 0, litLast = -1;
  eachRow(s, p, [&](int64_t y, int64_t lo, int64_t hi) __attribute__((always_inline)) {
    const int32_t v = (int32_t)(its.v0 + (y - s.yr) * its.vY);
    const BoardTexture::LitColumns lit = t.lit[(v >> 16) + 1];
    if (lit.first != seen.first || lit.last != seen.last) {
      seen = lit;
      if (compared) {
        int64_t first, last;
        const bool any = litColumnsAvx512(table, lit, first, last);
        litFirst = s.bx0 + (any ? first : 0);
        litLast = any ? s.bx0 + last : litFirst - 1;
      } else {
        litFirst = s.bx0;
        litLast = s.bx1;
        if (!litSteps(lit, its.u0 - s.xr * its.uX, its.uX, by, litFirst, litLast))
          litLast = litFirst - 1;
      }
    }
    const int64_t x0 = std::max(lo, litFirst), x1 = std::min(hi, litLast);
    if (x0 > x1)
      return;
    rows[n++] = SpriteRow{p.target + (size_t)y * p.width + x0, inside + (v >> 16) * t.pitch,
                          (int32_t)(its.u0 + (x0 - s.xr) * its.uX), (int)(x1 - x0 + 1),
                          (v & 0xFFFF) >> 8};
    if (n == Batch) {
      draw(rows, n, look);
      n = 0;
    }
  });
  if (n > 0)
    draw(rows, n, look);
}

// The rows of the shape that the pipe's band owns, each the way the shape
// is drawn.
void runShape(const ConvexShape &s, const Pipe &p) {
  if (s.sprite)
    runSprite(s, p);
  else
    runConvex(s, p);
}

void runConvexJob(const void *job, const Band &band) {
  const ConvexShape &s = *static_cast<const ConvexShape *>(job);
  Pipe p = s.p;
  p.band = band;
  runShape(s, p);
}

// Rasterises the convex polygon v[0..n-1], counter-clockwise with y up: at
// once on one thread, or recorded for the drawing threads.
void rasterConvex(const Pipe &p, const FixedVertex *v, int n, const Planes &pl,
                  const Iterators &its, int64_t xr, int64_t yr) {
  int64_t minX = v[0].X, maxX = v[0].X, minY = v[0].Y, maxY = v[0].Y;
  for (int i = 1; i < n; ++i) {
    minX = std::min(minX, v[i].X);
    maxX = std::max(maxX, v[i].X);
    minY = std::min(minY, v[i].Y);
    maxY = std::max(maxY, v[i].Y);
  }
  const int64_t y0 = std::max<int64_t>(0, ceilDiv(minY - 8, 16));
  const int64_t y1 = std::min<int64_t>(p.height - 1, floorDiv(maxY - 8, 16));
  const int64_t bx0 = std::max<int64_t>(0, ceilDiv(minX - 8, 16));
  const int64_t bx1 = std::min<int64_t>(p.width - 1, floorDiv(maxX - 8, 16));
  if (y0 > y1 || bx0 > bx1)
    return;
  Pipe q = p;
  SpanFn span = pickSpan(q, pl.texMode, its.base, (bx1 - bx0 + 1) * (y1 - y0 + 1));
  if (!span)
    return;
  const size_t bytes = sizeof(ConvexShape) + sizeof(FixedVertex) * (size_t)n;
  alignas(16) unsigned char local[sizeof(ConvexShape) + sizeof(FixedVertex) * MaxPolygon];
  const bool record = boardRecording();
  ConvexShape *s =
      new (record ? boardRecordJob(runConvexJob, bytes, (int)y0, (int)y1) : local) ConvexShape;
  s->p = q;
  s->pl = pl;
  s->its = its;
  s->xr = xr;
  s->yr = yr;
  s->y0 = y0;
  s->y1 = y1;
  s->bx0 = bx0;
  s->bx1 = bx1;
  s->span = span;
  s->n = n;
  for (int i = 0; i < n; ++i)
    s->v()[i] = v[i];
  s->sprite = uprightGlow(*s);
  if (!record)
    runShape(*s, s->p);
}

inline int64_t signedArea(const FixedVertex &a, const FixedVertex &b, const FixedVertex &c) {
  return (b.X - a.X) * (c.Y - a.Y) - (c.X - a.X) * (b.Y - a.Y);
}

// One triangle with its planes, anchored at (xr, yr).
void rasterTriangle(const Pipe &p, FixedVertex a, FixedVertex b, FixedVertex c, const Planes &pl,
                    int64_t xr, int64_t yr) {
  int64_t area = signedArea(a, b, c);
  if (area == 0)
    return;
  if (area < 0)
    std::swap(b, c);
  const FixedVertex v[3] = {a, b, c};
  rasterConvex(p, v, 3, pl, makeIterators(p, pl, xr, yr), xr, yr);
}

// Whether the polygon is strictly convex; its winding in sign (+1 counter-clockwise).
bool strictlyConvex(const FixedVertex *v, int n, int &sign) {
  sign = 0;
  for (int i = 0; i < n; ++i) {
    int64_t turn = signedArea(v[i], v[(i + 1) % n], v[(i + 2) % n]);
    int s = turn > 0 ? 1 : (turn < 0 ? -1 : 0);
    if (s == 0 || (sign != 0 && s != sign))
      return false;
    sign = s;
  }
  // Turns all one way can still wind round more than once (a star): going
  // round once, x and y each change direction exactly twice.
  auto reversals = [&](bool alongX) {
    int count = 0, last = 0;
    for (int i = 0; i <= n; ++i) {
      const FixedVertex &a = v[i % n], &b = v[(i + 1) % n];
      int64_t d = alongX ? b.X - a.X : b.Y - a.Y;
      int s = d > 0 ? 1 : (d < 0 ? -1 : 0);
      if (s == 0)
        continue;
      if (last != 0 && s != last)
        ++count;
      last = s;
    }
    return count;
  };
  return reversals(true) <= 2 && reversals(false) <= 2;
}

int texModeFor(const Pipe &p, const GrVertex *const *v, int n) {
  if (!p.useTexture || !p.tex)
    return TexNone;
  for (int i = 1; i < n; ++i)
    if (v[i]->oow != v[0]->oow)
      return TexPerspective;
  return v[0]->oow != 0.0f ? TexAffine : TexPerspective;
}

// Whether the cull mode drops a shape of this winding (+1 counter-clockwise).
bool culledWinding(int64_t area) {
  if (Board.cullMode == GR_CULL_DISABLE)
    return false;
  return Board.cullMode == GR_CULL_NEGATIVE ? area < 0 : area > 0;
}

// Draws a polygon as the fan of triangles from its first vertex, every triangle
// anchored at the polygon's anchor; with shared planes (the planar form) every
// triangle takes those. A strictly convex polygon whose triangles come out with
// the same iterators is drawn in one pass: the same pixels, fewer spans.
void drawFan(const Pipe &p, const FixedVertex *fv, int n, const Planes *shared) {
  int64_t xr, yr;
  anchorOf(fv, n, xr, yr);
  const float scale = p.tex ? p.tex->scale : 1.0f;
  int sign;
  if (n >= 4 && !boardReferencePipelineForced() && strictlyConvex(fv, n, sign)) {
    if (culledWinding(sign))
      return;
    Planes planes;
    bool merge = true;
    Iterators its;
    if (shared) {
      planes = *shared;
      its = makeIterators(p, planes, xr, yr);
    } else {
      const GrVertex *all[MaxPolygon];
      for (int i = 0; i < n; ++i)
        all[i] = fv[i].v;
      const int texMode = texModeFor(p, all, n);
      merge = texMode != TexPerspective;
      for (int i = 1; merge && i + 1 < n; ++i) {
        Planes pl;
        makePlanes(fv[0], fv[i], fv[i + 1], texMode, scale, pl);
        if (i == 1) {
          planes = pl;
          its = makeIterators(p, pl, xr, yr);
        } else {
          // The same planes give the same iterators (a rectangle's two
          // triangles usually have them).
          merge = samePlanes(pl, planes) || makeIterators(p, pl, xr, yr).sameAs(its);
        }
      }
    }
    if (merge) {
      FixedVertex ordered[MaxPolygon];
      for (int i = 0; i < n; ++i)
        ordered[i] = sign > 0 ? fv[i] : fv[n - 1 - i];
      rasterConvex(p, ordered, n, planes, its, xr, yr);
      return;
    }
  }
  for (int i = 1; i + 1 < n; ++i) {
    const FixedVertex &a = fv[0], &b = fv[i], &c = fv[i + 1];
    if (culledWinding(signedArea(a, b, c)))
      continue;
    if (shared) {
      rasterTriangle(p, a, b, c, *shared, xr, yr);
      continue;
    }
    const GrVertex *vs[3] = {a.v, b.v, c.v};
    Planes planes;
    if (makePlanes(a, b, c, texModeFor(p, vs, 3), scale, planes))
      rasterTriangle(p, a, b, c, planes, xr, yr);
  }
}

} // namespace

// Polygons of more than MaxPolygon vertices draw their first MaxPolygon.
void grDrawPolygon(int nverts, const int ilist[], const GrVertex vlist[]) {
  if (BoardTraceFile && nverts > 0)
    traceCall(TraceCall::GrDrawPolygon, {TraceValue::vertexList(nverts, ilist, vlist)});
  if (!Board.open || nverts < 3)
    return;
  Pipe p = makePipe();
  const int n = std::min(nverts, MaxPolygon);
  FixedVertex fv[MaxPolygon];
  for (int i = 0; i < n; ++i)
    fv[i] = fixVertex(&vlist[ilist[i]]);
  drawFan(p, fv, n, nullptr);
}

void grDrawPlanarPolygon(int nverts, const int ilist[], const GrVertex vlist[]) {
  if (BoardTraceFile && nverts > 0)
    traceCall(TraceCall::GrDrawPlanarPolygon, {TraceValue::vertexList(nverts, ilist, vlist)});
  if (!Board.open || nverts < 3)
    return;
  Pipe p = makePipe();
  const int n = std::min(nverts, MaxPolygon);
  FixedVertex fv[MaxPolygon];
  const GrVertex *all[MaxPolygon];
  for (int i = 0; i < n; ++i) {
    all[i] = &vlist[ilist[i]];
    fv[i] = fixVertex(all[i]);
  }
  // The gradients of the first triangle that is not degenerate serve them all.
  const int texMode = texModeFor(p, all, n);
  Planes planes;
  bool have = false;
  for (int i = 1; i + 1 < n && !have; ++i)
    have = makePlanes(fv[0], fv[i], fv[i + 1], texMode, p.tex ? p.tex->scale : 1.0f, planes);
  if (have)
    drawFan(p, fv, n, &planes);
}

void boardUseWideVectors(bool use) {
  boardDrain();
  WideVectors = use;
}

void boardUseWidestVectors(bool use) {
  boardDrain();
  WidestVectors = use;
}
