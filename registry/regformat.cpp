#include "registry/regformat.h"

#include <cstdio>
#include <vector>

namespace {

constexpr std::string_view Regedit4Header = "REGEDIT4";
constexpr std::string_view Regedit5Header = "Windows Registry Editor Version 5.00";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isHeader(std::string_view line) {
  std::string_view text = trimRegText(regLineBody(line));
  return text == Regedit4Header || text == Regedit5Header;
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
std::optional<RegParseError> decodeUtf16(std::string_view bytes, std::string &out) {
  if (bytes.size() % 2 != 0)
    return RegParseError{0, "the file is marked as UTF-16 but has an odd number of bytes"};
  out.reserve(bytes.size() / 2);
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
      return RegParseError{line, "invalid UTF-16 text (an unpaired surrogate)"};
    }
    if (u >= 0xDC00 && u <= 0xDFFF) return RegParseError{line, "invalid UTF-16 text (an unpaired surrogate)"};
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

// Drops the spaces and tabs at the end of s.
void trimEnd(std::string &s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
}

struct Parser {
  std::vector<std::string_view> lines; // physical lines, endings included
  RegDocument doc;

  std::optional<RegParseError> run(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
      size_t nl = text.find('\n', i);
      size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
      lines.push_back(text.substr(i, end - i));
      i = end;
    }
    for (std::string_view l : lines)
      if (l.size() >= 2 && l[l.size() - 2] == '\r' && l.back() == '\n') {
        doc.eol = "\r\n";
        break;
      }

    size_t n = 0;
    // Blank lines before the header.
    while (n < lines.size() && trimRegText(regLineBody(lines[n])).empty()) doc.leading += lines[n++];
    if (n == lines.size()) return std::nullopt; // nothing but blanks: an empty registry
    if (!isHeader(lines[n]))
      return RegParseError{n + 1, "the file does not begin with \"REGEDIT4\" or \"Windows Registry "
                                  "Editor Version 5.00\""};
    doc.empty = false;
    doc.headerEnding = std::string(lines[n].substr(regLineBody(lines[n]).size()));
    ++n;

    RegSection *section = nullptr;
    while (n < lines.size()) {
      size_t lineNo = n + 1;
      std::string_view text = trimRegText(regLineBody(lines[n]));
      if (text.empty() || text[0] == ';') {
        RegLine l;
        l.raw = lines[n++];
        (section ? section->lines : doc.prelude).push_back(std::move(l));
        continue;
      }
      if (text[0] == '[') {
        if (text.back() != ']') return RegParseError{lineNo, "a key line must end with ']'"};
        std::string_view inner = text.substr(1, text.size() - 2);
        if (!inner.empty() && inner[0] == '-')
          return RegParseError{lineNo, "key deletions (\"[-...]\") are not supported"};
        RegSection s;
        size_t start = 0;
        while (true) {
          size_t bs = inner.find('\\', start);
          std::string_view comp =
              inner.substr(start, bs == std::string_view::npos ? std::string_view::npos : bs - start);
          if (comp.empty()) return RegParseError{lineNo, "a key name has an empty component"};
          if (comp.size() > RegistryMaxNameLength)
            return RegParseError{lineNo, "a key name component is longer than 255 characters"};
          s.path.emplace_back(comp);
          if (bs == std::string_view::npos) break;
          start = bs + 1;
        }
        if (!knownRegRoot(s.path[0])) return RegParseError{lineNo, "unknown root key \"" + s.path[0] + "\""};
        s.rawHeader = lines[n++];
        doc.sections.push_back(std::move(s));
        section = &doc.sections.back();
        continue;
      }
      if (text[0] == '"' || text[0] == '@') {
        if (!section) return RegParseError{lineNo, "a value comes before any [key] line"};
        RegLine l;
        l.isValue = true;
        std::string what;
        if (!parseValue(n, l, what)) return RegParseError{lineNo, what};
        section->lines.push_back(std::move(l));
        continue;
      }
      return RegParseError{lineNo, "not a key, a value or a comment"};
    }
    return std::nullopt;
  }

  // Parses the value starting at physical line n (hex data may continue on
  // following lines after a trailing backslash); advances n past it.
  bool parseValue(size_t &n, RegLine &l, std::string &what) {
    std::string_view text = trimRegText(regLineBody(lines[n]));
    size_t pos = 0;
    if (text[0] == '@') {
      pos = 1;
    } else {
      std::optional<std::string> name = parseQuoted(text, pos, what);
      if (!name) return false;
      if (name->size() > RegMaxValueNameLength) {
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
      if (!trimRegText(data.substr(p)).empty()) {
        what = "unexpected text after a quoted string";
        return false;
      }
      l.value.type = LV_REG_SZ;
      l.value.data = std::move(*s);
      l.value.data += '\0';
      return true;
    }
    if (data.size() >= 6 && sameRegName(data.substr(0, 6), "dword:")) {
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
    if (data.size() >= 3 && sameRegName(data.substr(0, 3), "hex")) {
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
      // A trailing backslash continues the list on the next line. The list
      // only grows at its end, so a long value costs no more than its length.
      std::string hex(data.substr(p + 1));
      trimEnd(hex);
      while (!hex.empty() && hex.back() == '\\') {
        hex.pop_back();
        if (n >= lines.size()) {
          what = "hex data continues past the end of the file";
          return false;
        }
        hex += trimRegText(regLineBody(lines[n]));
        l.raw += lines[n++];
        trimEnd(hex);
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

std::string renderValue(const RegValue &v, const std::string &eol) {
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
        if (width > 76) { // wrap as the registry editor does
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

} // namespace

std::optional<RegParseError> parseRegDocument(std::string_view bytes, RegDocument &doc) {
  doc = RegDocument{};
  if (bytes.size() > RegMaxFileBytes) return RegParseError{0, "the file is larger than 16 MB"};
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
    return RegParseError{line, "the file contains a NUL byte"};
  }
  Parser p;
  if (auto e = p.run(text)) return e;
  doc = std::move(p.doc);
  doc.utf8Bom = utf8Bom;
  return std::nullopt;
}

std::string renderRegDocument(const RegDocument &doc) {
  std::string out;
  if (doc.utf8Bom) out += "\xEF\xBB\xBF";
  // Blank lines before the header may end in a bare carriage return: the
  // header still needs a line of its own.
  std::string leading = doc.leading;
  endRegLine(leading, doc.eol);
  out += leading;
  out += Regedit4Header;
  out += doc.headerEnding.empty() ? doc.eol : doc.headerEnding;
  for (const RegLine &l : doc.prelude) out += l.raw;
  for (const RegSection &s : doc.sections) {
    endRegLine(out, doc.eol);
    out += s.rawHeader;
    for (const RegLine &l : s.lines) {
      endRegLine(out, doc.eol);
      out += l.raw.empty() && l.isValue ? renderValue(l.value, doc.eol) : l.raw;
    }
  }
  return out;
}

bool startsAsSettingsFile(std::string_view bytes) {
  // The first line that is not blank, read as the parser reads lines: UTF-16
  // code units outside ASCII stand for themselves only as "not the header".
  bool utf16 = bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE;
  size_t i = 0;
  if (utf16)
    i = 2;
  else if (bytes.size() >= 3 && uint8_t(bytes[0]) == 0xEF && uint8_t(bytes[1]) == 0xBB &&
           uint8_t(bytes[2]) == 0xBF)
    i = 3;
  std::string line;
  while (true) {
    bool end = utf16 ? i + 1 >= bytes.size() : i >= bytes.size();
    char c = '\n';
    if (!end) {
      if (utf16) {
        uint32_t u = uint8_t(bytes[i]) | (uint32_t(uint8_t(bytes[i + 1])) << 8);
        c = u < 0x80 ? char(u) : '\x80';
        i += 2;
      } else {
        c = bytes[i++];
      }
    }
    if (c != '\n') {
      line += c;
      continue;
    }
    if (!trimRegText(regLineBody(line)).empty()) return isHeader(line);
    if (end) return true; // nothing but blank lines
    line.clear();
  }
}
