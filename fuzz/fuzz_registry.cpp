// Fuzzes the settings file reader: any bytes either parse or are refused with
// a message, and a file that parses is written back to text that parses to
// the same keys and values.
#include "platform/registry_store.cpp"

#include <cstdlib>

namespace {

void same(const Document &a, const Document &b) {
  if (a.sections.size() != b.sections.size()) std::abort();
  for (size_t i = 0; i < a.sections.size(); ++i) {
    const Section &x = a.sections[i], &y = b.sections[i];
    if (!samePath(x.path, y.path)) std::abort();
    std::vector<const ValueEntry *> vx, vy;
    for (const Line &l : x.lines)
      if (l.isValue) vx.push_back(&l.value);
    for (const Line &l : y.lines)
      if (l.isValue) vy.push_back(&l.value);
    if (vx.size() != vy.size()) std::abort();
    for (size_t k = 0; k < vx.size(); ++k)
      if (vx[k]->name != vy[k]->name || vx[k]->type != vy[k]->type || vx[k]->data != vy[k]->data)
        std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  Document doc;
  if (parseDocument(bytes, doc)) return 0;

  // Written back unchanged, the file reads as the same keys and values.
  std::string text = serialize(doc);
  Document again;
  if (parseDocument(text, again)) std::abort();
  same(doc, again);

  // Values set on top of what was read survive a write and a read.
  std::vector<std::string> path = {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Qbn", "Lumenveil", "1.1",
                                   "Astrel"};
  ValueEntry v;
  v.name = "MainStars";
  v.type = LV_REG_DWORD;
  v.data = std::string("\x2c\x01\x00\x00", 4);
  createKey(doc, path);
  setValue(doc, path, v);
  ValueEntry s;
  s.name = "Odd \"name\" \\ here";
  s.type = LV_REG_SZ;
  s.data = std::string("line\r\nbreak\0", 12);
  setValue(doc, path, s);
  text = serialize(doc);
  if (parseDocument(text, again)) std::abort();
  same(doc, again);
  const ValueEntry *found = findValue(again, path, "MainStars");
  if (!found || found->data != v.data) std::abort();
  return 0;
}
