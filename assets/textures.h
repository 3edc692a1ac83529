// 3DF textures from the program's resources, and the table that names each
// texture in the board's texture memory by its resource id.
#pragma once

#include <cstddef>
#include <cstdint>

// One parsed texture.
struct TextureInfo {
  uint32_t width;      // texels across the largest level
  uint32_t height;     // texels down the largest level
  int32_t smallestLod; // board level-of-detail code (0 = 256 ... 8 = 1 texel on the long side)
  int32_t largestLod;
  int32_t aspect;      // board aspect code (0 = 8:1 ... 3 = 1:1 ... 6 = 1:8, width:height)
  int32_t format;      // board texture format code: the index in the format name table
  uint32_t table[256]; // palette or NCC table: cleared, never filled
  void *texels;        // all levels, largest first; from std::malloc, freed by downloadTexture
  uint32_t byteSize;   // bytes in texels
};

// The texture ids the program loads, in loading order.
constexpr int TextureIds[7] = {101, 102, 103, 104, 105, 109, 110};

// The format names accepted in a 3DF header; a name's index is its format code.
constexpr int TextureFormatCount = 15;
extern const char *const TextureFormatNames[TextureFormatCount];

// Bytes per texel of a format code (1 for codes 0-7, 2 for 8-14).
int textureBytesPerTexel(int format);

// Parses 3DF bytes held in memory. On failure returns false and out is all zero.
// On success out owns a new texel buffer (16-bit texels in native order).
bool parseTexture3df(const unsigned char *data, std::size_t size, TextureInfo &out);

// Parses the named "TEXTUREDATA" resource ("#101").
bool readTexture3df(const char *name, TextureInfo &out);

// Frees a record's texel buffer without downloading it.
void releaseTexels(TextureInfo &info);

// Allocates texture memory for the largest level, downloads it and frees the
// texel buffer. Returns the board's texture handle, or -1 without memory.
int32_t downloadTexture(TextureInfo &info);

// Reads resource "#id" and downloads it; -1 when missing, malformed or out of memory.
int32_t loadTexture(int id);

// Loads resource id and stores (id, handle) in the next free table slot.
// Returns false when the table is full (nothing is stored then).
bool registerTexture(int id);

// Empties the table and registers every texture of TextureIds, in order.
// Returns true when each one loaded.
bool loadTextures();

// The handle registered for an id (the first slot holding it); -1 if none.
int32_t findTexture(int id);

// Makes the texture of a resource id the board's current texture.
void selectTexture(int id);

// Makes a texture handle the board's current texture.
void selectTextureHandle(int32_t handle);

// The texture table: 12 slots of (resource id, handle), filled in order.
constexpr int TextureTableSlots = 12;
struct TextureSlot {
  int32_t id;
  int32_t handle;
};
int textureTableCount();
TextureSlot textureTableSlot(int index);
// Empties the table (for a fresh start of the board, and for tests).
void clearTextureTable();
