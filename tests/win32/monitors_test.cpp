// The saver on every monitor: which monitor shows what, the windows of the
// other monitors following the monitors as they change, and the copies of
// the program started for monitors with scenes of their own. Needs a display
// (under Wine: a virtual X server of one monitor; the others are played).
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/saverwindow.h"
#include "hosts/win32/gdipresenter.h"
#include "hosts/win32/monitorcopies.h"
#include "hosts/win32/monitors.h"
#include "hosts/win32/winhost.h"

namespace {

MonitorArea monitor(const char *name, RECT area, bool primary, int hz = 60) {
  return MonitorArea{name, area, primary, hz};
}

// A primary at the virtual screen's origin and a smaller monitor to its left.
std::vector<MonitorArea> twoMonitors() {
  return {monitor("\\\\.\\DISPLAY2", {-1024, 0, 0, 768}, false, 0),
          monitor("\\\\.\\DISPLAY1", {0, 0, 1920, 1080}, true, 144)};
}

std::vector<MonitorArea> Played;
std::vector<MonitorArea> played() { return Played; }

RECT rectOf(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r;
}

bool covers(HWND w, const RECT &area) {
  const RECT r = rectOf(w);
  return EqualRect(&r, &area) != FALSE;
}

// This process's visible windows of the other monitors, by their areas.
std::vector<RECT> otherMonitorWindows() {
  std::vector<RECT> found;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM p) -> BOOL {
        char name[64] = {};
        GetClassNameA(w, name, sizeof name);
        if (lstrcmpA(name, MonitorWindowClass) == 0 && IsWindowVisible(w))
          reinterpret_cast<std::vector<RECT> *>(p)->push_back(rectOf(w));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string winePath(const char *unixPath) {
  std::string p = std::string("Z:") + unixPath;
  for (char &c : p)
    if (c == '/') c = '\\';
  return p;
}

// Polls cond every 50 ms for up to ms; true once it holds.
template <class Cond> bool within(DWORD ms, Cond cond) {
  for (DWORD waited = 0;; waited += 50) {
    if (cond()) return true;
    if (waited >= ms) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(50);
  }
}

} // namespace

TEST(MonitorPlan, ThePrimaryShowsTheSceneAndTheOthersWhatTheSettingSays) {
  const std::vector<MonitorArea> two = twoMonitors();
  const MonitorUse expected[] = {MonitorUse::OwnCopy, MonitorUse::SamePicture, MonitorUse::Black};
  for (int setting = 0; setting < 3; ++setting) {
    const std::vector<MonitorPlan> plan = planMonitors(two, setting, "");
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].monitor.name, "\\\\.\\DISPLAY1"); // the primary, listed second
    EXPECT_EQ(plan[0].use, MonitorUse::Scene);
    EXPECT_EQ(plan[1].monitor.area.left, -1024);
    EXPECT_EQ(plan[1].use, expected[setting]) << "setting " << setting;
  }
  // A copy for one monitor covers that one alone, and nothing once it is gone.
  const std::vector<MonitorPlan> one = planMonitors(two, MonitorsEachOwnScene, "\\\\.\\DISPLAY2");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].use, MonitorUse::Scene);
  EXPECT_EQ(one[0].monitor.area.right, 0);
  EXPECT_TRUE(planMonitors(two, MonitorsEachOwnScene, "\\\\.\\DISPLAY3").empty());
  // No monitor marked primary: the first has the scene.
  std::vector<MonitorArea> unmarked = two;
  unmarked[1].primary = false;
  EXPECT_EQ(planMonitors(unmarked, MonitorsSamePicture, "")[0].monitor.name, "\\\\.\\DISPLAY2");
  EXPECT_TRUE(planMonitors({}, MonitorsEachOwnScene, "").empty());
}

TEST(MonitorPlan, FramesArePacedToTheMonitorsOwnRateWhereTheSystemTellsIt) {
  for (int hz : {60, 75, 120, 144, 165, 240}) EXPECT_EQ(pacingHz(monitor("m", {0, 0, 1, 1}, true, hz)), hz);
  // 0 and 1: the hardware's default, which the system does not name.
  EXPECT_EQ(pacingHz(monitor("m", {0, 0, 1, 1}, true, 0)), 60);
  EXPECT_EQ(pacingHz(monitor("m", {0, 0, 1, 1}, true, 1)), 60);
  // The system's own list names every monitor, the primary among them.
  const std::vector<MonitorArea> system = systemMonitors();
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(planMonitors(system, MonitorsEachOwnScene, "")[0].monitor.primary, true);
}

class OtherMonitors : public ::testing::Test {
protected:
  void start(int32_t setting) {
    setMonitorSource(played);
    MonitorRun run;
    run.setting = setting; // no program: monitors of their own scenes stay black
    app_ = makeWin32Application(presenter_, run);
    setApplication(app_.get());
    app_->initialize();
    window_ = reinterpret_cast<HWND>(app_->createSaverWindow());
    ASSERT_NE(window_, nullptr);
    app_->processMessages();
  }
  void TearDown() override {
    app_.reset();
    setApplication(nullptr);
    resetSaverWindowState();
    setMonitorSource(nullptr);
  }
  GdiPresenter presenter_;
  std::unique_ptr<Application> app_;
  HWND window_ = nullptr;
};

TEST_F(OtherMonitors, EachMonitorIsCoveredAndTheWindowsFollowTheMonitorsAsTheyChange) {
  Played = twoMonitors();
  start(MonitorsSamePicture);
  const RECT primary{0, 0, 1920, 1080}, left{-1024, 0, 0, 768};
  EXPECT_TRUE(covers(window_, primary));
  std::vector<RECT> others = otherMonitorWindows();
  ASSERT_EQ(others.size(), 1u);
  EXPECT_TRUE(EqualRect(&others[0], &left));

  // A third monitor is plugged in and made the primary: the saver's window
  // moves there, and the two others each get a window.
  Played.push_back(monitor("\\\\.\\DISPLAY3", {0, -900, 1600, 0}, true));
  Played[1].primary = false;
  SendMessageA(window_, WM_DISPLAYCHANGE, 32, MAKELPARAM(1600, 900));
  const RECT above{0, -900, 1600, 0};
  EXPECT_TRUE(covers(window_, above));
  others = otherMonitorWindows();
  ASSERT_EQ(others.size(), 2u);
  EXPECT_TRUE(EqualRect(&others[0], &left) || EqualRect(&others[1], &left));
  EXPECT_TRUE(EqualRect(&others[0], &primary) || EqualRect(&others[1], &primary));

  // Unplugged again down to one: no other window is left.
  Played = {monitor("\\\\.\\DISPLAY1", {0, 0, 1280, 720}, true)};
  SendMessageA(window_, WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 720));
  const RECT smaller{0, 0, 1280, 720};
  EXPECT_TRUE(covers(window_, smaller));
  EXPECT_TRUE(otherMonitorWindows().empty());
  EXPECT_FALSE(app_->terminated());
}

TEST_F(OtherMonitors, InputOnAnotherMonitorsWindowPassesTheSaversHook) {
  Played = twoMonitors();
  start(MonitorsPrimaryOnly);
  static int keys = 0;
  keys = 0;
  app_->setMessageHandler(
      MessageHandler{[](const Message &m, bool &, void *) { keys += m.code == WM_KEYDOWN; }, nullptr});
  HWND other = FindWindowA(MonitorWindowClass, nullptr);
  ASSERT_NE(other, nullptr);
  PostMessageA(other, WM_KEYDOWN, 'A', 0x1E0001);
  app_->processMessages();
  EXPECT_EQ(keys, 1);
}

// A window of that class belonging to that process.
static HWND windowOf(const char *windowClass, DWORD process) {
  struct Search {
    const char *windowClass;
    DWORD process;
    HWND found;
  } search{windowClass, process, nullptr};
  EnumWindows(
      [](HWND w, LPARAM p) -> BOOL {
        auto *s = reinterpret_cast<Search *>(p);
        char name[64] = {};
        DWORD owner = 0;
        GetClassNameA(w, name, sizeof name);
        GetWindowThreadProcessId(w, &owner);
        if (lstrcmpA(name, s->windowClass) != 0 || owner == GetCurrentProcessId()) return TRUE;
        if (s->process && owner != s->process) return TRUE;
        s->found = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The copies are the saver program itself, on the virtual X server's one monitor.
TEST(MonitorCopies, ACopyEndingByItselfEndsTheRunAndCopiesOfGoneMonitorsDoNot) {
  MonitorCopies copies(winePath(LV_SAVER_PROGRAM), "/s");
  const std::string name = systemMonitors().at(0).name;
  bool ended = false;
  // A monitor that is not there: the copy ends at once, and the run goes on.
  copies.follow({"\\\\.\\NOSUCH"});
  EXPECT_EQ(copies.running(), 1u);
  EXPECT_TRUE(within(20000, [&] {
    ended = ended || copies.oneEnded();
    return copies.running() == 0;
  }));
  EXPECT_FALSE(ended);

  // A copy on the monitor covers it (a window of another process); ended
  // because its monitor went, it ends without ending the run.
  copies.follow({name});
  HWND saver = nullptr;
  ASSERT_TRUE(within(30000, [&] { return (saver = windowOf(SaverWindowClass, 0)) != nullptr; }))
      << "no copy's window";
  copies.follow({});
  EXPECT_EQ(copies.running(), 0u);
  EXPECT_FALSE(IsWindow(saver));
  EXPECT_FALSE(copies.oneEnded());

  // A copy that ends by itself (a close request, as input does) ends the run.
  copies.follow({name});
  ASSERT_TRUE(within(30000, [&] { return (saver = windowOf(SaverWindowClass, 0)) != nullptr; }));
  DWORD process = 0;
  GetWindowThreadProcessId(saver, &process);
  HWND app = windowOf(ApplicationWindowClass, process);
  ASSERT_NE(app, nullptr);
  PostMessageA(app, WM_CLOSE, 0x123, 0x123);
  EXPECT_TRUE(within(20000, [&] {
    ended = ended || copies.oneEnded();
    return ended;
  }));
  EXPECT_EQ(copies.running(), 0u);
}

// The system gives each monitor's own pixels to a program that declares it
// in its manifest, which must be in the program's resources.
TEST(MonitorPixels, TheProgramsManifestDeclaresPerMonitorAwareness) {
  HMODULE program = LoadLibraryExA(winePath(LV_SAVER_PROGRAM).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr);
  HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)); // RT_MANIFEST
  ASSERT_NE(found, nullptr) << "no application manifest";
  const char *text = static_cast<const char *>(LockResource(LoadResource(program, found)));
  const std::string manifest(text, SizeofResource(program, found));
  EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos) << manifest;
  FreeLibrary(program);
}
