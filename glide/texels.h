// The board's reading of colour and texture formats, for tools that draw the same
// textures elsewhere (the benchmark peers).
#pragma once

#include <cstdint>

#include "glide/glide.h"

// Bytes a texel of the format takes; 0 for a format the board does not take.
int boardTexelBytes(GrTextureFormat_t format);
// One texel of the format, as the board expands it: 0xAARRGGBB.
uint32_t boardExpandTexel(GrTextureFormat_t format, const uint8_t *texel);
// Width and height of a level from its level-of-detail code and aspect; false
// for codes outside the tables.
bool boardLevelSize(GrLOD_t lod, GrAspectRatio_t aspect, int &width, int &height);
// A colour given in the format the board was opened with, as its 8-bit red,
// green and blue.
void boardColorChannels(GrColor_t color, GrColorFormat_t format, unsigned &r, unsigned &g, unsigned &b);
