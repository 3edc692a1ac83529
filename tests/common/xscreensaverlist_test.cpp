// Adding the program to the hacks of ~/.xscreensaver.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "hosts/common/xscreensaverlist.h"

namespace {

// As the daemon's settings program writes the file (abridged).
const std::string Written = "# XScreenSaver Preferences File\n"
                            "# Written by xscreensaver-settings 6.06 for me on Tue Dec  8 06:00:00 2026.\n"
                            "# https://www.jwz.org/xscreensaver/\n"
                            "\n"
                            "timeout:\t0:10:00\n"
                            "mode:\t\trandom\n"
                            "selected:\t1\n"
                            "\n"
                            "programs:\t\t\t\t\t\t\t\t      \\\n"
                            "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
                            "- GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
                            "\t\t\t\txanalogtv --root\t\t\t    \\n\n"
                            "\n"
                            "\n"
                            "pointerHysteresis:\t10\n";

const std::string Entry = "  \"Lumenveil\"  lumenveil -root \\n";

class RegisterTest : public ::testing::Test {
protected:
  void SetUp() override {
    char name[] = "/tmp/lv-register-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    path = dir + "/.xscreensaver";
    defaults = dir + "/XScreenSaver";
    write(defaults,
          "*timeout: 0:10:00\n*programs:\t\\\n\t\tmaze --root\t\\n\\\n  GL: \t\tsproingies --root\t\\n\n\n"
          "*pointerHysteresis: 10\n");
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  static void write(const std::string &file, const std::string &text) { std::ofstream(file) << text; }
  static std::string read(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  bool add(std::string &message) { return registerInFile(path, "lumenveil", defaults, message); }

  std::string dir, path, defaults;
};

} // namespace

TEST_F(RegisterTest, TheEntryEndsTheListAndEveryOtherByteIsKeptOnce) {
  write(path, Written);
  std::string message;
  ASSERT_TRUE(add(message)) << message;
  // The last hack's line is continued into ours; nothing else moves, so the
  // "selected" index still names the same hack.
  std::string expected = Written;
  const std::string last = "xanalogtv --root\t\t\t    \\n";
  expected.insert(expected.find(last) + last.size(), "\\\n" + Entry);
  EXPECT_EQ(read(path), expected);
  EXPECT_EQ(read(path + ".bak"), Written);
  EXPECT_TRUE(listsProgram(read(path), "lumenveil"));
  EXPECT_TRUE(listsProgram(read(path), "xanalogtv"));

  // A second run changes nothing, not even the copy.
  write(path + ".bak", "older copy");
  ASSERT_TRUE(add(message)) << message;
  EXPECT_NE(message.find("nothing changed"), std::string::npos) << message;
  EXPECT_EQ(read(path), expected);
  EXPECT_EQ(read(path + ".bak"), "older copy");
}

TEST_F(RegisterTest, AnyFormOfTheProgramAlreadyListedCountsAsListed) {
  for (const char *line : {"- \"Lumenveil (stars)\" /usr/libexec/xscreensaver/lumenveil -root --scene 2",
                           "  GL: lumenveil -root", "lumenveil"}) {
    const std::string text = std::string("programs:\t\\\n\t\tmaze --root\t\\n\\\n") + line + " \\n\n";
    EXPECT_TRUE(listsProgram(text, "lumenveil")) << line;
  }
  EXPECT_FALSE(listsProgram("programs: lumenveiler -root \\n\n", "lumenveil"));
  EXPECT_FALSE(listsProgram("# programs: lumenveil -root\n", "lumenveil"));
}

TEST_F(RegisterTest, ListsEndedOtherwiseTakeTheEntryWithoutChangingTheirHacks) {
  // Continued into a blank line, continued to the end of the file, a single
  // unterminated hack, an empty list.
  const std::string cases[][2] = {
      {"programs:\t\\\n  maze -root \\n\\\n\nlock: False\n",
       "programs:\t\\\n  maze -root \\n\\\n" + Entry + "\\\n\nlock: False\n"},
      {"lock: False\nprograms:\t\\\n  maze -root \\n\\\n",
       "lock: False\nprograms:\t\\\n  maze -root \\n\\\n" + Entry + "\\\n"},
      {"programs: maze -root\nlock: False\n", "programs: maze -root\\n\\\n" + Entry + "\nlock: False\n"},
      {"programs:\nlock: False\n", "programs:\\\n" + Entry + "\nlock: False\n"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(withProgramEntry(c[0], Entry, ""), c[1]) << c[0];
    EXPECT_TRUE(listsProgram(c[1], "lumenveil"));
    EXPECT_TRUE(listsProgram(c[1], "maze") || c[0].find("maze") == std::string::npos);
  }
}

TEST_F(RegisterTest, WithoutAListTheSystemsHacksAreKeptBesideOurs) {
  // No file: made with the system's list, which the daemon would use otherwise.
  std::string message;
  ASSERT_TRUE(add(message)) << message;
  std::string made = read(path);
  EXPECT_TRUE(listsProgram(made, "lumenveil"));
  EXPECT_TRUE(listsProgram(made, "maze"));
  EXPECT_TRUE(listsProgram(made, "sproingies"));
  EXPECT_FALSE(std::filesystem::exists(path + ".bak"));
  ASSERT_TRUE(add(message));
  EXPECT_EQ(read(path), made);

  // A file of other settings: the list is added at its end, the rest kept.
  const std::string settings = "timeout:\t0:05:00\nlock:\t\tTrue";
  write(path, settings);
  ASSERT_TRUE(add(message)) << message;
  made = read(path);
  EXPECT_EQ(made.substr(0, settings.size() + 1), settings + "\n");
  EXPECT_TRUE(listsProgram(made, "sproingies"));
  EXPECT_TRUE(listsProgram(made, "lumenveil"));
}

TEST_F(RegisterTest, ALinkIsWrittenThroughAndAFolderIsRefused) {
  const std::string real = dir + "/dotfiles-xscreensaver";
  write(real, Written);
  ASSERT_EQ(symlink(real.c_str(), path.c_str()), 0);
  chmod(real.c_str(), 0600);
  std::string message;
  ASSERT_TRUE(add(message)) << message;
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_TRUE(listsProgram(read(real), "lumenveil"));
  EXPECT_EQ(read(real + ".bak"), Written);
  struct stat st {};
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_FALSE(add(message));
  EXPECT_NE(message.find("not a regular file"), std::string::npos) << message;
}
