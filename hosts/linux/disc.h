// An audio disc: a real drive read through libcdio, or a disc image (cue
// sheet, cdrdao table of contents, Nero image) read by the program itself.
// Only regular files and CD drives are ever opened, and never in a way that
// can block: a named pipe, a socket or another device is no disc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hosts/linux/discimage.h"

class Disc {
public:
  Disc() = default;
  ~Disc();
  Disc(const Disc &) = delete;
  Disc &operator=(const Disc &) = delete;

  // Opens the drive or image `name` (empty: the system's first CD drive) and
  // reads its table of contents; false when there is no such drive or image,
  // no disc in the drive, or the image cannot be played (said on the error
  // stream). A `.bin` file stands for the `.cue` of the same name beside it.
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
  struct DataFile {
    int fd = -1;
    uint64_t size = 0; // as it was when opened: never read past
  };
  bool openDrive(const std::string &name);
  bool openImage(const std::string &name);

  void *cdio_ = nullptr; // CdIo_t, for a drive
  std::vector<ImageTrack> tracks_;
  DiscImage image_;
  std::vector<DataFile> files_; // the image's data files, as image_.files names them
};
