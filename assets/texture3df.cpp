// The 3DF reader: a few text lines of header, then the texels of every level.
#include "assets/textures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/resources.h"

const char *const TextureFormatNames[TextureFormatCount] = {
    "rgb332",   "yiq",      "a8",     "i8",       "ai44",     "p8",   "rsvd1", "rsvd2",
    "argb8332", "ayiq8422", "rgb565", "argb1555", "argb4444", "ai88", "ap88"};

int textureBytesPerTexel(int format) { return format >= 8 ? 2 : 1; }

namespace {

// Header lines are read into a buffer of this size; a longer line is rejected.
constexpr std::size_t LineBufferSize = 264;

// Reads one header line from a byte cursor. The line, line feed included,
// must fit the buffer with its terminating zero.
struct HeaderReader {
  const unsigned char *data;
  std::size_t size;
  std::size_t pos = 0;
  char line[LineBufferSize];

  bool next() {
    std::size_t len = 0;
    while (pos + len < size && data[pos + len] != '\n') {
      ++len;
    }
    if (pos + len >= size) {
      return false; // no line feed before the end
    }
    ++len; // the line feed
    if (len > LineBufferSize - 1) {
      return false;
    }
    std::memcpy(line, data + pos, len);
    line[len] = '\0';
    pos += len;
    return true;
  }

  bool atComment() const { return pos < size && data[pos] == '#'; }
};

// Zero passes too; the range check that follows refuses it. Worked in unsigned
// arithmetic, so that the most negative size cannot overflow.
bool isPowerOfTwo(int v) {
  const uint32_t u = static_cast<uint32_t>(v);
  return (u & (u - 1u)) == 0;
}

struct AspectEntry {
  int key;
  int aspect;
  int widthShift;  // width = L >> widthShift
  int heightShift; // height = L >> heightShift
  int smallestLod;
};

constexpr AspectEntry AspectTable[7] = {
    {0x11, 3, 0, 0, 8}, {0x12, 4, 1, 0, 7}, {0x14, 5, 2, 0, 6}, {0x18, 6, 3, 0, 5},
    {0x21, 2, 0, 1, 7}, {0x41, 1, 0, 2, 6}, {0x81, 0, 0, 3, 5},
};

int lodOfSize(uint32_t size) {
  switch (size) {
  case 256: return 0;
  case 128: return 1;
  case 64: return 2;
  case 32: return 3;
  case 16: return 4;
  case 8: return 5;
  case 4: return 6;
  case 2: return 7;
  default: return 8;
  }
}

} // namespace

bool parseTexture3df(const unsigned char *data, std::size_t size, TextureInfo &out) {
  std::memset(&out, 0, sizeof out);
  if (data == nullptr) {
    return false;
  }
  HeaderReader in{data, size, 0, {}};
  char word[16];

  if (!in.next() || std::sscanf(in.line, "3df v%6s", word) != 1) {
    return false;
  }
  while (in.atComment()) {
    if (!in.next()) {
      return false;
    }
  }
  if (!in.next() || std::sscanf(in.line, "%10s", word) != 1) {
    return false;
  }
  int format = -1;
  for (int i = 0; i < TextureFormatCount; ++i) {
    if (std::strcmp(word, TextureFormatNames[i]) == 0) {
      format = i;
      break;
    }
  }
  if (format < 0) {
    return false;
  }
  int smallest = 0, largest = 0, w = 0, h = 0;
  if (!in.next() || std::sscanf(in.line, "lod range: %i %i", &smallest, &largest) != 2) {
    return false;
  }
  if (!in.next() || std::sscanf(in.line, "aspect ratio: %i %i", &w, &h) != 2) {
    return false;
  }
  if (!isPowerOfTwo(largest) || !isPowerOfTwo(smallest) || largest < 1 || largest > 256 || smallest < 1 ||
      smallest > 256 || smallest > largest) {
    return false;
  }
  const int key = (w << 4) | h;
  const AspectEntry *entry = nullptr;
  for (const AspectEntry &e : AspectTable) {
    if (e.key == key) {
      entry = &e;
      break;
    }
  }
  if (entry == nullptr) {
    return false;
  }
  uint32_t width = static_cast<uint32_t>(largest) >> entry->widthShift;
  uint32_t height = static_cast<uint32_t>(largest) >> entry->heightShift;
  if (width == 0 || height == 0) {
    return false; // the largest level is smaller than the aspect ratio allows
  }
  const int largestLod = lodOfSize(width > height ? width : height);

  uint32_t texels = width * height;
  uint32_t w2 = width, h2 = height;
  for (int l = largest; l > smallest; l /= 2) {
    if (w2 > 1) w2 /= 2;
    if (h2 > 1) h2 /= 2;
    texels += w2 * h2;
  }
  const int bytesPerTexel = textureBytesPerTexel(format);
  const uint32_t byteSize = texels * static_cast<uint32_t>(bytesPerTexel);
  if (size - in.pos < byteSize) {
    return false; // the data ends before the last level does
  }
  void *buffer = std::malloc(byteSize);
  if (buffer == nullptr) {
    return false;
  }
  const unsigned char *src = data + in.pos;
  if (bytesPerTexel == 1) {
    std::memcpy(buffer, src, byteSize);
  } else {
    uint16_t *dst = static_cast<uint16_t *>(buffer);
    for (uint32_t i = 0; i < byteSize / 2; ++i) {
      dst[i] = static_cast<uint16_t>((src[2 * i] << 8) | src[2 * i + 1]);
    }
  }
  out.width = width;
  out.height = height;
  out.smallestLod = entry->smallestLod;
  out.largestLod = largestLod;
  out.aspect = entry->aspect;
  out.format = format;
  out.texels = buffer;
  out.byteSize = byteSize;
  return true;
}

bool readTexture3df(const char *name, TextureInfo &out) {
  const ResourceBytes res = findResource(name, "TEXTUREDATA");
  return parseTexture3df(res.data, res.size, out);
}

void releaseTexels(TextureInfo &info) {
  std::free(info.texels);
  info.texels = nullptr;
}
