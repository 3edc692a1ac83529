#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "assets/font.h"
#include "assets/framestats.h"
#include "display/frameloop.h"
#include "glide/glide.h"
#include "glide/tracewrite.h"
#include "platform/resources.h"

namespace {

constexpr int Width = 320, Height = 200;

// An open 320 x 200 board with its origin at the lower left and a black back buffer.
class DrawText : public ::testing::Test {
protected:
  void SetUp() override {
    grGlideInit();
    ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_320x200, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
                             GR_ORIGIN_LOWER_LEFT, 2, 1));
    grBufferClear(0, 0, 0);
    font = findResource("#108", "TEXTUREDATA").data;
    ASSERT_NE(font, nullptr);
    setFontData(font);
  }
  void TearDown() override {
    if (BoardTraceFile) {
      std::fclose(BoardTraceFile);
      BoardTraceFile = nullptr;
    }
    setFontData(nullptr);
    grGlideShutdown();
  }
  // Back buffer row y (counted from the bottom).
  std::vector<uint16_t> backRows() {
    std::vector<uint16_t> px(Width * Height);
    // Region reads count rows from the top: read each row where it lies.
    for (int y = 0; y < Height; ++y)
      EXPECT_TRUE(grLfbReadRegion(GR_BUFFER_BACKBUFFER, 0, Height - 1 - y, Width, 1, Width * 2,
                                  px.data() + static_cast<size_t>(y) * Width));
    return px;
  }
  bool glyphBit(int code, int i, int j) const {
    const int g = glyphIndex(code);
    const unsigned bits = font[g * GlyphBytes + 2 * j] | (font[g * GlyphBytes + 2 * j + 1] << 8);
    return (bits & (0x8000u >> i)) != 0;
  }
  const unsigned char *font = nullptr;
};

TEST_F(DrawText, WritesWhiteCellsNinePixelsApart) {
  drawText(1, 3, "A b");
  const std::vector<uint16_t> px = backRows();
  int lit = 0;
  for (uint16_t p : px) lit += p != 0;
  int expected = 0;
  const std::string text = "A b";
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] == ' ') continue;
    for (int j = 0; j < GlyphHeight; ++j) {
      for (int i = 0; i < GlyphWidth; ++i) {
        const uint16_t p = px[(3 + 15 - j) * Width + 1 + 9 * static_cast<int>(k) + i];
        if (glyphBit(text[k], i, j)) {
          EXPECT_EQ(p, 0xFFFF) << text[k] << " " << i << "," << j;
          ++expected;
        } else {
          EXPECT_EQ(p, 0) << text[k] << " " << i << "," << j;
        }
      }
    }
  }
  EXPECT_EQ(lit, expected) << "nothing outside the cells";
}

TEST_F(DrawText, MakesTheBoardCallsAndLeavesItsBlend) {
  BoardTraceFile = std::tmpfile();
  drawText(10, 20, "x");
  std::fflush(BoardTraceFile);
  std::rewind(BoardTraceFile);
  std::vector<std::string> lines;
  char line[4096];
  while (std::fgets(line, sizeof line, BoardTraceFile)) {
    std::string s(line);
    s = s.substr(0, s.find('\n'));
    if (s.rfind("lfbWrite", 0) != 0) lines.push_back(s);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"grLfbConstantDepth 65535", "grAlphaBlendFunction 4 1 0 0",
                                             "grLfbLock 1 1 0 255 1", "grLfbUnlock 1 1"}));
}

TEST_F(DrawText, TextPastTheRightEdgeIsCutNotWrapped) {
  const std::string text(40, 'M'); // 360 pixels on a 320-pixel screen
  drawText(1, 3, text.c_str());
  const std::vector<uint16_t> px = backRows();
  int inCells = 0, elsewhere = 0;
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x) {
      const bool cellRows = y >= 4 && y <= 18;
      if (px[y * Width + x] != 0) (cellRows && x < 1 + 35 * 9 ? inCells : elsewhere)++;
    }
  }
  EXPECT_GT(inCells, 35 * 10);
  EXPECT_EQ(elsewhere, 0) << "no pixel outside the 35 whole cells that fit";
}

TEST_F(DrawText, WithoutAFontNothingIsDrawn) {
  setFontData(nullptr);
  drawText(1, 3, "60.0(60/60/60)");
  for (uint16_t p : backRows()) ASSERT_EQ(p, 0);
}

// The program's read-out: nothing for 65 frames, then text at the lower left.
TEST_F(DrawText, ReadOutAppearsOnTheSixtySixthFrame) {
  resetFrameStats();
  ElapsedSeconds = 0.0f;
  for (int frame = 1; frame <= 66; ++frame) {
    grBufferClear(0, 0, 0);
    ElapsedSeconds += 1.0f / 60.0f;
    updateFrameStats();
    int lit = 0;
    for (uint16_t p : backRows()) lit += p != 0;
    if (frame < 66) {
      ASSERT_EQ(lit, 0) << "frame " << frame;
    } else {
      EXPECT_GT(lit, 100) << "frame " << frame;
      // "60.0(60/60/60)": its first character, a 6, sits at x 1..9, rows 4..18.
      const std::vector<uint16_t> px = backRows();
      for (int j = 0; j < GlyphHeight; ++j)
        for (int i = 0; i < GlyphWidth; ++i)
          EXPECT_EQ(px[(18 - j) * Width + 1 + i], glyphBit('6', i, j) ? 0xFFFF : 0);
      // Nothing beyond its 14 characters.
      for (int y = 0; y < Height; ++y)
        for (int x = 1 + 14 * 9; x < Width; ++x) ASSERT_EQ(px[y * Width + x], 0);
    }
  }
}

} // namespace
