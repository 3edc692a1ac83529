// A settings file held in memory: every line as it was read, so that a save
// changes nothing but the values it writes. Lookups and edits of keys and
// values; names compare without regard to ASCII case, as the registry's do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_store.h"

// Longest value name the registry allows.
inline constexpr size_t RegMaxValueNameLength = 16383;

struct RegValue {
  std::string name; // as written, unescaped; "" is the key's default value
  uint32_t type = LV_REG_NONE;
  std::string data; // the value's bytes; a string includes its terminating NUL
};

struct RegLine {
  std::string raw; // the exact text, line endings included; empty: render value
  bool isValue = false;
  RegValue value;
};

struct RegSection {
  std::string rawHeader;         // "[...]" line as written, ending included
  std::vector<std::string> path; // root name first
  std::vector<RegLine> lines;
  bool added = false; // made by this program since the file was read
};

struct RegDocument {
  bool empty = true; // no header seen: a missing or blank file
  bool utf8Bom = false;
  std::string leading; // blank lines before the header
  std::string headerEnding = "\n";
  std::vector<RegLine> prelude; // lines between the header and the first key
  std::vector<RegSection> sections;
  std::string eol = "\n"; // line ending used for lines we add
};

// One write a save applies: a key made, or a value set.
struct RegWrite {
  bool isValue = false;
  std::vector<std::string> path;
  RegValue value;
};

bool sameRegName(std::string_view a, std::string_view b);
bool sameRegPath(const std::vector<std::string> &a, const std::vector<std::string> &b);

// Spaces and tabs off both ends.
std::string_view trimRegText(std::string_view s);
// The text of a line without its ending.
std::string_view regLineBody(std::string_view raw);
// Ends raw with eol unless it is empty or already ends a line.
void endRegLine(std::string &raw, const std::string &eol);

// True for the roots a file may name (HKEY_LOCAL_MACHINE, ...).
bool knownRegRoot(std::string_view name);

// A key exists when it or a key below it has a line of its own; a root always does.
bool regKeyExists(const RegDocument &doc, const std::vector<std::string> &path);
// The value that counts (the last one written), or null.
const RegValue *findRegValue(const RegDocument &doc, const std::vector<std::string> &path,
                             std::string_view name);
// Adds the key, after the last key, unless it exists.
void createRegKey(RegDocument &doc, const std::vector<std::string> &path);
// Changes the value in place, or adds it after the key's last value.
void setRegValue(RegDocument &doc, const std::vector<std::string> &path, const RegValue &v);
void applyRegWrite(RegDocument &doc, const RegWrite &w);
