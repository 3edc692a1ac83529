#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "assets/font.h"
#include "platform/resources.h"

namespace {

constexpr int W = 40, H = 24;
constexpr uint16_t Background = 0x1234;

struct Canvas {
  std::vector<uint16_t> px = std::vector<uint16_t>(W * H, Background);
  uint16_t at(int x, int y) const { return px[y * W + x]; }
  int lit() const {
    int n = 0;
    for (uint16_t p : px) n += p == 0xFFFF;
    return n;
  }
};

class Font : public ::testing::Test {
protected:
  void SetUp() override {
    const ResourceBytes r = findResource("#108", "TEXTUREDATA");
    ASSERT_NE(r.data, nullptr);
    ASSERT_EQ(r.size, static_cast<std::size_t>(FontBytes));
    font = r.data;
    setFontData(font);
  }
  void TearDown() override { setFontData(nullptr); }
  // The glyph's pixel (column i, row j from the top) in the font bytes.
  bool glyphBit(int glyph, int i, int j) const {
    const unsigned bits = font[glyph * GlyphBytes + 2 * j] | (font[glyph * GlyphBytes + 2 * j + 1] << 8);
    return (bits & (0x8000u >> i)) != 0;
  }
  const unsigned char *font = nullptr;
};

TEST_F(Font, CodesMapToGlyphsOrToNothing) {
  for (int c = 0; c <= 32; ++c) EXPECT_EQ(glyphIndex(c), -1) << c;
  EXPECT_EQ(glyphIndex('!'), 0);
  EXPECT_EQ(glyphIndex('A'), 32);
  EXPECT_EQ(glyphIndex('~'), 93);
  EXPECT_EQ(glyphIndex(127), 94);
  for (int c = 128; c <= 163; ++c) EXPECT_EQ(glyphIndex(c), -1) << c;
  EXPECT_EQ(glyphIndex(164), 96);
  EXPECT_EQ(glyphIndex(255), 187);
  EXPECT_EQ(glyphIndex(-1), -1);
  EXPECT_EQ(glyphIndex(256), -1);
}

TEST_F(Font, ResourceHoldsTheLayoutTheDrawerReads) {
  for (int g = 0; g < GlyphCount; ++g) {
    int lit = 0;
    for (int j = 0; j < GlyphHeight; ++j) {
      const unsigned low = font[g * GlyphBytes + 2 * j];
      EXPECT_EQ(low & 0x7F, 0u) << "glyph " << g << " row " << j << ": bits 6..0 are zero";
      for (int i = 0; i < GlyphWidth; ++i) lit += glyphBit(g, i, j);
    }
    const bool printable = g <= 93 || (g >= 96 && g <= 187 && g != 96 + (173 - 164));
    if (printable) {
      EXPECT_GT(lit, 0) << "glyph " << g << " shows something";
    } else if (g == 94 || g == 95 || g > 187) {
      EXPECT_EQ(lit, 0) << "glyph " << g << " is empty";
    }
  }
  // "l" is a narrow vertical stroke; "-" a horizontal one in the middle rows.
  int column = 0;
  for (int j = 0; j < GlyphHeight; ++j) column += glyphBit(glyphIndex('l'), 4, j);
  EXPECT_GE(column, 8);
  int row = 0;
  for (int i = 0; i < GlyphWidth; ++i) row += glyphBit(glyphIndex('-'), i, 7);
  EXPECT_GE(row, 5);
}

TEST_F(Font, GlyphStandsUprightInRowsAboveY) {
  Canvas c;
  const int x = 3, y = 2;
  drawGlyph(c.px.data(), x, y, 'F', W);
  const int g = glyphIndex('F');
  for (int j = 0; j < GlyphHeight; ++j) {
    for (int i = 0; i < GlyphWidth; ++i) {
      // Glyph row 0 (the top) lands on row y + 15, row 14 on row y + 1.
      const uint16_t expected = glyphBit(g, i, j) ? 0xFFFF : Background;
      EXPECT_EQ(c.at(x + i, y + 15 - j), expected) << i << "," << j;
    }
  }
  // Nothing outside the cell is touched.
  int inside = 0;
  for (int j = 0; j < GlyphHeight; ++j)
    for (int i = 0; i < GlyphWidth; ++i) inside += glyphBit(g, i, j);
  EXPECT_EQ(c.lit(), inside);
  for (int xx = 0; xx < W; ++xx) EXPECT_EQ(c.at(xx, y), Background);
}

TEST_F(Font, BlanksAndUnmappedCodesLightNothing) {
  Canvas c;
  for (int code : {0, 9, 32, 127, 128, 150, 163}) drawGlyph(c.px.data(), 0, 0, code, W);
  EXPECT_EQ(c.lit(), 0);
  drawGlyph(c.px.data(), 0, 0, 233, W); // e acute, from the upper glyphs
  EXPECT_GT(c.lit(), 0);
  setFontData(nullptr);
  Canvas d;
  drawGlyph(d.px.data(), 0, 0, 'A', W);
  EXPECT_EQ(d.lit(), 0);
}

TEST_F(Font, DigitsAndReadOutCharactersDiffer) {
  // The read-out's characters must be told apart: every pair differs.
  const std::string chars = "0123456789.()/";
  for (size_t a = 0; a < chars.size(); ++a) {
    for (size_t b = a + 1; b < chars.size(); ++b) {
      bool differ = false;
      for (int j = 0; j < GlyphHeight && !differ; ++j)
        for (int i = 0; i < GlyphWidth && !differ; ++i)
          differ = glyphBit(glyphIndex(chars[a]), i, j) != glyphBit(glyphIndex(chars[b]), i, j);
      EXPECT_TRUE(differ) << chars[a] << " and " << chars[b];
    }
  }
}

} // namespace
