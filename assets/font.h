// The 9 x 15 bitmap font and the text drawer that writes it straight into the
// back buffer.
#pragma once

#include <cstdint>

constexpr int GlyphWidth = 9;
constexpr int GlyphHeight = 15;
constexpr int GlyphCount = 192;
constexpr int GlyphBytes = 30; // 15 little-endian 16-bit rows, bit 15 = leftmost column
constexpr int FontBytes = GlyphCount * GlyphBytes;
constexpr int FontResourceId = 108;

// Finds the font resource and keeps it for drawing. Shows "Cannot read font
// data" once and returns false when it is missing.
bool loadFont();

// Uses font bytes from elsewhere (FontBytes long), or none with nullptr.
void setFontData(const unsigned char *font);

// The glyph index a character code draws, or -1 for codes that light nothing.
int glyphIndex(int code);

// Draws one character cell into 16-bit pixels whose rows grow upward: the
// glyph's top row lands on row y + 15, its bottom row on row y + 1. Lit
// pixels become white; the others are untouched.
void drawGlyph(uint16_t *pixels, int x, int y, int code, int stride);

// Draws text into the back buffer, 9 pixels per character from column x.
// Leaves the blend (one, source alpha, zero, zero) set.
void drawText(int x, int y, const char *text);
