// A PNG encoder that needs no compression library: the image data is a zlib
// stream of stored (uncompressed) blocks. Bigger files than a compressing
// encoder's, the same pixels. The Windows build writes its frames with it.
#pragma once

#include <cstdint>
#include <string>

// The PNG file of 8-bit RGB rows (top row first), colour type 2, no filtering.
std::string encodeStoredPng(const unsigned char *rgb, int width, int height);

// The CRC-32 of PNG chunks (and of zip and gzip), continued from crc.
uint32_t pngCrc32(const unsigned char *data, size_t size, uint32_t crc = 0);
