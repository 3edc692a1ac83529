// The Windows host's desktop services: the preview in a window the test
// makes (in this process, and the saver program's own /p run), the password
// components taken from the system folder only, the saver-running state of
// Windows 95/98, and the power timers on the system's timers. Needs a
// display (under Wine: a virtual X server).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/password.h"
#include "app/power.h"
#include "app/preview.h"
#include "app/saverwindow.h"
#include "hosts/win32/desktopservices.h"
#include "hosts/win32/gdipresenter.h"
#include "hosts/win32/winhost.h"
#include "hosts/common/commandline.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "platform/priority.h"
#include "settings/configuration.h"

namespace {

const char *const ParentClass = "Lumenveil test parent";

HWND makeParent(int clientWidth, int clientHeight) {
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = DefWindowProcA;
  c.hInstance = GetModuleHandleA(nullptr);
  c.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  c.lpszClassName = ParentClass;
  RegisterClassExA(&c);
  HWND w = CreateWindowExA(0, ParentClass, "Display Properties (test)",
                           WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40, clientWidth, clientHeight,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  EXPECT_NE(w, nullptr) << "CreateWindowExA: error " << GetLastError();
  UpdateWindow(w);
  return w;
}

void pumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// A rectangle of a device context's pixels, read back through a bitmap of its own.
std::vector<COLORREF> capturePixels(HDC source, int x0, int y0, int width, int height) {
  HDC copy = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
  HGDIOBJ old = SelectObject(copy, bitmap);
  BitBlt(copy, 0, 0, width, height, source, x0, y0, SRCCOPY);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(copy, x, y));
  SelectObject(copy, old);
  DeleteObject(bitmap);
  DeleteDC(copy);
  return pixels;
}

// The window's pixels as it shows them, read back from its device context.
std::vector<COLORREF> windowPixels(HWND window, int width, int height) {
  HDC dc = GetDC(window);
  std::vector<COLORREF> pixels = capturePixels(dc, 0, 0, width, height);
  ReleaseDC(window, dc);
  return pixels;
}

// What the screen shows of a window (another program's drawing included).
std::vector<COLORREF> screenPixels(HWND window, int width, int height) {
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  HDC screen = GetDC(nullptr);
  std::vector<COLORREF> pixels = capturePixels(screen, origin.x, origin.y, width, height);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// How many different colours a rectangle of the pixels holds.
size_t coloursIn(const std::vector<COLORREF> &pixels, int width, int x0, int y0, int x1, int y1) {
  std::set<COLORREF> seen;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) seen.insert(pixels[static_cast<size_t>(y) * width + x]);
  return seen.size();
}

struct RecordedBoxes : MessageBoxSink {
  std::vector<std::string> texts;
  int show(const char *text, const char *, unsigned) override {
    texts.emplace_back(text ? text : "");
    return IDOK;
  }
  void beep(int, int) override {}
};

// A path of this Linux build machine as Wine's programs see it.
std::string winePath(const char *unixPath) {
  std::string p = std::string("Z:") + unixPath;
  for (char &c : p)
    if (c == '/') c = '\\';
  return p;
}

} // namespace

TEST(Win32Preview, DrawsTheAnimationIntoAChildFillingTheParentAndFollowsItsSize) {
  // A parent larger than the title images: the picture fills it, stretched.
  HWND parent = makeParent(200, 150);
  ASSERT_NE(parent, nullptr);
  Win32PreviewWindow preview(GetModuleHandleA(nullptr));
  int width = 0, height = 0;
  ASSERT_TRUE(preview.create(reinterpret_cast<WindowHandle>(parent), width, height));
  EXPECT_EQ(width, 200);
  EXPECT_EQ(height, 150);
  HWND child = preview.window();
  EXPECT_EQ(GetParent(child), parent);
  char name[64] = {};
  GetClassNameA(child, name, sizeof name);
  EXPECT_STREQ(name, "Lumenveil Preview");

  // The first scene's title at full strength: no static, the image itself.
  const unsigned char *first = nullptr, *second = nullptr;
  loadTitleImages(first, second);
  ASSERT_NE(first, nullptr);
  std::vector<uint16_t> buffer(static_cast<size_t>(width) * height);
  drawPreviewPicture(buffer.data(), width, height, first, 1.0f);
  preview.show(buffer.data(), width, height);
  ASSERT_TRUE(preview.pump(width, height));
  UpdateWindow(child);
  std::vector<COLORREF> shown = windowPixels(child, width, height);
  // Not blank, and drawn in every corner of the window, not only in a
  // 152 x 112 corner of it.
  EXPECT_GT(coloursIn(shown, width, 0, 0, width, height), 8u);
  EXPECT_GT(coloursIn(shown, width, 160, 0, 200, 150) + coloursIn(shown, width, 0, 120, 200, 150), 2u);
  // The buffer's bottom row is the window's bottom row.
  const uint16_t bottom = buffer[0];
  const COLORREF seen = shown[static_cast<size_t>(height - 1) * width];
  EXPECT_NEAR(GetRValue(seen) >> 3, bottom >> 11, 1);
  EXPECT_NEAR(GetBValue(seen) >> 3, bottom & 31, 1);

  // The parent grows: the child and the picture's size follow it.
  SetWindowPos(parent, nullptr, 0, 0, 260, 190, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_TRUE(preview.pump(width, height));
  EXPECT_EQ(width, 260);
  EXPECT_EQ(height, 190);
  RECT r;
  GetClientRect(child, &r);
  EXPECT_EQ(r.right, 260);
  EXPECT_EQ(r.bottom, 190);

  // The parent goes away (the settings dialog closed): the preview ends.
  DestroyWindow(parent);
  EXPECT_FALSE(preview.pump(width, height));
  preview.destroy();
  EXPECT_FALSE(IsWindow(child));
}

TEST(Win32Preview, AHandleThatNamesNoWindowIsRefusedWithAMessage) {
  Win32PreviewWindow preview(GetModuleHandleA(nullptr));
  int width = 0, height = 0;
  HWND gone = makeParent(50, 50);
  DestroyWindow(gone);
  EXPECT_FALSE(preview.create(reinterpret_cast<WindowHandle>(gone), width, height));
  setPreviewWindow(&preview);
  RecordedBoxes boxes;
  setMessageBoxSink(&boxes);
  EXPECT_EQ(runPreview(reinterpret_cast<WindowHandle>(gone), nullptr), -1);
  setMessageBoxSink(nullptr);
  setPreviewWindow(nullptr);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_NE(boxes.texts[0].find("no window"), std::string::npos);
}

namespace {

struct PreviewRun {
  std::string commandLine;
  int code = -99;
};

// The Windows host run for a command line, as the program's entry runs it.
DWORD WINAPI runHost(void *p) {
  auto *run = static_cast<PreviewRun *>(p);
  WindowedRun windowed;
  windowed.switches = parseCommandLine(run->commandLine);
  run->code = runWin32Host(0, nullptr, windowed);
  return 0;
}

} // namespace

TEST(Win32Preview, ThePreviewSwitchDrawsIntoTheGivenWindowUntilItCloses) {
  // The host runs /p on a thread of its own, as a second program would; the
  // parent stays with this one.
  HWND parent = makeParent(152, 112);
  ASSERT_NE(parent, nullptr);
  PreviewRun run;
  run.commandLine = "/p " + std::to_string(reinterpret_cast<uintptr_t>(parent));
  HANDLE thread = CreateThread(nullptr, 0, runHost, &run, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  HWND child = nullptr;
  for (int i = 0; i < 200 && !child; ++i) {
    pumpFor(20);
    child = FindWindowExA(parent, nullptr, "Lumenveil Preview", nullptr);
  }
  ASSERT_NE(child, nullptr) << "no preview window in the parent";
  pumpFor(1000);
  // The static moves: two looks a little apart differ, and neither is blank.
  std::vector<COLORREF> a = screenPixels(parent, 152, 112);
  pumpFor(200);
  std::vector<COLORREF> b = screenPixels(parent, 152, 112);
  EXPECT_GT(coloursIn(a, 152, 0, 0, 152, 112), 8u);
  EXPECT_NE(a, b);
  if (const char *hold = getenv("LV_PREVIEW_HOLD_MS")) pumpFor(static_cast<DWORD>(atoi(hold)));

  DestroyWindow(parent);
  DWORD waited = WAIT_TIMEOUT;
  for (int i = 0; i < 500 && waited == WAIT_TIMEOUT; ++i) {
    pumpFor(20);
    waited = WaitForSingleObject(thread, 0);
  }
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the preview did not end with its parent";
  CloseHandle(thread);
  EXPECT_EQ(run.code, 0);
}

TEST(Win32Preview, TheSaverProgramsPreviewIsAChildOfAnotherProgramsWindowAndEndsWithIt) {
  HWND parent = makeParent(152, 112);
  ASSERT_NE(parent, nullptr);
  std::string command =
      "\"" + winePath(LV_SAVER_PROGRAM) + "\" /p " + std::to_string(reinterpret_cast<uintptr_t>(parent));
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      << command;
  HWND child = nullptr;
  for (int i = 0; i < 300 && !child; ++i) {
    pumpFor(50);
    child = FindWindowExA(parent, nullptr, "Lumenveil Preview", nullptr);
  }
  EXPECT_NE(child, nullptr) << "no preview window in the parent";
  RECT r{};
  GetClientRect(child, &r);
  EXPECT_EQ(r.right, 152);
  EXPECT_EQ(r.bottom, 112);
  pumpFor(300);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  DestroyWindow(parent);
  const DWORD waited = WaitForSingleObject(pi.hProcess, 20000);
  EXPECT_EQ(waited, WAIT_OBJECT_0) << "the preview did not end with its parent";
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

namespace {

// A scratch folder made the current folder, with the planted library in it
// under the components' names; the old current folder comes back at the end.
class PlantedFolder : public ::testing::Test {
protected:
  void SetUp() override {
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    folder_ = std::string(tmp) + "lumenveil-planted";
    CreateDirectoryA(folder_.c_str(), nullptr);
    const std::string planted = winePath(LV_PLANTED_LIBRARY);
    ASSERT_TRUE(CopyFileA(planted.c_str(), (folder_ + "\\PASSWORD.CPL").c_str(), FALSE)) << planted;
    ASSERT_TRUE(CopyFileA(planted.c_str(), (folder_ + "\\MPR.DLL").c_str(), FALSE));
    GetCurrentDirectoryA(sizeof old_, old_);
    ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
  }
  void TearDown() override { SetCurrentDirectoryA(old_); }
  bool plantedLoaded(const char *name) const {
    return GetModuleHandleA((folder_ + "\\" + name).c_str()) != nullptr;
  }

  std::string folder_;
  char old_[MAX_PATH] = {};
};

} // namespace

TEST_F(PlantedFolder, TheComponentsComeFromTheSystemFolderNeverFromTheCurrentOne) {
  Win32PasswordComponents components;
  VerifyScreenSavePwd verify;
  const ComponentLoad v = components.loadVerifyRoutine(verify);
  EXPECT_FALSE(plantedLoaded("PASSWORD.CPL"));
  // Where the system has no such component (Wine, every NT), it is missing.
  const bool systemHasIt =
      GetFileAttributesA(Win32PasswordComponents::systemLibraryPath("PASSWORD.CPL").c_str()) !=
      INVALID_FILE_ATTRIBUTES;
  if (!systemHasIt) {
    EXPECT_EQ(v, ComponentLoad::NoLibrary);
  }

  PwdChangePassword change;
  const ComponentLoad c = components.loadChangeRoutine(change);
  EXPECT_FALSE(plantedLoaded("MPR.DLL"));
  if (c == ComponentLoad::Loaded) {
    EXPECT_NE(GetModuleHandleA(Win32PasswordComponents::systemLibraryPath("MPR.DLL").c_str()), nullptr);
  }

  // The plant works: a library asked for by its bare name is taken from here.
  HMODULE bare = LoadLibraryA("PASSWORD.CPL");
  if (!systemHasIt) {
    EXPECT_NE(bare, nullptr);
    EXPECT_TRUE(plantedLoaded("PASSWORD.CPL"));
  }
  if (bare) FreeLibrary(bare);
}

TEST_F(PlantedFolder, AMissingVerifyComponentIsReportedAndLetsTheSaverEnd) {
  Win32PasswordComponents components;
  if (GetFileAttributesA(Win32PasswordComponents::systemLibraryPath("PASSWORD.CPL").c_str()) !=
      INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "this system has the component";
  setPasswordComponents(&components);
  RecordedBoxes boxes;
  setMessageBoxSink(&boxes);
  EXPECT_TRUE(verifySaverPassword(0));
  setMessageBoxSink(nullptr);
  setPasswordComponents(nullptr);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], "Password CPL couldn't be found");
  EXPECT_FALSE(plantedLoaded("PASSWORD.CPL"));
}

namespace {

int FakedPlatform = VER_PLATFORM_WIN32_WINDOWS;
BOOL WINAPI fakedVersion(OSVERSIONINFOA *info) {
  info->dwMajorVersion = 4;
  info->dwMinorVersion = 10;
  info->dwPlatformId = static_cast<DWORD>(FakedPlatform);
  return TRUE;
}

struct SpiCall {
  UINT action;
  UINT param;
};
std::vector<SpiCall> SpiCalls;
BOOL WINAPI recordedSpi(UINT action, UINT param, void *value, UINT) {
  SpiCalls.push_back({action, param});
  // The system's power-down settings: low power after 10 minutes, off after 15.
  switch (action) {
  case SPI_GETLOWPOWERACTIVE:
  case SPI_GETPOWEROFFACTIVE: *static_cast<BOOL *>(value) = TRUE; return TRUE;
  case SPI_GETLOWPOWERTIMEOUT: *static_cast<int *>(value) = 600; return TRUE;
  case SPI_GETPOWEROFFTIMEOUT: *static_cast<int *>(value) = 900; return TRUE;
  default: return TRUE;
  }
}

std::vector<int> MonitorLevels;
void recordedMonitorPower(int level) { MonitorLevels.push_back(level); }

std::vector<UINT> runningCalls() {
  std::vector<UINT> r;
  for (const SpiCall &c : SpiCalls)
    if (c.action == SPI_SETSCREENSAVERRUNNING) r.push_back(c.param);
  return r;
}

struct RecordedPriority : PriorityControl {
  std::vector<ProcessPriority> asked;
  bool setPriority(ProcessPriority p) override {
    asked.push_back(p);
    return true;
  }
};

// The system calls faked as Windows 98's, the host's application installed.
class FakedSystem : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = win32SystemCalls();
    win32SystemCalls().getVersionEx = fakedVersion;
    win32SystemCalls().systemParametersInfo = recordedSpi;
    win32SystemCalls().sendMonitorPower = recordedMonitorPower;
    FakedPlatform = VER_PLATFORM_WIN32_WINDOWS;
    SpiCalls.clear();
    MonitorLevels.clear();
    app_ = makeWin32Application(presenter_);
    setApplication(app_.get());
    setMessageBoxSink(&boxes_);
  }
  void TearDown() override {
    setMessageBoxSink(nullptr);
    setApplication(nullptr);
    app_.reset();
    win32SystemCalls() = saved_;
  }
  Win32SystemCalls saved_;
  GdiPresenter presenter_;
  std::unique_ptr<Application> app_;
  RecordedBoxes boxes_;
};

} // namespace

TEST_F(FakedSystem, TheSaverRunningStateIsToldOnlyToWindows9x) {
  EXPECT_TRUE(isWindows9x());
  announceSaverRunning(false); // no password: nothing to tell
  EXPECT_TRUE(runningCalls().empty());
  announceSaverRunning(true);
  announceSaverEnded();
  EXPECT_EQ(runningCalls(), (std::vector<UINT>{TRUE, FALSE}));

  SpiCalls.clear();
  FakedPlatform = VER_PLATFORM_WIN32_NT;
  EXPECT_TRUE(isWindowsNT());
  announceSaverRunning(true);
  announceSaverEnded();
  EXPECT_TRUE(runningCalls().empty());
}

TEST_F(FakedSystem, TheSystemsPowerDownSettingsAreReadThroughItsParameters) {
  Win32MonitorPower power;
  DesktopPowerTimeouts t;
  ASSERT_TRUE(power.desktopTimeouts(t));
  EXPECT_TRUE(t.lowPowerActive);
  EXPECT_EQ(t.lowPowerSeconds, 600);
  EXPECT_TRUE(t.powerOffActive);
  EXPECT_EQ(t.powerOffSeconds, 900);
  // With the program's override off, its power settings are the system's.
  setMonitorPower(&power);
  PowerConfiguration config;
  config.OverrideWindow95Settings = 0;
  config.load();
  setMonitorPower(nullptr);
  if (config.OverrideWindow95Settings == 0) {
    EXPECT_EQ(config.LowPowerTimeout, 10);
    EXPECT_EQ(config.PowerOffTimeout, 15);
    EXPECT_EQ(config.LowPowerStandby, 1);
    EXPECT_EQ(config.ShutOffMonitor, 1);
  }
}

namespace {

const char *const PowerGroup = "SOFTWARE\\Qbn\\Lumenveil\\1.1\\PowerManagement";

// The program's power group in the registry, as the control panel saves it.
void writePowerGroup(DWORD override, DWORD lowMinutes, DWORD offMinutes) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, PowerGroup, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  auto put = [key](const char *name, DWORD v) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), sizeof v);
  };
  put("Override Window 95 Settings", override);
  put("Low Power Standby", 1);
  put("Shut Off Monitor", 1);
  put("Low Power Timeout", lowMinutes);
  put("Power Off Timeout", offMinutes);
  RegCloseKey(key);
}

} // namespace

TEST_F(FakedSystem, ThePowerTimersRunOnTheSystemsTimersAndFireOnceEach) {
  Win32Timers timers;
  setTimerService(&timers);
  Win32MonitorPower power;
  setMonitorPower(&power);
  RecordedPriority priority;
  setPriorityControl(&priority);

  // Timeouts of whole minutes: two timers wait, nothing fires yet.
  writePowerGroup(1, 10, 15);
  startPowerManagement();
  EXPECT_EQ(timers.live(), 2u);
  EXPECT_TRUE(PowerOverrideActive);
  app_->processMessages();
  EXPECT_TRUE(MonitorLevels.empty());
  EXPECT_FALSE(MonitorOff);

  // A hand-edited timeout of 0 minutes falls due at once: each timer powers
  // the monitor down from the message processing, once, and stops.
  writePowerGroup(1, 0, 0);
  startPowerManagement(); // replaces the first pair
  EXPECT_EQ(timers.live(), 2u);
  for (int i = 0; i < 100 && MonitorLevels.size() < 2; ++i) {
    app_->processMessages();
    timers.dispatchDueTimers();
    timers.idleWait(20);
  }
  for (int i = 0; i < 5; ++i) {
    app_->processMessages();
    timers.idleWait(20);
  }
  std::multiset<int> levels(MonitorLevels.begin(), MonitorLevels.end());
  EXPECT_EQ(levels, (std::multiset<int>{LV_MONITOR_LOW_POWER, LV_MONITOR_OFF}));
  EXPECT_TRUE(MonitorOff);
  ASSERT_FALSE(priority.asked.empty());
  EXPECT_EQ(priority.asked.back(), ProcessPriority::Idle);
  EXPECT_EQ(timers.live(), 0u);

  // NT powers the monitor down itself: no timers of the program there.
  FakedPlatform = VER_PLATFORM_WIN32_NT;
  startPowerManagement();
  EXPECT_EQ(timers.live(), 0u);

  restoreMonitorPower();
  EXPECT_EQ(MonitorLevels.back(), LV_MONITOR_ON);
  EXPECT_FALSE(MonitorOff);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, PowerGroup);
  setPriorityControl(nullptr);
  setMonitorPower(nullptr);
  setTimerService(nullptr);
}

namespace {

const char *const DesktopKey = "Control Panel\\Desktop";

// Windows' own "use a password" setting, as the display settings store it;
// the value it had comes back at the end.
class UserPasswordSetting {
public:
  explicit UserPasswordSetting(const char *value) {
    RegCreateKeyExA(HKEY_CURRENT_USER, DesktopKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                    nullptr);
    DWORD size = sizeof old_;
    had_ = RegQueryValueExA(key_, "ScreenSaveUsePassword", nullptr, &type_, reinterpret_cast<BYTE *>(old_),
                            &size) == ERROR_SUCCESS;
    oldSize_ = size;
    RegSetValueExA(key_, "ScreenSaveUsePassword", 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                   static_cast<DWORD>(std::strlen(value) + 1));
  }
  ~UserPasswordSetting() {
    if (had_)
      RegSetValueExA(key_, "ScreenSaveUsePassword", 0, type_, reinterpret_cast<const BYTE *>(old_), oldSize_);
    else
      RegDeleteValueA(key_, "ScreenSaveUsePassword");
    RegCloseKey(key_);
  }

private:
  HKEY key_ = nullptr;
  bool had_ = false;
  DWORD type_ = REG_SZ, oldSize_ = 0;
  char old_[64] = {};
};

void CALLBACK endTheSaver(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  requestSaverEnd();
}

} // namespace

TEST_F(FakedSystem, APasswordSaverOnWindows9xIsAnnouncedAndItsEndToldWhenThePasswordCannotBeAsked) {
  // Windows 98 with a saver password, on a system without the password
  // component: the saver tells Windows it runs, and at its end says why it
  // could not ask and tells Windows it stopped.
  UserPasswordSetting password("1");
  Win32DesktopPorts ports(GetModuleHandleA(nullptr));
  setMessageBoxSink(&boxes_); // the ports' application would show them
  const UINT_PTR timer = SetTimer(nullptr, 0, 1500, endTheSaver);
  ASSERT_NE(timer, 0u);
  EXPECT_EQ(runSaver(GetModuleHandleA(nullptr), "/s1"), 0);
  KillTimer(nullptr, timer);
  resetSaverWindowState();
  EXPECT_EQ(runningCalls(), (std::vector<UINT>{TRUE, FALSE}));
  ASSERT_FALSE(boxes_.texts.empty());
  EXPECT_EQ(boxes_.texts[0], "Password CPL couldn't be found");
}

TEST_F(FakedSystem, TheControlPanelBelongsToTheWindowItWasOpenedFor) {
  HWND settings = makeParent(300, 200);
  ASSERT_NE(settings, nullptr);
  app_->setDialogOwner(reinterpret_cast<WindowHandle>(settings));
  const WindowHandle tela = app_->createControlPanel();
  ASSERT_NE(tela, 0u);
  HWND dialog = GetAncestor(reinterpret_cast<HWND>(tela), GA_ROOT);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), settings);
  // The settings sheet closes first: the dialog goes with it and the run ends.
  DestroyWindow(settings);
  EXPECT_FALSE(IsWindow(dialog));
  app_->processMessages();
  EXPECT_TRUE(app_->terminated());
}

TEST_F(FakedSystem, AControlPanelOwnerThatIsNoWindowIsIgnored) {
  HWND gone = makeParent(10, 10);
  DestroyWindow(gone);
  app_->setDialogOwner(reinterpret_cast<WindowHandle>(gone));
  const WindowHandle tela = app_->createControlPanel();
  ASSERT_NE(tela, 0u);
  HWND dialog = GetAncestor(reinterpret_cast<HWND>(tela), GA_ROOT);
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
}
