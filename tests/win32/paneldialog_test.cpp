// The control panel's native dialog: the system's own controls drive the
// form, closing saves into the registry, Escape and another copy's close
// request close it, and the preview panel shows the frames it is given.
// Needs a display (under Wine: a virtual X server); writes the program's keys.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "controlpanel/mainform.h"
#include "hosts/win32/gdipresenter.h"
#include "hosts/win32/paneldialog.h"
#include "hosts/win32/picture.h"
#include "hosts/win32/winhost.h"
#include "platform/application.h"

namespace {

const char *const LumenveilKey = "SOFTWARE\\Qbn\\Lumenveil\\1.1\\Lumenveil";

bool savedDword(const char *path, const char *name, DWORD &value) {
  DWORD type = 0, size = sizeof value;
  return RegGetValueA(HKEY_LOCAL_MACHINE, path, name, RRF_RT_ANY, &type, &value, &size) == ERROR_SUCCESS &&
         type == REG_DWORD;
}

std::string text(HWND window) {
  char buffer[128] = {};
  GetWindowTextA(window, buffer, sizeof buffer);
  return buffer;
}

// Lets the windows handle what the system queued for them.
void pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

class PanelDialog : public ::testing::Test {
protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qbn");
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Qbn");
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qbn");
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Qbn");
  }
};

} // namespace

TEST_F(PanelDialog, ItsControlsDriveTheFormAndClosingSavesOnce) {
  int closings = 0;
  Win32ControlPanel panel(GetModuleHandleA(nullptr), [&] { ++closings; });
  panel.open();
  pump();
  EXPECT_TRUE(IsWindowVisible(panel.window()));
  EXPECT_EQ(text(panel.window()), MainFormCaption);

  // The page control's keys move to the next page.
  HWND tabs = FindWindowExA(panel.window(), nullptr, WC_TABCONTROLA, nullptr);
  ASSERT_NE(tabs, nullptr);
  SetFocus(tabs);
  SendMessageA(tabs, WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_EQ(panel.form().activePage(), AudioPage);

  // A click on the Static box, and the time-factor slider one step right.
  HWND camera = panel.control("VCamera");
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(SendMessageA(camera, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(camera, BM_CLICK, 0, 0);
  EXPECT_FALSE(panel.form().VCamera.checked);
  EXPECT_EQ(SendMessageA(camera, BM_GETCHECK, 0, 0), BST_UNCHECKED);

  HWND factor = panel.control("TrackBar11");
  ASSERT_NE(factor, nullptr);
  SendMessageA(factor, WM_KEYDOWN, VK_RIGHT, 0);
  SendMessageA(factor, WM_KEYUP, VK_RIGHT, 0);
  EXPECT_EQ(panel.form().TrackBar11.position, 101);
  EXPECT_EQ(text(panel.control("Panel19")), "101%");
  // Captions beyond ASCII show as themselves.
  wchar_t browse[32] = {};
  GetWindowTextW(panel.control("CdBrowse"), browse, 32);
  EXPECT_STREQ(browse, L"Disc image\u2026");

  // Controls the form disables are disabled; hints are the form's.
  EXPECT_FALSE(IsWindowEnabled(panel.control("TrackBar1"))); // volume, while the CD is off
  HWND tips = FindWindowA(TOOLTIPS_CLASSA, nullptr);
  ASSERT_NE(tips, nullptr);
  char hint[80] = {};
  TTTOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = GetParent(panel.control("Resolution"));
  tool.uId = reinterpret_cast<UINT_PTR>(panel.control("Resolution"));
  tool.lpszText = hint;
  SendMessageA(tips, TTM_GETTEXTA, sizeof hint, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(hint, "Display resolution");

  panel.close();
  panel.close();
  EXPECT_EQ(closings, 1);
  EXPECT_FALSE(IsWindowVisible(panel.window()));
  DWORD value = 99;
  ASSERT_TRUE(savedDword(LumenveilKey, "Static Camera", value));
  EXPECT_EQ(value, 0u);
  ASSERT_TRUE(savedDword(LumenveilKey, "TimeFactor", value));
  EXPECT_EQ(value, 101u);
}

TEST_F(PanelDialog, TheResolutionListEndsWithNativeAndAStoredNativeModeIsKept) {
  const char *const displayKey = "SOFTWARE\\Qbn\\Lumenveil\\1.1\\Display";
  const DWORD native = 6;
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, displayKey, "Mode", REG_DWORD, &native, sizeof native),
            ERROR_SUCCESS);
  {
    Win32ControlPanel panel(GetModuleHandleA(nullptr), [] {});
    panel.open();
    pump();
    HWND list = panel.control("Resolution");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 7);
    char entry[32] = {};
    SendMessageA(list, CB_GETLBTEXT, 6, reinterpret_cast<LPARAM>(entry));
    EXPECT_STREQ(entry, "Native");
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 6);
    EXPECT_EQ(text(list), "Native");
    panel.close();
  }
  DWORD value = 99;
  ASSERT_TRUE(savedDword(displayKey, "Mode", value));
  EXPECT_EQ(value, 6u);

  // Picked in the list from another mode, it is stored too.
  const DWORD small = 2;
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, displayKey, "Mode", REG_DWORD, &small, sizeof small);
  {
    Win32ControlPanel panel(GetModuleHandleA(nullptr), [] {});
    panel.open();
    pump();
    HWND list = panel.control("Resolution");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 2);
    SendMessageA(list, CB_SETCURSEL, 6, 0);
    SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    panel.close();
  }
  ASSERT_TRUE(savedDword(displayKey, "Mode", value));
  EXPECT_EQ(value, 6u);
}

namespace {

class PanelRun : public PanelDialog {
protected:
  void SetUp() override {
    PanelDialog::SetUp();
    app_ = makeWin32Application(presenter_);
    setApplication(app_.get());
    app_->initialize();
    app_->setTitle(Title);
    tela_ = app_->createControlPanel();
    ASSERT_NE(tela_, 0u);
    app_->processMessages();
    form_ = openMainForm();
    ASSERT_NE(form_, nullptr);
  }
  void TearDown() override {
    app_.reset();
    setApplication(nullptr);
    PanelDialog::TearDown();
  }
  void runUntilTerminated() {
    for (int pass = 0; pass < 100 && !app_->terminated(); ++pass) app_->processMessages();
  }
  static constexpr const char *Title = "Lumenveil panel test";
  GdiPresenter presenter_;
  std::unique_ptr<Application> app_;
  WindowHandle tela_ = 0;
  MainForm *form_ = nullptr;
};

} // namespace

TEST_F(PanelRun, EscapeClosesTheDialogSavingAndEndsTheRun) {
  form_->userClick(form_->VNebula); // the nebula switched off
  HWND dialog = FindWindowA(nullptr, MainFormCaption);
  ASSERT_NE(dialog, nullptr);
  PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
  runUntilTerminated();
  EXPECT_TRUE(app_->terminated());
  DWORD value = 99;
  ASSERT_TRUE(savedDword(LumenveilKey, "Mebula Backdrop", value));
  EXPECT_EQ(value, 0u);
}

TEST_F(PanelRun, AnotherCopysCloseRequestClosesTheDialogSaving) {
  form_->userClick(form_->VCamera);
  SendMessageA(FindWindowA(ApplicationWindowClass, Title), WM_CLOSE, 0x123, 0x123);
  runUntilTerminated();
  EXPECT_TRUE(app_->terminated());
  DWORD value = 99;
  ASSERT_TRUE(savedDword(LumenveilKey, "Static Camera", value));
  EXPECT_EQ(value, 0u);
}

TEST_F(PanelRun, ThePreviewPanelShowsTheFramesItIsGiven) {
  int width = 0, height = 0;
  ASSERT_TRUE(app_->windowSize(tela_, width, height));
  EXPECT_EQ(width, 348);
  EXPECT_EQ(height, 229);
  // Other windows take no frames.
  const uint16_t red[4] = {0xF800, 0xF800, 0xF800, 0xF800};
  EXPECT_FALSE(app_->drawImage565(tela_ + 1, red, 2, 2));

  HWND dialog = FindWindowA(nullptr, MainFormCaption);
  HWND about = FindWindowExA(dialog, nullptr, "TTabSheet", "About");
  HWND picture = about ? FindWindowExA(about, nullptr, "STATIC", nullptr) : nullptr;
  showPreviewPanel();
  app_->processMessages();
  HWND tela = reinterpret_cast<HWND>(tela_);
  ASSERT_TRUE(IsWindowVisible(tela));
  // The About picture hides with its frame.
  for (HWND w = picture; w; w = FindWindowExA(about, w, "STATIC", nullptr)) EXPECT_FALSE(IsWindowVisible(w));
  std::vector<uint16_t> frame(size_t(width) * height, 0x07E0); // green
  frame[0] = 0xF800;                                           // the top left red
  ASSERT_TRUE(app_->drawImage565(tela_, frame.data(), width, height));
  HDC dc = GetDC(tela);
  const COLORREF topLeft = GetPixel(dc, 1, 1), inside = GetPixel(dc, 40, 30);
  const COLORREF border = GetPixel(dc, 0, 0);
  ReleaseDC(tela, dc);
  EXPECT_EQ(topLeft, RGB(255, 0, 0));
  EXPECT_EQ(inside, RGB(0, 255, 0));
  EXPECT_EQ(border, RGB(128, 128, 128));
}

TEST(PanelPictures, ThePicturesDecodeAtTheirSizes) {
  int w = 0, h = 0;
  HBITMAP about = loadPicture(Image1ResourceId, w, h);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(w, 292);
  EXPECT_EQ(h, 212);
  DeleteObject(about);
  HBITMAP monitor = loadPicture(Image2ResourceId, w, h);
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(w, 96);
  EXPECT_EQ(h, 96);
  DeleteObject(monitor);
  // A resource that is no picture, and one that is not there.
  EXPECT_EQ(loadPicture(108, w, h), nullptr);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(loadPicture(999, w, h), nullptr);
}
