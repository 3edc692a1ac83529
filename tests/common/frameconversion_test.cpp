// The window's frame conversion: 32-bit pixels of the same colours as the
// picture files, rows the same way up, through whichever gamma table the
// board hands over.
#include <gtest/gtest.h>

#include <vector>

#include "hosts/common/frameconversion.h"

TEST(FrameConverter, EveryPixelValueGivesTheColoursOfThePictureFiles) {
  // Every 565 value once, in a frame of 256 x 256 with rows 260 pixels apart.
  const int w = 256, h = 256, stride = 260;
  std::vector<uint16_t> pixels((size_t)stride * h, 0);
  for (int v = 0; v < 65536; ++v) pixels[(size_t)(v / w) * stride + v % w] = (uint16_t)v;
  uint8_t curve[256], flat[256];
  for (int i = 0; i < 256; ++i) {
    curve[i] = (uint8_t)(255 - i);
    flat[i] = 7;
  }
  FrameConverter converter;
  for (const uint8_t *gamma :
       {(const uint8_t *)curve, (const uint8_t *)nullptr, (const uint8_t *)flat, (const uint8_t *)curve}) {
    PresentedFrame f{pixels.data(), w, h, stride, gamma};
    std::vector<unsigned char> rgb((size_t)w * h * 3);
    frameToRgb(f, rgb.data());
    std::vector<uint32_t> out((size_t)(w + 3) * h, 0);
    converter.toRgb32(f, out.data(), w + 3);
    int differing = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const unsigned char *c = &rgb[((size_t)y * w + x) * 3];
        const uint32_t expected = 0xFF000000u | c[0] << 16 | c[1] << 8 | c[2];
        differing += out[(size_t)y * (w + 3) + x] != expected;
      }
    EXPECT_EQ(differing, 0) << (gamma == curve ? "curve" : gamma ? "flat" : "no gamma");
    EXPECT_EQ(out[w], 0u); // nothing past the row's end
  }
}

TEST(FrameConverter, RowsOfEveryWidthConvertToTheEnd) {
  // Widths around the sixteen pixels the converter takes at a time, each
  // pixel a different value, rows flipped and nothing past a row's end; rows
  // starting at every alignment (the widest path writes from the first
  // 64-byte boundary on), with and without 512-bit vectors.
  uint8_t curve[256];
  for (int i = 0; i < 256; ++i) curve[i] = (uint8_t)(i * 7 + 3);
  FrameConverter converter;
  for (bool widest : {true, false})
    for (int w : {1, 15, 16, 17, 31, 33, 47, 100, 257, 800}) {
      SCOPED_TRACE(widest ? "widest vectors" : "256-bit vectors at most");
      converter.useWidestVectors(widest);
      const int h = 17, stride = w + 5;
      std::vector<uint16_t> pixels((size_t)stride * h);
      for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = (uint16_t)(i * 40503u + 12345u);
      PresentedFrame f{pixels.data(), w, h, stride, curve};
      std::vector<unsigned char> rgb((size_t)w * h * 3);
      frameToRgb(f, rgb.data());
      std::vector<uint32_t> out((size_t)(w + 1) * h, 0);
      converter.toRgb32(f, out.data(), w + 1);
      int differing = 0;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const unsigned char *c = &rgb[((size_t)y * w + x) * 3];
          differing += out[(size_t)y * (w + 1) + x] != (0xFF000000u | c[0] << 16 | c[1] << 8 | c[2]);
        }
        EXPECT_EQ(out[(size_t)y * (w + 1) + w], 0u) << "width " << w;
      }
      EXPECT_EQ(differing, 0) << "width " << w;
    }
}
