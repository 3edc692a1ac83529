// Texture memory: downloading parsed textures to the board and the table that
// finds each one by its resource id.
#include <cstdio>
#include <cstdlib>

#include "assets/textures.h"
#include "glide/glide.h"

namespace {
TextureSlot Slots[TextureTableSlots];
int SlotCount = 0;
} // namespace

int32_t downloadTexture(TextureInfo &info) {
  const GrMipMapId_t handle = guTexAllocateMemory(
      0, GR_MIPMAPLEVELMASK_BOTH, static_cast<int>(info.width), static_cast<int>(info.height), info.format,
      GR_MIPMAP_NEAREST, info.largestLod, info.largestLod, info.aspect, GR_TEXTURECLAMP_CLAMP,
      GR_TEXTURECLAMP_CLAMP, GR_TEXTUREFILTER_BILINEAR, GR_TEXTUREFILTER_BILINEAR, 0.0f, 0);
  if (handle != GR_NULL_MIPMAP_HANDLE) {
    guTexDownloadMipMap(handle, info.texels, nullptr);
  }
  // The buffer is given up either way: the caller never gets it back.
  releaseTexels(info);
  return handle;
}

int32_t loadTexture(int id) {
  char name[16];
  std::snprintf(name, sizeof name, "#%d", id);
  TextureInfo info;
  if (!readTexture3df(name, info)) {
    return -1;
  }
  return downloadTexture(info);
}

bool registerTexture(int id) {
  if (SlotCount >= TextureTableSlots) {
    return false;
  }
  const int32_t handle = loadTexture(id);
  Slots[SlotCount].id = id;
  Slots[SlotCount].handle = handle;
  ++SlotCount;
  return true;
}

bool loadTextures() {
  // A second load (after the board was reopened) starts over rather than
  // leaving the first load's handles in front of the new ones.
  clearTextureTable();
  bool all = true;
  for (int id : TextureIds) {
    if (!registerTexture(id) || findTexture(id) == -1) {
      all = false;
    }
  }
  return all;
}

int32_t findTexture(int id) {
  // Only filled slots: an empty slot's (0, 0) must not answer for id 0.
  for (int i = 0; i < SlotCount; ++i) {
    if (Slots[i].id == id) {
      return Slots[i].handle;
    }
  }
  return -1;
}

void selectTexture(int id) { guTexSource(findTexture(id)); }

void selectTextureHandle(int32_t handle) { guTexSource(handle); }

int textureTableCount() { return SlotCount; }

TextureSlot textureTableSlot(int index) {
  if (index < 0 || index >= TextureTableSlots) {
    return {0, 0};
  }
  return Slots[index];
}

void clearTextureTable() {
  for (TextureSlot &s : Slots) {
    s = {0, 0};
  }
  SlotCount = 0;
}
