// What the readers of each kind of disc image share: reading numbers and
// times, and building the disc's table as bounded as a CD is.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "hosts/linux/discimage.h"

constexpr int64_t MaxDiscFrames = int64_t(MaxDiscSectors) * CdSectorFrames;
// Distinct data files and stretches of sound one image may name: far more
// than a real disc needs, few enough to open and search at once.
constexpr size_t MaxDataFiles = 100;
constexpr size_t MaxExtents = 1000;
// Bytes of a sector with its 96 bytes of subchannel data.
constexpr uint32_t SubchannelSectorBytes = CdSectorBytes + 96;
// Numbers in an image have at most this many digits (below 10^15, so that
// sums and products of a few of them stay far from overflowing).
constexpr size_t MaxDigits = 15;

std::string upper(std::string_view s);
// Whether s ends with `tail` (upper case), in any case.
bool endsWith(std::string_view s, std::string_view tail);
// A number of at most MaxDigits decimal digits.
std::optional<int64_t> number(std::string_view s);
// "MM:SS:FF" in sectors (75 frames a second).
std::optional<int64_t> msf(std::string_view s);
inline int64_t sectorsOf(int64_t frames) { return (frames + CdSectorFrames - 1) / CdSectorFrames; }
uint64_t bigEndian(std::string_view b, size_t at, size_t bytes);

// What every kind of image builds: the data files, the tracks in disc order
// with where each one's pregap begins, and the stretches of sound.
class ImageBuilder {
public:
  DiscImage disc;
  std::string error;

  bool fail(size_t line, const std::string &what) {
    error = line ? "line " + std::to_string(line) + ": " + what : what;
    return false;
  }

  // The data file `name` names, resolved from the image's folder, and its size.
  bool file(size_t line, const std::string &imagePath, const std::string &name, const DataFileSizer &sizeOf,
            uint32_t &index, uint64_t &size) {
    if (name.empty() || name == "-") return fail(line, "no data file named");
    return fileAt(line, imageRelativePath(imagePath, name), sizeOf, index, size);
  }

  bool fileAt(size_t line, const std::string &path, const DataFileSizer &sizeOf, uint32_t &index,
              uint64_t &size) {
    auto known = files_.find(path);
    if (known == files_.end()) {
      if (files_.size() >= MaxDataFiles) return fail(line, "more data files than a disc needs");
      const std::optional<uint64_t> found = sizeOf(path);
      if (!found) return fail(line, "data file \"" + path + "\" is missing or is not a regular file");
      known = files_.emplace(path, uint32_t(disc.files.size())).first;
      disc.files.push_back(path);
      sizes_.push_back(*found);
    }
    index = known->second;
    size = sizes_[index];
    return true;
  }

  // Sound from `file` at `offset` for `frames` frames from disc frame `frame`.
  bool sound(size_t line, int64_t frame, int64_t frames, uint32_t file, uint64_t offset, uint32_t stride,
             bool bigEndian) {
    if (frames <= 0 || offset >= sizes_[file]) return true; // nothing there: silence
    if (disc.extents.size() >= MaxExtents) return fail(line, "more pieces of sound than a disc needs");
    disc.extents.push_back({frame, frames, file, offset, stride, bigEndian});
    return true;
  }

  // A track whose pregap begins at sector `region` and index 1 at `first`.
  bool track(size_t line, bool audio, int64_t region, int64_t first) {
    if (int(disc.tracks.size()) >= MaxDiscTracks) return fail(line, "more than 99 tracks");
    disc.tracks.push_back({audio, int32_t(first), -1});
    regions_.push_back(int32_t(region));
    return true;
  }

  bool within(size_t line, int64_t sectors) {
    return sectors <= MaxDiscSectors || fail(line, "the disc is longer than a CD can be (100 minutes)");
  }

  // The disc ends at `sectors`: each track lasts until the next one's index 1,
  // or until its pregap when the next one is a data track.
  bool finish(int64_t sectors) {
    if (disc.tracks.empty()) return fail(0, "no tracks");
    if (!within(0, sectors)) return false;
    disc.sectors = int32_t(sectors);
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
      ImageTrack &t = disc.tracks[i];
      int64_t end = sectors;
      if (i + 1 < disc.tracks.size())
        end = disc.tracks[i + 1].audio ? disc.tracks[i + 1].first : regions_[i + 1];
      t.last = int32_t(std::max<int64_t>(end - 1, t.first - 1));
      if (t.last < t.first) t.audio = false; // nothing to play
    }
    return true;
  }

private:
  std::map<std::string, uint32_t> files_;
  std::vector<uint64_t> sizes_;
  std::vector<int32_t> regions_;
};

bool parseCueSheet(std::string_view text, const std::string &imagePath, const DataFileSizer &sizeOf,
                   ImageBuilder &b);
bool parseTocFile(std::string_view text, const std::string &imagePath, const DataFileSizer &sizeOf,
                  ImageBuilder &b);
// `tail`: the image's last bytes; `imageSize`: its whole size.
bool parseNrgImage(std::string_view tail, uint64_t imageSize, const std::string &imagePath,
                   const DataFileSizer &sizeOf, ImageBuilder &b);
