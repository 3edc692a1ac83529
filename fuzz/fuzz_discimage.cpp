// Fuzzes the disc-image reader: a cue sheet, a table of contents or the end
// of a Nero image, with data files of sizes the input chooses. Any bytes
// either parse into a disc no larger than a CD, whose tracks and pieces of
// sound lie in order inside it and inside the files they name, or are
// refused with a message; reading any part of a parsed disc stays inside
// its data files.
//
// The input: one byte for the kind of image (its low 7 bits modulo 3: cue sheet,
// table of contents, Nero image), eight bytes from which the data files'
// sizes are drawn, then the image. When the first byte's top bit is set the
// image goes the whole way a disc is opened instead: it is written to a file
// in a scratch folder beside data files of those sizes (sparse), a named
// pipe and a folder, opened as a disc and read.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "hosts/linux/disc.h"
#include "hosts/linux/discimage.h"

namespace {

uint64_t mix(uint64_t x) {
  x ^= x >> 31;
  x *= 0x9E3779B97F4A7C15ull;
  return x ^ (x >> 29);
}

// A data file's size (or none), drawn from its name and the input's seed:
// missing, empty, a few sectors, one byte off a sector, or huge.
std::optional<uint64_t> sizeFor(const std::string &path, uint64_t seed) {
  uint64_t h = seed;
  for (char c : path) h = mix(h ^ uint8_t(c));
  switch (h % 6) {
  case 0: return std::nullopt;
  case 1: return 0;
  case 2: return (h >> 8) % 200 * 2352;
  case 3: return (h >> 8) % 200 * 2352 + 1;
  case 4: return (h >> 8) % 100000000;
  default: return uint64_t(1) << 62;
  }
}

// The names the seeds and the dictionary use for data files.
const char *const DataFiles[] = {"a.bin", "b b.bin", "a.raw", "d.iso", "t.bin"};

void writeSparse(const std::string &path, std::string_view tail, uint64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  if (ftruncate(fd, off_t(size)) != 0 ||
      pwrite(fd, tail.data(), tail.size(), off_t(size - tail.size())) != ssize_t(tail.size()))
    std::abort();
  ::close(fd);
}

// The scratch folder, made at the first use and removed at exit.
const std::string &scratch() {
  static const std::string *dir = [] {
    char pattern[] = "/tmp/lvfuzz-discimageXXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    const auto *d = new std::string(pattern);
    mkfifo((*d + "/pipe.bin").c_str(), 0600);
    mkdir((*d + "/dir.bin").c_str(), 0700);
    writeSparse(*d + "/image.bin", "", 0); // stands for image.cue
    std::atexit([] { std::filesystem::remove_all(scratch()); });
    return d;
  }();
  return *dir;
}

// The way a disc is opened, on files: nothing may crash, wait or read past
// what the disc says it holds.
void throughFiles(DiscImageKind kind, std::string_view image, uint64_t imageSize, uint64_t seed) {
  const std::string dir = scratch();
  for (const char *name : DataFiles) {
    const std::optional<uint64_t> s = sizeFor(dir + "/" + name, seed);
    if (s)
      writeSparse(dir + "/" + name, "", std::min<uint64_t>(*s, uint64_t(1) << 40));
    else
      unlink((dir + "/" + name).c_str());
  }
  const char *ending[] = {".cue", ".toc", ".nrg"};
  const std::string path = dir + "/image" + ending[int(kind)];
  writeSparse(path, image, imageSize);
  // The reasons a disc is refused go to a file of the scratch folder.
  static const int quiet =
      ::open((dir + "/said.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int saved = dup(2);
  dup2(quiet, 2);
  Disc disc;
  const bool opened = disc.open(seed & 1 && kind == DiscImageKind::Cue ? dir + "/image.bin" : path);
  dup2(saved, 2);
  ::close(saved);
  if (ftruncate(quiet, 0) != 0) std::abort();
  if (!opened) {
    if (disc.tracks() != 0) std::abort();
    return;
  }
  if (disc.tracks() < 1 || disc.tracks() > MaxDiscTracks) std::abort();
  std::vector<uint8_t> out(4 * CdSectorBytes);
  for (int t = 1; t <= disc.tracks(); ++t) {
    if (disc.isAudio(t) && disc.lastSector(t) < disc.firstSector(t)) std::abort();
    disc.read(disc.firstSector(t), 4, out.data());
    disc.read(std::max(disc.lastSector(t) - 1, 0), 4, out.data());
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 9) return 0;
  const DiscImageKind kind = DiscImageKind((data[0] & 0x7F) % 3);
  uint64_t seed = 0;
  std::memcpy(&seed, data + 1, 8);
  std::string_view image(reinterpret_cast<const char *>(data + 9), size - 9);
  if (data[0] & 0x80) {
    throughFiles(kind, image, kind == DiscImageKind::Nrg ? image.size() + seed % 4 * 150000 : image.size(),
                 seed);
    return 0;
  }
  // A Nero image's table is read from its end: the rest of the file, before
  // what the input gives, holds its sectors.
  const uint64_t imageSize = kind == DiscImageKind::Nrg ? image.size() + seed % 4 * 150000 : image.size();
  const std::string imagePath = kind == DiscImageKind::Nrg ? "/images/a.nrg" : "/images/a.cue";

  std::map<std::string, uint64_t> sizes;
  auto sizeOf = [&](const std::string &path) -> std::optional<uint64_t> {
    if (sizes.count(path)) std::abort(); // each file is opened once
    std::optional<uint64_t> s = path == imagePath ? std::optional<uint64_t>(imageSize) : sizeFor(path, seed);
    if (s) sizes[path] = *s;
    return s;
  };
  DiscImage disc;
  std::string error;
  if (!parseDiscImage(kind, image, imageSize, imagePath, sizeOf, disc, error)) {
    if (error.empty()) std::abort();
    return 0;
  }

  // The disc: 1 to 99 tracks in order inside it, pieces of sound in order,
  // never overlapping, each inside the disc and naming a file it was given.
  if (disc.tracks.empty() || disc.tracks.size() > size_t(MaxDiscTracks)) std::abort();
  if (disc.sectors < 0 || disc.sectors > MaxDiscSectors) std::abort();
  int32_t previous = 0;
  for (const ImageTrack &t : disc.tracks) {
    if (t.first < previous || t.first > disc.sectors) std::abort();
    if (t.audio && (t.last < t.first || t.last >= disc.sectors)) std::abort();
    previous = t.first;
  }
  int64_t end = 0;
  for (const ImageExtent &e : disc.extents) {
    if (e.frames <= 0 || e.frame < end || e.frame + e.frames > int64_t(disc.sectors) * CdSectorFrames)
      std::abort();
    if (e.file >= disc.files.size() || !sizes.count(disc.files[e.file])) std::abort();
    if (e.stride != CdSectorBytes && e.stride != CdSectorBytes + 96) std::abort();
    if (e.offset >= sizes[disc.files[e.file]]) std::abort();
    end = e.frame + e.frames;
  }

  // Reading the start and end of every track, and across the disc's end.
  std::vector<uint8_t> out(8 * CdSectorBytes);
  auto read = [&](uint32_t file, uint64_t offset, uint8_t *to, size_t bytes) -> int64_t {
    if (file >= disc.files.size() || to < out.data() || to + bytes > out.data() + out.size()) std::abort();
    const uint64_t fileSize = sizes[disc.files[file]];
    if (offset >= fileSize) return 0;
    const size_t n = size_t(std::min<uint64_t>(bytes, fileSize - offset));
    std::memset(to, 0x5A, n);
    return int64_t(n);
  };
  for (const ImageTrack &t : disc.tracks) {
    readImageSectors(disc, t.first, 8, out.data(), read);
    readImageSectors(disc, std::max(t.last - 3, 0), 8, out.data(), read);
  }
  readImageSectors(disc, disc.sectors - 4, 8, out.data(), read);
  return 0;
}
