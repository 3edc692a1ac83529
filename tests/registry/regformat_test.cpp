// The settings file's text: reading and writing in proportion to the size,
// and what counts as a settings file.
#include <gtest/gtest.h>

#include "registry_fixture.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "registry/regformat.h"

namespace {
std::atomic<size_t> AllocatedBytes{0};
}

// Every allocation of this test program is counted: reading a file must not
// copy it over and over.
void *operator new(size_t n) {
  AllocatedBytes += n;
  if (void *p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, size_t) noexcept { std::free(p); }

namespace {

// One binary value of 4 * lines + 2 bytes, continued over that many lines.
std::string longValueFile(int lines) {
  std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Big]\r\n\"Blob\"=hex:00,\\\r\n";
  for (int i = 0; i < lines; ++i) text += "  01,02,03,04,\\\r\n";
  text += "  ff\r\n";
  return text;
}

TEST(RegFormat, AValueOverManyLinesCostsNoMoreThanItsSize) {
  const int lines = 40000;
  std::string text = longValueFile(lines);
  RegDocument doc;
  size_t before = AllocatedBytes;
  ASSERT_FALSE(parseRegDocument(text, doc).has_value());
  size_t reading = AllocatedBytes - before;
  EXPECT_LT(reading, 16 * text.size());

  const RegValue *v = findRegValue(doc, {"HKEY_CURRENT_USER", "Big"}, "Blob");
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->data.size(), size_t(4 * lines + 2));
  EXPECT_EQ(v->data.substr(0, 5), std::string("\x00\x01\x02\x03\x04", 5));
  EXPECT_EQ(uint8_t(v->data.back()), 0xff);
  EXPECT_EQ(renderRegDocument(doc), text); // unchanged, written as read

  RegValue changed = *v;
  changed.data[0] = '\x7f';
  setRegValue(doc, {"HKEY_CURRENT_USER", "Big"}, changed);
  before = AllocatedBytes;
  std::string written = renderRegDocument(doc);
  EXPECT_LT(AllocatedBytes - before, 16 * written.size());
  RegDocument again;
  ASSERT_FALSE(parseRegDocument(written, again).has_value());
  EXPECT_EQ(findRegValue(again, {"HKEY_CURRENT_USER", "Big"}, "Blob")->data, changed.data);
}

TEST(RegFormat, AContinuedValueEndsAtTheFilesEndWithAnError) {
  RegDocument doc;
  auto e = parseRegDocument("REGEDIT4\n[HKEY_USERS\\K]\n\"A\"=hex:01,  \\  \n  02, \\", doc);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->line, 3u);
  EXPECT_EQ(e->what, "hex data continues past the end of the file");
  ASSERT_FALSE(parseRegDocument("REGEDIT4\n[HKEY_USERS\\K]\n\"A\"=hex:01,  \\  \n  02  \n", doc));
  EXPECT_EQ(findRegValue(doc, {"HKEY_USERS", "K"}, "a")->data, "\x01\x02");
}

TEST(RegFormat, ASettingsFileIsKnownByItsFirstLine) {
  for (const std::string &yes :
       {std::string("REGEDIT4"), std::string("REGEDIT4\r\n[HKEY_USERS\\A]\r\n"),
        std::string("\r\n\t\n REGEDIT4 \t\r\nx"), std::string("\xEF\xBB\xBFREGEDIT4\n"),
        std::string("REGEDIT4\n\0garbage", 17), std::string("Windows Registry Editor Version 5.00\n"),
        utf16le("\r\nWindows Registry Editor Version 5.00\r\n"), utf16le("REGEDIT4") + "x", std::string(""),
        std::string("\n \r\n"), std::string("\xFF\xFE"), utf16le("  \r\n")})
    EXPECT_TRUE(startsAsSettingsFile(yes)) << testing::PrintToString(yes);
  for (const std::string &no :
       {std::string("REGEDIT"), std::string("REGEDIT40\n"), std::string("regedit4\n"),
        std::string("REGEDIT4\r \n"), std::string("; REGEDIT4\nREGEDIT4\n"), std::string("[HKEY_USERS\\A]\n"),
        std::string("\xEF\xBB\xBF\xEF\xBB\xBFREGEDIT4\n"), std::string("\0REGEDIT4\n", 10),
        utf16le("REGEDIT4\xE9\r\n"), std::string("R\0E\0G\0", 6), std::string("\xFE\xFFREGEDIT4")})
    EXPECT_FALSE(startsAsSettingsFile(no)) << testing::PrintToString(no);
}

} // namespace
