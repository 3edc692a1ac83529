// Span selection: for each draw, the span routine of its render state; for
// each span, the widest writer that can draw it, the reference path where
// none can. Every writer gives the reference path's pixels.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "glide/extension.h"
#include "glide/pipeline.h"
#include "glide/spans.h"
#include "glide/vectorsteps.h"
#include "glide/workers.h"

namespace {

// The widest vectors of the processor's: 512 with AVX-512 F, BW and VL, 256
// with AVX2.
int processorVectorBits() {
  __builtin_cpu_init(); // may run before the program's constructors
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl"))
    return 512;
  return __builtin_cpu_supports("avx2") ? 256 : 128;
}

int usableBits(int allowed) {
  const int processor = processorVectorBits();
  return allowed < processor ? allowed : processor;
}

// Whether 32-bit iterators stay in range over a span of n pixels.
inline bool iteratorsFit(const SpanIter &it, int n) {
  const int64_t lim = (int64_t)1 << 30;
  auto ok = [&](int64_t v, int64_t d) {
    int64_t e = v + d * n;
    return v > -lim && v < lim && e > -lim && e < lim;
  };
  return ok(it.r, it.dr) && ok(it.g, it.dg) && ok(it.b, it.db) && ok(it.a, it.da);
}

// A span of a texture times a colour, bilinear, whose taps all lie inside
// the texture's border.
template <int Tex, int Comb, int Blend, bool Flat>
void spanInside(const Pipe &p, int x0, int x1, int y, const SpanIter &it) {
  int done = 0;
  if (Flat && x1 - x0 >= 3 && SpanVectorBits >= 256 && !boardReferencePipelineForced()) {
    const TexelTables t = texelTablesOf(*p.tex);
    // One channel to a vector where the texture has its texels as RGB 565.
    const bool planar = Tex == TexAffine && t.texels565;
    if (SpanVectorBits >= 512)
      done = planar ? Spans512.planar[Blend](p, t, x0, x1, y, it)
                    : Spans512.groups[Tex][Blend](p, t, x0, x1, y, it, 0);
    else if (planar)
      done = Spans256.planar[Blend](p, t, x0, x1, y, it);
    if (x0 + done <= x1) done = Spans256.groups[Tex][Blend](p, t, x0, x1, y, it, done);
  }
  if (x0 + done <= x1) SpanPairs[Tex][Blend][Flat][true](p, x0, x1, y, it, done);
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
    if (endsAhead && Flat && p.grey && SpanVectorBits >= 256 && !boardReferencePipelineForced()) {
      // The grey spans check their taps as they go; one whose taps leave the
      // border is drawn again the long way (its blend does not read the buffer).
      const VectorSpans &wide = SpanVectorBits >= 512 ? Spans512 : Spans256;
      if (!wide.grey[Tex](p, texelTablesOf(*p.tex), x0, x1, y, it))
        SpanPairs[Tex][Blend][Flat][false](p, x0, x1, y, it, 0);
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
        if (!litSteps(p.tex->lit[(it.v >> 16) + 1], it.u, it.du, StepDivider(it.du), first, last)) return;
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
  SpanPairs[Tex][Blend][Flat][false](p, x0, x1, y, it, 0);
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

template <int Tex, int Comb, bool FlatColour> SpanFn pickBlend(int blend) {
  switch (blend) {
  case BlendNone: return spanFast<Tex, Comb, BlendNone, FlatColour>;
  case BlendAdd: return spanFast<Tex, Comb, BlendAdd, FlatColour>;
  case BlendScaled: return spanFast<Tex, Comb, BlendScaled, FlatColour>;
  case BlendFade: return spanFast<Tex, Comb, BlendFade, FlatColour>;
  default: return spanFast<Tex, Comb, BlendOneAdd, FlatColour>;
  }
}

template <bool FlatColour> SpanFn pickCombine(const Pipe &p, int texMode, int blend) {
  if (p.colorCombine == GR_COLORCOMBINE_ITRGB) return pickBlend<TexNone, CombIterated, FlatColour>(blend);
  if (texMode == TexPerspective) return pickBlend<TexPerspective, CombTexTimesIterated, FlatColour>(blend);
  return pickBlend<TexAffine, CombTexTimesIterated, FlatColour>(blend);
}

} // namespace

// LUMENVEIL_VECTORS=128, 256 or 512 (default 512), to time or check the
// narrower paths on a processor that has the wider ones; read once.
int boardVectorBitsAllowed() {
  static const int allowed = [] {
    const char *env = std::getenv("LUMENVEIL_VECTORS");
    if (!env || !*env) return 512;
    for (int bits : {128, 256, 512})
      if (std::strcmp(env, std::to_string(bits).c_str()) == 0) return bits;
    std::fprintf(stderr,
                 "lumenveil: LUMENVEIL_VECTORS=%s is not understood (it takes 128, 256 or 512); "
                 "the default is used: the widest vectors the processor has\n",
                 env);
    return 512;
  }();
  return allowed;
}

int SpanVectorBits = usableBits(boardVectorBitsAllowed());

void boardUseVectors(int bits) {
  boardDrain();
  SpanVectorBits = usableBits(bits >= 512 ? 512 : (bits >= 256 ? 256 : 128));
}

int boardVectorBits() { return SpanVectorBits; }

// Narrows [first, last], steps along which a texel coordinate runs from u by
// du, to the steps whose taps lie in lit columns. False when none do.
bool litSteps(const BoardTexture::LitColumns &lit, int64_t u, int64_t du, const StepDivider &by,
              int64_t &first, int64_t &last) {
  if (lit.first > lit.last) return false;
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

// The span routine for the current state, or the reference path; the tables
// it needs, if any, go into the pipe.
SpanFn pickSpan(Pipe &p, int texMode, const SpanIter &it, int64_t area) {
  if (!p.rgbMask) return nullptr;
  int blend = p.blendMode;
  bool simple =
      blend >= 0 && p.alphaSource == GR_ALPHASOURCE_ITERATED_ALPHA && !boardReferencePipelineForced();
  bool iteratedOnly = p.colorCombine == GR_COLORCOMBINE_ITRGB;
  bool textured = p.colorCombine == GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB &&
                  p.texCombine == GR_TEXTURECOMBINE_DECAL && p.tex && texMode != TexNone;
  if (!simple || !(iteratedOnly || textured)) return spanReference;
  if (it.flat && iteratedOnly && area >= 4096) {
    int a = channel(it.a);
    if (!p.alphaPass[a]) return nullptr;
    p.flat = flatTablesFor(blend, channel(it.r), channel(it.g), channel(it.b), a, p.ditherMode);
    return spanFlatTable;
  }
  if (it.flat && textured && p.tex->grey && p.tex->bilinear && (blend == BlendNone || blend == BlendScaled) &&
      SpanVectorBits >= 256) {
    int a = channel(it.a);
    if (!p.alphaPass[a]) return nullptr;
    p.grey = greyTableFor(blend, channel(it.r), channel(it.g), channel(it.b), a, p.ditherMode);
  }
  return it.flat ? pickCombine<true>(p, texMode, blend) : pickCombine<false>(p, texMode, blend);
}

const SpanFn GlowSpan = spanFast<TexAffine, CombTexTimesIterated, BlendAdd, true>;
