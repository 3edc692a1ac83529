#include "hosts/win32/desktopservices.h"

#include "hosts/headless/headlessapp.h"

namespace {

const char *const PreviewClass = "Lumenveil Preview";

Win32PreviewWindow *ActivePreview = nullptr;
Win32Timers *ActiveTimers = nullptr;

Win32SystemCalls &calls() {
  static Win32SystemCalls c;
  return c;
}

LRESULT CALLBACK previewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (ActivePreview) return ActivePreview->handle(window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

// The area a child at (0, 0) can fill: the parent's client area.
bool clientSize(HWND window, int &width, int &height) {
  RECT r;
  if (!GetClientRect(window, &r)) return false;
  width = r.right - r.left;
  height = r.bottom - r.top;
  return true;
}

} // namespace

Win32SystemCalls &win32SystemCalls() { return calls(); }

int win32PlatformId() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!calls().getVersionEx(&info)) return VER_PLATFORM_WIN32_NT;
  return static_cast<int>(info.dwPlatformId);
}

// ---------------------------------------------------------------------------
// The preview

Win32PreviewWindow::Win32PreviewWindow(HINSTANCE instance) : instance_(instance) {}

Win32PreviewWindow::~Win32PreviewWindow() { destroy(); }

bool Win32PreviewWindow::create(WindowHandle parent, int &width, int &height) {
  destroy();
  HWND owner = reinterpret_cast<HWND>(parent);
  if (owner && !IsWindow(owner)) return false;
  ActivePreview = this;
  quit_ = false;
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.style = CS_VREDRAW | CS_HREDRAW | CS_PARENTDC;
  c.lpfnWndProc = previewWindowProc;
  c.hInstance = instance_;
  c.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
  c.lpszClassName = PreviewClass;
  RegisterClassExA(&c); // fails harmlessly when a first preview registered it

  int w = width, h = height;
  if (owner) clientSize(owner, w, h);
  const DWORD style = owner ? WS_CHILD | WS_VISIBLE : WS_VISIBLE;
  window_ =
      CreateWindowExA(0, PreviewClass, PreviewClass, style, 0, 0, w, h, owner, nullptr, instance_, nullptr);
  if (!window_) {
    ActivePreview = nullptr;
    return false;
  }
  parent_ = owner;
  ShowWindow(window_, SW_SHOWDEFAULT);
  UpdateWindow(window_);
  BringWindowToTop(window_);
  clientSize(window_, width, height);
  return true;
}

bool Win32PreviewWindow::pump(int &width, int &height) {
  MSG msg;
  while (!quit_ && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit_ = true;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (quit_ || !window_ || !IsWindow(window_) || stopRequested()) return false;
  // The parent (the settings dialog, often another program's) may go at any
  // time, and may change its size: the child goes with it and follows it.
  if (parent_) {
    int pw = 0, ph = 0;
    if (!IsWindow(parent_) || !clientSize(parent_, pw, ph)) return false;
    int cw = 0, ch = 0;
    clientSize(window_, cw, ch);
    if (pw != cw || ph != ch) MoveWindow(window_, 0, 0, pw, ph, FALSE);
  }
  clientSize(window_, width, height);
  return true;
}

void Win32PreviewWindow::show(const uint16_t *pixels, int width, int height) {
  if (!window_ || !pixels || width <= 0 || height <= 0) return;
  picture_.assign(pixels, pixels + static_cast<size_t>(width) * height);
  pictureWidth_ = width;
  pictureHeight_ = height;
  InvalidateRect(window_, nullptr, FALSE);
}

void Win32PreviewWindow::destroy() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
  window_ = nullptr;
  parent_ = nullptr;
  // A quit request the destruction posted belongs to this preview, not to
  // whatever runs the thread's loop next.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  if (ActivePreview == this) ActivePreview = nullptr;
}

void Win32PreviewWindow::paint(HDC dc) const {
  if (picture_.empty() || !(GetDeviceCaps(dc, RASTERCAPS) & RC_DIBTODEV)) return;
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = pictureWidth_;
  info.header.biHeight = pictureHeight_; // positive: the rows run bottom up
  info.header.biPlanes = 1;
  info.header.biBitCount = 16;
  info.header.biCompression = BI_BITFIELDS;
  info.header.biXPelsPerMeter = 2834;
  info.header.biYPelsPerMeter = 2834;
  info.masks[0] = 0xF800;
  info.masks[1] = 0x07E0;
  info.masks[2] = 0x001F;
  SetDIBitsToDevice(dc, 0, 0, pictureWidth_, pictureHeight_, 0, 0, 0, pictureHeight_, picture_.data(),
                    reinterpret_cast<const BITMAPINFO *>(&info), DIB_RGB_COLORS);
}

LRESULT Win32PreviewWindow::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_DESTROY:
  case WM_CLOSE:
    if (window == window_) PostQuitMessage(0);
    break;
  case WM_PAINT: {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    paint(dc);
    EndPaint(window, &ps);
    break;
  }
  default: break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------
// The password components

namespace {

// A library by its full path in the system folder, the routine from it.
ComponentLoad loadSystemRoutine(const char *library, const char *routine, HMODULE &module, FARPROC &address) {
  if (!module) {
    const std::string path = Win32PasswordComponents::systemLibraryPath(library);
    if (path.empty()) return ComponentLoad::NoLibrary;
    // The folders searched for the library's own libraries are its own and
    // the system's: never the current folder first.
    module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return ComponentLoad::NoLibrary;
  }
  address = GetProcAddress(module, routine);
  return address ? ComponentLoad::Loaded : ComponentLoad::NoRoutine;
}

} // namespace

std::string Win32PasswordComponents::systemLibraryPath(const char *name) {
  char folder[MAX_PATH];
  const UINT n = GetSystemDirectoryA(folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) return {};
  std::string path(folder, n);
  if (path.back() != '\\') path += '\\';
  return path + name;
}

Win32PasswordComponents::~Win32PasswordComponents() {
  // The routines handed out may still be held: the libraries stay loaded
  // until the process ends, as the system's own users expect.
}

ComponentLoad Win32PasswordComponents::loadVerifyRoutine(VerifyScreenSavePwd &routine) {
  FARPROC address = nullptr;
  const ComponentLoad r = loadSystemRoutine("PASSWORD.CPL", "VerifyScreenSavePwd", verifyLibrary_, address);
  if (r != ComponentLoad::Loaded) return r;
  using Verify = BOOL(WINAPI *)(HWND);
  auto verify = reinterpret_cast<Verify>(reinterpret_cast<void *>(address));
  routine = [verify](WindowHandle owner) -> int { return verify(reinterpret_cast<HWND>(owner)); };
  return r;
}

ComponentLoad Win32PasswordComponents::loadChangeRoutine(PwdChangePassword &routine) {
  FARPROC address = nullptr;
  const ComponentLoad r = loadSystemRoutine("MPR.DLL", "PwdChangePasswordA", changeLibrary_, address);
  if (r != ComponentLoad::Loaded) return r;
  using Change = DWORD(WINAPI *)(LPCSTR, HWND, DWORD, void *);
  auto change = reinterpret_cast<Change>(reinterpret_cast<void *>(address));
  routine = [change](const char *provider, WindowHandle owner, int a, int b) -> int {
    return static_cast<int>(change(provider, reinterpret_cast<HWND>(owner), static_cast<DWORD>(a),
                                   reinterpret_cast<void *>(static_cast<intptr_t>(b))));
  };
  return r;
}

// ---------------------------------------------------------------------------
// Monitor power

void Win32MonitorPower::setLevel(int level) {
  if (calls().sendMonitorPower) {
    calls().sendMonitorPower(level);
    return;
  }
  // The desktop window belongs to another program: one that no longer
  // answers is not waited for.
  DWORD_PTR result = 0;
  SendMessageTimeoutA(GetDesktopWindow(), WM_SYSCOMMAND, SC_MONITORPOWER, static_cast<LPARAM>(level),
                      SMTO_ABORTIFHUNG, 2000, &result);
}

bool Win32MonitorPower::desktopTimeouts(DesktopPowerTimeouts &t) {
  BOOL lowActive = FALSE, offActive = FALSE;
  int lowSeconds = 0, offSeconds = 0;
  auto spi = calls().systemParametersInfo;
  if (!spi(SPI_GETLOWPOWERACTIVE, 0, &lowActive, 0) || !spi(SPI_GETPOWEROFFACTIVE, 0, &offActive, 0))
    return false;
  if (!spi(SPI_GETLOWPOWERTIMEOUT, 0, &lowSeconds, 0)) lowSeconds = 0;
  if (!spi(SPI_GETPOWEROFFTIMEOUT, 0, &offSeconds, 0)) offSeconds = 0;
  // A timeout of 0 is one the system never reaches.
  t.lowPowerActive = lowActive && lowSeconds > 0;
  t.lowPowerSeconds = lowSeconds;
  t.powerOffActive = offActive && offSeconds > 0;
  t.powerOffSeconds = offSeconds;
  return true;
}

// ---------------------------------------------------------------------------
// Timers

Win32Timers::~Win32Timers() {
  for (const auto &[id, proc] : procs_) KillTimer(nullptr, id);
  if (ActiveTimers == this) ActiveTimers = nullptr;
}

void CALLBACK Win32Timers::fire(HWND, UINT, UINT_PTR id, DWORD) {
  if (!ActiveTimers) return;
  auto it = ActiveTimers->procs_.find(id);
  if (it == ActiveTimers->procs_.end()) return;
  TimerProc proc = it->second;
  proc();
}

TimerId Win32Timers::setTimer(uint32_t ms, TimerProc proc) {
  if (!proc) return 0;
  ActiveTimers = this;
  // Longer than the system's longest timer waits that longest time.
  const UINT elapse = ms > USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM : ms;
  const UINT_PTR id = SetTimer(nullptr, 0, elapse, fire);
  // The program's ids are 32 bits; the system hands out small numbers.
  if (id == 0 || id > UINT32_MAX) {
    if (id) KillTimer(nullptr, id);
    return 0;
  }
  procs_[id] = proc;
  return static_cast<TimerId>(id);
}

void Win32Timers::killTimer(TimerId id) {
  if (id == 0) return;
  auto it = procs_.find(id);
  if (it == procs_.end()) return;
  KillTimer(nullptr, id);
  procs_.erase(it);
}

void Win32Timers::dispatchDueTimers() {
  // The timer messages of this thread's own timers (no window) that the
  // message processing has not taken already. The look at the queue also
  // runs what other programs send (a close request), and a quit posted then
  // comes back here whatever the range asked for: it is put back for the
  // message loop, which ends on it.
  MSG msg;
  while (PeekMessageA(&msg, reinterpret_cast<HWND>(-1), WM_TIMER, WM_TIMER, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    DispatchMessageA(&msg);
  }
}

void Win32Timers::idleWait(uint32_t ms) { MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT); }

// ---------------------------------------------------------------------------

Win32DesktopPorts::Win32DesktopPorts(HINSTANCE instance) : preview_(instance) {
  setPreviewWindow(&preview_);
  setPasswordComponents(&password_);
  setMonitorPower(&power_);
  setTimerService(&timers_);
}

Win32DesktopPorts::~Win32DesktopPorts() {
  setTimerService(nullptr);
  setMonitorPower(nullptr);
  setPasswordComponents(nullptr);
  setPreviewWindow(nullptr);
}
