// The PNG writer without a compression library (the Windows build's): every
// decoder must read back exactly the pixels given, whatever the image's size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosts/headless/storedpng.h"
#include "tests/headless/pngdecode.h"

namespace {

std::vector<unsigned char> pattern(int width, int height) {
  std::vector<unsigned char> rgb(size_t(width) * height * 3);
  unsigned state = 7;
  for (unsigned char &c : rgb) {
    state = state * 1103515245u + 12345u;
    c = static_cast<unsigned char>(state >> 23);
  }
  return rgb;
}

} // namespace

TEST(StoredPng, DecodersReadBackTheSamePixels) {
  // One pixel; a row that ends a stored block exactly; an image of many
  // blocks (800 x 600 is 22 blocks of 65535 bytes and a part).
  const int sizes[][2] = {{1, 1}, {21845, 1}, {3, 5}, {800, 600}, {1, 21846}};
  for (const auto &size : sizes) {
    const int w = size[0], h = size[1];
    const std::vector<unsigned char> rgb = pattern(w, h);
    const std::string png = encodeStoredPng(rgb.data(), w, h);
    DecodedPng d = decodePngBytes(png);
    ASSERT_TRUE(d.ok) << w << " x " << h << ": " << d.error;
    EXPECT_EQ(d.width, w);
    EXPECT_EQ(d.height, h);
    EXPECT_TRUE(d.rgb == rgb) << w << " x " << h;
  }
}

TEST(StoredPng, ChunkChecksumsAreTheStandardOnes) {
  // The CRC-32 check value, and the IEND chunk every PNG ends with.
  const std::string nine = "123456789";
  EXPECT_EQ(pngCrc32(reinterpret_cast<const unsigned char *>(nine.data()), nine.size()), 0xCBF43926u);
  const unsigned char pixel[3] = {1, 2, 3};
  const std::string png = encodeStoredPng(pixel, 1, 1);
  static const std::string iend("\x00\x00\x00\x00IEND\xAE\x42\x60\x82", 12);
  ASSERT_GT(png.size(), 12u);
  EXPECT_EQ(png.substr(png.size() - 12), iend);
}
