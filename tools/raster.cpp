#include "raster.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_STROKER_H

#include <algorithm>
#include <cmath>

void Picture::add(const Plane &p, Colour c, float gain) {
  for (size_t i = 0; i < p.v.size(); ++i) {
    const float v = p.v[i] * gain;
    r.v[i] += v * c.r;
    g.v[i] += v * c.g;
    b.v[i] += v * c.b;
  }
}

namespace {

std::vector<float> gaussianKernel(float sigma) {
  const int radius = std::max(1, static_cast<int>(std::ceil(sigma * 3.0f)));
  std::vector<float> k(2 * radius + 1);
  float sum = 0.0f;
  for (int i = -radius; i <= radius; ++i) {
    const float w = std::exp(-0.5f * (i * i) / (sigma * sigma));
    k[i + radius] = w;
    sum += w;
  }
  for (float &w : k) w /= sum;
  return k;
}

// Resamples n source samples onto m output samples by area.
void resampleLine(const float *src, int n, int srcStride, float *dst, int m, int dstStride) {
  const double scale = static_cast<double>(n) / m;
  for (int j = 0; j < m; ++j) {
    const double a = j * scale, b = (j + 1) * scale;
    double sum = 0.0;
    for (int i = static_cast<int>(a); i < n && i < b; ++i) {
      const double lo = std::max<double>(a, i), hi = std::min<double>(b, i + 1);
      if (hi > lo) sum += (hi - lo) * src[static_cast<size_t>(i) * srcStride];
    }
    dst[static_cast<size_t>(j) * dstStride] = static_cast<float>(sum / scale);
  }
}

} // namespace

Plane blur(const Plane &p, float sigma) {
  const std::vector<float> k = gaussianKernel(sigma);
  const int radius = static_cast<int>(k.size() / 2);
  Plane tmp(p.width, p.height), out(p.width, p.height);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      float s = 0.0f;
      for (int i = -radius; i <= radius; ++i) {
        const int xx = x + i;
        if (xx >= 0 && xx < p.width) s += k[i + radius] * p.at(xx, y);
      }
      tmp.at(x, y) = s;
    }
  }
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      float s = 0.0f;
      for (int i = -radius; i <= radius; ++i) {
        const int yy = y + i;
        if (yy >= 0 && yy < p.height) s += k[i + radius] * tmp.at(x, yy);
      }
      out.at(x, y) = s;
    }
  }
  return out;
}

Plane resample(const Plane &p, int width, int height) {
  Plane across(width, p.height), out(width, height);
  for (int y = 0; y < p.height; ++y) {
    resampleLine(&p.v[static_cast<size_t>(y) * p.width], p.width, 1,
                 &across.v[static_cast<size_t>(y) * width], width, 1);
  }
  for (int x = 0; x < width; ++x) {
    resampleLine(&across.v[x], p.height, width, &out.v[x], height, width);
  }
  return out;
}

Picture resample(const Picture &p, int width, int height) {
  Picture out;
  out.r = resample(p.r, width, height);
  out.g = resample(p.g, width, height);
  out.b = resample(p.b, width, height);
  return out;
}

float softClip(float x) {
  if (x <= 0.0f) return 0.0f;
  // Linear up to 0.6, then easing toward 1.
  if (x < 0.6f) return x;
  return 1.0f - 0.4f * std::exp(-(x - 0.6f) / 0.4f);
}

float hash01(int x, int y, int seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
               static_cast<uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return static_cast<float>(h & 0xFFFFFF) / 16777215.0f;
}

float valueNoise(float x, float y, int seed) {
  const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
  const float fx = x - ix, fy = y - iy;
  const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const float a = hash01(ix, iy, seed), b = hash01(ix + 1, iy, seed);
  const float c = hash01(ix, iy + 1, seed), d = hash01(ix + 1, iy + 1, seed);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

float fractalNoise(float x, float y, int octaves, int seed) {
  float sum = 0.0f, amp = 0.5f, norm = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * valueNoise(x, y, seed + o * 101);
    norm += amp;
    x *= 2.0f;
    y *= 2.0f;
    amp *= 0.5f;
  }
  return sum / norm;
}

TextFace::TextFace() {
  FT_Library lib = nullptr;
  if (FT_Init_FreeType(&lib) == 0) library_ = lib;
}

TextFace::~TextFace() {
  if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
  if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

bool TextFace::open(const std::string &path, std::string &error) {
  FT_Face face = nullptr;
  if (!library_ || FT_New_Face(static_cast<FT_Library>(library_), path.c_str(), 0, &face) != 0) {
    error = "cannot read the font " + path;
    return false;
  }
  face_ = face;
  return true;
}

float TextFace::advance(const std::string &text, float em, float tracking) const {
  FT_Face face = static_cast<FT_Face>(face_);
  FT_Set_Char_Size(face, static_cast<FT_F26Dot6>(std::lround(em * 64)), 0, 72, 72);
  float pen = 0.0f;
  FT_UInt previous = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(text[i]));
    if (previous && FT_HAS_KERNING(face)) {
      FT_Vector k;
      FT_Get_Kerning(face, previous, index, FT_KERNING_UNFITTED, &k);
      pen += k.x / 64.0f;
    }
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
      pen += face->glyph->linearHoriAdvance / 65536.0f;
    }
    if (i + 1 < text.size()) pen += tracking;
    previous = index;
  }
  return pen;
}

void TextFace::draw(Plane &coverage, const std::string &text, float x, float y, float em, float tracking,
                    float strokeRadius) const {
  FT_Face face = static_cast<FT_Face>(face_);
  FT_Library lib = static_cast<FT_Library>(library_);
  FT_Set_Char_Size(face, static_cast<FT_F26Dot6>(std::lround(em * 64)), 0, 72, 72);
  FT_Stroker stroker = nullptr;
  if (strokeRadius > 0.0f) {
    FT_Stroker_New(lib, &stroker);
    FT_Stroker_Set(stroker, static_cast<FT_Fixed>(std::lround(strokeRadius * 64)), FT_STROKER_LINECAP_ROUND,
                   FT_STROKER_LINEJOIN_ROUND, 0);
  }
  float pen = x;
  FT_UInt previous = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(text[i]));
    if (previous && FT_HAS_KERNING(face)) {
      FT_Vector k;
      FT_Get_Kerning(face, previous, index, FT_KERNING_UNFITTED, &k);
      pen += k.x / 64.0f;
    }
    previous = index;
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) continue;
    const float advance = face->glyph->linearHoriAdvance / 65536.0f;
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0) continue;
    const float ox = std::floor(pen), oy = std::floor(y);
    FT_Vector shift{static_cast<FT_Pos>(std::lround((pen - ox) * 64)),
                    static_cast<FT_Pos>(std::lround(-(y - oy) * 64))};
    if (stroker) FT_Glyph_Stroke(&glyph, stroker, 1);
    FT_Glyph_Transform(glyph, nullptr, &shift);
    if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) == 0) {
      const FT_BitmapGlyph bg = reinterpret_cast<FT_BitmapGlyph>(glyph);
      const FT_Bitmap &bm = bg->bitmap;
      for (unsigned r = 0; r < bm.rows; ++r) {
        for (unsigned c = 0; c < bm.width; ++c) {
          const int px = static_cast<int>(ox) + bg->left + static_cast<int>(c);
          const int py = static_cast<int>(oy) - bg->top + static_cast<int>(r);
          if (px < 0 || py < 0 || px >= coverage.width || py >= coverage.height) continue;
          const float v = bm.buffer[r * bm.pitch + c] / 255.0f;
          float &dst = coverage.at(px, py);
          dst = std::max(dst, v);
        }
      }
    }
    FT_Done_Glyph(glyph);
    pen += advance + tracking;
  }
  if (stroker) FT_Stroker_Done(stroker);
}

void TextFace::drawCentred(Plane &coverage, const std::string &text, float cx, float y, float em,
                           float tracking, float strokeRadius) const {
  draw(coverage, text, cx - advance(text, em, tracking) * 0.5f, y, em, tracking, strokeRadius);
}
