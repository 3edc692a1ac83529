// The registry file: what survives a save, what is read, and what happens to
// files that cannot be read or saves that do not finish.
#include <signal.h>
#include <sys/wait.h>

#include "registry/registrystore.h"
#include "registry_fixture.h"
#include "settings/configuration.h"

namespace {

class RegistryFile : public RegistryFileTest {};

const std::string Foreign =
    "REGEDIT4\r\n"
    "; exported by hand\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other Vendor\\Tool]\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\Tool \\\"quoted\\\"\"\r\n"
    "@=\"default text\"\r\n"
    "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
    "  16,17,18,19\r\n"
    "\"Multi\"=hex(7):61,00,62,00,00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Global]\r\n"
    "; the user's own note about the scene\r\n"
    "\"ScreenSaver\"=dword:00000001\r\n"
    "\"Extra\"=dword:0000abcd\r\n"
    "\"Priority\"=dword:00000002\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"
    "\"Wallpaper\"=\"\"\r\n";

TEST_F(RegistryFile, ASaveChangesOnlyTheValuesItWrites) {
  writeFile(Foreign);
  GlobalConfiguration g;
  g.load();
  EXPECT_EQ(g.ScreenSaver, 1);
  g.Statistics = 1; // new value: added after the group's last value
  g.Priority = 3;   // changed in place
  g.save();

  std::string expected = Foreign;
  auto replace = [&](const std::string &from, const std::string &to) {
    size_t at = expected.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    expected.replace(at, from.size(), to);
  };
  replace("\"Priority\"=dword:00000002\r\n",
          "\"Priority\"=dword:00000003\r\n\"Statistics\"=dword:00000001\r\n"
          "\"MotionBlur\"=dword:00000000\r\n\"MotionBlurDelta\"=dword:00000000\r\n"
          "\"ScreenSaver idle minutes\"=dword:0000000a\r\n");
  EXPECT_EQ(readFile(), expected);

  // Saving the same values again leaves the file exactly as it is.
  g.save();
  EXPECT_EQ(readFile(), expected);
}

TEST_F(RegistryFile, ANewGroupIsAddedAtTheEndInTheFilesLineEndings) {
  writeFile(Foreign);
  AudioConfiguration a;
  a.CD_Random = 1;
  a.save();
  std::string text = readFile();
  ASSERT_EQ(text.rfind(Foreign, 0), 0u);
  EXPECT_EQ(text.substr(Foreign.size()), "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Audio]\r\n"
                                         "\"CD_Audio\"=dword:00000000\r\n\"CD_Random\"=dword:00000001\r\n"
                                         "\"CD_Continuous\"=dword:00000000\r\n\r\n");
}

TEST_F(RegistryFile, AVersion5ExportIsReadAndRewrittenAsRegedit4) {
  writeFile(utf16le("Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"
                    "\"ScreenSaveLowPowerActive\"=\"1\"\r\n"
                    "\"ScreenSaveLowPowerTimeout\"=\"1200\"\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Astrel]\r\n"
                    "\"MainStars\"=dword:00000190\r\n"));
  // A character outside the Basic Multilingual Plane, as a surrogate pair.
  std::string bytes = readFile();
  bytes += utf16le("\r\n[HKEY_USERS\\").substr(2) + std::string("\x3C\xD8\x00\xDF", 4) +
           utf16le("]\r\n").substr(2);
  writeFile(bytes);

  PowerConfiguration p;
  p.load();
  EXPECT_EQ(p.LowPowerStandby, 1);
  EXPECT_EQ(p.LowPowerTimeout, 20);
  AstrelConfiguration s;
  s.load();
  EXPECT_EQ(s.MainStars, 400);
  EXPECT_TRUE(sink.messages.empty()) << sink.messages[0].text;

  s.Neighbours = 4;
  s.save();
  std::string text = readFile();
  EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n", 0), 0u);
  EXPECT_NE(text.find("\"Neighbours\"=dword:00000004\r\n"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_USERS\\\xF0\x9F\x8C\x80]"), std::string::npos);
  AstrelConfiguration again;
  again.load();
  EXPECT_EQ(again.MainStars, 400);
}

struct BadFile {
  const char *what;
  std::string text;
  std::string line; // expected in the message
};

TEST_F(RegistryFile, AnUnreadableFileIsReportedKeptAndMovedAsideOnSave) {
  const std::string head = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Global]\n";
  std::vector<BadFile> cases = {
      {"short dword", head + "\"ScreenSaver\"=dword:1\n", "line 4"},
      {"invalid escape", head + "\"Screen\\Saver\"=dword:00000001\n", "line 4"},
      {"unterminated key", head + "\n\n[HKEY_LOCAL_MACHINE\\Y\n", "line 6"},
      {"long component", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + std::string(256, 'a') + "]\n", "line 2"},
      {"NUL byte", head + std::string("\"A\"=\"x\0y\"\n", 10), "line 4"},
      {"value before key", "REGEDIT4\n\"A\"=dword:00000001\n", "line 2"},
      {"bad hex", head + "\"A\"=hex:0g\n", "line 4"},
      {"unknown root", "REGEDIT4\n[HKEY_SOMEWHERE\\X]\n", "line 2"},
      {"odd UTF-16",
       "\xFF\xFE"
       "R\0E\0G",
       "UTF-16"},
      {"huge file", "REGEDIT4\n" + std::string(17u << 20, ';'), "larger than 16 MB"},
  };
  for (const BadFile &c : cases) {
    SCOPED_TRACE(c.what);
    sink.messages.clear();
    std::filesystem::remove(file + ".unreadable");
    writeFile(c.text);
    setRegistryFilePath(file);

    GlobalConfiguration g;
    g.load();
    g.load(); // told once, not at every load
    EXPECT_EQ(g.ScreenSaver, 2);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].text.find(file), std::string::npos) << sink.messages[0].text;
    EXPECT_NE(sink.messages[0].text.find(c.line), std::string::npos) << sink.messages[0].text;
    EXPECT_EQ(readFile(), c.text);

    g.ScreenSaver = 0;
    g.save();
    EXPECT_EQ(readFileAt(file + ".unreadable"), c.text);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_NE(sink.messages[1].text.find(file + ".unreadable"), std::string::npos);
    GlobalConfiguration back;
    back.load();
    EXPECT_EQ(back.ScreenSaver, 0);
    EXPECT_EQ(sink.messages.size(), 2u);
  }
}

TEST_F(RegistryFile, AnEarlierUnreadableCopyIsKept) {
  writeFileAt(file + ".unreadable", "first");
  writeFile("REGEDIT4\nsecond\n");
  DisplayConfiguration d;
  d.save();
  EXPECT_EQ(readFileAt(file + ".unreadable"), "first");
  EXPECT_EQ(readFileAt(file + ".unreadable.1"), "REGEDIT4\nsecond\n");
  ASSERT_EQ(sink.messages.size(), 1u); // a save tells of the move alone
  EXPECT_NE(sink.messages[0].text.find(file + ".unreadable.1"), std::string::npos);
  DisplayConfiguration back;
  back.load();
  EXPECT_EQ(back.Divisor, 1);
}

TEST_F(RegistryFile, ChangesByAnotherProcessAreSeenAtTheNextLoad) {
  GlobalConfiguration g;
  g.save();
  writeFile("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Global]\n"
            "\"ScreenSaver\"=dword:00000000\n\"Unrelated\"=dword:00000005\n");
  GlobalConfiguration h;
  h.load();
  EXPECT_EQ(h.ScreenSaver, 0);
  DisplayConfiguration d;
  d.save(); // re-read before writing: the other process's value stays
  EXPECT_NE(readFile().find("\"Unrelated\"=dword:00000005"), std::string::npos);
}

void dieBeforeReplace() { _exit(3); }

TEST_F(RegistryFile, ASaveCutShortBeforeTheRenameLeavesTheOldFile) {
  GlobalConfiguration g;
  g.ScreenSaver = 1;
  g.save();
  std::string before = readFile();

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setRegistryBeforeReplaceHook(dieBeforeReplace);
    GlobalConfiguration c;
    c.ScreenSaver = 0;
    c.save();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 3); // it did stop mid-save

  EXPECT_EQ(readFile(), before);
  GlobalConfiguration after;
  after.load();
  EXPECT_EQ(after.ScreenSaver, 1);
  // The next save is not hindered by what the broken one left behind, and
  // clears its temporary file away.
  ASSERT_TRUE(exists(file + ".tmp"));
  after.ScreenSaver = 0;
  after.save();
  EXPECT_FALSE(exists(file + ".tmp"));
  GlobalConfiguration last;
  last.load();
  EXPECT_EQ(last.ScreenSaver, 0);
  EXPECT_TRUE(sink.messages.empty());
}

// Two processes saving different groups over and over: neither loses the other's values.
TEST_F(RegistryFile, ConcurrentSavesOfDifferentGroupsBothSurvive) {
  for (int round = 0; round < 5; ++round) {
    std::filesystem::remove(file);
    setRegistryFilePath(file);
    pid_t children[2];
    for (int who = 0; who < 2; ++who) {
      children[who] = fork();
      ASSERT_GE(children[who], 0);
      if (children[who] == 0) {
        setRegistryFilePath(file);
        for (int i = 1; i <= 25; ++i) {
          if (who == 0) {
            AstrelConfiguration a;
            a.MainStars = 1000 + i;
            a.save();
          } else {
            AudioConfiguration a;
            a.CD_Audio = 2000 + i;
            a.save();
          }
        }
        _exit(0);
      }
    }
    for (pid_t c : children) {
      int status = 0;
      waitpid(c, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    AstrelConfiguration astrel;
    astrel.load();
    AudioConfiguration audio;
    audio.load();
    EXPECT_EQ(astrel.MainStars, 1025) << "round " << round;
    EXPECT_EQ(audio.CD_Audio, 2025) << "round " << round;
  }
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(RegistryFile, AFailedSaveIsReported) {
  writeFileAt((dir / "notadir").string(), "x");
  std::string bad = (dir / "notadir" / "registry.reg").string();
  setRegistryFilePath(bad);
  GlobalConfiguration g;
  g.ScreenSaver = 1;
  g.save();
  ASSERT_EQ(sink.messages.size(), 1u) << sink.messages[0].text;
  EXPECT_NE(sink.messages[0].text.find(bad), std::string::npos);
  EXPECT_EQ(sink.messages[0].caption, "Error");
  GlobalConfiguration back;
  back.load();
  EXPECT_EQ(back.ScreenSaver, 2); // what was not saved is not pretended
}

TEST_F(RegistryFile, InMemoryRegistryNeverTouchesDisk) {
  useInMemoryRegistry();
  EXPECT_EQ(registryFilePath(), "");
  GlobalConfiguration g;
  g.ScreenSaver = 1;
  g.save();
  GlobalConfiguration back;
  back.load();
  EXPECT_EQ(back.ScreenSaver, 1);
  EXPECT_FALSE(exists(file));
  EXPECT_TRUE(std::filesystem::is_empty(dir));

  setenv("LUMENVEIL_REGISTRY", "/dev/null", 1);
  setRegistryFilePath("");
  EXPECT_EQ(registryFilePath(), "");
  writeDefaultSettings();
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(RegistryFile, FileLocationFollowsTheEnvironment) {
  unsetenv("LUMENVEIL_REGISTRY");
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  setRegistryFilePath("");
  EXPECT_EQ(registryFilePath(), (dir / "lumenveil" / "registry.reg").string());
  DisplayConfiguration().save(); // the folder is made on the first save
  EXPECT_TRUE(exists((dir / "lumenveil" / "registry.reg").string()));

  unsetenv("XDG_CONFIG_HOME");
  std::string home = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", "/nonexistent-home", 1);
  setRegistryFilePath("");
  EXPECT_EQ(registryFilePath(), "/nonexistent-home/.config/lumenveil/registry.reg");
  setenv("HOME", home.c_str(), 1);
}

TEST_F(RegistryFile, ASymbolicLinkIsKeptAndItsFileUpdated) {
  std::string real = (dir / "real.reg").string();
  writeFileAt(real, "REGEDIT4\n");
  std::filesystem::create_symlink(real, file);
  GlobalConfiguration g;
  g.ScreenSaver = 0;
  g.save();
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_NE(readFileAt(real).find("\"ScreenSaver\"=dword:00000000"), std::string::npos);
}

// A link planted at the lock file's name is never followed: no file is made
// where it points, and the save is refused with a message.
TEST_F(RegistryFile, ALinkAtTheLockFilesNameIsNotFollowed) {
  const std::string elsewhere = (dir / "elsewhere").string();
  std::filesystem::create_symlink(elsewhere, file + ".lock");
  GlobalConfiguration g;
  g.ScreenSaver = 0;
  g.save();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(elsewhere)));
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_NE(sink.messages[0].text.find(file + ".lock"), std::string::npos) << sink.messages[0].text;
}

} // namespace
