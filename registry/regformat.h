// The settings file's text: the registry editor's export format, "REGEDIT4"
// (and the UTF-16LE "Windows Registry Editor Version 5.00" export, read but
// always written back as REGEDIT4). Reading and writing take time in
// proportion to the file's size.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "registry/regdocument.h"

// A settings file larger than this is refused rather than read.
inline constexpr size_t RegMaxFileBytes = 16u * 1024u * 1024u;

struct RegParseError {
  size_t line = 0; // 0: the file as a whole
  std::string what;
};

// Reads a whole file's bytes into doc (left empty on an error).
std::optional<RegParseError> parseRegDocument(std::string_view bytes, RegDocument &doc);
// The document as text, every line read kept as it was.
std::string renderRegDocument(const RegDocument &doc);

// True when bytes begin as a settings file does: after any blank lines, a
// "REGEDIT4" or "Windows Registry Editor Version 5.00" line (UTF-8 with a
// byte-order mark and UTF-16LE allowed). A file of nothing but blank lines is
// an empty settings file and counts too. Anything else is some other file
// that the settings must never replace.
bool startsAsSettingsFile(std::string_view bytes);
