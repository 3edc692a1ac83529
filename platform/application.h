// The application object and the window services the program's start-up,
// main loop and saver window rely on. A host (the Qt host, the headless host,
// a test's fake) implements it and installs it before calling runSaver.
//
// Input reaches the program as Win32-style message records; the host
// translates its native events into them and passes every one through the
// installed message hook before acting on it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/window.h"

// Message codes the saver's hook looks at.
constexpr uint32_t LV_WM_DESTROY = 0x0002;
constexpr uint32_t LV_WM_ACTIVATE = 0x0006;
constexpr uint32_t LV_WM_KILLFOCUS = 0x0008;
constexpr uint32_t LV_WM_PAINT = 0x000F;
constexpr uint32_t LV_WM_CLOSE = 0x0010;
constexpr uint32_t LV_WM_ACTIVATEAPP = 0x001C;
constexpr uint32_t LV_WM_NCACTIVATE = 0x0086;
constexpr uint32_t LV_WM_KEYDOWN = 0x0100;
constexpr uint32_t LV_WM_KEYUP = 0x0101;
constexpr uint32_t LV_WM_CHAR = 0x0102;
constexpr uint32_t LV_WM_DEADCHAR = 0x0103;
constexpr uint32_t LV_WM_SYSKEYDOWN = 0x0104;
constexpr uint32_t LV_WM_SYSCOMMAND = 0x0112;
constexpr uint32_t LV_WM_TIMER = 0x0113;
constexpr uint32_t LV_WM_MOUSEMOVE = 0x0200;
constexpr uint32_t LV_WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t LV_WM_LBUTTONUP = 0x0202;
constexpr uint32_t LV_WM_LBUTTONDBLCLK = 0x0203;
constexpr uint32_t LV_WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t LV_WM_RBUTTONUP = 0x0205;
constexpr uint32_t LV_WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t LV_WM_MBUTTONUP = 0x0208;

constexpr uintptr_t LV_SC_NEXTWINDOW = 0xF040;
constexpr uintptr_t LV_SC_PREVWINDOW = 0xF050;
constexpr uintptr_t LV_SC_CLOSE = 0xF060;
constexpr uintptr_t LV_SC_SCREENSAVE = 0xF140;
constexpr uintptr_t LV_SC_MONITORPOWER = 0xF170;

struct Message {
  WindowHandle window = 0;
  uint32_t code = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

// Packs client coordinates the way mouse messages carry them.
inline intptr_t makeMouseLParam(int x, int y) {
  return static_cast<intptr_t>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}

// The application-wide message handler: sees every message before dispatch;
// setting handled stops it from being dispatched.
struct MessageHandler {
  void (*code)(const Message &message, bool &handled, void *data) = nullptr;
  void *data = nullptr;
};

// Raised for errors the application object reports to the user (the one
// exception the entry point catches).
class FrameworkError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Which family of systems we run on, as the version query reports it.
constexpr int LV_VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr int LV_VER_PLATFORM_WIN32_NT = 2;

class Application {
public:
  virtual ~Application() = default;

  // The application object.
  virtual void initialize() = 0;
  virtual void setTitle(const std::string &title) = 0;
  virtual void processMessages() = 0; // all pending messages, through the hook
  virtual bool terminated() const = 0;
  virtual void terminate() = 0; // posts the quit request
  virtual void setMessageHandler(const MessageHandler &handler) = 0;
  virtual MessageHandler messageHandler() const = 0;
  virtual void showException(const std::string &message) = 0;
  virtual void destroyHiddenWindow() = 0;

  // Windows of the two run modes. The saver window's paint, create and close
  // handlers are the emptyForm* functions of app/saverwindow.h.
  virtual WindowHandle createSaverWindow() = 0;
  // The window the control-panel dialog is to belong to (0: none); a handle
  // that names no window is ignored. Hosts whose dialogs belong to nothing
  // ignore it.
  virtual void setDialogOwner(WindowHandle) {}
  // Creates the control-panel dialog; returns its preview panel's window (0: none).
  virtual WindowHandle createControlPanel() = 0;
  virtual void closeWindow(WindowHandle window) = 0;

  // Window services.
  virtual void invalidate(WindowHandle window) = 0;
  virtual void setForegroundWindow(WindowHandle window) = 0;
  virtual void setFocus(WindowHandle window) = 0;
  virtual void bringWindowToTop(WindowHandle window) = 0;
  virtual void setCapture(WindowHandle window) = 0;
  virtual void releaseCapture() = 0;
  virtual void showCursor(bool show) = 0;
  virtual void hideWindow(WindowHandle window) = 0;
  virtual void setStayOnTop(WindowHandle window) = 0;
  virtual WindowHandle activeWindow() = 0;
  // Width and height of a window, false when there is no such window.
  virtual bool windowSize(WindowHandle window, int &width, int &height) = 0;
  // The size of the screen in pixels.
  virtual void screenSize(int &width, int &height) = 0;

  // Other running copies, found by their application title.
  virtual bool findInstance(const std::string &title) = 0;
  virtual void raiseInstance(const std::string &title) = 0;
  virtual void closeInstance(const std::string &title) = 0; // the 0x123 close request

  // Draws a top-down RGB 565 image at the window's top left (the control
  // panel's frame copy); false when the window cannot take such images.
  virtual bool drawImage565(WindowHandle window, const uint16_t *pixels, int width, int height) = 0;

  // The system.
  virtual int platformId() = 0;
  virtual void setScreenSaverRunning(bool running) = 0;
};

// The host's application; set before runSaver.
void setApplication(Application *application);
Application &application();
bool haveApplication();
