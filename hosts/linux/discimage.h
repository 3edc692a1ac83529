// Disc images read by the program itself: cue sheets, cdrdao tables of
// contents and Nero images. A parser turns an image's bytes (and the sizes of
// the data files it names) into the disc's tracks and the places its sound
// lies in those files. Every loop and allocation is bounded by the image's
// size and by what a CD can hold, so a hostile image is refused, never obeyed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Bytes of one audio sector: 1/75 s of 44.1 kHz 16-bit stereo.
constexpr int CdSectorBytes = 2352;
constexpr int CdSectorFrames = CdSectorBytes / 4;
// The most a disc may hold: 99 tracks, 100 minutes.
constexpr int MaxDiscTracks = 99;
constexpr int32_t MaxDiscSectors = 100 * 60 * 75;
// The most of a cue sheet or a table of contents that is read, and of a
// Nero image's end, where its table lies.
constexpr uint64_t MaxImageTextBytes = 1 << 20;
constexpr uint64_t MaxNrgTableBytes = 1 << 20;

enum class DiscImageKind { Cue, Toc, Nrg };

// The kind of image a file name names, by its ending (.cue, .toc, .nrg in
// any case); nothing for any other name.
std::optional<DiscImageKind> discImageKind(const std::string &name);

struct ImageTrack {
  bool audio = false;
  int32_t first = 0; // sector of index 1
  int32_t last = -1; // inclusive
};

// A stretch of the disc's sound held by one data file.
struct ImageExtent {
  int64_t frame = 0; // first stereo frame on the disc (CdSectorFrames a sector)
  int64_t frames = 0;
  uint32_t file = 0;               // index into DiscImage::files
  uint64_t offset = 0;             // where `frame` lies in the file
  uint32_t stride = CdSectorBytes; // bytes from one sector to the next in the file
  bool bigEndian = false;          // samples stored most significant byte first
};

struct DiscImage {
  std::vector<std::string> files; // the data files, by the paths the parser resolved
  std::vector<ImageTrack> tracks;
  std::vector<ImageExtent> extents; // in disc order, never overlapping
  int32_t sectors = 0;              // the disc's length
};

// The size of a data file an image names (its path resolved), or nothing when
// it cannot be played from: missing, or not a regular file.
using DataFileSizer = std::function<std::optional<uint64_t>(const std::string &path)>;

// Parses an image. For a cue sheet or a table of contents `bytes` is the
// whole file; for a Nero image it is the file's last bytes (all of it when it
// is small) and `imageSize` the whole file's size. False with a message that
// says what is wrong and where.
bool parseDiscImage(DiscImageKind kind, std::string_view bytes, uint64_t imageSize,
                    const std::string &imagePath, const DataFileSizer &sizeOf, DiscImage &disc,
                    std::string &error);

// A name as an image gives it, resolved from the image's own folder (an
// absolute name stays as it is).
std::string imageRelativePath(const std::string &imagePath, const std::string &name);

// Reads up to `bytes` from data file `file` at `offset`: the bytes read
// (fewer at the file's end), or -1 when the read fails.
using DataFileReader = std::function<int64_t(uint32_t file, uint64_t offset, uint8_t *out, size_t bytes)>;

// Copies `count` sectors of sound from `sector` into out as little-endian
// 16-bit stereo, silence wherever the image holds none; false when a read
// fails.
bool readImageSectors(const DiscImage &disc, int64_t sector, uint32_t count, uint8_t *out,
                      const DataFileReader &read);
