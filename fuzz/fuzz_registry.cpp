// Fuzzes the settings file reader: any bytes either parse or are refused with
// a message, and a file that parses is written back to text that parses to
// the same keys and values. Run it with -max_len=1048576 (see fuzz/README.md):
// long values continued over thousands of lines are inputs too.
#include <cstdlib>

#include "registry/regformat.h"

namespace {

void same(const RegDocument &a, const RegDocument &b) {
  if (a.sections.size() != b.sections.size()) std::abort();
  for (size_t i = 0; i < a.sections.size(); ++i) {
    const RegSection &x = a.sections[i], &y = b.sections[i];
    if (!sameRegPath(x.path, y.path)) std::abort();
    std::vector<const RegValue *> vx, vy;
    for (const RegLine &l : x.lines)
      if (l.isValue) vx.push_back(&l.value);
    for (const RegLine &l : y.lines)
      if (l.isValue) vy.push_back(&l.value);
    if (vx.size() != vy.size()) std::abort();
    for (size_t k = 0; k < vx.size(); ++k)
      if (vx[k]->name != vy[k]->name || vx[k]->type != vy[k]->type || vx[k]->data != vy[k]->data)
        std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  RegDocument doc;
  if (auto e = parseRegDocument(bytes, doc)) {
    // A file refused for its first line is no settings file: the store must
    // leave it alone rather than move it aside.
    if (e->what.rfind("the file does not begin", 0) == 0 && startsAsSettingsFile(bytes)) std::abort();
    return 0;
  }
  // Whatever parses begins as a settings file: the store never refuses it.
  if (!startsAsSettingsFile(bytes)) std::abort();

  // Written back unchanged, the file reads as the same keys and values.
  std::string text = renderRegDocument(doc);
  RegDocument again;
  if (parseRegDocument(text, again)) std::abort();
  same(doc, again);

  // Values set on top of what was read survive a write and a read.
  std::vector<std::string> path = {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Qbn", "Lumenveil", "1.1", "Astrel"};
  RegValue v;
  v.name = "MainStars";
  v.type = LV_REG_DWORD;
  v.data = std::string("\x2c\x01\x00\x00", 4);
  createRegKey(doc, path);
  setRegValue(doc, path, v);
  RegValue s;
  s.name = "Odd \"name\" \\ here";
  s.type = LV_REG_SZ;
  s.data = std::string("line\r\nbreak\0", 12);
  setRegValue(doc, path, s);
  text = renderRegDocument(doc);
  if (parseRegDocument(text, again)) std::abort();
  same(doc, again);
  const RegValue *found = findRegValue(again, path, "MainStars");
  if (!found || found->data != v.data) std::abort();
  return 0;
}
