#include "hosts/headless/dumpresources.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "assets/font.h"
#include "assets/textures.h"
#include "hosts/common/outputfile.h"
#include "hosts/headless/pngpresenter.h"
#include "platform/resources.h"

namespace {

constexpr int PreviewWidth = 152;
constexpr int PreviewHeight = 112;

// Expands a decoded texture's largest level to 8-bit RGB.
bool textureToRgb(const TextureInfo &t, std::vector<uint8_t> &rgb) {
  const uint32_t n = t.width * t.height;
  rgb.assign(static_cast<size_t>(n) * 3, 0);
  if (t.format == 10) { // rgb565
    const uint16_t *texels = static_cast<const uint16_t *>(t.texels);
    for (uint32_t i = 0; i < n; ++i) {
      const unsigned v = texels[i];
      const unsigned r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
      rgb[3 * i] = static_cast<uint8_t>((r << 3) | (r >> 2));
      rgb[3 * i + 1] = static_cast<uint8_t>((g << 2) | (g >> 4));
      rgb[3 * i + 2] = static_cast<uint8_t>((b << 3) | (b >> 2));
    }
    return true;
  }
  if (t.format == 3) { // i8
    const uint8_t *texels = static_cast<const uint8_t *>(t.texels);
    for (uint32_t i = 0; i < n; ++i) {
      rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = texels[i];
    }
    return true;
  }
  return false;
}

// The font as a sheet of 16 glyphs a row with one-pixel gaps, lit pixels white.
void fontSheet(const unsigned char *font, int &width, int &height, std::vector<uint8_t> &rgb) {
  constexpr int PerRow = 16, CellW = GlyphWidth + 1, CellH = GlyphHeight + 1;
  width = PerRow * CellW + 1;
  height = (GlyphCount / PerRow) * CellH + 1;
  rgb.assign(static_cast<size_t>(width) * height * 3, 40);
  for (int g = 0; g < GlyphCount; ++g) {
    const int ox = 1 + (g % PerRow) * CellW, oy = 1 + (g / PerRow) * CellH;
    for (int j = 0; j < GlyphHeight; ++j) {
      const unsigned bits = font[g * GlyphBytes + 2 * j] | (font[g * GlyphBytes + 2 * j + 1] << 8);
      for (int i = 0; i < GlyphWidth; ++i) {
        const uint8_t v = (bits & (0x8000u >> i)) ? 255 : 0;
        uint8_t *p = &rgb[(static_cast<size_t>(oy + j) * width + ox + i) * 3];
        p[0] = p[1] = p[2] = v;
      }
    }
  }
}

} // namespace

bool dumpResources(const char *dir, std::string &error) {
  std::size_t count = 0;
  const int *ids = resourceIds(count);
  for (std::size_t k = 0; k < count; ++k) {
    const int id = ids[k];
    const std::string name = "#" + std::to_string(id);
    const std::string path = std::string(dir) + "/resource-" + std::to_string(id) + ".png";
    const ResourceBytes res = findResource(name.c_str(), "TEXTUREDATA");
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
    // The control panel's pictures are PNG already.
    if (res.size >= 8 && std::memcmp(res.data, "\x89PNG\r\n\x1a\n", 8) == 0) {
      OutputFile out;
      if (!out.open(path, false) || !out.write(res.data, res.size) || !out.commit()) {
        error = out.error();
        return false;
      }
      continue;
    }
    if (id == FontResourceId) {
      if (res.size < static_cast<std::size_t>(FontBytes)) {
        error = "resource " + name + " is too short for the font";
        return false;
      }
      fontSheet(res.data, width, height, rgb);
    } else if (res.size == static_cast<std::size_t>(PreviewWidth * PreviewHeight * 3)) {
      width = PreviewWidth;
      height = PreviewHeight;
      rgb.resize(res.size);
      for (int y = 0; y < height; ++y) { // stored bottom row first
        std::memcpy(&rgb[static_cast<size_t>(y) * width * 3],
                    res.data + static_cast<size_t>(height - 1 - y) * width * 3, width * 3);
      }
    } else {
      TextureInfo info;
      if (!parseTexture3df(res.data, res.size, info)) {
        error = "resource " + name + " is not a texture this program reads";
        return false;
      }
      const bool ok = textureToRgb(info, rgb);
      width = static_cast<int>(info.width);
      height = static_cast<int>(info.height);
      releaseTexels(info);
      if (!ok) {
        error = "resource " + name + " has a texture format the dump does not show";
        return false;
      }
    }
    if (!writePng(path, rgb.data(), width, height, error)) {
      return false;
    }
  }
  return true;
}
