// Fuzzes the 3DF texture reader: any bytes are either refused or give a
// texture whose texel buffer holds every level the header promises.
#include <cstdlib>
#include <cstring>

#include "assets/textures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TextureInfo t;
  if (!parseTexture3df(data, size, t)) {
    const TextureInfo zero{};
    if (std::memcmp(&t, &zero, sizeof t) != 0) std::abort();
    return 0;
  }
  if (t.width < 1 || t.height < 1 || t.width > 256 || t.height > 256) std::abort();
  if (t.format < 0 || t.format >= TextureFormatCount) std::abort();
  if (t.byteSize < t.width * t.height * uint32_t(textureBytesPerTexel(t.format))) std::abort();
  // Touch every byte so that a short buffer shows.
  volatile unsigned sum = 0;
  for (uint32_t i = 0; i < t.byteSize; ++i) sum = sum + static_cast<unsigned char *>(t.texels)[i];
  releaseTexels(t);
  return 0;
}
