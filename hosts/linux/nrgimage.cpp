// Nero images: the disc's sectors, then chunks describing the tracks, then a
// footer ("NER5" and a 64-bit offset, or "NERO" and a 32-bit one) saying where
// the chunks begin. Disc-at-once (DAOX, DAOI) and track-at-once (ETN2, ETNF)
// chunks place the tracks; the others say nothing about where sound lies.
#include "hosts/linux/imagebuilder.h"

namespace {

// A Nero track's sector size from its mode; 0 when unknown.
uint32_t nrgSectorBytes(unsigned mode, bool &audio) {
  audio = mode == 0x07 || mode == 0x10;
  switch (mode) {
  case 0x00:
  case 0x02: return 2048;
  case 0x03: return 2336;
  case 0x05:
  case 0x06:
  case 0x07: return CdSectorBytes;
  case 0x0F:
  case 0x10:
  case 0x11: return SubchannelSectorBytes;
  default: return 0;
  }
}

} // namespace

bool parseNrgImage(std::string_view tail, uint64_t imageSize, const std::string &imagePath,
                   const DataFileSizer &sizeOf, ImageBuilder &b) {
  if (tail.size() > imageSize || tail.size() < 8) return b.fail(0, "too short for a Nero image");
  const uint64_t tailStart = imageSize - tail.size();
  // The footer: "NER5" and a 64-bit offset, or "NERO" and a 32-bit one, of
  // the chunks that describe the disc.
  uint64_t chunks, chunksEnd;
  bool wide;
  if (tail.size() >= 12 && tail.substr(tail.size() - 12, 4) == "NER5") {
    chunks = bigEndian(tail, tail.size() - 8, 8);
    chunksEnd = imageSize - 12;
    wide = true;
  } else if (tail.substr(tail.size() - 8, 4) == "NERO") {
    chunks = bigEndian(tail, tail.size() - 4, 4);
    chunksEnd = imageSize - 8;
    wide = false;
  } else {
    return b.fail(0, "no Nero footer (NER5 or NERO) at the end of the file");
  }
  if (chunks >= chunksEnd || chunks < tailStart)
    return b.fail(0, "the footer points outside the end of the file where its chunks must lie");
  uint32_t file;
  uint64_t size;
  if (!b.fileAt(0, imagePath, sizeOf, file, size)) return false;
  if (size != imageSize) return b.fail(0, "the file changed while it was read");

  int64_t cursor = 0;
  size_t chunkNo = 0;
  for (uint64_t pos = chunks; pos + 8 <= chunksEnd;) {
    ++chunkNo;
    const size_t at = size_t(pos - tailStart);
    const std::string id(tail.substr(at, 4));
    const uint64_t length = bigEndian(tail, at + 4, 4);
    const std::string where = "chunk " + std::to_string(chunkNo) + " (" + id + ")";
    if (length > chunksEnd - pos - 8) return b.fail(0, where + " runs past the end of the file");
    const std::string_view data = tail.substr(at + 8, size_t(length));
    pos += 8 + length;
    if (id == "END!") break;
    const bool dao = id == "DAOX" || id == "DAOI", tao = id == "ETN2" || id == "ETNF";
    if (!dao && !tao) continue; // cue points, sessions, medium, CD-TEXT: nothing about where sound lies
    const bool x = id == "DAOX" || id == "ETN2";
    if (x != wide) return b.fail(0, where + " does not belong to a " + (wide ? "NER5" : "NERO") + " image");
    // Disc-at-once: a header, then per track its ISRC, sector size, mode and
    // the offsets of its pregap, index 1 and end. Track-at-once: per track
    // its offset, size, mode and start.
    const size_t header = dao ? 22 : 0;
    const size_t entry = dao ? (x ? 42 : 30) : (x ? 32 : 20);
    if (data.size() < header) return b.fail(0, where + " is too short");
    for (size_t e = header; e + entry <= data.size(); e += entry) {
      uint64_t pregap, begin, end;
      unsigned mode;
      uint32_t bytes;
      bool audio;
      if (dao) {
        bytes = uint32_t(bigEndian(data, e + 12, 2));
        mode = uint8_t(data[e + 14]);
        const size_t w = x ? 8 : 4;
        pregap = bigEndian(data, e + 18, w);
        begin = bigEndian(data, e + 18 + w, w);
        end = bigEndian(data, e + 18 + 2 * w, w);
        // Sound only when the sector holds exactly what its mode says.
        if (bytes != nrgSectorBytes(mode, audio)) audio = false;
        if (bytes < 2048 || bytes > SubchannelSectorBytes)
          return b.fail(0, where + ": a sector size of " + std::to_string(bytes));
      } else {
        begin = pregap = bigEndian(data, e, x ? 8 : 4);
        end = begin + bigEndian(data, e + (x ? 8 : 4), x ? 8 : 4);
        mode = uint8_t(data[e + (x ? 19 : 11)]);
        bytes = nrgSectorBytes(mode, audio);
        if (!bytes) return b.fail(0, where + ": unknown track mode " + std::to_string(mode));
        if (end < begin) return b.fail(0, where + ": a track larger than the file");
      }
      if (!(pregap <= begin && begin <= end && end <= chunks))
        return b.fail(0, where + ": a track whose data lie outside the image");
      const int64_t pre = int64_t((begin - pregap) / bytes), main = int64_t((end - begin) / bytes);
      if (!b.within(0, cursor + pre + main)) return false;
      if (audio &&
          (!b.sound(0, cursor * CdSectorFrames, pre * CdSectorFrames, file, pregap, bytes, false) ||
           !b.sound(0, (cursor + pre) * CdSectorFrames, main * CdSectorFrames, file, begin, bytes, false)))
        return false;
      if (!b.track(0, audio, cursor, cursor + pre)) return false;
      cursor += pre + main;
    }
  }
  return b.finish(cursor);
}
