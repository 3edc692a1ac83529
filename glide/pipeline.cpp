// The reference pixel pipeline: one fragment at a time, every mode.
#include "glide/pipeline.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

uint8_t DitherRB[3][16][256];
uint8_t DitherG[3][16][256];
bool DitherReady = false;
bool ForceReference = false;

// The alpha test's table for each function and reference, made when first used.
uint8_t AlphaPass[8][256][256];
bool AlphaPassReady[8][256];

void buildDither() {
  for (int mode = 0; mode < 3; ++mode)
    for (int pos = 0; pos < 16; ++pos) {
      int y = pos >> 2, x = pos & 3;
      for (int v = 0; v < 256; ++v) {
        if (mode == GR_DITHER_DISABLE) {
          DitherRB[mode][pos][v] = (uint8_t)(v >> 3);
          DitherG[mode][pos][v] = (uint8_t)(v >> 2);
          continue;
        }
        int d = ditherOffset(mode, x, y);
        DitherRB[mode][pos][v] = (uint8_t)(((v << 1) - (v >> 4) + (v >> 7) + d) >> 4);
        DitherG[mode][pos][v] = (uint8_t)(((v << 2) - (v >> 4) + (v >> 6) + d) >> 4);
      }
    }
  DitherReady = true;
}

bool alphaPasses(int func, int a, int ref) {
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

bool combineUsesTexture(int fnc) {
  return fnc >= GR_COLORCOMBINE_DECAL_TEXTURE && fnc <= GR_COLORCOMBINE_DIFF_SPEC_B;
}

bool alphaUsesTexture(int src) {
  return src == GR_ALPHASOURCE_TEXTURE_ALPHA || src == GR_ALPHASOURCE_TEXTURE_ALPHA_TIMES_ITERATED_ALPHA;
}

// Weight of a blend factor on the 0..256 scale. s and d are this channel of
// the incoming and the stored colour, a the incoming alpha.
int blendWeight(int factor, bool source, int s, int a, int d) {
  switch (factor) {
  case GR_BLEND_ZERO: return 0;
  case GR_BLEND_SRC_ALPHA: return a + 1;
  case GR_BLEND_SRC_COLOR: return source ? d + 1 : s + 1; // DST_COLOR as a source factor
  case GR_BLEND_DST_ALPHA: return 256;                    // no alpha buffer: always 255
  case GR_BLEND_ONE: return 256;
  case GR_BLEND_ONE_MINUS_SRC_ALPHA: return 256 - a;
  case GR_BLEND_ONE_MINUS_SRC_COLOR: return source ? 256 - d : 256 - s;
  case GR_BLEND_ONE_MINUS_DST_ALPHA: return 0;
  case GR_BLEND_ALPHA_SATURATE: return source ? 0 : s + 1; // as destination: pre-fog colour
  default: return 0;
  }
}

DitherParts Parts[3];
bool PartsReady = false;

int blendModeOf(int src, int dst) {
  if (src == GR_BLEND_ONE && dst == GR_BLEND_ZERO) return BlendNone;
  if (src == GR_BLEND_SRC_ALPHA && dst == GR_BLEND_ONE) return BlendAdd;
  if (src == GR_BLEND_SRC_ALPHA && dst == GR_BLEND_ZERO) return BlendScaled;
  if (src == GR_BLEND_ZERO && dst == GR_BLEND_SRC_ALPHA) return BlendFade;
  if (src == GR_BLEND_ONE && dst == GR_BLEND_SRC_ALPHA) return BlendOneAdd;
  return BlendOther;
}

} // namespace

void boardForceReferencePipeline(bool force) {
  boardDrain();
  ForceReference = force;
}
bool boardReferencePipelineForced() { return ForceReference; }

Pipe makePipe() {
  if (!DitherReady) buildDither();
  if (!PartsReady) {
    for (int m = 0; m < 3; ++m)
      for (int pos = 0; pos < 16; ++pos)
        for (int v = 0; v < 256; ++v) {
          Parts[m].red[pos][v] = (uint16_t)(DitherRB[m][pos][v] << 11);
          Parts[m].green[pos][v] = (uint16_t)(DitherG[m][pos][v] << 5);
          Parts[m].blue[pos][v] = DitherRB[m][pos][v];
        }
    PartsReady = true;
  }
  const int func = Board.alphaFunc & 7, ref = Board.alphaRef & 255;
  if (!AlphaPassReady[func][ref]) {
    for (int a = 0; a < 256; ++a) AlphaPass[func][ref][a] = alphaPasses(func, a, ref) ? 1 : 0;
    AlphaPassReady[func][ref] = true;
  }
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
  p.ditherMode = Board.ditherMode;
  p.ditherRB = &DitherRB[Board.ditherMode][0][0];
  p.ditherG = &DitherG[Board.ditherMode][0][0];
  p.alphaPass = AlphaPass[func][ref];
  p.parts = &Parts[Board.ditherMode];
  p.blendMode = blendModeOf(p.rgbSrc, p.rgbDst);
  p.rgbMask = Board.rgbMask;
  p.useTexture = combineUsesTexture(p.colorCombine) || alphaUsesTexture(p.alphaSource);
  p.tex = nullptr;
  int t = Board.currentTexture;
  if (t >= 0 && t < (int)Board.textures.size() && !Board.textures[t].texels.empty())
    p.tex = &Board.textures[t];
  p.flat = nullptr;
  p.grey = nullptr;
  p.band = Band();
  return p;
}

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
  case GR_COLORCOMBINE_TEXTURE_TIMES_CCRGB: r = g = b = 0; break;
  case GR_COLORCOMBINE_DECAL_TEXTURE:
    r = tr;
    g = tg;
    b = tb;
    break;
  case GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB:
  case GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB_DELTA0:
  case GR_COLORCOMBINE_DIFF_SPEC_A:
  case GR_COLORCOMBINE_DIFF_SPEC_B:
    r = (tr * (ir + 1)) >> 8;
    g = (tg * (ig + 1)) >> 8;
    b = (tb * (ib + 1)) >> 8;
    break;
  case GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB_ADD_ALPHA:
    r = std::min(255, ((tr * (ir + 1)) >> 8) + ia);
    g = std::min(255, ((tg * (ig + 1)) >> 8) + ia);
    b = std::min(255, ((tb * (ib + 1)) >> 8) + ia);
    break;
  case GR_COLORCOMBINE_TEXTURE_TIMES_ALPHA:
    r = (tr * (a + 1)) >> 8;
    g = (tg * (a + 1)) >> 8;
    b = (tb * (a + 1)) >> 8;
    break;
  case GR_COLORCOMBINE_TEXTURE_TIMES_ALPHA_ADD_ITRGB:
    r = std::min(255, ((tr * (a + 1)) >> 8) + ir);
    g = std::min(255, ((tg * (a + 1)) >> 8) + ig);
    b = std::min(255, ((tb * (a + 1)) >> 8) + ib);
    break;
  case GR_COLORCOMBINE_TEXTURE_ADD_ITRGB:
    r = std::min(255, tr + ir);
    g = std::min(255, tg + ig);
    b = std::min(255, tb + ib);
    break;
  case GR_COLORCOMBINE_TEXTURE_SUB_ITRGB:
    r = std::max(0, tr - ir);
    g = std::max(0, tg - ig);
    b = std::max(0, tb - ib);
    break;
  case GR_COLORCOMBINE_CCRGB_BLEND_ITRGB_ON_TEXALPHA:
    r = (ir * (256 - ta)) >> 8;
    g = (ig * (256 - ta)) >> 8;
    b = (ib * (256 - ta)) >> 8;
    break;
  case GR_COLORCOMBINE_ONE: r = g = b = 255; break;
  default: // ITRGB, ITRGB_DELTA0
    r = ir;
    g = ig;
    b = ib;
    break;
  }

  if (!alphaPasses(p.alphaFunc, a, p.alphaRef) || !p.rgbMask) return;

  uint16_t *pixel = p.target + (size_t)y * p.width + x;
  if (!(p.rgbSrc == GR_BLEND_ONE && p.rgbDst == GR_BLEND_ZERO)) {
    unsigned old = *pixel;
    int dr = expand5(old >> 11), dg = expand6((old >> 5) & 63), db = expand5(old & 31);
    r = std::min(
        255, (r * blendWeight(p.rgbSrc, true, r, a, dr) + dr * blendWeight(p.rgbDst, false, r, a, dr)) >> 8);
    g = std::min(
        255, (g * blendWeight(p.rgbSrc, true, g, a, dg) + dg * blendWeight(p.rgbDst, false, g, a, dg)) >> 8);
    b = std::min(
        255, (b * blendWeight(p.rgbSrc, true, b, a, db) + db * blendWeight(p.rgbDst, false, b, a, db)) >> 8);
  }
  int pos = ((y & 3) << 2 | (x & 3)) << 8;
  *pixel = (uint16_t)(p.ditherRB[pos + r] << 11 | p.ditherG[pos + g] << 5 | p.ditherRB[pos + b]);
}

namespace {

// The flat-area and grey tables made since the board last drained, newest last.
std::vector<std::unique_ptr<FlatTables>> FlatCache;
constexpr size_t FlatCacheLimit = 64;

struct GreyTable {
  int blend, r, g, b, a, dither;
  uint16_t entries[GreyTableEntries];
};
std::vector<std::unique_ptr<GreyTable>> GreyCache;

} // namespace

const FlatTables *flatTablesFor(int blend, int r, int g, int b, int a, int dither) {
  for (size_t i = FlatCache.size(); i-- > 0;) {
    const FlatTables &f = *FlatCache[i];
    if (f.blend == blend && f.r == r && f.g == g && f.b == b && f.a == a && f.dither == dither) return &f;
  }
  if (FlatCache.size() >= FlatCacheLimit) {
    boardDrain(); // recorded draws may hold any of them
    FlatCache.clear();
  }
  if (!DitherReady) buildDither();
  auto made = std::make_unique<FlatTables>();
  FlatTables &f = *made;
  f.blend = blend;
  f.r = r;
  f.g = g;
  f.b = b;
  f.a = a;
  f.dither = dither;
  for (int pos = 0; pos < 16; ++pos) {
    const uint8_t *rb = DitherRB[dither][pos], *gg = DitherG[dither][pos];
    for (int v = 0; v < 32; ++v) {
      f.red[pos][v] = (uint16_t)(rb[blendChannel(blend, r, a, expand5(v))] << 11);
      f.blue[pos][v] = rb[blendChannel(blend, b, a, expand5(v))];
    }
    for (int v = 0; v < 64; ++v) f.green[pos][v] = (uint16_t)(gg[blendChannel(blend, g, a, expand6(v))] << 5);
  }
  FlatCache.push_back(std::move(made));
  return FlatCache.back().get();
}

const uint16_t *greyTableFor(int blend, int r, int g, int b, int a, int dither) {
  for (size_t i = GreyCache.size(); i-- > 0;) {
    const GreyTable &t = *GreyCache[i];
    if (t.blend == blend && t.r == r && t.g == g && t.b == b && t.a == a && t.dither == dither)
      return t.entries;
  }
  if (GreyCache.size() >= FlatCacheLimit) {
    boardDrain(); // recorded draws may hold any of them
    GreyCache.clear();
  }
  if (!PartsReady) makePipe(); // builds the dither parts
  auto made = std::make_unique<GreyTable>();
  GreyTable &t = *made;
  t.blend = blend;
  t.r = r;
  t.g = g;
  t.b = b;
  t.a = a;
  t.dither = dither;
  const DitherParts &parts = Parts[dither];
  for (int i = 0; i < 256; ++i) {
    int cr = (i * (r + 1)) >> 8, cg = (i * (g + 1)) >> 8, cb = (i * (b + 1)) >> 8;
    if (blend == BlendScaled) {
      cr = (cr * (a + 1)) >> 8;
      cg = (cg * (a + 1)) >> 8;
      cb = (cb * (a + 1)) >> 8;
    }
    for (int pos = 0; pos < 16; ++pos)
      t.entries[pos * 256 + i] = (uint16_t)(parts.red[pos][cr] | parts.green[pos][cg] | parts.blue[pos][cb]);
  }
  std::fill(t.entries + 16 * 256, t.entries + GreyTableEntries, 0);
  GreyCache.push_back(std::move(made));
  return GreyCache.back().get()->entries;
}
