// Development tool: converts a 9 x 15 bitmap font (any format FreeType reads,
// e.g. the X11 misc-fixed 9x15 PCF) into the program's readable font text.
// Glyphs 0-93 are "!" to "~"; glyphs 96-187 are the Latin-1 characters
// 164-255; the others stay empty. Usage: fonttotext FONTFILE > font9x15.txt
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>

namespace {

constexpr int Width = 9;
constexpr int Height = 15;

int codeOfGlyph(int glyph) {
  if (glyph <= 93) return glyph + 33;
  if (glyph >= 96 && glyph <= 187) return glyph + 68;
  return -1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fonttotext FONTFILE\n");
    return 2;
  }
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib) || FT_New_Face(lib, argv[1], 0, &face)) {
    std::fprintf(stderr, "fonttotext: cannot open %s\n", argv[1]);
    return 1;
  }
  if (face->num_fixed_sizes > 0) FT_Select_Size(face, 0);
  const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
  std::printf("# The program's 9 x 15 bitmap font: 192 glyphs of 15 rows of 9 columns,\n"
              "# '#' a lit pixel, '.' a dark one. Glyphs 0-93 are the characters \"!\" to \"~\",\n"
              "# glyphs 96-187 the Latin-1 characters 164-255; glyphs not listed are empty.\n"
              "# Derived from the public-domain X11 misc-fixed 9x15 font.\n");
  for (int g = 0; g < 192; ++g) {
    const int code = codeOfGlyph(g);
    if (code < 0) continue;
    if (FT_Load_Char(face, static_cast<FT_ULong>(code), FT_LOAD_RENDER | FT_LOAD_TARGET_MONO)) {
      std::fprintf(stderr, "fonttotext: no glyph for %d\n", code);
      continue;
    }
    const FT_GlyphSlot s = face->glyph;
    bool cell[Height][Width] = {};
    for (unsigned r = 0; r < s->bitmap.rows; ++r) {
      for (unsigned c = 0; c < s->bitmap.width; ++c) {
        const unsigned char *row = s->bitmap.buffer + r * s->bitmap.pitch;
        const bool on = s->bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (row[c >> 3] & (0x80 >> (c & 7))) != 0
                                                                   : row[c] >= 128;
        const int y = ascent - s->bitmap_top + static_cast<int>(r);
        const int x = s->bitmap_left + static_cast<int>(c);
        if (on && y >= 0 && y < Height && x >= 0 && x < Width) cell[y][x] = true;
      }
    }
    std::printf("\nglyph %d code %d\n", g, code);
    for (int y = 0; y < Height; ++y) {
      for (int x = 0; x < Width; ++x) std::putchar(cell[y][x] ? '#' : '.');
      std::putchar('\n');
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return 0;
}
