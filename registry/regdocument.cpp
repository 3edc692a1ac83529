#include "registry/regdocument.h"

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// True when prefix is the start of (or all of) path.
bool hasPrefix(const std::vector<std::string> &path, const std::vector<std::string> &prefix) {
  if (prefix.size() > path.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (!sameRegName(path[i], prefix[i])) return false;
  return true;
}

const char *const RootNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                 "HKEY_CURRENT_CONFIG"};

std::string renderPath(const std::vector<std::string> &path) {
  std::string s;
  for (size_t i = 0; i < path.size(); ++i) {
    if (i) s += '\\';
    s += path[i];
  }
  return s;
}

// The path spelled as the keys already in the file spell it.
std::vector<std::string> spelledAsFile(const RegDocument &doc, std::vector<std::string> path) {
  for (size_t depth = 1; depth <= path.size(); ++depth) {
    std::vector<std::string> prefix(path.begin(), path.begin() + long(depth));
    for (const RegSection &s : doc.sections)
      if (hasPrefix(s.path, prefix)) {
        path[depth - 1] = s.path[depth - 1];
        break;
      }
  }
  return path;
}

RegSection &appendSection(RegDocument &doc, const std::vector<std::string> &path) {
  doc.empty = false;
  // Keep a blank line between keys, as the registry editor writes them.
  std::vector<RegLine> &before = doc.sections.empty() ? doc.prelude : doc.sections.back().lines;
  bool blankBefore =
      !before.empty() && !before.back().isValue && trimRegText(regLineBody(before.back().raw)).empty();
  if (!blankBefore) before.push_back(RegLine{doc.eol, false, {}});
  RegSection s;
  s.path = spelledAsFile(doc, path);
  s.rawHeader = "[" + renderPath(s.path) + "]" + doc.eol;
  s.added = true;
  doc.sections.push_back(std::move(s));
  doc.sections.back().lines.push_back(RegLine{doc.eol, false, {}});
  return doc.sections.back();
}

} // namespace

bool sameRegName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

bool sameRegPath(const std::vector<std::string> &a, const std::vector<std::string> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!sameRegName(a[i], b[i])) return false;
  return true;
}

std::string_view trimRegText(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::string_view regLineBody(std::string_view raw) {
  while (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r')) raw.remove_suffix(1);
  return raw;
}

void endRegLine(std::string &raw, const std::string &eol) {
  if (!raw.empty() && raw.back() != '\n') raw += eol;
}

bool knownRegRoot(std::string_view name) {
  for (const char *root : RootNames)
    if (sameRegName(name, root)) return true;
  return false;
}

bool regKeyExists(const RegDocument &doc, const std::vector<std::string> &path) {
  if (path.size() == 1) return true; // a root always exists
  for (const RegSection &s : doc.sections)
    if (hasPrefix(s.path, path)) return true;
  return false;
}

const RegValue *findRegValue(const RegDocument &doc, const std::vector<std::string> &path,
                             std::string_view name) {
  const RegValue *found = nullptr;
  for (const RegSection &s : doc.sections) {
    if (!sameRegPath(s.path, path)) continue;
    for (const RegLine &l : s.lines)
      if (l.isValue && sameRegName(l.value.name, name)) found = &l.value;
  }
  return found;
}

void createRegKey(RegDocument &doc, const std::vector<std::string> &path) {
  if (regKeyExists(doc, path)) return;
  appendSection(doc, path);
  // A key below implies its parent: an empty line of our own for the parent,
  // made a moment ago on the way down, says nothing more.
  std::vector<std::string> parent(path.begin(), path.end() - 1);
  for (size_t i = 0; i + 1 < doc.sections.size(); ++i) {
    RegSection &s = doc.sections[i];
    if (!s.added || !sameRegPath(s.path, parent)) continue;
    bool empty = true;
    for (const RegLine &l : s.lines) empty = empty && !l.isValue && trimRegText(regLineBody(l.raw)).empty();
    if (empty) {
      doc.sections.erase(doc.sections.begin() + long(i));
      break;
    }
  }
}

void setRegValue(RegDocument &doc, const std::vector<std::string> &path, const RegValue &v) {
  // The last occurrence is the one that counts: change it in place.
  RegLine *found = nullptr;
  RegSection *last = nullptr;
  for (RegSection &s : doc.sections) {
    if (!sameRegPath(s.path, path)) continue;
    last = &s;
    for (RegLine &l : s.lines)
      if (l.isValue && sameRegName(l.value.name, v.name)) found = &l;
  }
  if (found) {
    if (found->value.type == v.type && found->value.data == v.data) return; // unchanged
    std::string name = found->value.name; // keep the case it was written with
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
  RegLine l;
  l.isValue = true;
  l.value = v;
  if (at > 0)
    endRegLine(last->lines[at - 1].raw, doc.eol);
  else
    endRegLine(last->rawHeader, doc.eol);
  last->lines.insert(last->lines.begin() + long(at), std::move(l));
}

void applyRegWrite(RegDocument &doc, const RegWrite &w) {
  if (w.isValue)
    setRegValue(doc, w.path, w.value);
  else
    createRegKey(doc, w.path);
}
