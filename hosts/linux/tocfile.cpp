// cdrdao tables of contents: TRACK statements with their mode, built from
// FILE/AUDIOFILE (raw audio, big-endian unless SWAP), DATAFILE, SILENCE and
// ZERO pieces, with PREGAP or START for the pregap.
#include <cstring>
#include <map>

#include "hosts/linux/imagebuilder.h"

namespace {

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
      while (pos_ < s_.size() &&
             (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n')) {
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
      {"AUDIO", 2352},       {"MODE0", 2336},          {"MODE1", 2048},
      {"MODE1_RAW", 2352},   {"MODE2", 2336},          {"MODE2_FORM1", 2048},
      {"MODE2_FORM2", 2324}, {"MODE2_FORM_MIX", 2336}, {"MODE2_RAW", 2352}};
  auto it = sizes.find(mode);
  return it == sizes.end() ? 0 : it->second;
}

class TocParser {
public:
  TocParser(std::string_view text, const std::string &imagePath, const DataFileSizer &sizeOf, ImageBuilder &b)
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
      if (word == "ZERO" && tok_.kind == TocToken::Word && tocBlockBytes(upper(tok_.text)) && !advance())
        return false;
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
      return grow(length) &&
             b_.sound(line, cursor_ * CdSectorFrames + at, length, file, from, CdSectorBytes, !swap);
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
  ImageBuilder &b_;

  int64_t cursor_ = 0; // sectors of the disc before the track
  bool inTrack_ = false;
  size_t trackLine_ = 0;
  bool audio_ = false, playable_ = false, subchannel_ = false;
  uint32_t block_ = CdSectorBytes;
  int64_t frames_ = 0; // the track's length so far
  int64_t start_ = -1; // frames of its pregap, when given
};

} // namespace

bool parseTocFile(std::string_view text, const std::string &imagePath, const DataFileSizer &sizeOf,
                  ImageBuilder &b) {
  return TocParser(text, imagePath, sizeOf, b).parse();
}
