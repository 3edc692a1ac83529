#include "hosts/headless/storedpng.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

const std::array<uint32_t, 256> CrcTable = [] {
  std::array<uint32_t, 256> t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[n] = c;
  }
  return t;
}();

void put32(std::string &out, uint32_t v) {
  out += char(v >> 24);
  out += char(v >> 16);
  out += char(v >> 8);
  out += char(v);
}

void chunk(std::string &out, const char *type, const std::string &data) {
  put32(out, uint32_t(data.size()));
  const size_t start = out.size();
  out.append(type, 4);
  out += data;
  const uint32_t crc =
      pngCrc32(reinterpret_cast<const unsigned char *>(out.data() + start), out.size() - start);
  put32(out, crc);
}

} // namespace

uint32_t pngCrc32(const unsigned char *data, size_t size, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = CrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string encodeStoredPng(const unsigned char *rgb, int width, int height) {
  // The filtered image: each row is filter type 0 (none) and its bytes.
  const size_t rowBytes = size_t(width) * 3;
  std::string raw;
  raw.reserve((rowBytes + 1) * size_t(height));
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char *>(rgb) + rowBytes * size_t(y), rowBytes);
  }

  // zlib: header for deflate with a 32 KB window, stored blocks of at most
  // 65535 bytes, then the Adler-32 of the data.
  std::string z;
  z.reserve(raw.size() + raw.size() / 65535 * 5 + 16);
  z += char(0x78);
  z += char(0x01);
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - at);
    const bool last = at + n == raw.size();
    z += char(last ? 1 : 0);
    z += char(n & 0xFF);
    z += char(n >> 8);
    z += char(~n & 0xFF);
    z += char((~n >> 8) & 0xFF);
    z.append(raw, at, n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  put32(z, (b << 16) | a);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  put32(header, uint32_t(width));
  put32(header, uint32_t(height));
  header += char(8); // bits a channel
  header += char(2); // RGB
  header += char(0); // deflate
  header += char(0); // adaptive filtering (each row says its filter)
  header += char(0); // not interlaced
  chunk(png, "IHDR", header);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", std::string());
  return png;
}
