#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "assets/textures.h"
#include "platform/resources.h"

namespace {

// A 3DF file: header text then `texels` bytes of data (a repeating pattern).
std::vector<unsigned char> file3df(const std::string &header, std::size_t dataBytes) {
  std::vector<unsigned char> f(header.begin(), header.end());
  for (std::size_t i = 0; i < dataBytes; ++i) f.push_back(static_cast<unsigned char>(i * 7 + 1));
  return f;
}

std::string header(const char *format, const char *lod, const char *aspect) {
  return std::string("3df v1.1\n") + format + "\nlod range: " + lod + "\naspect ratio: " + aspect + "\n";
}

bool parse(const std::vector<unsigned char> &f, TextureInfo &out) {
  return parseTexture3df(f.data(), f.size(), out);
}

bool allZero(const TextureInfo &t) {
  static const TextureInfo zero{};
  return std::memcmp(&t, &zero, sizeof t) == 0;
}

// Parses and frees; returns whether the parse succeeded and the record was complete.
bool accepts(const std::vector<unsigned char> &f) {
  TextureInfo t;
  const bool ok = parse(f, t);
  if (!ok) {
    EXPECT_TRUE(allZero(t));
  }
  releaseTexels(t);
  return ok;
}

TEST(Texture3df, ProgramTexturesLoadAtTheirDeclaredSizes) {
  for (int id : {101, 102, 103, 104, 109, 110}) {
    SCOPED_TRACE(id);
    TextureInfo t;
    ASSERT_TRUE(readTexture3df(("#" + std::to_string(id)).c_str(), t));
    EXPECT_EQ(t.width, 256u);
    EXPECT_EQ(t.height, 256u);
    EXPECT_EQ(t.format, 10);
    EXPECT_EQ(t.aspect, 3);
    EXPECT_EQ(t.largestLod, 0);
    EXPECT_EQ(t.smallestLod, 8);
    EXPECT_EQ(t.byteSize, 131072u);
    for (uint32_t v : t.table) EXPECT_EQ(v, 0u);
    releaseTexels(t);
  }
  TextureInfo banner;
  ASSERT_TRUE(readTexture3df("#105", banner));
  EXPECT_EQ(banner.width, 256u);
  EXPECT_EQ(banner.height, 128u);
  EXPECT_EQ(banner.format, 3);
  EXPECT_EQ(banner.aspect, 2);
  EXPECT_EQ(banner.largestLod, 0);
  EXPECT_EQ(banner.smallestLod, 7);
  EXPECT_EQ(banner.byteSize, 32768u);
  releaseTexels(banner);
}

TEST(Texture3df, MissingResourceFailsWithAZeroRecord) {
  TextureInfo t;
  t.width = 5;
  EXPECT_FALSE(readTexture3df("#106", t));
  EXPECT_TRUE(allZero(t));
  EXPECT_FALSE(readTexture3df("#108", t)); // the font is not a texture
  EXPECT_TRUE(allZero(t));
}

// The glows are added to the frame: their border must be black, or every
// particle would show the square's edge.
TEST(Texture3df, GlowTexturesAreBlackAtTheBorder) {
  for (int id : {101, 102, 103, 109, 110}) {
    SCOPED_TRACE(id);
    TextureInfo t;
    ASSERT_TRUE(readTexture3df(("#" + std::to_string(id)).c_str(), t));
    const uint16_t *px = static_cast<const uint16_t *>(t.texels);
    uint32_t centreOrMax = 0;
    for (uint32_t i = 0; i < 256; ++i) {
      EXPECT_EQ(px[i], 0) << "top row " << i;
      EXPECT_EQ(px[255 * 256 + i], 0) << "bottom row " << i;
      EXPECT_EQ(px[i * 256], 0) << "left column " << i;
      EXPECT_EQ(px[i * 256 + 255], 0) << "right column " << i;
    }
    for (uint32_t i = 0; i < 256 * 256; ++i) centreOrMax = std::max<uint32_t>(centreOrMax, px[i]);
    EXPECT_GT(centreOrMax >> 11, 24u) << "the picture has a bright part";
    releaseTexels(t);
  }
  // The title card uses only its top 180 rows; the rest is black.
  TextureInfo card;
  ASSERT_TRUE(readTexture3df("#104", card));
  const uint16_t *px = static_cast<const uint16_t *>(card.texels);
  for (uint32_t i = 180 * 256; i < 256 * 256; ++i) ASSERT_EQ(px[i], 0) << i;
  releaseTexels(card);
}

TEST(Texture3df, LevelCountCoversEveryLevelFromLargestToSmallest) {
  TextureInfo t;
  // 256^2 + 128^2 + 64^2 texels of two bytes.
  ASSERT_TRUE(parse(file3df(header("rgb565", "64 256", "1 1"), 86016 * 2), t));
  EXPECT_EQ(t.byteSize, 86016u * 2);
  EXPECT_EQ(t.width, 256u);
  EXPECT_EQ(t.height, 256u);
  EXPECT_EQ(t.smallestLod, 8); // from the aspect, whatever S says
  releaseTexels(t);
  // A 2:1 chain down to one texel keeps halving only the side above one.
  ASSERT_TRUE(parse(file3df(header("i8", "1 8", "2 1"), 8 * 4 + 4 * 2 + 2 * 1 + 1 * 1), t));
  EXPECT_EQ(t.byteSize, 43u);
  releaseTexels(t);
}

// What the board's developer kit publishes: lower-case names, DOS line ends,
// every level down to one texel.
TEST(Texture3df, DeveloperKitStyleFileWithAllLevelsParses) {
  std::string h = "3df v1.0\r\nargb1555\r\nlod range: 1 256\r\naspect ratio: 1 1\r\n";
  const std::size_t texels = 256 * 256 + 128 * 128 + 64 * 64 + 32 * 32 + 16 * 16 + 8 * 8 + 4 * 4 + 2 * 2 + 1;
  TextureInfo t;
  ASSERT_TRUE(parse(file3df(h, texels * 2), t));
  EXPECT_EQ(t.format, 11);
  EXPECT_EQ(t.byteSize, texels * 2);
  EXPECT_EQ(t.largestLod, 0);
  releaseTexels(t);
  // 1:4 at 128, with a comment and numbers in hexadecimal and octal.
  h = "3df v1.1\n# made by hand\nai88\nlod range: 0x10 0200\naspect ratio: 1 4\n";
  ASSERT_TRUE(parse(file3df(h, (32 * 128 + 16 * 64 + 8 * 32 + 4 * 16) * 2), t));
  EXPECT_EQ(t.width, 32u);
  EXPECT_EQ(t.height, 128u);
  EXPECT_EQ(t.largestLod, 1);
  EXPECT_EQ(t.smallestLod, 6);
  EXPECT_EQ(t.aspect, 5);
  releaseTexels(t);
}

TEST(Texture3df, LevelRangeRules) {
  EXPECT_FALSE(accepts(file3df(header("rgb565", "256 128", "1 1"), 131072)));
  EXPECT_FALSE(accepts(file3df(header("rgb565", "0 256", "1 1"), 131072)));
  EXPECT_FALSE(accepts(file3df(header("rgb565", "96 256", "1 1"), 131072)));
  EXPECT_FALSE(accepts(file3df(header("rgb565", "256 512", "1 1"), 1 << 20)));
  EXPECT_FALSE(accepts(file3df(header("rgb565", "-256 256", "1 1"), 1 << 18)));
  // The most negative sizes are refused like any other (without overflowing).
  EXPECT_FALSE(accepts(file3df(header("rgb565", "-2147483648 256", "1 1"), 1 << 18)));
  EXPECT_FALSE(accepts(file3df(header("rgb565", "1 -2147483648", "1 1"), 1 << 18)));
  EXPECT_FALSE(accepts(file3df(header("rgb565", "1 0x80000000", "1 1"), 1 << 18)));
  EXPECT_FALSE(accepts(file3df(header("rgb565", "256", "1 1"), 131072)));
  EXPECT_TRUE(accepts(file3df(header("rgb565", "128 256", "1 1"), 163840)));
}

TEST(Texture3df, AspectKeysGiveTheirShapes) {
  struct Case {
    const char *pair;
    uint32_t width, height;
    int aspect, smallestLod;
  };
  const Case cases[] = {{"1 1", 64, 64, 3, 8}, {"1 2", 32, 64, 4, 7}, {"1 4", 16, 64, 5, 6},
                        {"1 8", 8, 64, 6, 5},  {"2 1", 64, 32, 2, 7}, {"4 1", 64, 16, 1, 6},
                        {"8 1", 64, 8, 0, 5}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.pair);
    TextureInfo t;
    ASSERT_TRUE(parse(file3df(header("a8", "64 64", c.pair), 4096), t));
    EXPECT_EQ(t.width, c.width);
    EXPECT_EQ(t.height, c.height);
    EXPECT_EQ(t.aspect, c.aspect);
    EXPECT_EQ(t.smallestLod, c.smallestLod);
    EXPECT_EQ(t.largestLod, 2);
    EXPECT_EQ(t.byteSize, c.width * c.height);
    releaseTexels(t);
  }
  EXPECT_FALSE(accepts(file3df(header("a8", "64 64", "1 3"), 4096)));
  EXPECT_FALSE(accepts(file3df(header("a8", "64 64", "3 1"), 4096)));
  EXPECT_FALSE(accepts(file3df(header("a8", "64 64", "2 2"), 4096)));
  EXPECT_FALSE(accepts(file3df(header("a8", "64 64", "1"), 4096)));
  // The largest level too small for its aspect ratio would have a side of 0.
  EXPECT_FALSE(accepts(file3df(header("a8", "4 4", "8 1"), 64)));
  EXPECT_TRUE(accepts(file3df(header("a8", "8 8", "8 1"), 64)));
}

TEST(Texture3df, FormatNamesAreExactAndCaseSensitive) {
  for (int code = 0; code < TextureFormatCount; ++code) {
    SCOPED_TRACE(TextureFormatNames[code]);
    TextureInfo t;
    ASSERT_TRUE(parse(file3df(header(TextureFormatNames[code], "8 8", "1 1"), 128), t));
    EXPECT_EQ(t.format, code);
    EXPECT_EQ(t.byteSize, code < 8 ? 64u : 128u);
    releaseTexels(t);
  }
  for (const char *bad : {"RGB565", "rsvd4", "argb8888", "rgb56", "rgb5650", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(accepts(file3df(header(bad, "8 8", "1 1"), 256)));
  }
}

TEST(Texture3df, CommentsOnlyBetweenVersionAndFormat) {
  EXPECT_TRUE(accepts(file3df("3df v1.1\n#one\n# two\nrgb565\nlod range: 8 8\naspect ratio: 1 1\n", 128)));
  EXPECT_FALSE(accepts(file3df("3df v1.1\nrgb565\n#late\nlod range: 8 8\naspect ratio: 1 1\n", 128)));
  EXPECT_FALSE(accepts(file3df("3df v1.1\nrgb565\nlod range: 8 8\n#late\naspect ratio: 1 1\n", 128)));
  EXPECT_FALSE(accepts(file3df("3dfx v1.1\nrgb565\nlod range: 8 8\naspect ratio: 1 1\n", 128)));
  // Bytes after the aspect line are texels, whatever they look like.
  std::vector<unsigned char> f = file3df(header("i8", "2 2", "1 1"), 0);
  for (char c : std::string("#\n3d")) f.push_back(static_cast<unsigned char>(c));
  TextureInfo t;
  ASSERT_TRUE(parse(f, t));
  EXPECT_EQ(std::memcmp(t.texels, "#\n3d", 4), 0);
  releaseTexels(t);
}

TEST(Texture3df, SixteenBitTexelsAreStoredHighByteFirst) {
  std::vector<unsigned char> f = file3df(header("rgb565", "2 2", "1 1"), 0);
  for (unsigned char b : {0xF8, 0x00, 0x00, 0x1F, 0x12, 0x34, 0xFF, 0xFE}) f.push_back(b);
  TextureInfo t;
  ASSERT_TRUE(parse(f, t));
  const uint16_t *px = static_cast<const uint16_t *>(t.texels);
  EXPECT_EQ(px[0], 0xF800);
  EXPECT_EQ(px[1], 0x001F);
  EXPECT_EQ(px[2], 0x1234);
  EXPECT_EQ(px[3], 0xFFFE);
  releaseTexels(t);
  // Eight-bit texels are copied as they are.
  f = file3df(header("i8", "2 2", "1 1"), 0);
  for (unsigned char b : {0xF8, 0x00, 0x07, 0x80}) f.push_back(b);
  ASSERT_TRUE(parse(f, t));
  EXPECT_EQ(std::memcmp(t.texels, "\xF8\x00\x07\x80", 4), 0);
  releaseTexels(t);
}

// The reader knows how long the resource is: truncated or malformed bytes are
// rejected instead of read past their end.
TEST(Texture3df, TruncatedOrOverlongInputIsRejected) {
  const std::string h = header("rgb565", "8 8", "1 1");
  EXPECT_FALSE(accepts(file3df(h, 127)));
  EXPECT_TRUE(accepts(file3df(h, 128)));
  // The header cut short, everywhere.
  for (std::size_t n = 0; n < h.size(); ++n) {
    SCOPED_TRACE(n);
    std::vector<unsigned char> f(h.begin(), h.begin() + static_cast<long>(n));
    EXPECT_FALSE(accepts(f));
  }
  // A comment line of 262 bytes and its line feed fits; one byte more does not.
  std::string fits = "3df v1.1\n#" + std::string(261, 'x') + "\nrgb565\nlod range: 8 8\naspect ratio: 1 1\n";
  EXPECT_TRUE(accepts(file3df(fits, 128)));
  std::string over = "3df v1.1\n#" + std::string(262, 'x') + "\nrgb565\nlod range: 8 8\naspect ratio: 1 1\n";
  EXPECT_FALSE(accepts(file3df(over, 128)));
  TextureInfo t;
  EXPECT_FALSE(parseTexture3df(nullptr, 100, t));
  EXPECT_TRUE(allZero(t));
}

} // namespace
