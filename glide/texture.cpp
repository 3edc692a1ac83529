// Texture memory: a bump allocator over the texture unit's memory, downloads
// that expand the largest level to 32-bit texels, and the current texture.
#include <emmintrin.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/pipeline.h"
#include "glide/texels.h"
#include "glide/tracewrite.h"
#include "glide/workers.h"

namespace {

int bytesPerTexel(int format) {
  switch (format) {
  case GR_TEXFMT_RGB_332:
  case GR_TEXFMT_ALPHA_8:
  case GR_TEXFMT_INTENSITY_8:
  case GR_TEXFMT_ALPHA_INTENSITY_44: return 1;
  case GR_TEXFMT_ARGB_8332:
  case GR_TEXFMT_RGB_565:
  case GR_TEXFMT_ARGB_1555:
  case GR_TEXFMT_ARGB_4444:
  case GR_TEXFMT_ALPHA_INTENSITY_88: return 2;
  default: return 0; // palette and YIQ formats need tables the board does not keep
  }
}

inline uint32_t argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return a << 24 | r << 16 | g << 8 | b;
}

inline unsigned rep(unsigned v, int bits) { // bit replication to 8 bits
  unsigned out = v << (8 - bits);
  for (int shift = bits; shift < 8; shift += bits) out |= (v << (8 - bits)) >> shift;
  return out & 255u;
}

uint32_t expandTexel(int format, const uint8_t *src) {
  unsigned v8 = src[0];
  unsigned v16 = bytesPerTexel(format) == 2 ? (unsigned)src[0] | (unsigned)src[1] << 8 : v8;
  switch (format) {
  case GR_TEXFMT_RGB_332: return argb(255, rep(v8 >> 5, 3), rep((v8 >> 2) & 7, 3), rep(v8 & 3, 2));
  case GR_TEXFMT_ALPHA_8: return argb(v8, 255, 255, 255);
  case GR_TEXFMT_INTENSITY_8: return argb(255, v8, v8, v8);
  case GR_TEXFMT_ALPHA_INTENSITY_44: {
    unsigned i = rep(v8 & 15, 4);
    return argb(rep(v8 >> 4, 4), i, i, i);
  }
  case GR_TEXFMT_ARGB_8332:
    return argb(v16 >> 8, rep((v16 >> 5) & 7, 3), rep((v16 >> 2) & 7, 3), rep(v16 & 3, 2));
  case GR_TEXFMT_RGB_565: return argb(255, rep(v16 >> 11, 5), rep((v16 >> 5) & 63, 6), rep(v16 & 31, 5));
  case GR_TEXFMT_ARGB_1555:
    return argb((v16 >> 15) ? 255 : 0, rep((v16 >> 10) & 31, 5), rep((v16 >> 5) & 31, 5), rep(v16 & 31, 5));
  case GR_TEXFMT_ARGB_4444:
    return argb(rep(v16 >> 12, 4), rep((v16 >> 8) & 15, 4), rep((v16 >> 4) & 15, 4), rep(v16 & 15, 4));
  case GR_TEXFMT_ALPHA_INTENSITY_88: return argb(v16 >> 8, v16 & 255, v16 & 255, v16 & 255);
  default: return argb(255, 0, 0, 0);
  }
}

// Width and height of a level from its level-of-detail code and the aspect.
bool levelSize(GrLOD_t lod, GrAspectRatio_t aspect, int &width, int &height) {
  if (lod < GR_LOD_256 || lod > GR_LOD_1 || aspect < GR_ASPECT_8x1 || aspect > GR_ASPECT_1x8) return false;
  int longSide = 256 >> lod;
  int ratio = 1 << (aspect <= GR_ASPECT_1x1 ? GR_ASPECT_1x1 - aspect : aspect - GR_ASPECT_1x1);
  int shortSide = longSide / ratio > 0 ? longSide / ratio : 1;
  width = aspect <= GR_ASPECT_1x1 ? longSide : shortSide;
  height = aspect <= GR_ASPECT_1x1 ? shortSide : longSide;
  return true;
}

} // namespace

GrMipMapId_t guTexAllocateMemory(GrChipID_t tmu, FxU8 odd_even_mask, int width, int height,
                                 GrTextureFormat_t fmt, GrMipMapMode_t mm_mode, GrLOD_t smallest_lod,
                                 GrLOD_t largest_lod, GrAspectRatio_t aspect,
                                 GrTextureClampMode_t s_clamp_mode, GrTextureClampMode_t t_clamp_mode,
                                 GrTextureFilterMode_t minfilter_mode, GrTextureFilterMode_t magfilter_mode,
                                 float lod_bias, FxBool trilinear) {
  GrMipMapId_t handle = GR_NULL_MIPMAP_HANDLE;
  int bpp = bytesPerTexel(fmt);
  int w = 0, h = 0;
  if (tmu != GR_TMU0) {
    fprintf(stderr, "board: texture unit %d does not exist\n", tmu);
  } else if (bpp == 0) {
    fprintf(stderr, "board: texture format %d is not supported\n", fmt);
  } else if (!levelSize(largest_lod, aspect, w, h) || smallest_lod < largest_lod || smallest_lod > GR_LOD_1) {
    fprintf(stderr, "board: texture levels %d..%d with aspect %d are not valid\n", largest_lod, smallest_lod,
            aspect);
  } else {
    uint32_t bytes = 0;
    for (GrLOD_t lod = largest_lod; lod <= smallest_lod; ++lod) {
      int lw = 0, lh = 0;
      levelSize(lod, aspect, lw, lh);
      bytes += (uint32_t)(lw * lh * bpp);
    }
    if (bytes <= BoardTextureMemory - Board.textureBytesUsed) {
      boardDrain(); // recorded draws point into the list of textures
      BoardTexture t;
      t.width = w;
      t.height = h;
      t.format = fmt;
      t.bytes = bytes;
      t.clampS = s_clamp_mode == GR_TEXTURECLAMP_CLAMP;
      t.clampT = t_clamp_mode == GR_TEXTURECLAMP_CLAMP;
      t.bilinear = magfilter_mode == GR_TEXTUREFILTER_BILINEAR;
      t.scale = (float)(w > h ? w : h) / 256.0f;
      Board.textureBytesUsed += bytes;
      Board.textures.push_back(std::move(t));
      handle = (GrMipMapId_t)Board.textures.size() - 1;
    }
  }
  if (BoardTraceFile)
    traceCall(TraceCall::GuTexAllocateMemory,
              {tmu, odd_even_mask, width, height, fmt, mm_mode, smallest_lod, largest_lod, aspect,
               s_clamp_mode, t_clamp_mode, minfilter_mode, magfilter_mode, lod_bias, trilinear, handle});
  return handle;
}

size_t boardTextureDownloadBytes(GrMipMapId_t mmid) {
  if (mmid < 0 || mmid >= (GrMipMapId_t)Board.textures.size()) return 0;
  const BoardTexture &t = Board.textures[mmid];
  return (size_t)t.width * t.height * bytesPerTexel(t.format);
}

void guTexDownloadMipMap(GrMipMapId_t mmid, const void *src, const GuNccTable *ncc_table) {
  (void)ncc_table;
  BoardTexture *t = nullptr;
  if (mmid >= 0 && mmid < (GrMipMapId_t)Board.textures.size()) t = &Board.textures[mmid];
  size_t bytes = boardTextureDownloadBytes(mmid);
  if (BoardTraceFile) {
    if (t && src) traceTexels(src, bytes);
    traceCall(TraceCall::GuTexDownloadMipMap, {mmid, t && src ? traceHash(src, bytes) : 0ull});
  }
  if (!t || !src) return;
  boardDrain(); // recorded draws may read these texels
  const uint8_t *in = static_cast<const uint8_t *>(src);
  int bpp = bytesPerTexel(t->format);
  const int w = t->width, h = t->height, pitch = w + 2;
  t->pitch = pitch;
  t->texels.resize((size_t)pitch * (h + 2));
  for (int y = 0; y < h; ++y) {
    uint32_t *row = t->texels.data() + (size_t)(y + 1) * pitch;
    for (int x = 0; x < w; ++x) row[x + 1] = expandTexel(t->format, in + ((size_t)y * w + x) * bpp);
    // The border holds the texel a tap past the edge reads: the edge itself
    // when clamping, the far side when wrapping.
    row[0] = t->clampS ? row[1] : row[w];
    row[w + 1] = t->clampS ? row[w] : row[1];
  }
  uint32_t *first = t->texels.data() + pitch, *last = t->texels.data() + (size_t)h * pitch;
  std::memcpy(t->texels.data(), t->clampT ? first : last, pitch * sizeof(uint32_t));
  std::memcpy(t->texels.data() + (size_t)(h + 1) * pitch, t->clampT ? last : first, pitch * sizeof(uint32_t));
  t->pairs.assign(t->texels.size(), 0);
  for (size_t i = 0; i + 1 < t->texels.size(); ++i) {
    __m128i pair =
        _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)t->texels[i]), _mm_cvtsi32_si128((int)t->texels[i + 1]));
    _mm_storel_epi64((__m128i *)&t->pairs[i], pair);
  }
  t->grey = true;
  for (uint32_t texel : t->texels)
    if (((texel >> 16) & 255) != (texel & 255) || ((texel >> 8) & 255) != (texel & 255)) {
      t->grey = false;
      break;
    }
  t->texels565.clear();
  bool narrow = true;
  for (uint32_t texel : t->texels) {
    const unsigned r = (texel >> 16) & 255, g = (texel >> 8) & 255, b = texel & 255;
    if ((int)r != expand5(r >> 3) || (int)g != expand6(g >> 2) || (int)b != expand5(b >> 3)) {
      narrow = false;
      break;
    }
  }
  if (narrow) {
    t->texels565.assign(t->texels.size() + 1, 0);
    for (size_t i = 0; i < t->texels.size(); ++i) {
      const uint32_t texel = t->texels[i];
      t->texels565[i] =
          (uint16_t)(((texel >> 8) & 0xF800) | ((texel >> 5) & 0x07E0) | ((texel >> 3) & 0x001F));
    }
  }
  t->lit.assign((size_t)BoardTexture::LitLevels * (h + 1), BoardTexture::LitColumns{(int16_t)pitch, -1});
  for (int y = 0; y <= h; ++y) {
    const uint32_t *upper = t->texels.data() + (size_t)y * pitch, *lower = upper + pitch;
    auto brightest = [](uint32_t texel) {
      return std::max({texel & 255, (texel >> 8) & 255, (texel >> 16) & 255});
    };
    for (int x = 0; x <= w; ++x) {
      const uint32_t top =
          std::max({brightest(upper[x]), brightest(upper[x + 1]), brightest(lower[x]), brightest(lower[x + 1])});
      for (int k = 0; k < BoardTexture::LitLevels && top >> k != 0; ++k) {
        BoardTexture::LitColumns &lit = t->lit[(size_t)k * (h + 1) + y];
        lit.first = (int16_t)std::min<int>(lit.first, x);
        lit.last = (int16_t)x;
      }
    }
  }
  t->quads.clear();
  if (t->grey) {
    const size_t rows = t->texels.size() / pitch;
    t->quads.assign(t->texels.size() + QuadPadding, 0);
    auto level = [&](size_t x, size_t y) -> uint32_t {
      return x < (size_t)pitch && y < rows ? t->texels[y * pitch + x] & 255 : 0;
    };
    for (size_t y = 0; y < rows; ++y)
      for (size_t x = 0; x < (size_t)pitch; ++x)
        t->quads[y * pitch + x] =
            level(x, y) | level(x + 1, y) << 8 | level(x, y + 1) << 16 | level(x + 1, y + 1) << 24;
  }
}

void guTexSource(GrMipMapId_t mmid) {
  if (BoardTraceFile) traceCall(TraceCall::GuTexSource, {mmid});
  // An unknown handle (-1 among them) leaves the current texture in place.
  if (mmid >= 0 && mmid < (GrMipMapId_t)Board.textures.size()) Board.currentTexture = mmid;
}

int boardTexelBytes(GrTextureFormat_t format) { return bytesPerTexel(format); }
uint32_t boardExpandTexel(GrTextureFormat_t format, const uint8_t *texel) {
  return expandTexel(format, texel);
}
bool boardLevelSize(GrLOD_t lod, GrAspectRatio_t aspect, int &width, int &height) {
  return levelSize(lod, aspect, width, height);
}
