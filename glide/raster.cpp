// The rasteriser and the pixel pipeline: triangles with a top-left fill rule
// over 12.4 fixed-point vertices, colour and texture iteration, texel fetch,
// colour combine, alpha test, blending, dithering and the write.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/tracewrite.h"

namespace {

// ---- Dithering --------------------------------------------------------------------

uint8_t DitherRB[3][16][256];
uint8_t DitherG[3][16][256];
bool DitherReady = false;

const int Matrix4x4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
const int Matrix2x2[2][2] = {{2, 10}, {14, 6}};

void buildDither() {
  for (int mode = 0; mode < 3; ++mode) {
    for (int pos = 0; pos < 16; ++pos) {
      int y = pos >> 2, x = pos & 3;
      for (int v = 0; v < 256; ++v) {
        if (mode == GR_DITHER_DISABLE) {
          DitherRB[mode][pos][v] = (uint8_t)(v >> 3);
          DitherG[mode][pos][v] = (uint8_t)(v >> 2);
          continue;
        }
        int d = mode == GR_DITHER_4x4 ? Matrix4x4[y][x] : Matrix2x2[y & 1][x & 1];
        DitherRB[mode][pos][v] = (uint8_t)(((v << 1) - (v >> 4) + (v >> 7) + d) >> 4);
        DitherG[mode][pos][v] = (uint8_t)(((v << 2) - (v >> 4) + (v >> 6) + d) >> 4);
      }
    }
  }
  DitherReady = true;
}

inline int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

inline int expand5(unsigned v) { return (int)((v << 3) | (v >> 2)); }
inline int expand6(unsigned v) { return (int)((v << 2) | (v >> 4)); }

// ---- Pipeline snapshot ------------------------------------------------------------

struct Pipe {
  uint16_t *target;
  int width, height;
  int colorCombine, alphaSource, texCombine;
  int alphaFunc, alphaRef;
  int rgbSrc, rgbDst;
  const uint8_t *ditherRB, *ditherG;
  bool rgbMask;
  bool useTexture;              // the combine or the alpha source reads a texel
  const BoardTexture *tex;      // null: no texture in place (texels read as opaque black)
};

bool combineUsesTexture(int fnc) {
  return fnc >= GR_COLORCOMBINE_DECAL_TEXTURE && fnc <= GR_COLORCOMBINE_DIFF_SPEC_B;
}

bool alphaUsesTexture(int src) {
  return src == GR_ALPHASOURCE_TEXTURE_ALPHA ||
         src == GR_ALPHASOURCE_TEXTURE_ALPHA_TIMES_ITERATED_ALPHA;
}

Pipe makePipe() {
  if (!DitherReady)
    buildDither();
  Pipe p;
  p.target = boardRenderTarget();
  p.width = Board.width;
  p.height = Board.height;
  p.colorCombine = Board.colorCombine;
  p.alphaSource = Board.alphaSource;
  p.texCombine = Board.texCombine;
  p.alphaFunc = Board.alphaFunc;
  p.alphaRef = Board.alphaRef;
  p.rgbSrc = Board.rgbSrc;
  p.rgbDst = Board.rgbDst;
  p.ditherRB = &DitherRB[Board.ditherMode][0][0];
  p.ditherG = &DitherG[Board.ditherMode][0][0];
  p.rgbMask = Board.rgbMask;
  p.useTexture = combineUsesTexture(p.colorCombine) || alphaUsesTexture(p.alphaSource);
  p.tex = nullptr;
  int t = Board.currentTexture;
  if (t >= 0 && t < (int)Board.textures.size() && !Board.textures[t].texels.empty())
    p.tex = &Board.textures[t];
  return p;
}

inline bool alphaPasses(int func, int a, int ref) {
  switch (func) {
  case GR_CMP_NEVER: return false;
  case GR_CMP_LESS: return a < ref;
  case GR_CMP_EQUAL: return a == ref;
  case GR_CMP_LEQUAL: return a <= ref;
  case GR_CMP_GREATER: return a > ref;
  case GR_CMP_NOTEQUAL: return a != ref;
  case GR_CMP_GEQUAL: return a >= ref;
  default: return true;
  }
}

// ---- Texels -----------------------------------------------------------------------

// 0xAARRGGBB spread to four 16-bit lanes: 0x00AA00GG00RR00BB.
inline uint64_t spread(uint32_t t) {
  return (uint64_t)(t & 0x00FF00FFu) | ((uint64_t)(t & 0xFF00FF00u) << 24);
}

inline uint32_t gather(uint64_t e) {
  return (uint32_t)(e & 0x00FF00FFu) | (uint32_t)((e >> 24) & 0xFF00FF00u);
}

inline uint64_t lerpLanes(uint64_t a, uint64_t b, unsigned f) {
  return ((a * (256 - f) + b * f) >> 8) & 0x00FF00FF00FF00FFull;
}

inline int clampIndex(int64_t i, int size) {
  return i < 0 ? 0 : (i >= size ? size - 1 : (int)i);
}

// Texel at (u, v): texel units with 16 fractional bits, half a texel already
// taken off. Returns the filtered texel as 0xAARRGGBB.
inline uint32_t sampleTexel(const BoardTexture &t, int64_t u, int64_t v) {
  const int w = t.width, h = t.height;
  if (!t.bilinear) {
    int64_t iu = (u + 0x8000) >> 16, iv = (v + 0x8000) >> 16;
    int x = t.clampS ? clampIndex(iu, w) : (int)(iu & (w - 1));
    int y = t.clampT ? clampIndex(iv, h) : (int)(iv & (h - 1));
    return t.texels[(size_t)y * w + x];
  }
  int64_t iu = u >> 16, iv = v >> 16;
  unsigned fu = (unsigned)(u >> 8) & 255u, fv = (unsigned)(v >> 8) & 255u;
  int x0, x1, y0, y1;
  if (t.clampS) {
    x0 = clampIndex(iu, w);
    x1 = clampIndex(iu + 1, w);
  } else {
    x0 = (int)(iu & (w - 1));
    x1 = (int)((iu + 1) & (w - 1));
  }
  if (t.clampT) {
    y0 = clampIndex(iv, h);
    y1 = clampIndex(iv + 1, h);
  } else {
    y0 = (int)(iv & (h - 1));
    y1 = (int)((iv + 1) & (h - 1));
  }
  const uint32_t *r0 = t.texels.data() + (size_t)y0 * w;
  const uint32_t *r1 = t.texels.data() + (size_t)y1 * w;
  uint64_t top = lerpLanes(spread(r0[x0]), spread(r0[x1]), fu);
  uint64_t bottom = lerpLanes(spread(r1[x0]), spread(r1[x1]), fu);
  return gather(lerpLanes(top, bottom, fv));
}

// Clamps a float texel coordinate (16 fractional bits) to a safe range.
inline int64_t toFixed16(double v) {
  double f = v * 65536.0;
  if (!(f > -1.0e15))
    return -(int64_t)1e15;
  if (f > 1.0e15)
    return (int64_t)1e15;
  return (int64_t)std::floor(f);
}

// ---- The generic pipeline ------------------------------------------------------

inline int blendWeight(int factor, bool source, int s, int a, int d) {
  switch (factor) {
  case GR_BLEND_ZERO: return 0;
  case GR_BLEND_SRC_ALPHA: return a + 1;
  case GR_BLEND_SRC_COLOR: return source ? d + 1 : s + 1; // DST_COLOR as a source factor
  case GR_BLEND_DST_ALPHA: return 256;                      // no alpha buffer: 255
  case GR_BLEND_ONE: return 256;
  case GR_BLEND_ONE_MINUS_SRC_ALPHA: return 256 - a;
  case GR_BLEND_ONE_MINUS_SRC_COLOR: return source ? 256 - d : 256 - s;
  case GR_BLEND_ONE_MINUS_DST_ALPHA: return 0;
  case GR_BLEND_ALPHA_SATURATE: return source ? 0 : s + 1; // as destination: pre-fog colour
  default: return 0;
  }
}

// Everything after iteration: texel (0xAARRGGBB, when the texture is read),
// combine, alpha, alpha test, blend, dither, write.
void shadeFragment(const Pipe &p, int x, int y, int ir, int ig, int ib, int ia, uint32_t texel) {
  uint32_t tx = texel;
  switch (p.texCombine) {
  case GR_TEXTURECOMBINE_ZERO: tx = 0; break;
  case GR_TEXTURECOMBINE_ONE: tx = 0xFFFFFFFFu; break;
  case GR_TEXTURECOMBINE_OTHER: tx = 0; break; // no texture unit upstream
  default: break;
  }
  int tr = (tx >> 16) & 255, tg = (tx >> 8) & 255, tb = tx & 255, ta = tx >> 24;

  int a;
  switch (p.alphaSource) {
  case GR_ALPHASOURCE_CC_ALPHA: a = 255; break;
  case GR_ALPHASOURCE_TEXTURE_ALPHA: a = ta; break;
  case GR_ALPHASOURCE_TEXTURE_ALPHA_TIMES_ITERATED_ALPHA: a = (ta * (ia + 1)) >> 8; break;
  default: a = ia; break;
  }

  int r, g, b;
  switch (p.colorCombine) {
  case GR_COLORCOMBINE_ZERO:
  case GR_COLORCOMBINE_CCRGB: // the constant colour is black
  case GR_COLORCOMBINE_TEXTURE_TIMES_CCRGB:
    r = g = b = 0;
    break;
  case GR_COLORCOMBINE_DECAL_TEXTURE:
    r = tr; g = tg; b = tb;
    break;
  case GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB:
  case GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB_DELTA0:
  case GR_COLORCOMBINE_DIFF_SPEC_A:
  case GR_COLORCOMBINE_DIFF_SPEC_B:
    r = (tr * (ir + 1)) >> 8; g = (tg * (ig + 1)) >> 8; b = (tb * (ib + 1)) >> 8;
    break;
  case GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB_ADD_ALPHA:
    r = std::min(255, ((tr * (ir + 1)) >> 8) + ia);
    g = std::min(255, ((tg * (ig + 1)) >> 8) + ia);
    b = std::min(255, ((tb * (ib + 1)) >> 8) + ia);
    break;
  case GR_COLORCOMBINE_TEXTURE_TIMES_ALPHA:
    r = (tr * (a + 1)) >> 8; g = (tg * (a + 1)) >> 8; b = (tb * (a + 1)) >> 8;
    break;
  case GR_COLORCOMBINE_TEXTURE_TIMES_ALPHA_ADD_ITRGB:
    r = std::min(255, ((tr * (a + 1)) >> 8) + ir);
    g = std::min(255, ((tg * (a + 1)) >> 8) + ig);
    b = std::min(255, ((tb * (a + 1)) >> 8) + ib);
    break;
  case GR_COLORCOMBINE_TEXTURE_ADD_ITRGB:
    r = std::min(255, tr + ir); g = std::min(255, tg + ig); b = std::min(255, tb + ib);
    break;
  case GR_COLORCOMBINE_TEXTURE_SUB_ITRGB:
    r = std::max(0, tr - ir); g = std::max(0, tg - ig); b = std::max(0, tb - ib);
    break;
  case GR_COLORCOMBINE_CCRGB_BLEND_ITRGB_ON_TEXALPHA:
    r = (ir * (256 - ta)) >> 8; g = (ig * (256 - ta)) >> 8; b = (ib * (256 - ta)) >> 8;
    break;
  case GR_COLORCOMBINE_ONE:
    r = g = b = 255;
    break;
  default: // ITRGB, ITRGB_DELTA0
    r = ir; g = ig; b = ib;
    break;
  }

  if (!alphaPasses(p.alphaFunc, a, p.alphaRef) || !p.rgbMask)
    return;

  uint16_t *pixel = p.target + (size_t)y * p.width + x;
  if (!(p.rgbSrc == GR_BLEND_ONE && p.rgbDst == GR_BLEND_ZERO)) {
    unsigned old = *pixel;
    int dr = expand5(old >> 11), dg = expand6((old >> 5) & 63), db = expand5(old & 31);
    r = std::min(255, (r * blendWeight(p.rgbSrc, true, r, a, dr) +
                       dr * blendWeight(p.rgbDst, false, r, a, dr)) >> 8);
    g = std::min(255, (g * blendWeight(p.rgbSrc, true, g, a, dg) +
                       dg * blendWeight(p.rgbDst, false, g, a, dg)) >> 8);
    b = std::min(255, (b * blendWeight(p.rgbSrc, true, b, a, db) +
                       db * blendWeight(p.rgbDst, false, b, a, db)) >> 8);
  }
  int pos = ((y & 3) << 2 | (x & 3)) << 8;
  *pixel = (uint16_t)(p.ditherRB[pos + r] << 11 | p.ditherG[pos + g] << 5 | p.ditherRB[pos + b]);
}

// ---- Triangle setup -----------------------------------------------------------------

// A vertex in 12.4 fixed point with its attributes.
struct FixedVertex {
  int64_t X, Y;
  const GrVertex *v;
};

inline int64_t toSixteenths(float biased, int64_t extent) {
  double p = ((double)biased - 524288.0) * 16.0;
  if (!(p > -1.0e9))
    p = -1.0e9;
  if (p > 1.0e9)
    p = 1.0e9;
  (void)extent;
  return (int64_t)std::llround(p);
}

inline FixedVertex fixVertex(const GrVertex *v) {
  FixedVertex f;
  f.X = toSixteenths(v->x, Board.width);
  f.Y = toSixteenths(v->y, Board.height);
  if (Board.origin == GR_ORIGIN_UPPER_LEFT)
    f.Y = (int64_t)Board.height * 16 - f.Y;
  f.v = v;
  return f;
}

// A linear function of the pixel position: value = base + dx * (px - x0) + dy * (py - y0).
struct Plane {
  double base, dx, dy;
};

enum TexMode { TexNone = 0, TexAffine = 1, TexPerspective = 2 };

// The attribute planes of a triangle (or of a planar polygon).
struct Planes {
  double x0, y0; // reference point in pixels
  Plane r, g, b, a;
  Plane s, t, w; // affine: s and t in fixed texel units; perspective: s/w, t/w, 1/w
  int texMode;
};

Plane makePlane(double x0, double y0, double x1, double y1, double x2, double y2, double v0,
                double v1, double v2, double det) {
  Plane p;
  p.base = v0;
  p.dx = ((v1 - v0) * (y2 - y0) - (v2 - v0) * (y1 - y0)) / det;
  p.dy = ((v2 - v0) * (x1 - x0) - (v1 - v0) * (x2 - x0)) / det;
  return p;
}

inline double evalPlane(const Plane &p, const Planes &ps, double px, double py) {
  return p.base + p.dx * (px - ps.x0) + p.dy * (py - ps.y0);
}

// Builds the planes from three vertices; false when they are degenerate.
bool makePlanes(const FixedVertex &a, const FixedVertex &b, const FixedVertex &c, int texMode,
                float scale, Planes &out) {
  int64_t det16 = (b.X - a.X) * (c.Y - a.Y) - (c.X - a.X) * (b.Y - a.Y);
  if (det16 == 0)
    return false;
  double x0 = a.X / 16.0, y0 = a.Y / 16.0, x1 = b.X / 16.0, y1 = b.Y / 16.0;
  double x2 = c.X / 16.0, y2 = c.Y / 16.0;
  double det = (double)det16 / 256.0;
  out.x0 = x0;
  out.y0 = y0;
  const GrVertex *va = a.v, *vb = b.v, *vc = c.v;
  out.r = makePlane(x0, y0, x1, y1, x2, y2, va->r, vb->r, vc->r, det);
  out.g = makePlane(x0, y0, x1, y1, x2, y2, va->g, vb->g, vc->g, det);
  out.b = makePlane(x0, y0, x1, y1, x2, y2, va->b, vb->b, vc->b, det);
  out.a = makePlane(x0, y0, x1, y1, x2, y2, va->a, vb->a, vc->a, det);
  out.texMode = texMode;
  if (texMode == TexAffine) {
    double w = va->oow;
    double k = scale / w * 65536.0;
    out.s = makePlane(x0, y0, x1, y1, x2, y2, va->tmuvtx[0].sow * k - 32768.0,
                      vb->tmuvtx[0].sow * k - 32768.0, vc->tmuvtx[0].sow * k - 32768.0, det);
    out.t = makePlane(x0, y0, x1, y1, x2, y2, va->tmuvtx[0].tow * k - 32768.0,
                      vb->tmuvtx[0].tow * k - 32768.0, vc->tmuvtx[0].tow * k - 32768.0, det);
  } else if (texMode == TexPerspective) {
    out.s = makePlane(x0, y0, x1, y1, x2, y2, va->tmuvtx[0].sow, vb->tmuvtx[0].sow,
                      vc->tmuvtx[0].sow, det);
    out.t = makePlane(x0, y0, x1, y1, x2, y2, va->tmuvtx[0].tow, vb->tmuvtx[0].tow,
                      vc->tmuvtx[0].tow, det);
    out.w = makePlane(x0, y0, x1, y1, x2, y2, va->oow, vb->oow, vc->oow, det);
  }
  return true;
}

// Iterators of one span, fixed point with 16 fractional bits.
struct SpanIter {
  int64_t r, g, b, a, dr, dg, db, da;
  int64_t u, v, du, dv;           // affine texel coordinates
  float sw, tw, w, dsw, dtw, dw;  // perspective
  float scale;
  int texMode;
};

inline int channel(int64_t v) {
  int64_t i = v >> 16;
  return i < 0 ? 0 : (i > 255 ? 255 : (int)i);
}

inline void perspectiveUV(const SpanIter &it, int i, int64_t &u, int64_t &v) {
  float w = it.w + it.dw * (float)i;
  if (!(w > 0.0f)) {
    u = v = -32768;
    return;
  }
  float sw = it.sw + it.dsw * (float)i, tw = it.tw + it.dtw * (float)i;
  u = toFixed16((double)(sw / w) * it.scale) - 32768;
  v = toFixed16((double)(tw / w) * it.scale) - 32768;
}

// ---- Spans --------------------------------------------------------------------------

typedef void (*SpanFn)(const Pipe &p, int x0, int x1, int y, const SpanIter &it);

void spanGeneric(const Pipe &p, int x0, int x1, int y, const SpanIter &it) {
  SpanIter s = it;
  for (int x = x0, i = 0; x <= x1; ++x, ++i) {
    uint32_t texel = 0xFF000000u;
    if (p.useTexture && p.tex) {
      int64_t u = s.u, v = s.v;
      if (it.texMode == TexPerspective)
        perspectiveUV(it, i, u, v);
      texel = sampleTexel(*p.tex, u, v);
    }
    shadeFragment(p, x, y, channel(s.r), channel(s.g), channel(s.b), channel(s.a), texel);
    s.r += s.dr; s.g += s.dg; s.b += s.db; s.a += s.da;
    s.u += s.du; s.v += s.dv;
  }
}

// The blends the program uses, specialised.
enum BlendMode { BlendNone, BlendAdd, BlendScaled, BlendFade, BlendOneAdd };
enum CombineMode { CombIterated, CombTexTimesIterated };

template <int Tex, int Comb, int Blend>
void spanFast(const Pipe &p, int x0, int x1, int y, const SpanIter &it) {
  uint16_t *row = p.target + (size_t)y * p.width;
  const uint8_t *rb = p.ditherRB + ((y & 3) << 10);
  const uint8_t *gg = p.ditherG + ((y & 3) << 10);
  int64_t r = it.r, g = it.g, b = it.b, a = it.a;
  int64_t u = it.u, v = it.v;
  const int func = p.alphaFunc, ref = p.alphaRef;
  for (int x = x0, i = 0; x <= x1; ++x, ++i) {
    int ia = channel(a);
    if (alphaPasses(func, ia, ref)) {
      int cr = channel(r), cg = channel(g), cb = channel(b);
      if (Comb == CombTexTimesIterated) {
        uint32_t texel = 0xFF000000u;
        if (p.tex) {
          if (Tex == TexPerspective) {
            int64_t pu, pv;
            perspectiveUV(it, i, pu, pv);
            texel = sampleTexel(*p.tex, pu, pv);
          } else {
            texel = sampleTexel(*p.tex, u, v);
          }
        }
        cr = (int)(((texel >> 16) & 255) * (unsigned)(cr + 1)) >> 8;
        cg = (int)(((texel >> 8) & 255) * (unsigned)(cg + 1)) >> 8;
        cb = (int)((texel & 255) * (unsigned)(cb + 1)) >> 8;
      }
      uint16_t *pixel = row + x;
      if (Blend != BlendNone && Blend != BlendScaled) {
        unsigned old = *pixel;
        int dr = expand5(old >> 11), dg = expand6((old >> 5) & 63), db = expand5(old & 31);
        if (Blend == BlendAdd) {
          cr = std::min(255, dr + ((cr * (ia + 1)) >> 8));
          cg = std::min(255, dg + ((cg * (ia + 1)) >> 8));
          cb = std::min(255, db + ((cb * (ia + 1)) >> 8));
        } else if (Blend == BlendFade) {
          cr = (dr * (ia + 1)) >> 8;
          cg = (dg * (ia + 1)) >> 8;
          cb = (db * (ia + 1)) >> 8;
        } else { // BlendOneAdd
          cr = std::min(255, cr + ((dr * (ia + 1)) >> 8));
          cg = std::min(255, cg + ((dg * (ia + 1)) >> 8));
          cb = std::min(255, cb + ((db * (ia + 1)) >> 8));
        }
      } else if (Blend == BlendScaled) {
        cr = (cr * (ia + 1)) >> 8;
        cg = (cg * (ia + 1)) >> 8;
        cb = (cb * (ia + 1)) >> 8;
      }
      int pos = (x & 3) << 8;
      *pixel = (uint16_t)(rb[pos + cr] << 11 | gg[pos + cg] << 5 | rb[pos + cb]);
    }
    r += it.dr; g += it.dg; b += it.db; a += it.da;
    if (Tex == TexAffine) {
      u += it.du;
      v += it.dv;
    }
  }
}

template <int Tex, int Comb>
SpanFn pickBlend(int blend) {
  switch (blend) {
  case BlendNone: return spanFast<Tex, Comb, BlendNone>;
  case BlendAdd: return spanFast<Tex, Comb, BlendAdd>;
  case BlendScaled: return spanFast<Tex, Comb, BlendScaled>;
  case BlendFade: return spanFast<Tex, Comb, BlendFade>;
  default: return spanFast<Tex, Comb, BlendOneAdd>;
  }
}

SpanFn pickSpan(const Pipe &p, int texMode) {
  if (!p.rgbMask)
    return nullptr;
  int blend = -1;
  if (p.rgbSrc == GR_BLEND_ONE && p.rgbDst == GR_BLEND_ZERO) blend = BlendNone;
  else if (p.rgbSrc == GR_BLEND_SRC_ALPHA && p.rgbDst == GR_BLEND_ONE) blend = BlendAdd;
  else if (p.rgbSrc == GR_BLEND_SRC_ALPHA && p.rgbDst == GR_BLEND_ZERO) blend = BlendScaled;
  else if (p.rgbSrc == GR_BLEND_ZERO && p.rgbDst == GR_BLEND_SRC_ALPHA) blend = BlendFade;
  else if (p.rgbSrc == GR_BLEND_ONE && p.rgbDst == GR_BLEND_SRC_ALPHA) blend = BlendOneAdd;
  bool fastAlpha = p.alphaSource == GR_ALPHASOURCE_ITERATED_ALPHA;
  bool decal = p.texCombine == GR_TEXTURECOMBINE_DECAL;
  if (blend < 0 || !fastAlpha)
    return spanGeneric;
  if (p.colorCombine == GR_COLORCOMBINE_ITRGB)
    return pickBlend<TexNone, CombIterated>(blend);
  if (p.colorCombine == GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB && decal) {
    if (texMode == TexPerspective)
      return pickBlend<TexPerspective, CombTexTimesIterated>(blend);
    return pickBlend<TexAffine, CombTexTimesIterated>(blend);
  }
  return spanGeneric;
}

inline int64_t floorDiv(int64_t a, int64_t b) { // b > 0
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline int64_t ceilDiv(int64_t a, int64_t b) { // b > 0
  return -floorDiv(-a, b);
}

// One edge of a counter-clockwise triangle: inside where A * px + K(py) + bias >= 0.
struct Edge {
  int64_t dx, dy, X0, Y0, bias;
};

inline Edge makeEdge(const FixedVertex &from, const FixedVertex &to) {
  Edge e;
  e.dx = to.X - from.X;
  e.dy = to.Y - from.Y;
  e.X0 = from.X;
  e.Y0 = from.Y;
  bool topLeft = e.dy < 0 || (e.dy == 0 && e.dx < 0);
  e.bias = topLeft ? 0 : -1;
  return e;
}

// Rasterises the triangle a, b, c with the given planes.
void rasterTriangle(const Pipe &p, SpanFn span, FixedVertex a, FixedVertex b, FixedVertex c,
                    const Planes &pl) {
  int64_t area = (b.X - a.X) * (c.Y - a.Y) - (c.X - a.X) * (b.Y - a.Y);
  if (area == 0)
    return;
  if (area < 0)
    std::swap(b, c);
  Edge edges[3] = {makeEdge(a, b), makeEdge(b, c), makeEdge(c, a)};

  int64_t minY = std::min({a.Y, b.Y, c.Y}), maxY = std::max({a.Y, b.Y, c.Y});
  int64_t minX = std::min({a.X, b.X, c.X}), maxX = std::max({a.X, b.X, c.X});
  int64_t y0 = std::max<int64_t>(0, ceilDiv(minY - 8, 16));
  int64_t y1 = std::min<int64_t>(p.height - 1, floorDiv(maxY - 8, 16));
  int64_t bx0 = std::max<int64_t>(0, ceilDiv(minX - 8, 16));
  int64_t bx1 = std::min<int64_t>(p.width - 1, floorDiv(maxX - 8, 16));
  if (y0 > y1 || bx0 > bx1)
    return;

  // Fixed-point planes anchored at the first pixel of the bounding box.
  const int xr = (int)bx0, yr = (int)y0;
  double cx = xr + 0.5, cy = yr + 0.5;
  SpanIter base;
  auto fix = [&](const Plane &pln, int64_t &v, int64_t &dx, int64_t &dy) {
    v = toFixed16(evalPlane(pln, pl, cx, cy));
    dx = toFixed16(pln.dx);
    dy = toFixed16(pln.dy);
  };
  int64_t rY, gY, bY, aY, uY = 0, vY = 0;
  fix(pl.r, base.r, base.dr, rY);
  fix(pl.g, base.g, base.dg, gY);
  fix(pl.b, base.b, base.db, bY);
  fix(pl.a, base.a, base.da, aY);
  base.u = base.v = base.du = base.dv = 0;
  base.sw = base.tw = base.w = base.dsw = base.dtw = base.dw = 0.0f;
  base.scale = p.tex ? p.tex->scale : 1.0f;
  base.texMode = pl.texMode;
  if (pl.texMode == TexAffine) {
    base.u = (int64_t)std::floor(evalPlane(pl.s, pl, cx, cy));
    base.v = (int64_t)std::floor(evalPlane(pl.t, pl, cx, cy));
    base.du = (int64_t)std::floor(pl.s.dx);
    base.dv = (int64_t)std::floor(pl.t.dx);
    uY = (int64_t)std::floor(pl.s.dy);
    vY = (int64_t)std::floor(pl.t.dy);
  }

  for (int64_t y = y0; y <= y1; ++y) {
    int64_t py = 16 * y + 8;
    int64_t lo = bx0, hi = bx1;
    for (const Edge &e : edges) {
      // dx * (py - Y0) - dy * (px - X0) + bias >= 0
      int64_t k = e.dx * (py - e.Y0) + e.dy * e.X0 + e.bias;
      int64_t A = -e.dy;
      if (A > 0) {
        int64_t cmin = ceilDiv(-k, A); // px >= cmin
        lo = std::max(lo, ceilDiv(cmin - 8, 16));
      } else if (A < 0) {
        int64_t cmax = floorDiv(k, -A); // px <= cmax
        hi = std::min(hi, floorDiv(cmax - 8, 16));
      } else if (k < 0) {
        lo = 1;
        hi = 0;
        break;
      }
    }
    if (lo > hi)
      continue;
    SpanIter it = base;
    int64_t ox = lo - xr, oy = y - yr;
    it.r = base.r + ox * base.dr + oy * rY;
    it.g = base.g + ox * base.dg + oy * gY;
    it.b = base.b + ox * base.db + oy * bY;
    it.a = base.a + ox * base.da + oy * aY;
    if (pl.texMode == TexAffine) {
      it.u = base.u + ox * base.du + oy * uY;
      it.v = base.v + ox * base.dv + oy * vY;
    } else if (pl.texMode == TexPerspective) {
      double px = lo + 0.5, pyc = y + 0.5;
      it.sw = (float)evalPlane(pl.s, pl, px, pyc);
      it.tw = (float)evalPlane(pl.t, pl, px, pyc);
      it.w = (float)evalPlane(pl.w, pl, px, pyc);
      it.dsw = (float)pl.s.dx;
      it.dtw = (float)pl.t.dx;
      it.dw = (float)pl.w.dx;
    }
    span(p, (int)lo, (int)hi, (int)y, it);
  }
}

int texModeFor(const Pipe &p, const GrVertex *const *v, int n) {
  if (!p.useTexture || !p.tex)
    return TexNone;
  for (int i = 1; i < n; ++i)
    if (v[i]->oow != v[0]->oow)
      return TexPerspective;
  return v[0]->oow != 0.0f ? TexAffine : TexPerspective;
}

bool culled(const FixedVertex &a, const FixedVertex &b, const FixedVertex &c) {
  if (Board.cullMode == GR_CULL_DISABLE)
    return false;
  int64_t area = (b.X - a.X) * (c.Y - a.Y) - (c.X - a.X) * (b.Y - a.Y);
  return Board.cullMode == GR_CULL_NEGATIVE ? area < 0 : area > 0;
}

void drawTriangleWith(const Pipe &p, const GrVertex *a, const GrVertex *b, const GrVertex *c) {
  FixedVertex fa = fixVertex(a), fb = fixVertex(b), fc = fixVertex(c);
  if (culled(fa, fb, fc))
    return;
  const GrVertex *vs[3] = {a, b, c};
  int texMode = texModeFor(p, vs, 3);
  Planes planes;
  if (!makePlanes(fa, fb, fc, texMode, p.tex ? p.tex->scale : 1.0f, planes))
    return;
  SpanFn span = pickSpan(p, texMode);
  if (span)
    rasterTriangle(p, span, fa, fb, fc, planes);
}

void traceVertices(const char *name, int nverts, const int ilist[], const GrVertex vlist[]) {
  fprintf(BoardTraceFile, "%s %d", name, nverts);
  for (int i = 0; i < nverts; ++i)
    traceVertex(&vlist[ilist[i]]);
  fputc('\n', BoardTraceFile);
}

} // namespace

// ---- Entry points -------------------------------------------------------------------

void boardWriteFragment(int x, int y, int r, int g, int b, int a) {
  if (!Board.open || x < 0 || y < 0 || x >= Board.width || y >= Board.height)
    return;
  Pipe p = makePipe();
  p.colorCombine = GR_COLORCOMBINE_ITRGB;
  p.alphaSource = GR_ALPHASOURCE_ITERATED_ALPHA;
  p.texCombine = GR_TEXTURECOMBINE_DECAL;
  p.useTexture = false;
  shadeFragment(p, x, y, r, g, b, a, 0);
}

void boardDrawTriangle(const GrVertex *a, const GrVertex *b, const GrVertex *c) {
  if (!Board.open)
    return;
  drawTriangleWith(makePipe(), a, b, c);
}

void grDrawPolygon(int nverts, const int ilist[], const GrVertex vlist[]) {
  if (BoardTraceFile && nverts > 0)
    traceVertices("grDrawPolygon", nverts, ilist, vlist);
  if (!Board.open || nverts < 3)
    return;
  Pipe p = makePipe();
  const GrVertex *v0 = &vlist[ilist[0]];
  for (int i = 1; i + 1 < nverts; ++i)
    drawTriangleWith(p, v0, &vlist[ilist[i]], &vlist[ilist[i + 1]]);
}

void grDrawPlanarPolygon(int nverts, const int ilist[], const GrVertex vlist[]) {
  if (BoardTraceFile && nverts > 0)
    traceVertices("grDrawPlanarPolygon", nverts, ilist, vlist);
  if (!Board.open || nverts < 3)
    return;
  Pipe p = makePipe();
  const GrVertex *v0 = &vlist[ilist[0]];
  const GrVertex *all[64];
  int n = std::min(nverts, 64);
  for (int i = 0; i < n; ++i)
    all[i] = &vlist[ilist[i]];
  int texMode = texModeFor(p, all, n);
  FixedVertex f0 = fixVertex(v0);
  Planes planes;
  bool have = false;
  for (int i = 1; i + 1 < n && !have; ++i)
    have = makePlanes(f0, fixVertex(all[i]), fixVertex(all[i + 1]), texMode,
                      p.tex ? p.tex->scale : 1.0f, planes);
  if (!have)
    return;
  SpanFn span = pickSpan(p, texMode);
  if (!span)
    return;
  for (int i = 1; i + 1 < n; ++i) {
    FixedVertex fb = fixVertex(all[i]), fc = fixVertex(all[i + 1]);
    if (!culled(f0, fb, fc))
      rasterTriangle(p, span, f0, fb, fc, planes);
  }
}

// A one-pixel line: one pixel per step along the major axis, the first end
// drawn and the last not.
void grDrawLine(const GrVertex *a, const GrVertex *b) {
  if (BoardTraceFile) {
    fprintf(BoardTraceFile, "grDrawLine");
    traceVertex(a);
    traceVertex(b);
    fputc('\n', BoardTraceFile);
  }
  if (!Board.open)
    return;
  FixedVertex fa = fixVertex(a), fb = fixVertex(b);
  int64_t dx = fb.X - fa.X, dy = fb.Y - fa.Y;
  if (dx == 0 && dy == 0)
    return;
  Pipe p = makePipe();
  bool xMajor = std::llabs(dx) >= std::llabs(dy);
  // Major coordinate M, minor m, in sixteenths.
  int64_t ma = xMajor ? fa.X : fa.Y, mb = xMajor ? fb.X : fb.Y;
  int64_t na = xMajor ? fa.Y : fa.X, nb = xMajor ? fb.Y : fb.X;
  int64_t dm = mb - ma, dn = nb - na;
  int dir = dm > 0 ? 1 : -1;
  int limit = xMajor ? p.width : p.height;
  int other = xMajor ? p.height : p.width;
  // Pixels whose centres lie in [ma, mb) going up, or (mb, ma] going down.
  int64_t first, last;
  if (dir > 0) {
    first = ceilDiv(ma - 8, 16);
    last = ceilDiv(mb - 8, 16) - 1;
  } else {
    first = floorDiv(ma - 8, 16);
    last = floorDiv(mb - 8, 16) + 1;
  }
  const bool textured = p.useTexture && p.tex;
  for (int64_t i = first; dir > 0 ? i <= last : i >= last; i += dir) {
    if (i < 0 || i >= limit)
      continue;
    int64_t cm = 16 * i + 8;
    // Minor coordinate at this centre, in sixteenths: na + (cm - ma) * dn / dm.
    int64_t num = na * dm + (cm - ma) * dn;
    int64_t den = dm;
    if (den < 0) {
      num = -num;
      den = -den;
    }
    int64_t j = floorDiv(num, den * 16); // the pixel whose centre band holds it
    if (j < 0 || j >= other)
      continue;
    double t = (double)(cm - ma) / (double)dm;
    auto lerp = [t](float u, float v) { return (double)u + ((double)v - (double)u) * t; };
    int r = clamp255((int)std::floor(lerp(a->r, b->r)));
    int g = clamp255((int)std::floor(lerp(a->g, b->g)));
    int bl = clamp255((int)std::floor(lerp(a->b, b->b)));
    int al = clamp255((int)std::floor(lerp(a->a, b->a)));
    uint32_t texel = 0xFF000000u;
    if (textured) {
      double w = lerp(a->oow, b->oow);
      if (w > 0.0) {
        double s = lerp(a->tmuvtx[0].sow, b->tmuvtx[0].sow) / w * p.tex->scale;
        double tt = lerp(a->tmuvtx[0].tow, b->tmuvtx[0].tow) / w * p.tex->scale;
        texel = sampleTexel(*p.tex, toFixed16(s) - 32768, toFixed16(tt) - 32768);
      }
    }
    int x = xMajor ? (int)i : (int)j, y = xMajor ? (int)j : (int)i;
    shadeFragment(p, x, y, r, g, bl, al, texel);
  }
}

// An antialiased line: the line widened to one pixel either side along its
// minor axis, its alpha falling to 0 at the outer edges; drawn as four triangles.
void grAADrawLine(const GrVertex *a, const GrVertex *b) {
  if (BoardTraceFile) {
    fprintf(BoardTraceFile, "grAADrawLine");
    traceVertex(a);
    traceVertex(b);
    fputc('\n', BoardTraceFile);
  }
  if (!Board.open)
    return;
  float dx = b->x - a->x, dy = b->y - a->y;
  if (dx == 0.0f && dy == 0.0f)
    return;
  bool xMajor = std::fabs(dx) >= std::fabs(dy);
  GrVertex ends[2][2]; // [side][endpoint]
  for (int side = 0; side < 2; ++side) {
    float off = side == 0 ? 1.0f : -1.0f;
    for (int k = 0; k < 2; ++k) {
      GrVertex v = k == 0 ? *a : *b;
      if (xMajor)
        v.y += off;
      else
        v.x += off;
      v.a = 0.0f;
      ends[side][k] = v;
    }
  }
  Pipe p = makePipe();
  for (int side = 0; side < 2; ++side) {
    drawTriangleWith(p, a, b, &ends[side][1]);
    drawTriangleWith(p, a, &ends[side][1], &ends[side][0]);
  }
}

// An antialiased point: a square one pixel either side of it, its alpha falling
// from the centre to 0 at the edges; drawn as four triangles around the centre.
void grAADrawPoint(const GrVertex *pt) {
  if (BoardTraceFile) {
    fprintf(BoardTraceFile, "grAADrawPoint");
    traceVertex(pt);
    fputc('\n', BoardTraceFile);
  }
  if (!Board.open)
    return;
  GrVertex corners[4];
  const float ox[4] = {-1.0f, 1.0f, 1.0f, -1.0f}, oy[4] = {-1.0f, -1.0f, 1.0f, 1.0f};
  for (int k = 0; k < 4; ++k) {
    corners[k] = *pt;
    corners[k].x += ox[k];
    corners[k].y += oy[k];
    corners[k].a = 0.0f;
  }
  Pipe p = makePipe();
  for (int k = 0; k < 4; ++k)
    drawTriangleWith(p, pt, &corners[k], &corners[(k + 1) & 3]);
}
