// Cue sheets: FILE lines naming raw data files (BINARY little-endian,
// MOTOROLA big-endian), TRACK lines with their type, INDEX 00 and 01,
// PREGAP and POSTGAP.
#include <algorithm>
#include <vector>

#include "hosts/linux/imagebuilder.h"

namespace {

struct CueWord {
  std::string text;
  bool quoted = false;
};

std::vector<CueWord> cueWords(std::string_view line) {
  std::vector<CueWord> words;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
    } else if (line[i] == '"') {
      const size_t close = line.find('"', i + 1);
      const size_t end = close == std::string_view::npos ? line.size() : close;
      words.push_back({std::string(line.substr(i + 1, end - i - 1)), true});
      i = end + 1;
    } else {
      const size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      words.push_back({std::string(line.substr(start, i - start)), false});
    }
  }
  return words;
}

struct CueFile {
  uint32_t file;
  uint64_t size;
  bool bigEndian;
};

struct CueTrack {
  size_t line;
  bool audio;
  uint32_t bytes; // one sector's bytes in its file
  int file = -1;  // the FILE that holds its index 1
  int index0File = -1;
  int64_t index0 = -1, index1 = -1;
  int64_t pregap = 0, postgap = 0;
};

// The track's sector size in its file from its TRACK type; 0 when unknown.
uint32_t cueSectorBytes(const std::string &type, bool &audio) {
  audio = type == "AUDIO" || type == "CDG";
  if (type == "AUDIO") return CdSectorBytes;
  if (type == "CDG") return SubchannelSectorBytes;
  const size_t slash = type.find('/');
  if (slash == std::string::npos) return 0;
  const std::string mode = type.substr(0, slash);
  if (mode != "MODE1" && mode != "MODE2" && mode != "CDI") return 0;
  const auto size = number(type.substr(slash + 1));
  for (uint32_t s : {2048u, 2324u, 2328u, 2336u, 2340u, 2352u, 2448u})
    if (size && *size == s) return s;
  return 0;
}

} // namespace

bool parseCueSheet(std::string_view text, const std::string &imagePath, const DataFileSizer &sizeOf,
                   ImageBuilder &b) {
  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;
  size_t lineNo = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<CueWord> w = cueWords(line);
    if (w.empty()) continue;
    const std::string command = upper(w[0].text);
    CueTrack *t = tracks.empty() ? nullptr : &tracks.back();
    if (command == "FILE") {
      if (w.size() < 3) return b.fail(lineNo, "FILE needs a name and a type");
      // An unquoted name may hold blanks: everything up to the type.
      std::string name = w[1].text;
      if (!w[1].quoted)
        for (size_t i = 2; i + 1 < w.size(); ++i) name += " " + w[i].text;
      const std::string type = upper(w.back().text);
      if (type != "BINARY" && type != "MOTOROLA")
        return b.fail(lineNo,
                      "FILE of type " + type + ": only raw data files (BINARY or MOTOROLA) are played");
      if (files.size() >= MaxDataFiles) return b.fail(lineNo, "more FILE lines than a disc needs");
      CueFile f{0, 0, type == "MOTOROLA"};
      if (!b.file(lineNo, imagePath, name, sizeOf, f.file, f.size)) return false;
      files.push_back(f);
    } else if (command == "TRACK") {
      if (files.empty()) return b.fail(lineNo, "TRACK before any FILE");
      if (w.size() < 3) return b.fail(lineNo, "TRACK needs a number and a type");
      const auto n = number(w[1].text);
      if (!n || *n < 1 || *n > MaxDiscTracks)
        return b.fail(lineNo, "track number " + w[1].text + " is not 1 to 99");
      if (int(tracks.size()) >= MaxDiscTracks) return b.fail(lineNo, "more than 99 tracks");
      CueTrack track{lineNo, false, 0};
      track.bytes = cueSectorBytes(upper(w[2].text), track.audio);
      if (!track.bytes) return b.fail(lineNo, "unknown track type " + w[2].text);
      tracks.push_back(track);
    } else if (command == "INDEX" || command == "PREGAP" || command == "POSTGAP") {
      if (!t) return b.fail(lineNo, command + " before any TRACK");
      const bool index = command == "INDEX";
      if (w.size() < (index ? 3u : 2u)) return b.fail(lineNo, command + " needs a time");
      const auto at = msf(w[index ? 2 : 1].text);
      if (!at) return b.fail(lineNo, "\"" + w[index ? 2 : 1].text + "\" is not a time MM:SS:FF");
      if (command == "PREGAP") t->pregap = *at;
      if (command == "POSTGAP") t->postgap = *at;
      if (!index) continue;
      const auto n = number(w[1].text);
      if (!n || *n > 99) return b.fail(lineNo, "index number " + w[1].text + " is not 0 to 99");
      if (*n == 0) {
        t->index0 = *at;
        t->index0File = int(files.size()) - 1;
      } else if (*n == 1) {
        if (t->index1 >= 0) return b.fail(lineNo, "a second INDEX 01 for one track");
        t->index1 = *at;
        t->file = int(files.size()) - 1;
      }
    }
    // Anything else (REM, TITLE, PERFORMER, FLAGS, ISRC, CATALOG...) says
    // nothing about where the sound lies.
  }
  if (tracks.empty()) return b.fail(0, "no TRACK lines: this is not a cue sheet");

  int64_t cursor = 0; // sectors of the disc so far
  int64_t base = 0;   // byte offset in its file of the track's first sector
  int64_t start = 0;  // the track's first sector in its file's time
  for (size_t k = 0; k < tracks.size(); ++k) {
    CueTrack &t = tracks[k];
    if (t.index1 < 0) return b.fail(t.line, "the track has no INDEX 01");
    // A pregap in the file before: it sounds as the end of the track before.
    if (t.index0File != t.file || t.index0 > t.index1) t.index0 = -1;
    const CueFile &f = files[size_t(t.file)];
    const int64_t first = t.index0 >= 0 ? t.index0 : t.index1;
    if (k == 0 || tracks[k - 1].file != t.file) {
      base = first * t.bytes;
    } else {
      const CueTrack &p = tracks[k - 1];
      if (first < p.index1) return b.fail(t.line, "the track starts before the track before it");
      base += (first - start) * p.bytes;
    }
    start = first;
    int64_t end; // the sector after the track in its file's time
    if (k + 1 < tracks.size() && tracks[k + 1].file == t.file) {
      const CueTrack &n = tracks[k + 1];
      end = n.index0File == n.file && n.index0 >= 0 && n.index0 <= n.index1 ? n.index0 : n.index1;
    } else {
      const uint64_t left = f.size > uint64_t(base) ? f.size - uint64_t(base) : 0;
      end = first + int64_t((left + t.bytes - 1) / t.bytes);
    }
    end = std::max(end, t.index1);
    if (!b.within(t.line, end) || !b.within(t.line, cursor + (end - first) + t.pregap + t.postgap))
      return false;

    const int64_t region = cursor;
    const int64_t pre = t.index1 - first;
    if (t.audio && !b.sound(t.line, cursor * CdSectorFrames, pre * CdSectorFrames, f.file, uint64_t(base),
                            t.bytes, f.bigEndian))
      return false;
    cursor += pre + t.pregap;
    const int64_t index1 = cursor;
    const int64_t main = end - t.index1;
    if (t.audio && !b.sound(t.line, cursor * CdSectorFrames, main * CdSectorFrames, f.file,
                            uint64_t(base + pre * t.bytes), t.bytes, f.bigEndian))
      return false;
    cursor += main + t.postgap;
    if (!b.track(t.line, t.audio, region, index1)) return false;
  }
  return b.finish(cursor);
}

// ---- cdrdao tables of contents ----
