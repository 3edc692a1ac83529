// The Windows host's application object over the system's message loop, and
// the saver window's frames. Needs a display (under Wine: a virtual X server).
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "app/saverwindow.h"
#include "hosts/win32/desktopservices.h"
#include "hosts/win32/gdipresenter.h"
#include "hosts/win32/winhost.h"
#include "platform/application.h"

namespace {

std::vector<Message> Seen;
UINT HandledCode = 0;

void recordMessage(const Message &m, bool &handled, void *) {
  Seen.push_back(m);
  if (m.code == HandledCode) handled = true;
}

int count(UINT code) {
  int n = 0;
  for (const Message &m : Seen) n += m.code == code;
  return n;
}

class Win32Host : public ::testing::Test {
protected:
  void SetUp() override {
    app_ = makeWin32Application(presenter_);
    setApplication(app_.get());
    app_->initialize();
    app_->setTitle(Title);
    app_->setMessageHandler(MessageHandler{recordMessage, nullptr});
    window_ = app_->createSaverWindow();
    ASSERT_NE(window_, 0u);
    app_->processMessages(); // what the window's creation brought
    Seen.clear();
    HandledCode = 0;
  }
  void TearDown() override {
    app_.reset();
    setApplication(nullptr);
    resetSaverWindowState();
  }
  HWND saver() const { return reinterpret_cast<HWND>(window_); }

  static constexpr const char *Title = "Lumenveil host test";
  GdiPresenter presenter_;
  std::unique_ptr<Application> app_;
  WindowHandle window_ = 0;
};

} // namespace

TEST_F(Win32Host, APostedMessagePassesTheHookOnceAndAHandledOneNeverReachesTheWindow) {
  PostMessageA(saver(), WM_KEYDOWN, 'A', 0x1E0001);
  app_->processMessages();
  EXPECT_EQ(count(WM_KEYDOWN), 1); // not again when the window receives it

  // A close the hook handles leaves the window; one it lets through closes it.
  HandledCode = WM_CLOSE;
  PostMessageA(saver(), WM_CLOSE, 0, 0);
  app_->processMessages();
  EXPECT_EQ(count(WM_CLOSE), 1);
  EXPECT_TRUE(IsWindow(saver()));
  HandledCode = 0;
  PostMessageA(saver(), WM_CLOSE, 0, 0);
  app_->processMessages();
  EXPECT_FALSE(IsWindow(saver()));
}

TEST_F(Win32Host, MessagesSentToTheWindowReachTheHookThere) {
  // The system sends its commands straight to the window: the hook swallows
  // the close command, so the window stays.
  HandledCode = WM_SYSCOMMAND;
  SendMessageA(saver(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(count(WM_SYSCOMMAND), 1);
  EXPECT_TRUE(IsWindow(saver()));
  HandledCode = 0;
  SendMessageA(saver(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(saver()));
}

TEST_F(Win32Host, AnotherCopysCloseRequestClosesTheSaverAndEndsTheLoop) {
  HWND application = FindWindowA(ApplicationWindowClass, Title);
  ASSERT_NE(application, nullptr);
  EXPECT_FALSE(app_->terminated());
  SendMessageA(application, WM_CLOSE, 0x123, 0x123);
  EXPECT_FALSE(IsWindow(saver()));
  EXPECT_TRUE(IsWindow(application)); // the application's window stays until the end
  app_->processMessages();
  EXPECT_TRUE(app_->terminated());
}

DWORD WINAPI sendCloseRequest(void *application) {
  SendMessageA(static_cast<HWND>(application), WM_CLOSE, 0x123, 0x123);
  return 0;
}

TEST_F(Win32Host, ACloseRequestTakenWhileTheTimersAreDispatchedStillEndsTheLoop) {
  // Another copy's request is taken in by whichever call of the loop looks
  // at the queue first; here the timers' dispatch, as in a busy loop.
  Win32Timers timers;
  HWND application = FindWindowA(ApplicationWindowClass, Title);
  ASSERT_NE(application, nullptr);
  HANDLE other = CreateThread(nullptr, 0, sendCloseRequest, application, 0, nullptr);
  ASSERT_NE(other, nullptr);
  for (int i = 0; i < 1000 && !(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE); ++i) Sleep(10);
  ASSERT_TRUE(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) << "no request came";
  timers.dispatchDueTimers();
  EXPECT_EQ(WaitForSingleObject(other, 10000), WAIT_OBJECT_0);
  CloseHandle(other);
  EXPECT_FALSE(IsWindow(saver()));
  app_->processMessages();
  EXPECT_TRUE(app_->terminated());
}

TEST_F(Win32Host, RunningCopiesAreFoundByTheirTitleButNeverItself) {
  EXPECT_FALSE(app_->findInstance(Title));
  HWND other = CreateWindowExA(0, ApplicationWindowClass, "Lumenveil other copy", WS_POPUP, 0, 0, 0, 0,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(app_->findInstance("Lumenveil other copy"));
  EXPECT_FALSE(app_->findInstance("Lumenveil nobody"));
  DestroyWindow(other);
  EXPECT_FALSE(app_->findInstance("Lumenveil other copy"));
}

TEST_F(Win32Host, TheSaverWindowCoversTheScreen) {
  int w = 0, h = 0, sw = 0, sh = 0;
  ASSERT_TRUE(app_->windowSize(window_, w, h));
  app_->screenSize(sw, sh);
  EXPECT_EQ(w, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(h, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(w, sw);
  EXPECT_EQ(h, sh);
  app_->setStayOnTop(window_);
  EXPECT_TRUE(GetWindowLongA(saver(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

namespace {

// Draws a presented frame into a bitmap of the given size; returns its pixels.
std::vector<COLORREF> drawnInto(GdiPresenter &presenter, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP target = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(dc, target);
  RECT white{0, 0, width, height};
  FillRect(dc, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  presenter.draw(dc, RECT{0, 0, width, height});
  std::vector<COLORREF> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(dc, x, y));
  SelectObject(dc, old);
  DeleteObject(target);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return pixels;
}

} // namespace

TEST(GdiFrames, AFrameKeepsItsShapeOnBlackAndItsTopRowOnTop) {
  // A 4 x 2 frame: the board's lower row red, its upper row blue.
  const uint16_t pixels[8] = {0xF800, 0xF800, 0xF800, 0xF800, 0x001F, 0x001F, 0x001F, 0x001F};
  uint8_t gamma[256];
  for (int i = 0; i < 256; ++i) gamma[i] = static_cast<uint8_t>(i);
  GdiPresenter presenter;
  presenter.present(PresentedFrame{pixels, 4, 2, 4, gamma});

  // In a square it is as wide as the square, centred, with black above and below.
  EXPECT_EQ(presenter.placement(RECT{0, 0, 8, 8}).top, 2);
  EXPECT_EQ(presenter.placement(RECT{0, 0, 8, 8}).bottom, 6);
  // In a wide area it is as high as the area.
  const RECT wide = presenter.placement(RECT{0, 0, 16, 2});
  EXPECT_EQ(wide.left, 6);
  EXPECT_EQ(wide.right, 10);

  const std::vector<COLORREF> drawn = drawnInto(presenter, 4, 4);
  auto at = [&](int x, int y) { return drawn[size_t(y) * 4 + x]; };
  EXPECT_EQ(at(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(at(3, 3), RGB(0, 0, 0));
  EXPECT_EQ(at(0, 1), RGB(0, 0, 255)); // the board's upper row at the top
  EXPECT_EQ(at(3, 2), RGB(255, 0, 0));

  // A frame of the area's own size is drawn as it is, pixel for pixel, in
  // the same colours whatever the row's length (rows go through the
  // converter sixteen pixels at a time, the rest one by one).
  const int w = 37;
  std::vector<uint16_t> wide565(size_t(w) * 2);
  for (int x = 0; x < w; ++x) {
    wide565[size_t(x)] = x % 3 == 0 ? 0xF800 : x % 3 == 1 ? 0x07E0 : 0x001F; // lower row
    wide565[size_t(w + x)] = 0xFFFF;                                         // upper row
  }
  presenter.present(PresentedFrame{wide565.data(), w, 2, w, gamma});
  const std::vector<COLORREF> exact = drawnInto(presenter, w, 2);
  for (int x = 0; x < w; ++x) {
    EXPECT_EQ(exact[size_t(x)], RGB(255, 255, 255)) << x;
    EXPECT_EQ(exact[size_t(w + x)], x % 3 == 0   ? RGB(255, 0, 0)
                                    : x % 3 == 1 ? RGB(0, 255, 0)
                                                 : RGB(0, 0, 255))
        << x;
  }
}
