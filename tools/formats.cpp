#include "formats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include <png.h>

namespace {

// 4 x 4 ordered dither thresholds, 0..1.
float ditherThreshold(int x, int y) {
  static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  return (bayer[y & 3][x & 3] + 0.5f) / 16.0f;
}

int quantise(float v, int levels, float threshold) {
  v = std::clamp(v, 0.0f, 1.0f);
  const int q = static_cast<int>(std::floor(v * levels + threshold));
  return std::clamp(q, 0, levels);
}

void appendText(Bytes &out, const std::string &s) { out.insert(out.end(), s.begin(), s.end()); }

std::string header(const char *format, int largest, int w, int h) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "3df v1.1\n%s\nlod range: %d %d\naspect ratio: %d %d\n", format, largest,
                largest, w, h);
  return buf;
}

// The aspect pair of a size (the larger side divided by the smaller).
void aspectOf(int width, int height, int &w, int &h) {
  w = width >= height ? width / height : 1;
  h = height > width ? height / width : 1;
}

} // namespace

Bytes make3dfRgb565(const Picture &p) {
  int aw, ah;
  aspectOf(p.width(), p.height(), aw, ah);
  Bytes out;
  appendText(out, header("rgb565", std::max(p.width(), p.height()), aw, ah));
  for (int y = 0; y < p.height(); ++y) {
    for (int x = 0; x < p.width(); ++x) {
      const float t = ditherThreshold(x, y);
      const int r = quantise(p.r.at(x, y), 31, t);
      const int g = quantise(p.g.at(x, y), 63, t);
      const int b = quantise(p.b.at(x, y), 31, t);
      const uint16_t texel = static_cast<uint16_t>((r << 11) | (g << 5) | b);
      out.push_back(static_cast<uint8_t>(texel >> 8));
      out.push_back(static_cast<uint8_t>(texel & 0xFF));
    }
  }
  return out;
}

Bytes make3dfI8(const Plane &p) {
  int aw, ah;
  aspectOf(p.width, p.height, aw, ah);
  Bytes out;
  appendText(out, header("i8", std::max(p.width, p.height), aw, ah));
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      out.push_back(static_cast<uint8_t>(quantise(p.at(x, y), 255, ditherThreshold(x, y))));
    }
  }
  return out;
}

Bytes makeRawRgbBottomUp(const Picture &p) {
  Bytes out;
  for (int y = p.height() - 1; y >= 0; --y) {
    for (int x = 0; x < p.width(); ++x) {
      const float t = ditherThreshold(x, y);
      out.push_back(static_cast<uint8_t>(quantise(p.r.at(x, y), 255, t)));
      out.push_back(static_cast<uint8_t>(quantise(p.g.at(x, y), 255, t)));
      out.push_back(static_cast<uint8_t>(quantise(p.b.at(x, y), 255, t)));
    }
  }
  return out;
}

bool fontFromText(const std::string &text, Bytes &font, std::string &error) {
  constexpr int Glyphs = 192, Rows = 15, Columns = 9;
  font.assign(Glyphs * Rows * 2, 0);
  std::vector<bool> seen(Glyphs, false);
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string &what) {
    error = "font text line " + std::to_string(lineNo) + ": " + what;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    int glyph = -1;
    if (std::sscanf(line.c_str(), "glyph %d", &glyph) != 1) {
      return fail("expected \"glyph N\"");
    }
    if (glyph < 0 || glyph >= Glyphs) return fail("glyph number out of range 0..191");
    if (seen[glyph]) return fail("glyph " + std::to_string(glyph) + " given twice");
    seen[glyph] = true;
    for (int r = 0; r < Rows; ++r) {
      if (!std::getline(in, line)) return fail("glyph " + std::to_string(glyph) + " ends early");
      ++lineNo;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (static_cast<int>(line.size()) != Columns) return fail("a row must be 9 characters");
      unsigned bits = 0;
      for (int c = 0; c < Columns; ++c) {
        if (line[c] == '#') {
          bits |= 0x8000u >> c;
        } else if (line[c] != '.') {
          return fail("a row holds only '#' and '.'");
        }
      }
      font[(glyph * Rows + r) * 2] = static_cast<uint8_t>(bits & 0xFF);
      font[(glyph * Rows + r) * 2 + 1] = static_cast<uint8_t>(bits >> 8);
    }
  }
  return true;
}

std::string embeddedSource(const std::vector<ResourceOut> &resources, bool asArrays) {
  std::string s;
  s += "// Written by the resource generator at build time.\n";
  s += "#include \"resources/embedded.h\"\n\nnamespace {\n";
  for (const ResourceOut &r : resources) {
    if (asArrays) {
      s += "alignas(4) const unsigned char Resource" + std::to_string(r.id) + "[] = {\n";
      for (std::size_t i = 0; i < r.bytes.size(); ++i) {
        s += std::to_string(r.bytes[i]);
        s += (i + 1) % 24 == 0 ? ",\n" : ",";
      }
      s += "};\n";
      continue;
    }
    s += "alignas(4) const unsigned char Resource" + std::to_string(r.id) + "[] =\n\"";
    int column = 0;
    for (uint8_t b : r.bytes) {
      char piece[8];
      if (b >= 0x20 && b < 0x7F && b != '\\' && b != '"' && b != '?') {
        piece[0] = static_cast<char>(b);
        piece[1] = '\0';
      } else {
        std::snprintf(piece, sizeof piece, "\\%03o", b);
      }
      s += piece;
      column += static_cast<int>(std::char_traits<char>::length(piece));
      if (column >= 100) {
        s += "\"\n\"";
        column = 0;
      }
    }
    s += "\";\n";
  }
  s += "} // namespace\n\nconst EmbeddedResource EmbeddedResources[] = {\n";
  for (const ResourceOut &r : resources) {
    s += "    {" + std::to_string(r.id) + ", \"TEXTUREDATA\", Resource" + std::to_string(r.id) + ", " +
         std::to_string(r.bytes.size()) + "},\n";
  }
  s += "};\nconst std::size_t EmbeddedResourceCount = " + std::to_string(resources.size()) + ";\n";
  return s;
}

Bytes makePng(const Picture &p, const Plane *alpha) {
  const int channels = alpha ? 4 : 3;
  std::vector<uint8_t> pixels;
  pixels.reserve(static_cast<size_t>(p.width()) * p.height() * channels);
  for (int y = 0; y < p.height(); ++y) {
    for (int x = 0; x < p.width(); ++x) {
      const float t = ditherThreshold(x, y);
      pixels.push_back(static_cast<uint8_t>(quantise(p.r.at(x, y), 255, t)));
      pixels.push_back(static_cast<uint8_t>(quantise(p.g.at(x, y), 255, t)));
      pixels.push_back(static_cast<uint8_t>(quantise(p.b.at(x, y), 255, t)));
      if (alpha) pixels.push_back(static_cast<uint8_t>(quantise(alpha->at(x, y), 255, 0.5f)));
    }
  }
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &out,
      [](png_structp s, png_bytep data, png_size_t size) {
        Bytes &o = *static_cast<Bytes *>(png_get_io_ptr(s));
        o.insert(o.end(), data, data + size);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p.width()), static_cast<png_uint_32>(p.height()), 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < p.height(); ++y)
    png_write_row(png, &pixels[static_cast<size_t>(y) * p.width() * channels]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes makeIco(const Bytes &png, int width, int height) {
  Bytes ico;
  auto put16 = [&](unsigned v) {
    ico.push_back(uint8_t(v));
    ico.push_back(uint8_t(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  // The directory: reserved, type 1 (icon), one image.
  put16(0);
  put16(1);
  put16(1);
  // The image's entry: 256 is written as 0; then no palette, one plane,
  // 32 bits a pixel, the PNG's length and where it starts.
  ico.push_back(uint8_t(width >= 256 ? 0 : width));
  ico.push_back(uint8_t(height >= 256 ? 0 : height));
  ico.push_back(0);
  ico.push_back(0);
  put16(1);
  put16(32);
  put32(uint32_t(png.size()));
  put32(6 + 16);
  ico.insert(ico.end(), png.begin(), png.end());
  return ico;
}
