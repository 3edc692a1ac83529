// The 9 x 15 bitmap font and the text drawer.
#include "assets/font.h"

#include <cstdio>

#include "glide/glide.h"
#include "platform/messagebox.h"
#include "platform/resources.h"

namespace {
const unsigned char *Font = nullptr;
} // namespace

bool loadFont() {
  char name[16];
  std::snprintf(name, sizeof name, "#%d", FontResourceId);
  const ResourceBytes res = findResource(name, "TEXTUREDATA");
  if (res.data == nullptr || res.size < static_cast<std::size_t>(FontBytes)) {
    Font = nullptr;
    messageBox("Cannot read font data", "ERROR", LV_MB_OK);
    return false;
  }
  Font = res.data;
  return true;
}

void setFontData(const unsigned char *font) { Font = font; }

int glyphIndex(int code) {
  if (code >= 33 && code <= 127) {
    return code - 33;
  }
  if (code >= 164 && code <= 255) {
    return code - 68;
  }
  return -1;
}

void drawGlyph(uint16_t *pixels, int x, int y, int code, int stride) {
  const int glyph = glyphIndex(code);
  if (glyph < 0 || Font == nullptr) {
    return;
  }
  const unsigned char *rows = Font + glyph * GlyphBytes;
  for (int j = 0; j < GlyphHeight; ++j) {
    const unsigned bits = rows[2 * j] | (rows[2 * j + 1] << 8);
    if (bits == 0) {
      continue;
    }
    uint16_t *row = pixels + static_cast<std::ptrdiff_t>(y + GlyphHeight - j) * stride + x;
    for (int i = 0; i < GlyphWidth; ++i) {
      if (bits & (0x8000u >> i)) {
        row[i] = 0xFFFF;
      }
    }
  }
}

void drawText(int x, int y, const char *text) {
  grLfbConstantDepth(0xFFFF);
  grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  if (Font == nullptr) {
    return;
  }
  GrLfbInfo_t info;
  info.size = sizeof info;
  if (!grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_ANY, 1, &info)) {
    return;
  }
  uint16_t *pixels = static_cast<uint16_t *>(info.lfbPtr);
  const int stride = static_cast<int>(info.strideInBytes / 2);
  // A cell that would cross the right edge is left out rather than wrapped
  // onto the next rows.
  for (int k = 0; text[k] != '\0' && x + GlyphWidth * (k + 1) <= stride; ++k) {
    drawGlyph(pixels, x + GlyphWidth * k, y, static_cast<unsigned char>(text[k]), stride);
  }
  grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER);
}
