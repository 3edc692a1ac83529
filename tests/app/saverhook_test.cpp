// What ends the saver and what does not.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "frame/fixedclock.h"
#include "registry/registrystore.h"
#include "app/entry.h"
#include "app/power.h"
#include "app/saverwindow.h"
#include "display/frameloop.h"
#include "glide/presenter.h"
#include "hosts/headless/headlessapp.h"
#include "platform/ticks.h"
#include "settings/registrykey.h"

namespace {

Message msg(uint32_t code, uintptr_t wParam = 0, intptr_t lParam = 0) {
  Message m;
  m.code = code;
  m.wParam = wParam;
  m.lParam = lParam;
  return m;
}

// Runs the saver headless at 60 frames a second with the given input queued
// and returns how many frames it drew before it ended (limit: 400).
class SaverRun : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "lv-hook-registry.reg";
    std::remove(path_.c_str());
    setenv("LUMENVEIL_REGISTRY", path_.c_str(), 1);
    setRegistryFilePath(path_); // the store keeps the first file it was given
    boardSetRetraceWait(false);
    boardSetPresenter(nullptr);
    resetSaverWindowState();
    setApplication(&app_);
    app_.setFrameLimit(400);
    // No scene: frames are only cleared and presented, which keeps the runs short.
    selectScene(5);
  }
  void TearDown() override {
    setFixedClock(0.0);
    setApplication(nullptr);
    std::remove(path_.c_str());
  }
  long run() {
    setFixedClock(60.0);
    EXPECT_EQ(runSaver(nullptr, ""), 0);
    return app_.framesPainted();
  }
  std::string path_;
  HeadlessApplication app_;
};

} // namespace

TEST_F(SaverRun, KeysAndClicksAreIgnoredDuringTheFirstTwoSeconds) {
  // Frame 60 is one second in, frame 150 two and a half.
  app_.queueMessage(msg(LV_WM_KEYDOWN, 'A'), 60);
  app_.queueMessage(msg(LV_WM_LBUTTONDOWN), 61);
  app_.queueMessage(msg(LV_WM_KEYDOWN, 'A'), 150);
  EXPECT_EQ(run(), 150);
  EXPECT_TRUE(app_.windowClosed());
}

TEST_F(SaverRun, ARightButtonReleaseEndsTheSaverAfterTheGrace) {
  app_.queueMessage(msg(LV_WM_RBUTTONUP), 130);
  EXPECT_EQ(run(), 130);
}

TEST_F(SaverRun, KeyReleasesCharactersAndDoubleClicksPassThrough) {
  app_.queueMessage(msg(LV_WM_KEYUP), 130);
  app_.queueMessage(msg(LV_WM_CHAR), 131);
  app_.queueMessage(msg(LV_WM_LBUTTONDBLCLK), 132);
  app_.queueMessage(msg(LV_WM_SYSKEYDOWN), 133);
  app_.setFrameLimit(140);
  EXPECT_EQ(run(), 140);
}

TEST_F(SaverRun, OnlyAStepOfMoreThanTenPixelsBetweenTwoMovesEndsTheSaver) {
  // The first move only records the position, however far from (0, 0).
  app_.queueMessage(msg(LV_WM_MOUSEMOVE, 0, makeMouseLParam(900, 700)), 130);
  // Ten pixels per step, drifting far away: never an end.
  for (int i = 1; i <= 20; ++i)
    app_.queueMessage(msg(LV_WM_MOUSEMOVE, 0, makeMouseLParam(900 - 10 * i, 700 + 10 * i)), 130 + i);
  // Eleven in y.
  app_.queueMessage(msg(LV_WM_MOUSEMOVE, 0, makeMouseLParam(700, 911)), 160);
  EXPECT_EQ(run(), 160);
}

TEST_F(SaverRun, LosingActivationEndsAtOnceEvenInTheGraceTime) {
  app_.queueMessage(msg(LV_WM_ACTIVATE, 1), 5); // being activated: nothing
  app_.queueMessage(msg(LV_WM_NCACTIVATE, 1), 6);
  app_.queueMessage(msg(LV_WM_ACTIVATEAPP, 0), 10); // losing activation
  EXPECT_EQ(run(), 10);
}

TEST_F(SaverRun, SystemCommandsThatSwitchAwayAreSwallowed) {
  for (uintptr_t sc : {LV_SC_NEXTWINDOW, LV_SC_PREVWINDOW, LV_SC_SCREENSAVE, LV_SC_CLOSE})
    app_.queueMessage(msg(LV_WM_SYSCOMMAND, sc), 130);
  app_.setFrameLimit(140);
  EXPECT_EQ(run(), 140);
}

TEST(SaverHook, MonitorPowerDownStopsTheFramesAndIsNotSwallowed) {
  HeadlessApplication app;
  setApplication(&app);
  MonitorOff = false;
  bool handled = false;
  saverMessageHook(msg(LV_WM_SYSCOMMAND, LV_SC_MONITORPOWER, 2), handled, nullptr);
  EXPECT_TRUE(MonitorOff);
  EXPECT_FALSE(handled);
  MonitorOff = false;
  saverMessageHook(msg(LV_WM_SYSCOMMAND, LV_SC_MONITORPOWER, -1), handled, nullptr);
  EXPECT_FALSE(MonitorOff);
  setApplication(nullptr);
}

TEST(SaverHook, FocusLossIsTakenBackAndSwallowed) {
  HeadlessApplication app;
  setApplication(&app);
  bool handled = false;
  saverMessageHook(msg(LV_WM_KILLFOCUS), handled, nullptr);
  EXPECT_TRUE(handled);
  EXPECT_FALSE(app.terminated());
  setApplication(nullptr);
}
