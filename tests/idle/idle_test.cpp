// The idle watcher's parts that need no session: its options and the lock
// that keeps it to one a session.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "hosts/common/commandline.h"
#include "hosts/idle/sessionlock.h"

namespace fs = std::filesystem;

TEST(IdleOptions, IdleTakesItsSecondsAndNothingElse) {
  CliParse p = parseArguments({"--idle"});
  ASSERT_EQ(p.action, CliAction::Idle);
  EXPECT_EQ(p.idle.seconds, 0); // the setting's minutes
  p = parseArguments({"--idle-seconds", "90", "--idle"});
  ASSERT_EQ(p.action, CliAction::Idle);
  EXPECT_EQ(p.idle.seconds, 90);
  EXPECT_EQ(parseArguments({"--idle", "--idle-seconds", "43200"}).idle.seconds, 43200);

  for (auto bad : std::vector<std::vector<std::string>>{{"--idle", "--idle-seconds", "0"},
                                                        {"--idle", "--idle-seconds", "43201"},
                                                        {"--idle", "--idle-seconds", "5s"},
                                                        {"--idle", "--idle-seconds"},
                                                        {"--idle-seconds", "5"},
                                                        {"--idle", "--render", "out"},
                                                        {"-root", "--idle"}}) {
    p = parseArguments(bad);
    EXPECT_EQ(p.action, CliAction::Error) << bad[0] << " " << bad[1];
    EXPECT_NE(p.error.find("--idle"), std::string::npos) << p.error;
  }
}

class SessionLockTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("lv-idle-lock-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (const char *old = std::getenv("XDG_RUNTIME_DIR")) saved = old;
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  void TearDown() override {
    if (saved.empty())
      unsetenv("XDG_RUNTIME_DIR");
    else
      setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    fs::remove_all(dir);
  }
  fs::path dir;
  std::string saved;
};

TEST_F(SessionLockTest, OneWatcherASessionUntilItEnds) {
  const std::string path = sessionLockPath("x11-:0");
  EXPECT_EQ(fs::path(path).parent_path(), dir);
  EXPECT_EQ(sessionLockPath("wayland-/run/a b").find('/', dir.string().size() + 1), std::string::npos);
  std::string error;
  {
    SessionLock first;
    ASSERT_TRUE(first.take("x11-:0", error)) << error;
    SessionLock second;
    EXPECT_FALSE(second.take("x11-:0", error));
    EXPECT_NE(error.find("already runs"), std::string::npos) << error;
    EXPECT_NE(error.find(std::to_string(getpid())), std::string::npos) << error;
    SessionLock otherSession;
    EXPECT_TRUE(otherSession.take("x11-:1", error)) << error;
  }
  SessionLock after;
  EXPECT_TRUE(after.take("x11-:0", error)) << error;
}

TEST_F(SessionLockTest, RefusesAPlantedLink) {
  const fs::path target = dir / "precious";
  std::ofstream(target) << "keep";
  fs::create_symlink(target, sessionLockPath("x11-:5"));
  std::string error;
  SessionLock lock;
  EXPECT_FALSE(lock.take("x11-:5", error));
  EXPECT_NE(error.find("lock file"), std::string::npos) << error;
  std::ifstream in(target);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "keep");
}
