// The saver password where the saver itself asks for it (Windows 95/98,
// reached through the headless host's platform id) and where it does not.
#include <gtest/gtest.h>

#include "frame/fixedclock.h"
#include "registry/registrystore.h"
#include "app/entry.h"
#include "app/password.h"
#include "app/power.h"
#include "app/saverwindow.h"
#include "display/frameloop.h"
#include "glide/presenter.h"
#include "hosts/headless/headlessapp.h"
#include "platform/passwordcomponents.h"
#include "platform/ticks.h"
#include "tests/app/fakeports.h"

namespace {

class FakeComponents : public PasswordComponents {
public:
  ComponentLoad verifyLoad = ComponentLoad::Loaded;
  ComponentLoad changeLoad = ComponentLoad::Loaded;
  std::vector<int> answers; // what the verify dialog answers, in turn (then 1)
  std::vector<WindowHandle> verifyOwners;
  std::vector<std::string> changeProviders;

  ComponentLoad loadVerifyRoutine(VerifyScreenSavePwd &routine) override {
    routine = [this](WindowHandle owner) {
      verifyOwners.push_back(owner);
      const size_t i = verifyOwners.size() - 1;
      return i < answers.size() ? answers[i] : 1;
    };
    return verifyLoad;
  }
  ComponentLoad loadChangeRoutine(PwdChangePassword &routine) override {
    routine = [this](const char *provider, WindowHandle, int, int) {
      changeProviders.push_back(provider);
      return 0;
    };
    return changeLoad;
  }
};

Message key(uint32_t code = LV_WM_KEYDOWN) {
  Message m;
  m.code = code;
  m.wParam = 'A';
  return m;
}

class Password : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = useScratchRegistry("lv-password-registry.reg");
    boardSetRetraceWait(false);
    boardSetPresenter(nullptr);
    resetSaverWindowState();
    setApplication(&app_);
    setPasswordComponents(&components_);
    setTimerService(&timers_);
    setMonitorPower(&monitor_);
    setMessageBoxSink(&boxes_);
    app_.setPlatformId(LV_VER_PLATFORM_WIN32_WINDOWS);
    app_.setFrameLimit(400);
    selectScene(5);
    MonitorOff = false;
    PowerOverrideActive = false;
  }
  void TearDown() override {
    setFixedClock(0.0);
    setPasswordComponents(nullptr);
    setTimerService(nullptr);
    setMonitorPower(nullptr);
    setMessageBoxSink(nullptr);
    setApplication(nullptr);
    setRegistryFilePath("");
    std::remove(path_.c_str());
  }
  long runSaverAt60() {
    setFixedClock(60.0);
    EXPECT_EQ(runSaver(nullptr, ""), 0);
    return app_.framesPainted();
  }
  std::string path_;
  HeadlessApplication app_;
  FakeComponents components_;
  FakeTimers timers_;
  FakeMonitor monitor_;
  RecordedBoxes boxes_;
};

} // namespace

TEST_F(Password, TheFlagIsTheFirstByteOfTheValueWhateverItsType) {
  EXPECT_FALSE(readPasswordFlag()); // no value at all
  writeRegistry(path_, DesktopGroup + "\"ScreenSaveUsePassword\"=dword:00000001\n");
  EXPECT_TRUE(readPasswordFlag());
  writeRegistry(path_, DesktopGroup + "\"ScreenSaveUsePassword\"=dword:00000100\n");
  EXPECT_FALSE(readPasswordFlag()); // first byte 0
  writeRegistry(path_, DesktopGroup + "\"ScreenSaveUsePassword\"=\"1\"\n");
  EXPECT_TRUE(readPasswordFlag());
  writeRegistry(path_, DesktopGroup + "\"ScreenSaveUsePassword\"=\"\"\n");
  EXPECT_FALSE(readPasswordFlag());
}

TEST_F(Password, ARefusedPasswordKeepsTheSaverRunningAndRestartsPowerManagement) {
  writeRegistry(path_, DesktopGroup + "\"ScreenSaveUsePassword\"=dword:00000001\n\n" +
                           powerSettings(1, 1, 1, 10, 15));
  components_.answers = {0, 1};
  app_.queueMessage(key(), 150);
  app_.queueMessage(key(), 200);
  EXPECT_EQ(runSaverAt60(), 200);
  ASSERT_EQ(components_.verifyOwners.size(), 2u);
  EXPECT_EQ(components_.verifyOwners[0], SaverWindow);
  // Two power timers and the power watch at the saver's start, and a new
  // pair after the refusal.
  EXPECT_EQ(timers_.started, 5);
  EXPECT_TRUE(app_.windowClosed());
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(Password, MissingComponentsSayWhichAndLetTheSaverEnd) {
  writeRegistry(path_, DesktopGroup + "\"ScreenSaveUsePassword\"=dword:00000001\n");
  components_.verifyLoad = ComponentLoad::NoLibrary;
  app_.queueMessage(key(), 150);
  EXPECT_EQ(runSaverAt60(), 150);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].first, "Password CPL couldn't be found");
  EXPECT_EQ(boxes_.boxes[0].second, "Error");

  boxes_.boxes.clear();
  components_.verifyLoad = ComponentLoad::NoRoutine;
  EXPECT_TRUE(verifySaverPassword(1));
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].first, "Couldn't get system password verify routine");
  EXPECT_TRUE(components_.verifyOwners.empty());
}

TEST_F(Password, WhereTheSystemKeepsThePasswordNothingIsAsked) {
  app_.setPlatformId(LV_VER_PLATFORM_WIN32_NT);
  writeRegistry(path_, DesktopGroup + "\"ScreenSaveUsePassword\"=dword:00000001\n");
  components_.answers = {0, 0, 0};
  app_.queueMessage(key(), 150);
  EXPECT_EQ(runSaverAt60(), 150);
  EXPECT_TRUE(components_.verifyOwners.empty());
  // /a returns at once.
  EXPECT_EQ(runSaver(nullptr, "/a 42"), 0);
  EXPECT_TRUE(components_.changeProviders.empty());
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(Password, ChangingThePasswordUsesTheProviderOrSaysWhatIsMissing) {
  EXPECT_EQ(runSaver(nullptr, "/a 42"), 0);
  EXPECT_EQ(components_.changeProviders, std::vector<std::string>{"SCRSAVE"});

  components_.changeLoad = ComponentLoad::NoLibrary;
  EXPECT_EQ(runSaver(nullptr, "/a 42"), 0);
  components_.changeLoad = ComponentLoad::NoRoutine;
  EXPECT_EQ(runSaver(nullptr, "/a 42"), 0);
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  EXPECT_EQ(boxes_.boxes[0], (std::pair<std::string, std::string>{"Couldn't load MRP.DLL", "Error"}));
  EXPECT_EQ(boxes_.boxes[1],
            (std::pair<std::string, std::string>{"Couldn't get PwdChangePassword", "Error"}));
  EXPECT_EQ(components_.changeProviders.size(), 1u);
}
