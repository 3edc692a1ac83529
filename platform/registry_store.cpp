#include "platform/registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/messagebox.h"

namespace {

// A registry file larger than this is refused rather than read.
constexpr size_t MaxFileBytes = 16u * 1024u * 1024u;
// Longest wait for another process's save to finish, in milliseconds.
constexpr int LockWaitMs = 10000;
// Longest value name the registry allows.
constexpr size_t MaxValueNameLength = 16383;

constexpr std::string_view Regedit4Header = "REGEDIT4";
constexpr std::string_view Regedit5Header = "Windows Registry Editor Version 5.00";

// ---------------------------------------------------------------------------
// The file as read: every line is kept as written so that a save changes
// nothing but the values it writes.

struct ValueEntry {
  std::string name;  // as written, unescaped; "" is the key's default value
  uint32_t type = LV_REG_NONE;
  std::string data;  // the value's bytes; a string includes its terminating NUL
};

struct Line {
  std::string raw;   // the exact text, line endings included; empty: render value
  bool isValue = false;
  ValueEntry value;
};

struct Section {
  std::string rawHeader;            // "[...]" line as written, ending included
  std::vector<std::string> path;    // root name first
  std::vector<Line> lines;
  bool added = false;               // made by this program since the file was read
};

struct Document {
  bool empty = true;          // no header seen: a missing or blank file
  bool utf8Bom = false;
  std::string leading;        // blank lines before the header
  std::string headerEnding = "\n";
  std::vector<Line> prelude;  // lines between the header and the first key
  std::vector<Section> sections;
  std::string eol = "\n";     // line ending used for lines we add
};

struct ParseError {
  size_t line = 0;  // 0: the file as a whole
  std::string what;
};

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

bool samePath(const std::vector<std::string> &a, const std::vector<std::string> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!sameName(a[i], b[i])) return false;
  return true;
}

// True when prefix is the start of (or all of) path.
bool hasPrefix(const std::vector<std::string> &path, const std::vector<std::string> &prefix) {
  if (prefix.size() > path.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (!sameName(path[i], prefix[i])) return false;
  return true;
}

std::string_view trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// The text of a line without its ending.
std::string_view body(std::string_view raw) {
  while (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r')) raw.remove_suffix(1);
  return raw;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char *const RootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                 "HKEY_USERS", "HKEY_CURRENT_CONFIG"};

bool knownRoot(std::string_view name) {
  for (const char *root : RootNames)
    if (sameName(name, root)) return true;
  return false;
}

void appendUtf8(std::string &out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// UTF-16LE (after its byte-order mark) to UTF-8.
std::optional<ParseError> decodeUtf16(std::string_view bytes, std::string &out) {
  if (bytes.size() % 2 != 0)
    return ParseError{0, "the file is marked as UTF-16 but has an odd number of bytes"};
  size_t line = 1;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    uint32_t u = uint8_t(bytes[i]) | (uint32_t(uint8_t(bytes[i + 1])) << 8);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 3 < bytes.size()) {
        uint32_t lo = uint8_t(bytes[i + 2]) | (uint32_t(uint8_t(bytes[i + 3])) << 8);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
          appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
          i += 2;
          continue;
        }
      }
      return ParseError{line, "invalid UTF-16 text (an unpaired surrogate)"};
    }
    if (u >= 0xDC00 && u <= 0xDFFF)
      return ParseError{line, "invalid UTF-16 text (an unpaired surrogate)"};
    if (u == '\n') ++line;
    appendUtf8(out, u);
  }
  return std::nullopt;
}

// Reads a quoted string starting at s[pos] == '"'; on return pos is past the
// closing quote. Only \\ and \" are escapes.
std::optional<std::string> parseQuoted(std::string_view s, size_t &pos, std::string &what) {
  std::string out;
  ++pos;
  while (pos < s.size()) {
    char c = s[pos++];
    if (c == '"') return out;
    if (c == '\\') {
      if (pos >= s.size()) break;
      char e = s[pos++];
      if (e != '\\' && e != '"') {
        what = std::string("invalid escape \"\\") + e + "\" (only \\\\ and \\\" are allowed)";
        return std::nullopt;
      }
      out += e;
    } else {
      out += c;
    }
  }
  what = "a quoted string has no closing quote";
  return std::nullopt;
}

std::string quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

// Parses the hex byte list of a hex: or hex(N): value.
bool parseHexBytes(std::string_view text, std::string &out, std::string &what) {
  size_t i = 0;
  bool expectByte = true;
  while (true) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    if (expectByte) {
      size_t start = i;
      while (i < text.size() && hexDigit(text[i]) >= 0) ++i;
      if (i == start || i - start > 2) {
        what = "hex data must be bytes of two hexadecimal digits separated by commas";
        return false;
      }
      int v = 0;
      for (size_t k = start; k < i; ++k) v = v * 16 + hexDigit(text[k]);
      out += char(v);
      expectByte = false;
    } else {
      if (text[i] != ',') {
        what = "hex data must be bytes of two hexadecimal digits separated by commas";
        return false;
      }
      ++i;
      expectByte = true;
    }
  }
  if (expectByte && !out.empty()) {
    what = "hex data ends with a comma";
    return false;
  }
  return true;
}

struct Parser {
  std::vector<std::string> lines;  // physical lines, endings included
  Document doc;

  std::optional<ParseError> run(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
      size_t nl = text.find('\n', i);
      size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
      lines.emplace_back(text.substr(i, end - i));
      i = end;
    }
    for (const std::string &l : lines)
      if (l.size() >= 2 && l[l.size() - 2] == '\r' && l.back() == '\n') {
        doc.eol = "\r\n";
        break;
      }

    size_t n = 0;
    // Blank lines before the header.
    while (n < lines.size() && trim(body(lines[n])).empty()) doc.leading += lines[n++];
    if (n == lines.size()) return std::nullopt;  // nothing but blanks: an empty registry
    std::string_view header = trim(body(lines[n]));
    if (header != Regedit4Header && header != Regedit5Header)
      return ParseError{n + 1, "the file does not begin with \"REGEDIT4\" or \"Windows Registry "
                               "Editor Version 5.00\""};
    doc.empty = false;
    {
      std::string_view raw = lines[n];
      doc.headerEnding = std::string(raw.substr(body(raw).size()));
    }
    ++n;

    Section *section = nullptr;
    while (n < lines.size()) {
      size_t lineNo = n + 1;
      std::string_view text = trim(body(lines[n]));
      if (text.empty() || text[0] == ';') {
        Line l;
        l.raw = lines[n++];
        (section ? section->lines : doc.prelude).push_back(std::move(l));
        continue;
      }
      if (text[0] == '[') {
        if (text.back() != ']')
          return ParseError{lineNo, "a key line must end with ']'"};
        std::string_view inner = text.substr(1, text.size() - 2);
        if (!inner.empty() && inner[0] == '-')
          return ParseError{lineNo, "key deletions (\"[-...]\") are not supported"};
        Section s;
        size_t start = 0;
        while (true) {
          size_t bs = inner.find('\\', start);
          std::string_view comp =
              inner.substr(start, bs == std::string_view::npos ? std::string_view::npos : bs - start);
          if (comp.empty()) return ParseError{lineNo, "a key name has an empty component"};
          if (comp.size() > RegistryMaxNameLength)
            return ParseError{lineNo, "a key name component is longer than 255 characters"};
          s.path.emplace_back(comp);
          if (bs == std::string_view::npos) break;
          start = bs + 1;
        }
        if (!knownRoot(s.path[0]))
          return ParseError{lineNo, "unknown root key \"" + s.path[0] + "\""};
        s.rawHeader = lines[n++];
        doc.sections.push_back(std::move(s));
        section = &doc.sections.back();
        continue;
      }
      if (text[0] == '"' || text[0] == '@') {
        if (!section) return ParseError{lineNo, "a value comes before any [key] line"};
        Line l;
        l.isValue = true;
        std::string what;
        if (!parseValue(n, l, what)) return ParseError{lineNo, what};
        section->lines.push_back(std::move(l));
        continue;
      }
      return ParseError{lineNo, "not a key, a value or a comment"};
    }
    return std::nullopt;
  }

  // Parses the value starting at physical line n (hex data may continue on
  // following lines after a trailing backslash); advances n past it.
  bool parseValue(size_t &n, Line &l, std::string &what) {
    std::string_view text = trim(body(lines[n]));
    size_t pos = 0;
    if (text[0] == '@') {
      pos = 1;
    } else {
      std::optional<std::string> name = parseQuoted(text, pos, what);
      if (!name) return false;
      if (name->size() > MaxValueNameLength) {
        what = "a value name is longer than 16383 characters";
        return false;
      }
      l.value.name = std::move(*name);
    }
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos >= text.size() || text[pos] != '=') {
      what = "a value name must be followed by '='";
      return false;
    }
    ++pos;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    std::string_view data = text.substr(pos);
    l.raw = lines[n++];

    if (!data.empty() && data[0] == '"') {
      size_t p = 0;
      std::optional<std::string> s = parseQuoted(data, p, what);
      if (!s) return false;
      if (!trim(data.substr(p)).empty()) {
        what = "unexpected text after a quoted string";
        return false;
      }
      l.value.type = LV_REG_SZ;
      l.value.data = std::move(*s);
      l.value.data += '\0';
      return true;
    }
    if (data.size() >= 6 && sameName(data.substr(0, 6), "dword:")) {
      std::string_view digits = data.substr(6);
      bool ok = digits.size() == 8;
      uint32_t v = 0;
      for (char c : digits) {
        int d = hexDigit(c);
        if (d < 0) ok = false;
        v = v * 16 + uint32_t(d < 0 ? 0 : d);
      }
      if (!ok) {
        what = "a dword value must be exactly eight hexadecimal digits";
        return false;
      }
      l.value.type = LV_REG_DWORD;
      for (int i = 0; i < 4; ++i) l.value.data += char((v >> (8 * i)) & 0xFF);
      return true;
    }
    if (data.size() >= 3 && sameName(data.substr(0, 3), "hex")) {
      size_t p = 3;
      uint32_t type = LV_REG_BINARY;
      if (p < data.size() && data[p] == '(') {
        size_t close = data.find(')', p);
        if (close == std::string_view::npos || close == p + 1 || close - p - 1 > 8) {
          what = "a hex(N) value type must be one to eight hexadecimal digits";
          return false;
        }
        type = 0;
        for (size_t k = p + 1; k < close; ++k) {
          int d = hexDigit(data[k]);
          if (d < 0) {
            what = "a hex(N) value type must be one to eight hexadecimal digits";
            return false;
          }
          type = type * 16 + uint32_t(d);
        }
        p = close + 1;
      }
      if (p >= data.size() || data[p] != ':') {
        what = "unrecognised value data (expected \"text\", dword: or hex:)";
        return false;
      }
      std::string hex(data.substr(p + 1));
      // A trailing backslash continues the list on the next line.
      while (!hex.empty() && trim(hex).size() && trim(hex).back() == '\\') {
        hex = std::string(trim(hex));
        hex.pop_back();
        if (n >= lines.size()) {
          what = "hex data continues past the end of the file";
          return false;
        }
        hex += trim(body(lines[n]));
        l.raw += lines[n++];
      }
      l.value.type = type;
      return parseHexBytes(hex, l.value.data, what);
    }
    if (data == "-") {
      what = "value deletions (\"=-\") are not supported";
      return false;
    }
    what = "unrecognised value data (expected \"text\", dword: or hex:)";
    return false;
  }
};

std::optional<ParseError> parseDocument(std::string_view bytes, Document &doc) {
  doc = Document{};
  if (bytes.size() > MaxFileBytes) return ParseError{0, "the file is larger than 16 MB"};
  std::string decoded;
  std::string_view text = bytes;
  bool utf8Bom = false;
  if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE) {
    if (auto e = decodeUtf16(bytes.substr(2), decoded)) return e;
    text = decoded;
  } else if (bytes.size() >= 3 && uint8_t(bytes[0]) == 0xEF && uint8_t(bytes[1]) == 0xBB &&
             uint8_t(bytes[2]) == 0xBF) {
    text = bytes.substr(3);
    utf8Bom = true;
  }
  size_t nul = text.find('\0');
  if (nul != std::string_view::npos) {
    size_t line = 1;
    for (size_t i = 0; i < nul; ++i) line += text[i] == '\n';
    return ParseError{line, "the file contains a NUL byte"};
  }
  Parser p;
  if (auto e = p.run(text)) return e;
  doc = std::move(p.doc);
  doc.utf8Bom = utf8Bom;
  return std::nullopt;
}

std::string renderValue(const ValueEntry &v, const std::string &eol) {
  std::string line = v.name.empty() ? std::string("@") : quote(v.name);
  line += '=';
  bool plainString = (v.type == LV_REG_SZ) && !v.data.empty() && v.data.back() == '\0' &&
                     v.data.find_first_of(std::string_view("\0\r\n", 3)) == v.data.size() - 1;
  if (plainString) {
    line += quote(std::string_view(v.data).substr(0, v.data.size() - 1));
  } else if (v.type == LV_REG_DWORD && v.data.size() == 4) {
    uint32_t x = 0;
    for (int i = 3; i >= 0; --i) x = (x << 8) | uint8_t(v.data[size_t(i)]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", unsigned(x));
    line += buf;
  } else {
    char buf[32];
    if (v.type == LV_REG_BINARY)
      std::snprintf(buf, sizeof buf, "hex:");
    else
      std::snprintf(buf, sizeof buf, "hex(%x):", unsigned(v.type));
    line += buf;
    size_t width = line.size();
    for (size_t i = 0; i < v.data.size(); ++i) {
      std::snprintf(buf, sizeof buf, "%02x", unsigned(uint8_t(v.data[i])));
      line += buf;
      width += 2;
      if (i + 1 < v.data.size()) {
        line += ',';
        ++width;
        if (width > 76) {  // wrap as the registry editor does
          line += '\\';
          line += eol;
          line += "  ";
          width = 2;
        }
      }
    }
  }
  return line + eol;
}

std::string renderPath(const std::vector<std::string> &path) {
  std::string s;
  for (size_t i = 0; i < path.size(); ++i) {
    if (i) s += '\\';
    s += path[i];
  }
  return s;
}

void ensureEnding(std::string &raw, const std::string &eol) {
  if (!raw.empty() && raw.back() != '\n') raw += eol;
}

std::string serialize(Document &doc) {
  std::string out;
  if (doc.utf8Bom) out += "\xEF\xBB\xBF";
  // Blank lines before the header may end in a bare carriage return: the
  // header still needs a line of its own.
  std::string leading = doc.leading;
  ensureEnding(leading, doc.eol);
  out += leading;
  out += Regedit4Header;
  out += doc.headerEnding.empty() ? doc.eol : doc.headerEnding;
  for (Line &l : doc.prelude) out += l.raw;
  for (Section &s : doc.sections) {
    ensureEnding(out, doc.eol);
    out += s.rawHeader;
    for (Line &l : s.lines) {
      ensureEnding(out, doc.eol);
      out += l.raw.empty() && l.isValue ? renderValue(l.value, doc.eol) : l.raw;
    }
  }
  return out;
}

bool keyExists(const Document &doc, const std::vector<std::string> &path) {
  if (path.size() == 1) return true;  // a root always exists
  for (const Section &s : doc.sections)
    if (hasPrefix(s.path, path)) return true;
  return false;
}

const ValueEntry *findValue(const Document &doc, const std::vector<std::string> &path,
                            std::string_view name) {
  const ValueEntry *found = nullptr;
  for (const Section &s : doc.sections) {
    if (!samePath(s.path, path)) continue;
    for (const Line &l : s.lines)
      if (l.isValue && sameName(l.value.name, name)) found = &l.value;
  }
  return found;
}

// The path spelled as the keys already in the file spell it.
std::vector<std::string> spelledAsFile(const Document &doc, std::vector<std::string> path) {
  for (size_t depth = 1; depth <= path.size(); ++depth) {
    std::vector<std::string> prefix(path.begin(), path.begin() + long(depth));
    for (const Section &s : doc.sections)
      if (hasPrefix(s.path, prefix)) {
        path[depth - 1] = s.path[depth - 1];
        break;
      }
  }
  return path;
}

Section &appendSection(Document &doc, const std::vector<std::string> &path) {
  doc.empty = false;
  // Keep a blank line between keys, as the registry editor writes them.
  std::vector<Line> &before = doc.sections.empty() ? doc.prelude : doc.sections.back().lines;
  bool blankBefore = !before.empty() && !before.back().isValue &&
                     trim(body(before.back().raw)).empty();
  if (!blankBefore) before.push_back(Line{doc.eol, false, {}});
  Section s;
  s.path = spelledAsFile(doc, path);
  s.rawHeader = "[" + renderPath(s.path) + "]" + doc.eol;
  s.added = true;
  doc.sections.push_back(std::move(s));
  doc.sections.back().lines.push_back(Line{doc.eol, false, {}});
  return doc.sections.back();
}

void createKey(Document &doc, const std::vector<std::string> &path) {
  if (keyExists(doc, path)) return;
  appendSection(doc, path);
  // A key below implies its parent: an empty line of our own for the parent,
  // made a moment ago on the way down, says nothing more.
  std::vector<std::string> parent(path.begin(), path.end() - 1);
  for (size_t i = 0; i + 1 < doc.sections.size(); ++i) {
    Section &s = doc.sections[i];
    if (!s.added || !samePath(s.path, parent)) continue;
    bool empty = true;
    for (const Line &l : s.lines) empty = empty && !l.isValue && trim(body(l.raw)).empty();
    if (empty) {
      doc.sections.erase(doc.sections.begin() + long(i));
      break;
    }
  }
}

void setValue(Document &doc, const std::vector<std::string> &path, const ValueEntry &v) {
  // The last occurrence is the one that counts: change it in place.
  Line *found = nullptr;
  Section *last = nullptr;
  for (Section &s : doc.sections) {
    if (!samePath(s.path, path)) continue;
    last = &s;
    for (Line &l : s.lines)
      if (l.isValue && sameName(l.value.name, v.name)) found = &l;
  }
  if (found) {
    if (found->value.type == v.type && found->value.data == v.data) return;  // unchanged
    std::string name = found->value.name;  // keep the case it was written with
    found->value = v;
    found->value.name = name;
    found->raw.clear();
    return;
  }
  if (!last) last = &appendSection(doc, path);
  // After the section's last value, or right after its header.
  size_t at = 0;
  for (size_t i = 0; i < last->lines.size(); ++i)
    if (last->lines[i].isValue) at = i + 1;
  Line l;
  l.isValue = true;
  l.value = v;
  if (at > 0) ensureEnding(last->lines[at - 1].raw, doc.eol);
  else ensureEnding(last->rawHeader, doc.eol);
  last->lines.insert(last->lines.begin() + long(at), std::move(l));
}

// ---------------------------------------------------------------------------
// The store: the file's path, what was last read from it, open keys and the
// writes not yet saved.

struct Write {
  bool isValue = false;
  std::vector<std::string> path;
  ValueEntry value;
};

struct OpenKey {
  std::vector<std::string> path;
  bool writable = false;
};

struct FileStamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  long long mtimeNs = 0;
  long long ctimeNs = 0;
  bool operator==(const FileStamp &) const = default;
};

bool PathChosen = false;
bool InMemory = false;
std::string FilePath;

Document Doc;
bool DocValid = false;    // Doc holds what the file held at Stamp
FileStamp Stamp;
FileStamp ReportedStamp;  // the unreadable file already reported
bool ReportedAny = false;

std::map<LvHkey, OpenKey> Keys;
LvHkey NextHandle = 1;
int OpenWritable = 0;
std::vector<Write> Pending;

void (*BeforeReplaceHook)() = nullptr;

std::string defaultFilePath() {
  const char *env = std::getenv("LUMENVEIL_REGISTRY");
  if (env && *env) return env;
  const char *xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/lumenveil/registry.reg";
  std::string home;
  if (const char *env = std::getenv("HOME"); env && *env) {
    home = env;
  } else {
    struct passwd entry, *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
      home = found->pw_dir;
    else
      home = ".";
  }
  return home + "/.config/lumenveil/registry.reg";
}

void choosePath() {
  if (PathChosen) return;
  PathChosen = true;
  FilePath = defaultFilePath();
  InMemory = FilePath == "/dev/null";
}

FileStamp stampOf(const std::string &path) {
  FileStamp s;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  s.ctimeNs = (long long)st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
  return s;
}

enum class ReadResult { Ok, Missing, Unreadable };

// Reads and parses path. error is set for an unreadable file.
ReadResult readFile(const std::string &path, Document &doc, std::string &error) {
  doc = Document{};
  // Without O_NONBLOCK, opening a named pipe waits for a writer that may never
  // come; a regular file reads the same either way.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return ReadResult::Missing;
    error = std::strerror(errno);
    return ReadResult::Unreadable;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (path == "/dev/null") return ReadResult::Missing;
    error = "not a regular file";
    return ReadResult::Unreadable;
  }
  if (size_t(st.st_size) > MaxFileBytes) {
    ::close(fd);
    error = "the file is larger than 16 MB";
    return ReadResult::Unreadable;
  }
  std::string bytes;
  char buf[65536];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      ::close(fd);
      return ReadResult::Unreadable;
    }
    if (n == 0) break;
    bytes.append(buf, size_t(n));
    if (bytes.size() > MaxFileBytes) {
      ::close(fd);
      error = "the file is larger than 16 MB";
      return ReadResult::Unreadable;
    }
  }
  ::close(fd);
  if (auto e = parseDocument(bytes, doc)) {
    doc = Document{};
    error = e->line ? "line " + std::to_string(e->line) + ": " + e->what : e->what;
    return ReadResult::Unreadable;
  }
  return ReadResult::Ok;
}

void applyWrite(Document &doc, const Write &w) {
  if (w.isValue)
    setValue(doc, w.path, w.value);
  else
    createKey(doc, w.path);
}

// Makes Doc what the file holds now, with the unsaved writes on top. An
// unreadable file is reported once, unless a save is under way that will
// report it itself when it moves the file aside.
void refresh(bool reportUnreadable = true) {
  choosePath();
  if (InMemory) {
    DocValid = true;
    return;
  }
  FileStamp now = stampOf(FilePath);
  if (DocValid && now == Stamp) return;
  std::string error;
  ReadResult r = readFile(FilePath, Doc, error);
  Stamp = now;
  DocValid = true;
  if (r == ReadResult::Unreadable && reportUnreadable && !(ReportedAny && ReportedStamp == now)) {
    ReportedAny = true;
    ReportedStamp = now;
    std::string text = "The settings file " + FilePath + " cannot be read (" + error +
                       "). Lumenveil goes on with its default settings.";
    if (error != "not a regular file")
      text += " The file is kept as it is; when settings are next saved it is moved aside to " +
              FilePath + ".unreadable.";
    messageBox(text.c_str(), "Error", LV_MB_OK);
  }
  for (const Write &w : Pending) applyWrite(Doc, w);
}

std::vector<std::string> rootPath(LvHkey root) {
  if (root == LV_HKEY_CURRENT_USER) return {"HKEY_CURRENT_USER"};
  if (root == LV_HKEY_LOCAL_MACHINE) return {"HKEY_LOCAL_MACHINE"};
  return {};
}

// The path of an open key, or empty for an invalid handle.
std::vector<std::string> pathOf(LvHkey key) {
  std::vector<std::string> root = rootPath(key);
  if (!root.empty()) return root;
  auto it = Keys.find(key);
  return it == Keys.end() ? std::vector<std::string>{} : it->second.path;
}

bool validName(std::string_view s) {
  return s.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

long splitSubkey(const char *subkey, std::vector<std::string> &path) {
  if (!subkey) return LV_ERROR_SUCCESS;
  std::string_view s(subkey);
  size_t start = 0;
  while (start <= s.size()) {
    size_t bs = s.find('\\', start);
    std::string_view comp = s.substr(start, bs == std::string_view::npos ? s.npos : bs - start);
    if (comp.size() > RegistryMaxNameLength || !validName(comp)) return LV_ERROR_INVALID_PARAMETER;
    if (!comp.empty()) path.emplace_back(comp);
    if (bs == std::string_view::npos) break;
    start = bs + 1;
  }
  return LV_ERROR_SUCCESS;
}

LvHkey newHandle(std::vector<std::string> path, bool writable) {
  while (Keys.count(NextHandle) || NextHandle >= 0x80000000u) {
    NextHandle = NextHandle >= 0x7FFFFFFFu ? 1 : NextHandle + 1;
  }
  LvHkey h = NextHandle++;
  Keys[h] = OpenKey{std::move(path), writable};
  if (writable) ++OpenWritable;
  return h;
}

long openOrCreate(LvHkey parent, const char *subkey, LvHkey *result, bool create) {
  if (!result) return LV_ERROR_INVALID_PARAMETER;
  std::vector<std::string> path = pathOf(parent);
  if (path.empty()) return LV_ERROR_INVALID_HANDLE;
  if (long r = splitSubkey(subkey, path)) return r;
  // A walk from a root sees the file as it is now.
  if (!rootPath(parent).empty()) refresh(!create);
  else choosePath();
  if (!keyExists(Doc, path)) {
    if (!create) return LV_ERROR_FILE_NOT_FOUND;
    Write w;
    w.path = path;
    Pending.push_back(w);
    createKey(Doc, path);
  }
  *result = newHandle(std::move(path), create);
  return LV_ERROR_SUCCESS;
}

void tell(const std::string &text, const char *caption) { messageBox(text.c_str(), caption, LV_MB_OK); }

// Creates the folders above path.
bool makeParents(const std::string &path, std::string &error) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '/') continue;
    std::string dir = path.substr(0, i);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot create the folder " + dir + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

bool writeAll(int fd, const std::string &s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

// The first of path.unreadable, path.unreadable.1, ... that does not exist.
std::string asideName(const std::string &path) {
  std::string name = path + ".unreadable";
  for (int i = 1; ::access(name.c_str(), F_OK) == 0; ++i)
    name = path + ".unreadable." + std::to_string(i);
  return name;
}

// Saves the pending writes to the file: under the lock, re-read, apply,
// write a temporary file, flush it and rename it over the old one.
bool saveToFile(std::string &error) {
  std::string target = FilePath;
  {
    // Follow a symbolic link so that the link is kept and its file replaced.
    char *real = ::realpath(FilePath.c_str(), nullptr);
    if (real) {
      target = real;
      std::free(real);
    }
  }
  struct stat st;
  bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    error = "it is not a regular file";
    return false;
  }
  if (!makeParents(target, error)) return false;

  std::string lockName = target + ".lock";
  int lockFd = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd < 0) {
    error = "cannot open the lock file " + lockName + ": " + std::strerror(errno);
    return false;
  }
  // Another save holds the lock for a few milliseconds at most; one that
  // holds it far longer is stuck, and the user is told rather than kept waiting.
  for (int waited = 0; ::flock(lockFd, LOCK_EX | LOCK_NB) != 0; ++waited) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= LockWaitMs) {
      error = errno == EWOULDBLOCK || errno == EINTR
                  ? "another program has held the lock " + lockName + " for too long"
                  : "cannot lock " + lockName + ": " + std::strerror(errno);
      ::close(lockFd);
      return false;
    }
    ::usleep(1000);
  }

  bool ok = false;
  std::string tmpName = target + ".tmp";
  do {
    Document fresh;
    std::string readError;
    ReadResult r = readFile(target, fresh, readError);
    exists = ::stat(target.c_str(), &st) == 0;
    mode_t mode = exists ? (st.st_mode & 07777) : 0600;
    if (r == ReadResult::Unreadable) {
      if (readError == "not a regular file") {
        error = "it is not a regular file";
        break;
      }
      std::string aside = asideName(target);
      if (::rename(target.c_str(), aside.c_str()) != 0) {
        error = "it cannot be read (" + readError + ") and cannot be moved aside to " + aside +
                ": " + std::strerror(errno);
        break;
      }
      tell("The settings file " + target + " could not be read (" + readError +
               "), so it was kept as " + aside + " and a new settings file was written.",
           "Lumenveil settings");
      fresh = Document{};
    }
    for (const Write &w : Pending) applyWrite(fresh, w);
    std::string text = serialize(fresh);

    // Under the lock any temporary file left here is from a save that never
    // finished: replace it.
    ::unlink(tmpName.c_str());
    int fd = ::open(tmpName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      error = "cannot create " + tmpName + ": " + std::strerror(errno);
      break;
    }
    if (!writeAll(fd, text) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
      error = "cannot write " + tmpName + ": " + std::strerror(errno);
      ::close(fd);
      ::unlink(tmpName.c_str());
      break;
    }
    if (::close(fd) != 0) {
      error = "cannot write " + tmpName + ": " + std::strerror(errno);
      ::unlink(tmpName.c_str());
      break;
    }
    if (BeforeReplaceHook) BeforeReplaceHook();
    if (::rename(tmpName.c_str(), target.c_str()) != 0) {
      error = "cannot replace it: " + std::string(std::strerror(errno));
      ::unlink(tmpName.c_str());
      break;
    }
    std::string dir = target.substr(0, target.find_last_of('/') + 1);
    int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
      ::fsync(dirFd);
      ::close(dirFd);
    }
    Doc = std::move(fresh);
    Stamp = stampOf(FilePath);
    DocValid = true;
    ok = true;
  } while (false);

  ::flock(lockFd, LOCK_UN);
  ::close(lockFd);
  return ok;
}

}  // namespace

long registryOpenKey(LvHkey parent, const char *subkey, LvHkey *result) {
  return openOrCreate(parent, subkey, result, false);
}

long registryCreateKey(LvHkey parent, const char *subkey, LvHkey *result) {
  return openOrCreate(parent, subkey, result, true);
}

long registryQueryValue(LvHkey key, const char *name, uint32_t *type, void *data, uint32_t *size) {
  std::vector<std::string> path = pathOf(key);
  if (path.empty()) return LV_ERROR_INVALID_HANDLE;
  choosePath();
  if (!DocValid) refresh();
  const ValueEntry *v = findValue(Doc, path, name ? name : "");
  if (!v) return LV_ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  if (!size) return data ? LV_ERROR_INVALID_PARAMETER : LV_ERROR_SUCCESS;
  uint32_t need = uint32_t(v->data.size());
  if (data && *size < need) {
    *size = need;
    return LV_ERROR_MORE_DATA;
  }
  if (data) std::memcpy(data, v->data.data(), need);
  *size = need;
  return LV_ERROR_SUCCESS;
}

long registrySetValue(LvHkey key, const char *name, uint32_t type, const void *data, uint32_t size) {
  auto it = Keys.find(key);
  if (it == Keys.end()) return rootPath(key).empty() ? LV_ERROR_INVALID_HANDLE : LV_ERROR_ACCESS_DENIED;
  if (!it->second.writable) return LV_ERROR_ACCESS_DENIED;
  std::string_view n = name ? name : "";
  if (n.size() > MaxValueNameLength || !validName(n)) return LV_ERROR_INVALID_PARAMETER;
  if (size && !data) return LV_ERROR_INVALID_PARAMETER;
  if (type == LV_REG_DWORD && size != 4) return LV_ERROR_INVALID_PARAMETER;
  Write w;
  w.isValue = true;
  w.path = it->second.path;
  w.value.name = std::string(n);
  w.value.type = type;
  w.value.data.assign(static_cast<const char *>(data), size);
  if ((type == LV_REG_SZ || type == LV_REG_EXPAND_SZ) &&
      (w.value.data.empty() || w.value.data.back() != '\0'))
    w.value.data += '\0';
  if (!DocValid) refresh();
  setValue(Doc, w.path, w.value);
  Pending.push_back(std::move(w));
  return LV_ERROR_SUCCESS;
}

long registryCloseKey(LvHkey key) {
  if (!rootPath(key).empty()) return LV_ERROR_SUCCESS;
  auto it = Keys.find(key);
  if (it == Keys.end()) return LV_ERROR_INVALID_HANDLE;
  bool writable = it->second.writable;
  Keys.erase(it);
  if (writable && --OpenWritable == 0 && !Pending.empty())
    return registryFlush() ? LV_ERROR_SUCCESS : LV_ERROR_CANTWRITE;
  return LV_ERROR_SUCCESS;
}

bool registryFlush() {
  choosePath();
  if (Pending.empty()) return true;
  if (InMemory) {
    Pending.clear();
    return true;
  }
  std::string error;
  bool ok = saveToFile(error);
  Pending.clear();
  if (!ok) {
    DocValid = false;  // show what the file holds, not the writes that were lost
    tell("Lumenveil could not save its settings to " + FilePath + ": " + error + ".", "Error");
  }
  return ok;
}

std::string registryFilePath() {
  choosePath();
  return InMemory ? std::string() : FilePath;
}

void setRegistryFilePath(const std::string &path) {
  Pending.clear();
  PathChosen = true;
  FilePath = path.empty() ? defaultFilePath() : path;
  InMemory = FilePath == "/dev/null";
  Doc = Document{};
  DocValid = false;
  Stamp = FileStamp{};
  ReportedAny = false;
}

void useInMemoryRegistry() {
  setRegistryFilePath("/dev/null");
}

void setRegistryBeforeReplaceHook(void (*hook)()) { BeforeReplaceHook = hook; }
