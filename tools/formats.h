// The byte layouts the generator writes: 3DF textures, the bitmap font, raw
// preview images, and the C++ source that carries them into the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster.h"

using Bytes = std::vector<uint8_t>;

// A 3DF file holding one level: "rgb565" (16-bit texels, high byte first) from a
// picture, dithered to 5-6-5.
Bytes make3dfRgb565(const Picture &p);
// A 3DF file holding one level of "i8" intensity from a plane.
Bytes make3dfI8(const Plane &p);

// width x height RGB, 3 bytes a pixel, bottom row first.
Bytes makeRawRgbBottomUp(const Picture &p);

// A PNG image of a picture, with an alpha channel when alpha is given
// (0 clear, 1 opaque). The same picture always gives the same bytes.
Bytes makePng(const Picture &p, const Plane *alpha = nullptr);

// A Windows icon file holding one PNG image of width x height (at most 256).
Bytes makeIco(const Bytes &png, int width, int height);

// Converts the font text (192 glyphs, 15 rows of 9 '#'/'.' each) to the font's
// bytes; false with a message naming the line when the text is malformed.
bool fontFromText(const std::string &text, Bytes &font, std::string &error);

struct ResourceOut {
  int id;
  Bytes bytes;
};
// C++ source defining the program's resource table: the bytes as string
// literals (quick to compile), or as arrays of numbers for compilers that
// limit the length of a string literal.
std::string embeddedSource(const std::vector<ResourceOut> &resources, bool asArrays);
