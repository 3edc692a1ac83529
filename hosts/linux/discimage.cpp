#include "hosts/linux/discimage.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

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

// "MM:SS:FF" in sectors (75 frames a second).
std::optional<int64_t> msf(std::string_view s) {
  const size_t a = s.find(':');
  const size_t b = a == std::string_view::npos ? a : s.find(':', a + 1);
  if (b == std::string_view::npos) return std::nullopt;
  const auto m = number(s.substr(0, a)), sec = number(s.substr(a + 1, b - a - 1)), f = number(s.substr(b + 1));
  if (!m || !sec || !f || *m > MaxDiscSectors || *sec >= 60 || *f >= 75) return std::nullopt;
  return (*m * 60 + *sec) * 75 + *f;
}

int64_t sectorsOf(int64_t frames) { return (frames + CdSectorFrames - 1) / CdSectorFrames; }

uint64_t bigEndian(std::string_view b, size_t at, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes; ++i) v = v << 8 | uint8_t(b[at + i]);
  return v;
}

// What every kind of image builds: the data files, the tracks in disc order
// with where each one's pregap begins, and the stretches of sound.
class Builder {
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

  bool fileAt(size_t line, const std::string &path, const DataFileSizer &sizeOf, uint32_t &index, uint64_t &size) {
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
      if (i + 1 < disc.tracks.size()) end = disc.tracks[i + 1].audio ? disc.tracks[i + 1].first : regions_[i + 1];
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

// ---- Cue sheets ----

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

bool parseCue(std::string_view text, const std::string &imagePath, const DataFileSizer &sizeOf, Builder &b) {
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
        return b.fail(lineNo, "FILE of type " + type + ": only raw data files (BINARY or MOTOROLA) are played");
      if (files.size() >= MaxDataFiles) return b.fail(lineNo, "more FILE lines than a disc needs");
      CueFile f{0, 0, type == "MOTOROLA"};
      if (!b.file(lineNo, imagePath, name, sizeOf, f.file, f.size)) return false;
      files.push_back(f);
    } else if (command == "TRACK") {
      if (files.empty()) return b.fail(lineNo, "TRACK before any FILE");
      if (w.size() < 3) return b.fail(lineNo, "TRACK needs a number and a type");
      const auto n = number(w[1].text);
      if (!n || *n < 1 || *n > MaxDiscTracks) return b.fail(lineNo, "track number " + w[1].text + " is not 1 to 99");
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

  int64_t cursor = 0;        // sectors of the disc so far
  int64_t base = 0;          // byte offset in its file of the track's first sector
  int64_t start = 0;         // the track's first sector in its file's time
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
    if (!b.within(t.line, end) || !b.within(t.line, cursor + (end - first) + t.pregap + t.postgap)) return false;

    const int64_t region = cursor;
    const int64_t pre = t.index1 - first;
    if (t.audio && !b.sound(t.line, cursor * CdSectorFrames, pre * CdSectorFrames, f.file, uint64_t(base), t.bytes, f.bigEndian))
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

struct TocToken {
  enum Kind { End, Word, String, Punct } kind = End;
  std::string text;
  size_t line = 0;
};

class TocLexer {
public:
  explicit TocLexer(std::string_view s) : s_(s) {}

  bool next(TocToken &t, std::string &error) {
    for (;;) {
      while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n')) {
        if (s_[pos_] == '\n') ++line_;
        ++pos_;
      }
      if (s_.substr(pos_, 2) != "//") break;
      while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
    }
    t = TocToken{};
    t.line = line_;
    if (pos_ >= s_.size()) return true;
    const char c = s_[pos_];
    if (c == '{' || c == '}' || c == '#' || c == ',') {
      t.kind = TocToken::Punct;
      t.text = std::string(1, c);
      ++pos_;
      return true;
    }
    if (c != '"') {
      t.kind = TocToken::Word;
      const size_t start = pos_;
      while (pos_ < s_.size() && !std::strchr(" \t\r\n{}#,\"", s_[pos_])) ++pos_;
      t.text = std::string(s_.substr(start, pos_ - start));
      return true;
    }
    // A string: \" is a quote, \ and three octal digits a byte.
    t.kind = TocToken::String;
    ++pos_;
    while (pos_ < s_.size() && s_[pos_] != '"') {
      if (s_[pos_] == '\n') break;
      if (s_[pos_] == '\\' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '"') {
        t.text += '"';
        pos_ += 2;
      } else if (s_[pos_] == '\\' && pos_ + 3 < s_.size() && std::strchr("0123", s_[pos_ + 1]) &&
                 s_[pos_ + 2] >= '0' && s_[pos_ + 2] <= '7' && s_[pos_ + 3] >= '0' && s_[pos_ + 3] <= '7') {
        t.text += char((s_[pos_ + 1] - '0') * 64 + (s_[pos_ + 2] - '0') * 8 + (s_[pos_ + 3] - '0'));
        pos_ += 4;
      } else {
        t.text += s_[pos_++];
      }
    }
    if (pos_ >= s_.size() || s_[pos_] != '"') {
      error = "line " + std::to_string(t.line) + ": a string without its closing quote";
      return false;
    }
    ++pos_;
    return true;
  }

private:
  std::string_view s_;
  size_t pos_ = 0;
  size_t line_ = 1;
};

// A track's sector size in the image from its mode; 0 when unknown.
uint32_t tocBlockBytes(const std::string &mode) {
  static const std::map<std::string, uint32_t> sizes = {
      {"AUDIO", 2352},       {"MODE0", 2336},       {"MODE1", 2048},          {"MODE1_RAW", 2352}, {"MODE2", 2336},
      {"MODE2_FORM1", 2048}, {"MODE2_FORM2", 2324}, {"MODE2_FORM_MIX", 2336}, {"MODE2_RAW", 2352}};
  auto it = sizes.find(mode);
  return it == sizes.end() ? 0 : it->second;
}

class TocParser {
public:
  TocParser(std::string_view text, const std::string &imagePath, const DataFileSizer &sizeOf, Builder &b)
      : lex_(text), imagePath_(imagePath), sizeOf_(sizeOf), b_(b) {}

  bool parse() {
    if (!advance()) return false;
    while (tok_.kind != TocToken::End) {
      const size_t line = tok_.line;
      if (tok_.kind != TocToken::Word) return fail("\"" + tok_.text + "\" is not understood");
      const std::string word = upper(tok_.text);
      if (!advance()) return false;
      if (word == "TRACK") {
        if (!endTrack() || !beginTrack(line)) return false;
      } else if (word == "CD_TEXT") {
        if (!skipBlock()) return false;
      } else if (word == "CATALOG" || word == "ISRC") {
        if (!string(word)) return false;
      } else if (word == "CD_DA" || word == "CD_ROM" || word == "CD_ROM_XA" || word == "CD_I") {
        if (inTrack_) return fail(word + " inside a track");
      } else if (!inTrack_) {
        return b_.fail(line, "\"" + word + "\" before the first TRACK");
      } else if (!statement(word, line)) {
        return false;
      }
    }
    return endTrack() && b_.finish(cursor_);
  }

private:
  bool fail(const std::string &what) { return b_.fail(tok_.line, what); }

  bool advance() {
    std::string error;
    if (!lex_.next(tok_, error)) return b_.fail(0, error);
    return true;
  }

  bool isWord(const char *w) const { return tok_.kind == TocToken::Word && upper(tok_.text) == w; }

  bool string(const std::string &after) {
    if (tok_.kind != TocToken::String) return fail(after + " needs a quoted string");
    return advance();
  }

  bool skipBlock() {
    if (tok_.kind != TocToken::Punct || tok_.text != "{") return fail("CD_TEXT needs a { block }");
    size_t depth = 0;
    do {
      if (tok_.kind == TocToken::End) return fail("a { block } without its end");
      if (tok_.kind == TocToken::Punct && tok_.text == "{") ++depth;
      if (tok_.kind == TocToken::Punct && tok_.text == "}") --depth;
      if (!advance()) return false;
    } while (depth > 0);
    return true;
  }

  bool isAmount() const { return tok_.kind == TocToken::Word && (number(tok_.text) || msf(tok_.text)); }

  // A length or position in frames of the disc: MM:SS:FF counts sectors; a
  // plain number counts samples, or bytes of `block`-byte sectors when
  // `block` is not 0.
  bool amount(const std::string &what, int64_t block, int64_t &frames) {
    if (auto sectors = msf(tok_.text); tok_.kind == TocToken::Word && sectors) {
      frames = *sectors * CdSectorFrames;
    } else if (auto n = number(tok_.text); tok_.kind == TocToken::Word && n) {
      frames = block ? (*n + block - 1) / block * CdSectorFrames : *n;
    } else {
      return fail(what + " needs a length (MM:SS:FF or a number)");
    }
    return advance();
  }

  // What a plain number counts in a length: samples in an audio track, bytes
  // in a data track.
  int64_t unit() const { return audio_ ? 0 : block_; }

  bool grow(int64_t frames) {
    if (frames > MaxDiscFrames - frames_) return fail("the track is longer than a CD can be");
    frames_ += frames;
    return true;
  }

  bool beginTrack(size_t line) {
    if (tok_.kind != TocToken::Word) return fail("TRACK needs a mode");
    const std::string mode = upper(tok_.text);
    block_ = tocBlockBytes(mode);
    if (!block_) return fail("unknown track mode " + tok_.text);
    if (!advance()) return false;
    audio_ = mode == "AUDIO";
    playable_ = audio_;
    subchannel_ = isWord("RW") || isWord("RW_RAW");
    if (subchannel_) {
      block_ += 96;
      if (!advance()) return false;
    }
    inTrack_ = true;
    trackLine_ = line;
    frames_ = 0;
    start_ = -1;
    return true;
  }

  bool endTrack() {
    if (!inTrack_) return true;
    inTrack_ = false;
    if (frames_ == 0) return b_.fail(trackLine_, "the track holds nothing");
    const int64_t sectors = sectorsOf(frames_);
    const int64_t pregap = start_ < 0 ? 0 : sectorsOf(start_);
    if (pregap >= sectors) return b_.fail(trackLine_, "START lies at or past the end of the track");
    if (!b_.within(trackLine_, cursor_ + sectors)) return false;
    if (!b_.track(trackLine_, playable_, cursor_, cursor_ + pregap)) return false;
    cursor_ += sectors;
    return true;
  }

  bool dataFile(const std::string &word, uint32_t &file, uint64_t &size, int64_t &offset) {
    if (tok_.kind != TocToken::String) return fail(word + " needs a quoted file name");
    const std::string name = tok_.text;
    const size_t line = tok_.line;
    if (!advance()) return false;
    if (word != "DATAFILE" && endsWith(name, ".WAV"))
      return b_.fail(line, "\"" + name + "\" is a WAVE file: only raw data files are played");
    if (!b_.file(line, imagePath_, name, sizeOf_, file, size)) return false;
    offset = 0;
    return true;
  }

  bool statement(const std::string &word, size_t line) {
    if (word == "NO") {
      if (!isWord("COPY") && !isWord("PRE_EMPHASIS")) return fail("NO needs COPY or PRE_EMPHASIS");
      return advance();
    }
    if (word == "COPY" || word == "PRE_EMPHASIS" || word == "TWO_CHANNEL_AUDIO") return true;
    if (word == "FOUR_CHANNEL_AUDIO") {
      playable_ = false; // not two channels: never played
      return true;
    }
    if (word == "FIFO") return b_.fail(line, "FIFO: a disc read from a pipe is not played");
    int64_t frames = 0;
    if (word == "SILENCE" || word == "ZERO") {
      if (word == "ZERO" && tok_.kind == TocToken::Word && tocBlockBytes(upper(tok_.text)) && !advance()) return false;
      if (word == "ZERO" && (isWord("RW") || isWord("RW_RAW")) && !advance()) return false;
      return amount(word, unit(), frames) && grow(frames);
    }
    if (word == "PREGAP" || word == "START") {
      if (start_ >= 0) return b_.fail(line, "the track's pregap is given twice");
      if (word == "PREGAP") {
        if (!amount(word, unit(), frames) || !grow(frames)) return false;
        start_ = frames_;
      } else if (auto at = msf(tok_.text); tok_.kind == TocToken::Word && at) {
        start_ = *at * CdSectorFrames;
        return advance();
      } else {
        start_ = frames_;
      }
      return true;
    }
    if (word == "END" || word == "INDEX") {
      if (tok_.kind == TocToken::Word && msf(tok_.text)) return advance();
      return word == "END" || fail("INDEX needs a position MM:SS:FF");
    }
    if (word == "FILE" || word == "AUDIOFILE") {
      if (!audio_ || subchannel_) return b_.fail(line, word + " in a track that is not plain audio");
      uint32_t file;
      uint64_t size;
      int64_t offset, start, length = 0;
      if (!dataFile(word, file, size, offset)) return false;
      const bool swap = isWord("SWAP");
      if (swap && !advance()) return false;
      if (tok_.kind == TocToken::Punct && tok_.text == "#") {
        if (!advance()) return false;
        const auto at = number(tok_.text);
        if (tok_.kind != TocToken::Word || !at) return fail("# needs a byte offset");
        offset = *at;
        if (!advance()) return false;
      }
      if (!amount(word, 0, start)) return false;
      if (isAmount() && !amount(word, 0, length)) return false;
      const uint64_t from = uint64_t(offset) + uint64_t(start) * 4;
      if (length == 0) {
        if (from > size) return b_.fail(line, "the start lies past the end of the file");
        length = int64_t((size - from) / 4);
      }
      const int64_t at = frames_;
      // Raw audio files are big-endian unless SWAP says otherwise.
      return grow(length) && b_.sound(line, cursor_ * CdSectorFrames + at, length, file, from, CdSectorBytes, !swap);
    }
    if (word == "DATAFILE") {
      uint32_t file;
      uint64_t size;
      int64_t offset;
      if (!dataFile(word, file, size, offset)) return false;
      if (tok_.kind == TocToken::Punct && tok_.text == "#") {
        if (!advance()) return false;
        const auto at = number(tok_.text);
        if (tok_.kind != TocToken::Word || !at) return fail("# needs a byte offset");
        offset = *at;
        if (!advance()) return false;
      }
      if (isAmount()) {
        if (!amount(word, block_, frames)) return false;
      } else {
        const uint64_t left = size > uint64_t(offset) ? size - uint64_t(offset) : 0;
        if (left / block_ > uint64_t(MaxDiscSectors)) return b_.fail(line, "the file is larger than a CD");
        frames = int64_t((left + block_ - 1) / block_) * CdSectorFrames;
      }
      // Sound in a data file's layout is never guessed at: the track stays silent.
      playable_ = false;
      return grow(frames);
    }
    return b_.fail(line, "\"" + word + "\" is not understood");
  }

  TocLexer lex_;
  TocToken tok_;
  const std::string &imagePath_;
  const DataFileSizer &sizeOf_;
  Builder &b_;

  int64_t cursor_ = 0; // sectors of the disc before the track
  bool inTrack_ = false;
  size_t trackLine_ = 0;
  bool audio_ = false, playable_ = false, subchannel_ = false;
  uint32_t block_ = CdSectorBytes;
  int64_t frames_ = 0; // the track's length so far
  int64_t start_ = -1; // frames of its pregap, when given
};

// ---- Nero images ----

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

bool parseNrg(std::string_view tail, uint64_t imageSize, const std::string &imagePath, const DataFileSizer &sizeOf,
              Builder &b) {
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
        if (bytes < 2048 || bytes > SubchannelSectorBytes) return b.fail(0, where + ": a sector size of " + std::to_string(bytes));
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
      if (audio && (!b.sound(0, cursor * CdSectorFrames, pre * CdSectorFrames, file, pregap, bytes, false) ||
                    !b.sound(0, (cursor + pre) * CdSectorFrames, main * CdSectorFrames, file, begin, bytes, false)))
        return false;
      if (!b.track(0, audio, cursor, cursor + pre)) return false;
      cursor += pre + main;
    }
  }
  return b.finish(cursor);
}

} // namespace

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

bool parseDiscImage(DiscImageKind kind, std::string_view bytes, uint64_t imageSize, const std::string &imagePath,
                    const DataFileSizer &sizeOf, DiscImage &disc, std::string &error) {
  Builder b;
  bool ok;
  if (kind == DiscImageKind::Nrg) {
    ok = bytes.size() <= MaxNrgTableBytes && parseNrg(bytes, imageSize, imagePath, sizeOf, b);
  } else if (bytes.size() > MaxImageTextBytes) {
    ok = b.fail(0, "too large for a cue sheet or a table of contents");
  } else if (bytes.find('\0') != std::string_view::npos) {
    ok = b.fail(0, "not a text file");
  } else {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3); // a UTF-8 byte-order mark
    ok = kind == DiscImageKind::Cue ? parseCue(bytes, imagePath, sizeOf, b)
                                    : TocParser(bytes, imagePath, sizeOf, b).parse();
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
