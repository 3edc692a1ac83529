// Files at the settings path that are not settings files: a save never moves
// them aside nor writes over them, and the run keeps its settings in memory.
#include <algorithm>

#include "registry/registrystore.h"
#include "registry_fixture.h"
#include "settings/configuration.h"

namespace {

class RegistryForeignFile : public RegistryFileTest {
protected:
  // Every name in the test's folder, sorted.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(RegistryForeignFile, ALinkToSomeOtherFileIsLeftAsItIs) {
  std::string notes = (dir / "notes.txt").string();
  writeFileAt(notes, "shopping: bread, milk\n");
  std::filesystem::create_symlink("notes.txt", file);

  writeDefaultSettings();
  GlobalConfiguration g;
  g.ScreenSaver = 0;
  g.save();

  EXPECT_EQ(readFileAt(notes), "shopping: bread, milk\n");
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(listing(), (std::vector<std::string>{"notes.txt", "registry.reg"}));
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].caption, "Error");
  EXPECT_NE(sink.messages[0].text.find(file), std::string::npos) << sink.messages[0].text;
  EXPECT_NE(sink.messages[0].text.find(notes), std::string::npos) << sink.messages[0].text;

  // This run still sees what it saved.
  GlobalConfiguration back;
  back.load();
  EXPECT_EQ(back.ScreenSaver, 0);
  EXPECT_EQ(sink.messages.size(), 1u);
}

TEST_F(RegistryForeignFile, OnlyAFileThatBeginsAsASettingsFileIsEverReplaced) {
  std::vector<std::pair<const char *, std::string>> cases = {
      {"text", "Dear diary,\n"},
      {"keys without the header line", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn]\n\"A\"=dword:00000001\n"},
      {"header after a comment", "; settings\nREGEDIT4\n"},
      {"header with more on its line", "REGEDIT4 and then some\n"},
      {"UTF-16 text", utf16le("Dear diary,\r\n")},
      {"binary", std::string("\x7f"
                             "ELF\2\1\1\0\0\0\0\0",
                             13)},
      {"too large to read", std::string(17u << 20, 'x')},
  };
  for (const auto &[what, text] : cases) {
    SCOPED_TRACE(what);
    sink.messages.clear();
    writeFile(text);
    setRegistryFilePath(file);

    GlobalConfiguration g;
    g.load(); // told at the first look
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].caption, "Error");
    EXPECT_NE(sink.messages[0].text.find(file), std::string::npos);
    g.ScreenSaver = 0;
    g.save(); // and not again
    AudioConfiguration().save();

    EXPECT_EQ(readFile(), text);
    EXPECT_EQ(listing(), std::vector<std::string>{"registry.reg"});
    EXPECT_EQ(sink.messages.size(), 1u);
    GlobalConfiguration back;
    back.load();
    EXPECT_EQ(back.ScreenSaver, 0);
  }
}

// Once the file is a settings file again, the writes it refused are saved with the next ones.
TEST_F(RegistryForeignFile, WritesKeptInMemoryAreSavedWhenTheFileIsASettingsFileAgain) {
  writeFile("not settings\n");
  GlobalConfiguration g;
  g.ScreenSaver = 0;
  g.save();
  EXPECT_EQ(readFile(), "not settings\n");

  writeFile("REGEDIT4\n");
  AudioConfiguration a;
  a.CD_Audio = 1;
  a.save();
  std::string text = readFile();
  EXPECT_NE(text.find("\"ScreenSaver\"=dword:00000000"), std::string::npos) << text;
  EXPECT_NE(text.find("\"CD_Audio\"=dword:00000001"), std::string::npos) << text;
  EXPECT_EQ(sink.messages.size(), 1u);
}

// Blank files, and files whose header follows blank lines or a byte-order mark,
// are settings files.
TEST_F(RegistryForeignFile, BlankFilesAndMarkedHeadersAreSettingsFiles) {
  for (std::string text : {std::string(""), std::string(" \r\n\t\n"), std::string("\xEF\xBB\xBF"),
                           std::string("\n  REGEDIT4  \r\n"), std::string("\xEF\xBB\xBFREGEDIT4\n"),
                           utf16le("\r\nWindows Registry Editor Version 5.00\r\n")}) {
    SCOPED_TRACE(testing::PrintToString(text));
    writeFile(text);
    setRegistryFilePath(file);
    AstrelConfiguration a;
    a.MainStars = 321;
    a.save();
    EXPECT_NE(readFile().find("\"MainStars\"=dword:00000141"), std::string::npos);
    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front().text;
  }
}

} // namespace
