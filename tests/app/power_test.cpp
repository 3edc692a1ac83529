// Monitor power timers, the system's own power-down and the task priority.
#include <gtest/gtest.h>

#include "frame/fixedclock.h"
#include "registry/registrystore.h"
#include "app/entry.h"
#include "app/power.h"
#include "app/saverwindow.h"
#include "display/frameloop.h"
#include "glide/presenter.h"
#include "hosts/headless/headlessapp.h"
#include "platform/ticks.h"
#include "settings/configuration.h"
#include "tests/app/fakeports.h"

namespace {

constexpr uint64_t Minute = 60000;

class Power : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = useScratchRegistry("lv-power-registry.reg");
    boardSetRetraceWait(false);
    boardSetPresenter(nullptr);
    resetSaverWindowState();
    setApplication(&app_);
    setTimerService(&timers_);
    setMonitorPower(&monitor_);
    setPriorityControl(&priority_);
    MonitorOff = false;
    PowerOverrideActive = false;
  }
  void TearDown() override {
    setFixedClock(0.0);
    setTimerService(nullptr);
    setMonitorPower(nullptr);
    setPriorityControl(nullptr);
    setApplication(nullptr);
    MonitorOff = false;
    PowerOverrideActive = false;
    setRegistryFilePath("");
    std::remove(path_.c_str());
  }
  std::string path_;
  HeadlessApplication app_;
  FakeTimers timers_;
  FakeMonitor monitor_;
  FakePriority priority_;
};

} // namespace

TEST_F(Power, OverrideTimersPutTheMonitorInLowPowerThenOffAndStopTheFrames) {
  writeRegistry(path_, powerSettings(1, 1, 1, 10, 15));
  startPowerManagement();
  EXPECT_TRUE(PowerOverrideActive);
  EXPECT_EQ(timers_.live.size(), 2u);

  timers_.advanceTo(10 * Minute - 1);
  EXPECT_TRUE(monitor_.levels.empty());
  EXPECT_FALSE(MonitorOff);

  timers_.advanceTo(10 * Minute);
  EXPECT_EQ(monitor_.levels, std::vector<int>{LV_MONITOR_LOW_POWER});
  EXPECT_TRUE(MonitorOff);
  ASSERT_FALSE(priority_.asked.empty());
  EXPECT_EQ(priority_.asked.back(), ProcessPriority::Idle);

  timers_.advanceTo(15 * Minute);
  EXPECT_EQ(monitor_.levels, (std::vector<int>{LV_MONITOR_LOW_POWER, LV_MONITOR_OFF}));
  // Each timer fires once.
  timers_.advanceTo(60 * Minute);
  EXPECT_EQ(monitor_.levels.size(), 2u);
  EXPECT_TRUE(timers_.live.empty());

  restoreMonitorPower();
  EXPECT_EQ(monitor_.levels.back(), LV_MONITOR_ON);
  EXPECT_FALSE(MonitorOff);
}

TEST_F(Power, AWholeSaverRunDrawsUntilLowPowerAndThenWaitsInsteadOfDrawing) {
  // The program's own tick-clock timers, on a clock that moves a minute a frame.
  setTimerService(nullptr);
  writeRegistry(path_, powerSettings(1, 1, 1, 10, 15));
  selectScene(5); // no scene: frames are only cleared and presented
  app_.setFrameLimit(20);
  setFixedClock(1.0 / 60.0);
  const uint32_t before = FrameCounter;
  EXPECT_EQ(runSaver(nullptr, ""), 0);
  EXPECT_EQ(app_.framesPainted(), 20);
  EXPECT_EQ(FrameCounter - before, 10u);
  EXPECT_EQ(monitor_.levels, (std::vector<int>{LV_MONITOR_LOW_POWER, LV_MONITOR_OFF, LV_MONITOR_ON}));
  // The saved priority (normal) at start, idle once the monitor went dark.
  ASSERT_GE(priority_.asked.size(), 2u);
  EXPECT_EQ(priority_.asked.front(), ProcessPriority::Normal);
  EXPECT_EQ(priority_.asked.back(), ProcessPriority::Idle);
}

TEST_F(Power, OverrideWithBothSwitchesOffStartsNoTimersAndIgnoresTheSystemsPowerDown) {
  writeRegistry(path_, powerSettings(1, 0, 0, 10, 15));
  startPowerManagement();
  EXPECT_TRUE(PowerOverrideActive);
  EXPECT_EQ(timers_.started, 0);
  bool handled = false;
  Message m;
  m.code = LV_WM_SYSCOMMAND;
  m.wParam = LV_SC_MONITORPOWER;
  m.lParam = 2;
  saverMessageHook(m, handled, nullptr);
  EXPECT_FALSE(MonitorOff);
  EXPECT_FALSE(handled);
}

TEST_F(Power, WhereTheSystemKeepsPowerToItselfNoTimersStart) {
  // Windows NT: the system, not the program, powers the monitor down.
  app_.setPlatformId(LV_VER_PLATFORM_WIN32_NT);
  monitor_.mayPowerDown = false;
  writeRegistry(path_, powerSettings(1, 1, 1, 10, 15));
  startPowerManagement();
  EXPECT_FALSE(PowerOverrideActive);
  EXPECT_EQ(timers_.started, 0);
  // The X server lets a program do it: the same settings start both timers.
  monitor_.mayPowerDown = true;
  startPowerManagement();
  EXPECT_EQ(timers_.started, 2);
  // Windows 95/98 always does.
  monitor_.mayPowerDown = false;
  app_.setPlatformId(LV_VER_PLATFORM_WIN32_WINDOWS);
  startPowerManagement();
  EXPECT_EQ(timers_.started, 4);
}

TEST_F(Power, ASecondStartReplacesTheFirstTimersInsteadOfAddingToThem) {
  writeRegistry(path_, powerSettings(1, 1, 0, 10, 15));
  startPowerManagement();
  timers_.advanceTo(5 * Minute);
  // A refused password starts power management again.
  startPowerManagement();
  EXPECT_EQ(timers_.live.size(), 1u);
  timers_.advanceTo(10 * Minute);
  EXPECT_TRUE(monitor_.levels.empty());
  timers_.advanceTo(15 * Minute);
  EXPECT_EQ(monitor_.levels, std::vector<int>{LV_MONITOR_LOW_POWER});
  timers_.advanceTo(40 * Minute);
  EXPECT_EQ(monitor_.levels.size(), 1u);
}

TEST_F(Power, HandEditedTimeoutsAreHeldToWhatATimerCounts) {
  writeRegistry(path_, powerSettings(1, 1, 1, -3, 0x7FFFFFFF));
  startPowerManagement();
  ASSERT_EQ(timers_.live.size(), 2u);
  EXPECT_EQ(timers_.live[0].ms, 0u);
  EXPECT_EQ(timers_.live[1].ms, UINT32_MAX);
}

TEST_F(Power, TheSystemsOwnPowerDownIsSeenWithinASecondAndStopsTheFrames) {
  app_.setMessageHandler(saverHookHandler());
  watchSystemPower();
  timers_.advanceTo(3000);
  EXPECT_FALSE(MonitorOff);
  monitor_.system = LV_MONITOR_OFF;
  timers_.advanceTo(4000);
  EXPECT_TRUE(MonitorOff);
  ASSERT_EQ(priority_.asked.size(), 1u);
  EXPECT_EQ(priority_.asked.back(), ProcessPriority::Idle);
  // Passed on, never sent back to the monitor by the program.
  EXPECT_TRUE(monitor_.levels.empty());
  // Reported once, not every second while it stays off.
  timers_.advanceTo(10000);
  EXPECT_EQ(priority_.asked.size(), 1u);
  restoreMonitorPower();
  EXPECT_TRUE(timers_.live.empty());
}

TEST_F(Power, PriorityLevelsMapToIdleNormalAndHighNeverRealTime) {
  for (int level : {0, 1, 2, 3, 4, 5, -1}) setTaskPriority(level);
  EXPECT_EQ(priority_.asked, (std::vector<ProcessPriority>{ProcessPriority::Idle, ProcessPriority::Idle,
                                                           ProcessPriority::Normal, ProcessPriority::High,
                                                           ProcessPriority::High, ProcessPriority::Idle,
                                                           ProcessPriority::Idle}));
}

TEST_F(Power, DesktopTimeoutsFromTheSystemAreSecondsReadAsMinutes) {
  monitor_.haveTimeouts = true;
  monitor_.timeouts = {true, 600, true, 900};
  // The settings file's desktop group is not asked while the system answers.
  writeRegistry(path_, DesktopGroup + "\"ScreenSaveLowPowerActive\"=\"0\"\n\n");
  PowerConfiguration p;
  p.load();
  EXPECT_EQ(p.OverrideWindow95Settings, 0);
  EXPECT_EQ(p.LowPowerStandby, 1);
  EXPECT_EQ(p.LowPowerTimeout, 10);
  EXPECT_EQ(p.ShutOffMonitor, 1);
  EXPECT_EQ(p.PowerOffTimeout, 15);

  // Inactive: the flag is 0 and the timeout keeps its value; part of a minute is a minute.
  monitor_.timeouts = {false, 1200, true, 61};
  PowerConfiguration q;
  q.load();
  EXPECT_EQ(q.LowPowerStandby, 0);
  EXPECT_EQ(q.LowPowerTimeout, 10);
  EXPECT_EQ(q.PowerOffTimeout, 2);
}
