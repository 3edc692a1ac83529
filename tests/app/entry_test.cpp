// The command line, the run modes and the single-instance rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/entry.h"
#include "app/saverwindow.h"
#include "display/frameloop.h"
#include "frame/fixedclock.h"
#include "glide/presenter.h"
#include "hosts/headless/headlessapp.h"
#include "platform/messagebox.h"
#include "platform/registry_store.h"
#include "registry/registrystore.h"
#include "platform/ticks.h"
#include "settings/registrykey.h"

namespace {

struct CapturedBoxes : MessageBoxSink {
  std::vector<std::pair<std::string, std::string>> boxes;
  int show(const char *text, const char *caption, unsigned) override {
    boxes.emplace_back(text, caption);
    return LV_IDOK;
  }
  void beep(int, int) override {}
};

class RunModes : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "lv-entry-registry.reg";
    std::remove(path_.c_str());
    setenv("LUMENVEIL_REGISTRY", path_.c_str(), 1);
    setRegistryFilePath(path_); // the store keeps the first file it was given
    setApplication(&app_);
    setMessageBoxSink(&boxes_);
    boardSetRetraceWait(false);
  }
  void TearDown() override {
    setMessageBoxSink(nullptr);
    setApplication(nullptr);
    std::remove(path_.c_str());
  }
  std::string path_;
  HeadlessApplication app_;
  CapturedBoxes boxes_;
};

} // namespace

TEST(CommandLine, SwitchLetterIsFoundAtTheFirstSlashWhateverItsCase) {
  EXPECT_EQ(parseCommandLine("/S2").mode, RunMode::Saver);
  EXPECT_EQ(parseCommandLine("/S2").after, '2');
  EXPECT_TRUE(parseCommandLine("/S2").checkRunning);
  EXPECT_EQ(parseCommandLine("/C").mode, RunMode::Configure);
  // Only the first '/' counts.
  EXPECT_EQ(parseCommandLine("/c /s").mode, RunMode::Configure);
  EXPECT_EQ(parseCommandLine("prog.scr /d").mode, RunMode::WriteDefaults);
}

TEST(CommandLine, NoSwitchOrAnUnknownLetterRunsTheSaverWithoutTheRunningCheck) {
  for (const char *line : {"", "hello", "/x", "/", "/3"}) {
    CommandLine c = parseCommandLine(line);
    EXPECT_EQ(c.mode, RunMode::Saver) << line;
    EXPECT_FALSE(c.checkRunning) << line;
  }
}

TEST(CommandLine, HandleIsReadThreeCharactersAfterTheSlash) {
  EXPECT_EQ(parseCommandLine("/p 1234").handle, 1234);
  EXPECT_EQ(parseCommandLine("/l 77").mode, RunMode::Preview);
  EXPECT_EQ(parseCommandLine("/a 99").mode, RunMode::ChangePassword);
  EXPECT_EQ(parseCommandLine("/a 99").handle, 99);
  EXPECT_EQ(parseCommandLine("/p:4321").handle, 4321);
  // A command line that ends before the handle, or has no number there, reads 0.
  EXPECT_EQ(parseCommandLine("/p").handle, 0);
  EXPECT_EQ(parseCommandLine("/p ").handle, 0);
  EXPECT_EQ(parseCommandLine("/p x12").handle, 0);
  EXPECT_EQ(parseCommandLine("/p 12abc").handle, 12);
}

TEST_F(RunModes, WriteDefaultsSavesTheSettingsAndSaysSoWithAnEmptyCaption) {
  EXPECT_EQ(runSaver(nullptr, "/d"), 0);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  // The message, and on a second line the settings file it went to.
  EXPECT_EQ(boxes_.boxes[0].first, "Updated Windows Registry with default configuration.\n" + path_);
  EXPECT_EQ(boxes_.boxes[0].second, "");
  std::ifstream in(path_);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("MainStars"), std::string::npos);
  EXPECT_NE(text.str().find("MotionBlurDelta"), std::string::npos);
}

TEST_F(RunModes, WriteDefaultsThatCannotBeSavedAreNotReportedAsDone) {
  // The settings file's folder is an ordinary file: nothing can be written.
  const std::string blocker = ::testing::TempDir() + "lv-entry-not-a-folder";
  { std::ofstream(blocker) << "x"; }
  setRegistryFilePath(blocker + "/registry.reg");
  EXPECT_EQ(runSaver(nullptr, "/d"), 1);
  setRegistryFilePath("");
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].second, "Error");
  EXPECT_EQ(boxes_.boxes[0].first.find("Updated Windows Registry"), std::string::npos);
  std::remove(blocker.c_str());
}

TEST_F(RunModes, ARunningCopyIsOnlyBroughtToTheTop) {
  app_.runningInstances = {SaverTitle, ControlPanelTitle};
  EXPECT_EQ(runSaver(nullptr, "/s"), 0);
  EXPECT_EQ(runSaver(nullptr, "/c"), 0);
  EXPECT_EQ(app_.framesPainted(), 0);
  EXPECT_TRUE(app_.closeRequests.empty());
}

TEST_F(RunModes, ChangePasswordOnASystemThatAsksItselfReturnsAtOnce) {
  app_.setPlatformId(LV_VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(runSaver(nullptr, "/a 55"), 0);
  EXPECT_FALSE(isWindows9x());
  app_.setPlatformId(LV_VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_TRUE(isWindows9x());
  EXPECT_FALSE(isWindowsNT());
}

TEST_F(RunModes, TheSaverClosesAnOpenControlPanelFirstAndRunsUntilTerminated) {
  app_.runningInstances = {ControlPanelTitle};
  app_.setFrameLimit(3);
  setFixedClock(60.0);
  EXPECT_EQ(runSaver(nullptr, "/s1"), 0);
  setFixedClock(0.0);
  ASSERT_EQ(app_.closeRequests.size(), 1u);
  EXPECT_EQ(app_.closeRequests[0], ControlPanelTitle);
  EXPECT_EQ(app_.framesPainted(), 3);
  EXPECT_EQ(app_.title(), SaverTitle);
  EXPECT_EQ(ActiveScene, 0);
}

TEST_F(RunModes, WithoutTheBoardTheSaverReportsAndExitsWithMinusOne) {
  boardSetPresent(false);
  FrameLoopReady = false;
  int code = runSaver(nullptr, "/s");
  boardSetPresent(true);
  EXPECT_EQ(code, -1);
  ASSERT_FALSE(boxes_.boxes.empty());
  EXPECT_EQ(boxes_.boxes.back().second, "Error");
  EXPECT_NE(boxes_.boxes.back().first.find("Failed to initialize 3DFX hardware."), std::string::npos);
}
