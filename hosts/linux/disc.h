// An audio disc read through libcdio: a real drive, or a disc image (cue/bin,
// cdrdao toc, nrg) standing in for one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Bytes of one audio sector: 1/75 s of 44.1 kHz 16-bit stereo.
constexpr int CdSectorBytes = 2352;
constexpr int CdSectorFrames = CdSectorBytes / 4;

class Disc {
public:
  Disc() = default;
  ~Disc();
  Disc(const Disc &) = delete;
  Disc &operator=(const Disc &) = delete;

  // Opens the drive or image `name` (empty: the system's first CD drive) and
  // reads its table of contents; false when there is no such device or disc.
  bool open(const std::string &name);
  void close();

  int tracks() const { return static_cast<int>(tracks_.size()); }
  // Track numbers are 1..tracks(), whatever number the disc gives its first.
  bool isAudio(int track) const;
  int32_t firstSector(int track) const;
  int32_t lastSector(int track) const; // inclusive

  // Reads `count` audio sectors from `sector` into `out` (count * CdSectorBytes
  // bytes of little-endian 16-bit stereo). One thread at a time.
  bool read(int32_t sector, uint32_t count, void *out);

private:
  struct Track {
    bool audio = false;
    int32_t first = 0;
    int32_t last = -1;
  };
  void *cdio_ = nullptr; // CdIo_t
  std::vector<Track> tracks_;
};
