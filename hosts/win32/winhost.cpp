#include "hosts/win32/winhost.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/saverwindow.h"
#include "glide/presenter.h"
#include "glide/trace.h"
#include "hosts/win32/desktopservices.h"
#include "hosts/win32/cddrives.h"
#include "hosts/win32/cdmci.h"
#include "hosts/win32/gdipresenter.h"
#include "hosts/win32/monitorcopies.h"
#include "hosts/win32/monitors.h"
#include "hosts/win32/paneldialog.h"
#include "display/glidedisplay.h"
#include "hosts/common/runsetup.h"
#include "hosts/headless/headlessapp.h"
#include "platform/application.h"
#include "cdaudio/mediaplayer.h"
#include "platform/messagebox.h"
#include "frame/random.h"
#include "settings/configuration.h"

const char *const ApplicationWindowClass = "TApplication";
const char *const SaverWindowClass = "TEmptyForm";
const char *const MonitorWindowClass = "Lumenveil Monitor";

namespace {

HWND toHwnd(WindowHandle w) { return reinterpret_cast<HWND>(w); }
WindowHandle toHandle(HWND w) { return reinterpret_cast<WindowHandle>(w); }

class Win32Application;
Win32Application *Current = nullptr;

LRESULT CALLBACK applicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK monitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The windows a copy started for one monitor makes never take the activation
// from the saver's own window (whose loss of it ends the saver).
constexpr DWORD CopyWindowStyle = WS_EX_NOACTIVATE | WS_EX_TOPMOST;

class Win32Application : public Application, public MessageBoxSink {
public:
  Win32Application(HINSTANCE instance, GdiPresenter &presenter, const MonitorRun &monitors)
      : instance_(instance), presenter_(presenter), monitors_(monitors), copy_(!monitors.only.empty()) {
    Current = this;
    WNDCLASSEXA app{};
    app.cbSize = sizeof app;
    app.lpfnWndProc = applicationWindowProc;
    app.hInstance = instance_;
    app.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(1));
    app.lpszClassName = ApplicationWindowClass;
    RegisterClassExA(&app);
    WNDCLASSEXA saver{};
    saver.cbSize = sizeof saver;
    saver.style = CS_HREDRAW | CS_VREDRAW;
    saver.lpfnWndProc = saverWindowProc;
    saver.hInstance = instance_;
    saver.hIcon = app.hIcon;
    saver.hCursor = nullptr; // the saver shows no cursor
    saver.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    saver.lpszClassName = SaverWindowClass;
    RegisterClassExA(&saver);
    WNDCLASSEXA other = saver;
    other.lpfnWndProc = monitorWindowProc;
    other.lpszClassName = MonitorWindowClass;
    RegisterClassExA(&other);
    // The application's hidden window exists from the start, as the
    // framework's does; it carries the application title once one is set.
    appWindow_ = CreateWindowExA(0, ApplicationWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 instance_, nullptr);
    // Boxes from the start: the switches that return at once (/d) have
    // theirs before the application is initialised.
    setMessageBoxSink(this);
  }

  ~Win32Application() override {
    handler_ = MessageHandler{};
    // However the run ended, an open control panel saves as it closes.
    panel_.reset();
    setMessageBoxSink(nullptr);
    endOtherMonitors();
    if (saver_) DestroyWindow(saver_);
    if (appWindow_) DestroyWindow(appWindow_);
    Current = nullptr;
  }

  // Passes a message to the installed hook; true when the hook handled it.
  bool hook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!handler_.code) return false;
    Message m;
    m.window = toHandle(window);
    m.code = message;
    m.wParam = wParam;
    m.lParam = lParam;
    bool handled = false;
    handler_.code(m, handled, handler_.data);
    return handled;
  }
  // Whether the message loop is dispatching exactly this message (the hook
  // has seen it there already).
  bool dispatching(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const {
    return dispatching_ && current_.hwnd == window && current_.message == message &&
           current_.wParam == wParam && current_.lParam == lParam;
  }

  void paintSaver(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    emptyFormPaint();
    RECT area;
    GetClientRect(window, &area);
    presenter_.draw(dc, area);
    EndPaint(window, &ps);
    // The other monitors showing this picture show the new frame too.
    for (const OtherMonitor &m : others_)
      if (m.use == MonitorUse::SamePicture) InvalidateRect(m.window, nullptr, FALSE);
  }
  void paintOtherMonitor(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT area;
    GetClientRect(window, &area);
    const auto m = std::find_if(others_.begin(), others_.end(),
                                [&](const OtherMonitor &o) { return o.window == window; });
    if (m != others_.end() && m->use == MonitorUse::SamePicture)
      presenter_.draw(dc, area);
    else
      FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EndPaint(window, &ps);
  }

  // The monitors changed (another display mode, a monitor plugged in or out,
  // another primary): the saver window covers its monitor again (a native
  // run's next frame is drawn at its size), and the others follow the plan.
  // A copy whose monitor went away ends.
  void followMonitors() {
    if (!saver_) return;
    const std::vector<MonitorPlan> plan = planMonitors(systemMonitors(), monitors_.setting, monitors_.only);
    if (plan.empty()) {
      if (copy_) {
        monitorGone_ = true;
        closeRequested();
      }
      return;
    }
    const RECT &a = plan.front().monitor.area;
    RECT r{};
    GetWindowRect(saver_, &r);
    if (!EqualRect(&r, &a))
      SetWindowPos(saver_, nullptr, a.left, a.top, a.right - a.left, a.bottom - a.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    showOtherMonitors(plan);
  }
  void saverClosing(HWND window) {
    if (window != saver_) return;
    if (!copy_) emptyFormClose();
    saver_ = nullptr;
    endOtherMonitors();
    DestroyWindow(window);
  }
  bool monitorGone() const { return monitorGone_; }
  bool isCopy() const { return copy_; }
  bool cursorShown() const { return cursorCount_ >= 0; }

  // Takes every pending message through the hook and dispatches it; false
  // once the quit message came.
  bool drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        terminated_ = true;
        return false;
      }
      if (hook(msg.hwnd, msg.message, msg.wParam, msg.lParam)) continue;
      if (panel_ && panel_->preTranslate(msg)) continue;
      TranslateMessage(&msg);
      current_ = msg;
      dispatching_ = true;
      DispatchMessageA(&msg);
      dispatching_ = false;
    }
    return true;
  }

  // Another copy asked this one to close (the 0x123 request).
  void closeRequested() {
    if (saver_) saverClosing(saver_);
    if (panel_) panel_->close();
    terminate();
  }

  // Application
  void initialize() override {}
  void setTitle(const std::string &title) override {
    title_ = title;
    // A copy for one monitor is not the running saver another copy looks for.
    if (appWindow_ && !copy_) SetWindowTextA(appWindow_, title.c_str());
  }
  void processMessages() override {
    if (stopRequested()) {
      // A stop signal closes the control panel as its close box does: it saves.
      if (panel_) panel_->close();
      terminate();
    }
    if (panel_ && panel_->isOpen()) {
      // The control panel draws a frame each pass: passes are held to 60 a
      // second while the preview shows and to 20 while nothing shows it,
      // handling messages all the while.
      const DWORD interval = panel_->previewShown() ? 16 : 50;
      for (;;) {
        const DWORD elapsed = timeGetTime() - lastPass_;
        if (elapsed >= interval) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, interval - elapsed, QS_ALLINPUT);
        if (!drain()) return;
      }
      lastPass_ = timeGetTime();
    }
    drain();
    // The CD's completions dispatched above start the next track here.
    deliverCdNotices();
    // Input on another monitor ended the copy there: it ends the saver too.
    if (copies_ && copies_->oneEnded()) closeRequested();
  }
  bool terminated() const override { return terminated_; }
  void terminate() override {
    if (!quitPosted_) PostQuitMessage(0);
    quitPosted_ = true;
  }
  void setMessageHandler(const MessageHandler &handler) override { handler_ = handler; }
  MessageHandler messageHandler() const override { return handler_; }
  void showException(const std::string &message) override {
    MessageBoxA(nullptr, message.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
  }
  void destroyHiddenWindow() override {
    if (appWindow_) DestroyWindow(appWindow_);
    appWindow_ = nullptr;
  }

  WindowHandle createSaverWindow() override {
    const std::vector<MonitorPlan> plan = planMonitors(systemMonitors(), monitors_.setting, monitors_.only);
    RECT a{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!plan.empty()) a = plan.front().monitor.area;
    // A copy's window shows without activation (SW_SHOWNOACTIVATE).
    saver_ = CreateWindowExA(copy_ ? CopyWindowStyle : 0, SaverWindowClass, title_.c_str(),
                             WS_POPUP | (copy_ ? 0 : WS_VISIBLE), a.left, a.top, a.right - a.left,
                             a.bottom - a.top, appWindow_, nullptr, instance_, nullptr);
    if (!saver_) throw FrameworkError("Cannot create the saver window.");
    if (copy_) ShowWindow(saver_, SW_SHOWNOACTIVATE);
    // The CD plays from the saver's own copy only.
    if (!copy_) emptyFormCreate();
    UpdateWindow(saver_);
    showOtherMonitors(plan);
    return toHandle(saver_);
  }
  void setDialogOwner(WindowHandle owner) override {
    dialogOwner_ = owner && IsWindow(toHwnd(owner)) ? toHwnd(owner) : nullptr;
  }
  WindowHandle createControlPanel() override {
    panel_ = std::make_unique<Win32ControlPanel>(
        instance_, [this] { terminate(); }, dialogOwner_);
    panel_->open();
    return toHandle(panel_->tela());
  }
  void closeWindow(WindowHandle window) override {
    if (window && toHwnd(window) == saver_) saverClosing(saver_);
  }

  void invalidate(WindowHandle w) override {
    if (w) InvalidateRect(toHwnd(w), nullptr, FALSE);
  }
  // A copy for one monitor leaves the activation, the focus and the mouse
  // to the saver's own copy.
  void setForegroundWindow(WindowHandle w) override {
    if (w && !copy_) SetForegroundWindow(toHwnd(w));
  }
  void setFocus(WindowHandle w) override {
    if (w && !copy_ && IsWindow(toHwnd(w))) SetFocus(toHwnd(w));
  }
  void bringWindowToTop(WindowHandle w) override {
    if (w && !copy_) BringWindowToTop(toHwnd(w));
  }
  void setCapture(WindowHandle w) override {
    if (w && !copy_) SetCapture(toHwnd(w));
  }
  void releaseCapture() override { ReleaseCapture(); }
  void showCursor(bool show) override { cursorCount_ = ShowCursor(show ? TRUE : FALSE); }
  void hideWindow(WindowHandle w) override {
    if (w) ShowWindow(toHwnd(w), SW_HIDE);
  }
  void setStayOnTop(WindowHandle w) override {
    if (w)
      SetWindowPos(toHwnd(w), HWND_TOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | (copy_ ? SWP_NOACTIVATE : 0));
  }
  WindowHandle activeWindow() override { return toHandle(GetActiveWindow()); }
  bool windowSize(WindowHandle w, int &width, int &height) override {
    RECT r;
    if (!w || !GetWindowRect(toHwnd(w), &r)) return false;
    width = r.right - r.left;
    height = r.bottom - r.top;
    return true;
  }
  void screenSize(int &width, int &height) override {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
  }

  bool findInstance(const std::string &title) override { return other(title) != nullptr; }
  void raiseInstance(const std::string &title) override {
    HWND app = other(title);
    if (!app) return;
    // The windows it owns (the saver window, the dialog) come to the front;
    // its own window is hidden, and activating it would take the activation
    // from the saver window, which ends that saver. So would activating the
    // windows it shows on other monitors.
    struct Search {
      HWND owner;
      HWND found;
    } search{app, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
          auto *s = reinterpret_cast<Search *>(p);
          char name[64] = {};
          GetClassNameA(w, name, sizeof name);
          if (GetWindow(w, GW_OWNER) == s->owner && IsWindowVisible(w) &&
              lstrcmpA(name, MonitorWindowClass) != 0) {
            s->found = w;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found)
      SetForegroundWindow(search.found);
    else
      BringWindowToTop(app);
  }
  void closeInstance(const std::string &title) override {
    HWND app = other(title);
    if (!app) return;
    // A copy that no longer answers is not waited for.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(app, WM_CLOSE, 0x123, 0x123, SMTO_ABORTIFHUNG, 5000, &result);
  }
  bool drawImage565(WindowHandle window, const uint16_t *pixels, int width, int height) override {
    if (!panel_ || !window || toHwnd(window) != panel_->tela()) return false;
    panel_->showFrame(pixels, width, height);
    return true;
  }

  int platformId() override { return win32PlatformId(); }
  void setScreenSaverRunning(bool running) override {
    UINT scratch = 0;
    win32SystemCalls().systemParametersInfo(SPI_SETSCREENSAVERRUNNING, running ? TRUE : FALSE, &scratch, 0);
  }

  // MessageBoxSink
  int show(const char *text, const char *caption, unsigned type) override {
    return MessageBoxA(GetActiveWindow(), text ? text : "", caption ? caption : "", type | MB_SETFOREGROUND);
  }
  void beep(int freq, int ms) override { Beep(static_cast<DWORD>(freq), static_cast<DWORD>(ms)); }

  HWND appWindow() const { return appWindow_; }
  HWND saverWindow() const { return saver_; }
  Win32ControlPanel *controlPanel() const { return panel_.get(); }

private:
  // A window on a monitor other than the saver window's.
  struct OtherMonitor {
    HWND window;
    MonitorUse use;
    RECT area;
  };

  // The windows and copies of the other monitors as the plan has them: those
  // that stay are kept, the rest made or ended.
  void showOtherMonitors(const std::vector<MonitorPlan> &plan) {
    std::vector<OtherMonitor> kept;
    std::vector<std::string> copies;
    for (size_t i = 1; i < plan.size(); ++i) {
      MonitorUse use = plan[i].use;
      if (use == MonitorUse::OwnCopy && monitors_.program.empty()) use = MonitorUse::Black;
      if (use == MonitorUse::OwnCopy) {
        copies.push_back(plan[i].monitor.name);
        continue;
      }
      const RECT &a = plan[i].monitor.area;
      auto same = std::find_if(others_.begin(), others_.end(),
                               [&](const OtherMonitor &o) { return o.use == use && EqualRect(&o.area, &a); });
      if (same != others_.end()) {
        kept.push_back(*same);
        others_.erase(same);
        continue;
      }
      HWND w = CreateWindowExA(CopyWindowStyle, MonitorWindowClass, title_.c_str(), WS_POPUP, a.left, a.top,
                               a.right - a.left, a.bottom - a.top, appWindow_, nullptr, instance_, nullptr);
      if (!w) continue;
      ShowWindow(w, SW_SHOWNOACTIVATE);
      kept.push_back(OtherMonitor{w, use, a});
    }
    for (const OtherMonitor &o : others_) DestroyWindow(o.window);
    others_.swap(kept);
    if (!copies.empty() && !copies_)
      copies_ = std::make_unique<MonitorCopies>(monitors_.program, monitors_.arguments);
    if (copies_) copies_->follow(copies);
  }
  void endOtherMonitors() {
    copies_.reset();
    for (const OtherMonitor &o : others_) DestroyWindow(o.window);
    others_.clear();
  }

  // Another copy's application window with this title (never our own).
  HWND other(const std::string &title) const {
    HWND w = FindWindowA(ApplicationWindowClass, title.c_str());
    return w == appWindow_ ? nullptr : w;
  }

  HINSTANCE instance_;
  GdiPresenter &presenter_;
  MonitorRun monitors_;
  bool copy_;                // started for one monitor by the saver's own copy
  bool monitorGone_ = false; // that monitor went away
  std::vector<OtherMonitor> others_;
  std::unique_ptr<MonitorCopies> copies_;
  HWND appWindow_ = nullptr;
  HWND saver_ = nullptr;
  std::string title_;
  MessageHandler handler_;
  std::unique_ptr<Win32ControlPanel> panel_;
  HWND dialogOwner_ = nullptr;
  DWORD lastPass_ = 0;
  MSG current_{};
  bool dispatching_ = false;
  bool terminated_ = false;
  bool quitPosted_ = false;
  int cursorCount_ = 0;
};

LRESULT CALLBACK applicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE && Current && window == Current->appWindow()) {
    Current->closeRequested();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32Application *app = Current;
  // Messages sent straight to the window (activation, focus, system commands)
  // never pass the message loop: the hook sees them here.
  if (app && !app->dispatching(window, message, wParam, lParam) && app->hook(window, message, wParam, lParam))
    return 0;
  switch (message) {
  case WM_PAINT:
    if (app) {
      app->paintSaver(window);
      return 0;
    }
    break;
  case WM_ERASEBKGND: return 1; // the frame covers the window
  case WM_MOUSEACTIVATE:
    if (app && app->isCopy()) return MA_NOACTIVATE;
    break;
  case WM_DISPLAYCHANGE:
    if (app) app->followMonitors();
    break;
  case WM_DPICHANGED:
    // The window keeps its monitor's own pixels, whatever the new scale.
    if (app) {
      app->followMonitors();
      return 0;
    }
    break;
  case WM_SETCURSOR:
    if (LOWORD(lParam) == HTCLIENT) {
      SetCursor(app && app->cursorShown() ? LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)) : nullptr);
      return TRUE;
    }
    break;
  case WM_CLOSE:
    if (app) {
      app->saverClosing(window);
      return 0;
    }
    break;
  default: break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK monitorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32Application *app = Current;
  // Input here ends the saver as on the saver window.
  if (app && !app->dispatching(window, message, wParam, lParam) && app->hook(window, message, wParam, lParam))
    return 0;
  switch (message) {
  case WM_PAINT:
    if (app) {
      app->paintOtherMonitor(window);
      return 0;
    }
    break;
  case WM_ERASEBKGND: return 1;
  case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
  case WM_SETCURSOR:
    if (LOWORD(lParam) == HTCLIENT) {
      SetCursor(app && app->cursorShown() ? LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)) : nullptr);
      return TRUE;
    }
    break;
  case WM_CLOSE: return 0; // they close with the saver window
  default: break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

std::unique_ptr<Application> makeWin32Application(GdiPresenter &presenter, const MonitorRun &monitors) {
  return std::make_unique<Win32Application>(GetModuleHandleA(nullptr), presenter, monitors);
}

namespace {

// The board's retrace wait sleeps through this: never less than it asks. The
// C library's sleep rounds down to whole milliseconds, which showed a frame a
// moment before its retrace and the next one in the same retrace: frames in
// pairs, at up to twice the monitor's rate.
void sleepAtLeast(double seconds) {
  if (seconds > 0.0) Sleep(static_cast<DWORD>(std::ceil(seconds * 1000.0)));
}

// The program's own file, for its copies on other monitors; empty when unknown.
std::string programFile() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

// The monitor this copy of the saver was started for (LUMENVEIL_SCREEN), taken
// from the environment so that nothing it starts inherits it; empty for the
// saver's own copy.
std::string takeMonitorName() {
  char name[256];
  const DWORD n = GetEnvironmentVariableA(MonitorVariable, name, sizeof name);
  SetEnvironmentVariableA(MonitorVariable, nullptr);
  return n > 0 && n < sizeof name ? std::string(name, n) : std::string();
}

// The program's arguments as the system passed them, after its own name.
std::string ownArguments() {
  const char *p = GetCommandLineA();
  if (*p == '"') {
    for (++p; *p && *p != '"'; ++p) {
    }
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

} // namespace

int runWin32Host(int, char **, const WindowedRun &given) {
  WindowedRun run = given;
  MonitorRun monitors;
  monitors.only = takeMonitorName();
  if (!monitors.only.empty()) {
    const std::vector<MonitorArea> all = systemMonitors();
    if (planMonitors(all, MonitorsEachOwnScene, monitors.only).empty()) {
      std::string names;
      for (const MonitorArea &m : all) names += " " + m.name;
      std::fprintf(stderr, "lumenveil: there is no monitor %s (the monitors:%s)\n", monitors.only.c_str(),
                   names.c_str());
      return MonitorGoneExit;
    }
    // A copy runs beside the saver, not as another instance of it, and draws
    // its own scene: random numbers of its own, whatever the saver's seed.
    run.switches.checkRunning = false;
    if (run.switches.after == '1' || run.switches.after == '2') run.scene = run.switches.after - '0';
    run.haveSeed = true;
    run.seed = timeSeed() + static_cast<unsigned>(GetCurrentProcessId());
  } else {
    monitors.program = programFile();
    monitors.arguments = ownArguments();
  }
  {
    DisplayConfiguration display;
    display.load();
    monitors.setting = display.Monitors;
  }
  // The saver and its preview draw at the monitor's own size where no mode is
  // stored, and the control panel shows that (closing it would otherwise
  // store the table's mode the saver never drew at); /d writes the table's.
  if (run.switches.mode == RunMode::Saver || run.switches.mode == RunMode::Preview ||
      run.switches.mode == RunMode::Configure)
    setRunDefaultDisplayMode(NativeDisplayMode);
  // Where no rate is stored the frames are paced to the monitor's own: the
  // scene's monitor's as the run starts (the primary's, or the copy's own).
  {
    const std::vector<MonitorPlan> plan = planMonitors(systemMonitors(), monitors.setting, monitors.only);
    if (!plan.empty()) setMonitorRefreshHz(pacingHz(plan.front().monitor));
  }
  if (!beginWindowedRun(run)) return 1;
  GdiPresenter presenter;
  boardSetPresenter(&presenter);
  // The frames wait for the board's retraces by sleeping: sleeps of a
  // millisecond, not of the system's default 15.6 ms tick.
  const bool finerTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
  boardSetRetraceSleep(sleepAtLeast);
  useMciForCd();
  useSystemCdDrives(); // the control panel offers them
  int code = 0;
  {
    Win32DesktopPorts ports(GetModuleHandleA(nullptr));
    Win32Application app(GetModuleHandleA(nullptr), presenter, monitors);
    setApplication(&app);
    code = runSaver(GetModuleHandleA(nullptr), run.switches);
    if (app.monitorGone()) code = MonitorGoneExit;
    setApplication(nullptr);
  }
  finishMciCd();
  boardSetRetraceSleep(nullptr);
  if (finerTimer) timeEndPeriod(1);
  boardSetPresenter(nullptr);
  return endWindowedRun(code);
}
