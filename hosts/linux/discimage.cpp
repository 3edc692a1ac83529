#include "hosts/linux/discimage.h"

#include <algorithm>
#include <cstring>

#include "hosts/linux/imagebuilder.h"

std::string upper(std::string_view s) {
  std::string u(s);
  for (char &c : u)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return u;
}

bool endsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && upper(s.substr(s.size() - tail.size())) == tail;
}

std::optional<int64_t> number(std::string_view s) {
  if (s.empty() || s.size() > MaxDigits) return std::nullopt;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::optional<int64_t> msf(std::string_view s) {
  const size_t a = s.find(':');
  const size_t b = a == std::string_view::npos ? a : s.find(':', a + 1);
  if (b == std::string_view::npos) return std::nullopt;
  const auto m = number(s.substr(0, a)), sec = number(s.substr(a + 1, b - a - 1)),
             f = number(s.substr(b + 1));
  if (!m || !sec || !f || *m > MaxDiscSectors || *sec >= 60 || *f >= 75) return std::nullopt;
  return (*m * 60 + *sec) * 75 + *f;
}

uint64_t bigEndian(std::string_view b, size_t at, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes; ++i) v = v << 8 | uint8_t(b[at + i]);
  return v;
}

std::optional<DiscImageKind> discImageKind(const std::string &name) {
  if (endsWith(name, ".CUE")) return DiscImageKind::Cue;
  if (endsWith(name, ".TOC")) return DiscImageKind::Toc;
  if (endsWith(name, ".NRG")) return DiscImageKind::Nrg;
  return std::nullopt;
}

std::string imageRelativePath(const std::string &imagePath, const std::string &name) {
  if (!name.empty() && name[0] == '/') return name;
  const size_t slash = imagePath.rfind('/');
  return slash == std::string::npos ? name : imagePath.substr(0, slash + 1) + name;
}

bool parseDiscImage(DiscImageKind kind, std::string_view bytes, uint64_t imageSize,
                    const std::string &imagePath, const DataFileSizer &sizeOf, DiscImage &disc,
                    std::string &error) {
  ImageBuilder b;
  bool ok;
  if (kind == DiscImageKind::Nrg) {
    ok = bytes.size() <= MaxNrgTableBytes && parseNrgImage(bytes, imageSize, imagePath, sizeOf, b);
  } else if (bytes.size() > MaxImageTextBytes) {
    ok = b.fail(0, "too large for a cue sheet or a table of contents");
  } else if (bytes.find('\0') != std::string_view::npos) {
    ok = b.fail(0, "not a text file");
  } else {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3); // a UTF-8 byte-order mark
    ok = kind == DiscImageKind::Cue ? parseCueSheet(bytes, imagePath, sizeOf, b)
                                    : parseTocFile(bytes, imagePath, sizeOf, b);
  }
  if (!ok) {
    error = b.error.empty() ? "the image is too large" : b.error;
    return false;
  }
  disc = std::move(b.disc);
  return true;
}

bool readImageSectors(const DiscImage &disc, int64_t sector, uint32_t count, uint8_t *out,
                      const DataFileReader &read) {
  std::memset(out, 0, size_t(count) * CdSectorBytes);
  const int64_t from = sector * CdSectorFrames, to = from + int64_t(count) * CdSectorFrames;
  // The first stretch that ends after `from`: they are in order and never overlap.
  auto it = std::upper_bound(disc.extents.begin(), disc.extents.end(), from,
                             [](int64_t f, const ImageExtent &e) { return f < e.frame + e.frames; });
  bool ok = true;
  for (; it != disc.extents.end() && it->frame < to; ++it) {
    int64_t a = std::max(from, it->frame);
    const int64_t b = std::min(to, it->frame + it->frames);
    while (a < b) {
      const int64_t local = a - it->frame;
      const int64_t within = local % CdSectorFrames;
      // A file of plain sectors is read in one piece; with subchannel data
      // between them, sector by sector.
      const int64_t n = it->stride == CdSectorBytes ? b - a : std::min(CdSectorFrames - within, b - a);
      const uint64_t at = it->offset + uint64_t(local / CdSectorFrames) * it->stride + uint64_t(within) * 4;
      uint8_t *dest = out + (a - from) * 4;
      const int64_t got = read(it->file, at, dest, size_t(n) * 4);
      if (got < 0) {
        std::memset(dest, 0, size_t(n) * 4);
        ok = false;
      } else if (it->bigEndian) {
        for (int64_t i = 0; i + 1 < got; i += 2) std::swap(dest[i], dest[i + 1]);
      }
      a += n;
    }
  }
  return ok;
}
