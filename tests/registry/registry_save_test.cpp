// The save against a file system that misbehaves: a file its owner cannot
// read, a full disk, an outside edit in the middle of a save, a link to a
// file not yet made, and failures that must reach the caller.
#include <sys/stat.h>

#include "registry/registrystore.h"
#include "hosts/posix/settingsfile.h"
#include "registry_fixture.h"
#include "settings/configuration.h"

namespace {

// The host's file system with faults made on demand. Tests run as root,
// which reads any file: permissions are checked here as for anyone else.
class FaultyFiles : public SettingsFiles {
public:
  SettingsFiles &host = posixSettingsFiles();
  std::string writeError; // writeTemporary fails with this when set

  std::string defaultPath() override { return host.defaultPath(); }
  std::string target(const std::string &path) override { return host.target(path); }
  SettingsFileStamp stamp(const std::string &path) override { return host.stamp(path); }
  SettingsFileContents read(const std::string &path, size_t maxBytes) override {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IRUSR)) {
      SettingsFileContents c;
      c.status = SettingsFileStatus::Failed;
      c.error = "Permission denied";
      return c;
    }
    return host.read(path, maxBytes);
  }
  bool lock(const std::string &path, std::string &error) override { return host.lock(path, error); }
  void unlock() override { host.unlock(); }
  bool writeTemporary(const std::string &path, const std::string &text, std::string &error) override {
    if (!writeError.empty()) {
      error = "cannot write " + path + ".tmp: " + writeError;
      return false;
    }
    return host.writeTemporary(path, text, error);
  }
  void discardTemporary(const std::string &path) override { host.discardTemporary(path); }
  bool moveAside(const std::string &path, std::string &aside, std::string &error) override {
    return host.moveAside(path, aside, error);
  }
  SettingsFileReplace replace(const std::string &path, const SettingsFileStamp &expected,
                              std::string &error) override {
    return host.replace(path, expected, error);
  }
};

class RegistrySave : public RegistryFileTest {
protected:
  FaultyFiles files;
  void SetUp() override {
    RegistryFileTest::SetUp();
    setSettingsFiles(&files);
  }
  void TearDown() override {
    setSettingsFiles(&posixSettingsFiles());
    RegistryFileTest::TearDown();
  }
  unsigned modeOf(const std::string &path) const {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
  }
};

size_t count(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

const std::string Damaged = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Global]\n"
                            "\"ScreenSaver\"=dword:1\n";

// Saving every group over a file its owner cannot read moves it aside once,
// tells of it once, and leaves a file its owner can read and write.
TEST_F(RegistrySave, AFileItsOwnerCannotReadIsMovedAsideOnce) {
  const std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Mine]\n\"A\"=dword:00000001\n";
  writeFile(text);
  ASSERT_EQ(::chmod(file.c_str(), 0040), 0);
  writeDefaultSettings();

  EXPECT_EQ(readFileAt(file + ".unreadable"), text);
  EXPECT_FALSE(exists(file + ".unreadable.1"));
  EXPECT_EQ(modeOf(file), 0640u); // the group's read is kept
  EXPECT_EQ(count(readFile(), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\"), 5u);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_NE(sink.messages[0].text.find("Permission denied"), std::string::npos);
  EXPECT_NE(sink.messages[0].text.find(file + ".unreadable"), std::string::npos);
}

// A full disk: the damaged file stays where it is until a new one can be written.
TEST_F(RegistrySave, ADamagedFileIsMovedAsideOnlyOnceTheNewOneIsWritten) {
  writeFile(Damaged);
  files.writeError = "No space left on device";
  GlobalConfiguration g;
  g.ScreenSaver = 0;
  g.save();
  EXPECT_EQ(readFile(), Damaged);
  EXPECT_FALSE(exists(file + ".unreadable"));
  EXPECT_FALSE(exists(file + ".tmp"));
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].caption, "Error");
  EXPECT_NE(sink.messages[0].text.find("No space left on device"), std::string::npos);

  files.writeError.clear();
  g.save();
  EXPECT_EQ(readFileAt(file + ".unreadable"), Damaged);
  EXPECT_NE(readFile().find("\"ScreenSaver\"=dword:00000000"), std::string::npos);
}

std::string EditedFile;
int EditsToMake = 0;

// Another program appends to the file without taking the lock.
void editFromOutside() {
  if (EditsToMake <= 0) return;
  --EditsToMake;
  std::ofstream out(EditedFile, std::ios::app | std::ios::binary);
  out << "; outside edit " << EditsToMake << "\n";
}

TEST_F(RegistrySave, AnOutsideEditDuringTheSaveIsKept) {
  GlobalConfiguration g;
  g.save();
  EditedFile = file;
  EditsToMake = 2;
  setRegistryBeforeReplaceHook(editFromOutside);
  g.ScreenSaver = 0;
  g.save();
  std::string text = readFile();
  EXPECT_NE(text.find("; outside edit 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("; outside edit 0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"ScreenSaver\"=dword:00000000"), std::string::npos) << text;
  EXPECT_TRUE(sink.messages.empty());
}

// A file that changes at every try: the save gives up, says so once, and the
// caller hears of it; the other program's edits are all there.
TEST_F(RegistrySave, ASaveThatNeverFindsTheFileStillFailsAndSaysSo) {
  GlobalConfiguration g;
  g.save();
  EditedFile = file;
  EditsToMake = 1000;
  setRegistryBeforeReplaceHook(editFromOutside);
  {
    RegistryKey key;
    ASSERT_TRUE(key.createPath("\\SOFTWARE\\Test"));
    EXPECT_TRUE(key.writeDword("x", 7));
    EXPECT_FALSE(key.close());
    EXPECT_TRUE(key.close()); // nothing more to close
  }
  setRegistryBeforeReplaceHook(nullptr);
  int edits = 1000 - EditsToMake;
  EXPECT_GT(edits, 1);
  EXPECT_LT(edits, 1000);
  EXPECT_EQ(count(readFile(), "; outside edit "), size_t(edits));
  EXPECT_EQ(readFile().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]"), std::string::npos);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].caption, "Error");
  EXPECT_NE(sink.messages[0].text.find(file), std::string::npos);
}

// A save through a link whose file does not exist yet makes that file and keeps the link.
TEST_F(RegistrySave, ALinkToAFileNotYetMadeIsKept) {
  std::filesystem::create_directory(dir / "real");
  std::filesystem::create_symlink("middle.reg", file);
  std::filesystem::create_symlink("real/settings.reg", dir / "middle.reg");
  GlobalConfiguration g;
  g.ScreenSaver = 0;
  g.save();
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "middle.reg"));
  EXPECT_NE(readFileAt((dir / "real" / "settings.reg").string()).find("\"ScreenSaver\"=dword:00000000"),
            std::string::npos);
  EXPECT_TRUE(sink.messages.empty());
}

// A save that would take the file past the size limit is refused: the file
// would never be read again.
TEST_F(RegistrySave, ASaveNeverWritesAFileTooLargeToRead) {
  std::string text = "REGEDIT4\n" + std::string((16u << 20) - 9 - 40, ';') + "\n";
  writeFile(text);
  GlobalConfiguration g;
  g.ScreenSaver = 0;
  g.save();
  EXPECT_EQ(readFile(), text);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_NE(sink.messages[0].text.find("16 MB"), std::string::npos);
  GlobalConfiguration back;
  back.load();
  EXPECT_EQ(back.ScreenSaver, 2);
}

// A save that cannot write is told of once however many groups in a row fail
// alike, and the key that saved returns the failure.
TEST_F(RegistrySave, AFailedSaveIsToldOnceAndReturned) {
  writeFileAt((dir / "notadir").string(), "x");
  setRegistryFilePath((dir / "notadir" / "registry.reg").string());
  writeDefaultSettings();
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].caption, "Error");

  RegistryKey key;
  ASSERT_TRUE(key.createPath("\\SOFTWARE\\Test"));
  EXPECT_TRUE(key.writeDword("x", 1));
  EXPECT_FALSE(key.close());
  EXPECT_EQ(sink.messages.size(), 1u);

  // Settings read again and saved again: the user hears of the failure again.
  GlobalConfiguration g;
  g.load();
  g.save();
  EXPECT_EQ(sink.messages.size(), 2u);
}

} // namespace
