#include "app/saverwindow.h"

#include <cstdlib>

#include "app/entry.h"
#include "app/password.h"
#include "app/power.h"
#include "controlpanel/cdaudio.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"

MousePosition LastMousePosition;
bool FirstMouseMove = true;
bool UsePassword = false;
WindowHandle SaverWindow = 0;
MessageHandler SavedMessageHandler;

namespace {
MediaPlayer *MediaPlayer1 = nullptr; // the CD player of the saver window (no device yet)

bool isActivation(uint32_t code) {
  return code == WM_ACTIVATE || code == WM_ACTIVATEAPP || code == WM_NCACTIVATE;
}

bool isInput(uint32_t code) {
  switch (code) {
  case WM_KEYDOWN:
  case WM_DEADCHAR:
  case WM_LBUTTONDOWN:
  case WM_LBUTTONUP:
  case WM_RBUTTONDOWN:
  case WM_RBUTTONUP:
  case WM_MBUTTONDOWN:
  case WM_MBUTTONUP:
    return true;
  default:
    return false;
  }
}

void mouseTest(intptr_t lParam) {
  const uint32_t packed = static_cast<uint32_t>(lParam);
  const int32_t x = static_cast<int32_t>(packed & 0xFFFFu);
  const int32_t y = static_cast<int32_t>((packed >> 16) & 0xFFFFu);
  const int32_t dx = LastMousePosition.x - x;
  const int32_t dy = LastMousePosition.y - y;
  if (FirstMouseMove)
    FirstMouseMove = false;
  else if (std::abs(dx) > 10 || std::abs(dy) > 10)
    requestSaverEnd();
  LastMousePosition.x = x;
  LastMousePosition.y = y;
}
} // namespace

void emptyFormCreate() {
  // The window covers the whole screen; the host sizes it. Then the CD starts.
  startCdAudio(MediaPlayer1);
}

void emptyFormPaint() { renderFrame(); }

void emptyFormClose() { stopCdAudio(); }

void mediaPlayer1Notify() { playNextTrack(); }

void saverMessageHook(const Message &m, bool &handled, void *) {
  if (isActivation(m.code)) {
    if (m.wParam == 0) {
      requestSaverEnd();
      handled = true;
    }
    return;
  }
  switch (m.code) {
  case WM_DESTROY:
    requestSaverEnd();
    return;
  case WM_KILLFOCUS:
    if (haveApplication()) application().setFocus(m.window);
    handled = true;
    return;
  case WM_SYSCOMMAND:
    if (m.wParam == SC_MONITORPOWER && m.lParam > 0 && !PowerOverrideActive) {
      setGlideOutput(false);
      MonitorOff = true;
      setTaskPriority(1);
    }
    if (m.wParam == SC_SCREENSAVE || m.wParam == SC_CLOSE || m.wParam == SC_NEXTWINDOW ||
        m.wParam == SC_PREVWINDOW)
      handled = true;
    return;
  case WM_MOUSEMOVE:
    mouseTest(m.lParam);
    handled = true;
    return;
  default:
    if (isInput(m.code) && ElapsedSeconds >= 2.0f) requestSaverEnd();
    return;
  }
}

MessageHandler saverHookHandler() {
  MessageHandler h;
  h.code = saverMessageHook;
  h.data = &SavedMessageHandler;
  return h;
}

void requestSaverEnd() {
  setGlideOutput(false);
  Application &app = application();
  app.setMessageHandler(SavedMessageHandler);
  if (UsePassword && isWindows9x()) {
    app.bringWindowToTop(SaverWindow);
    app.showCursor(true);
    if (!verifySaverPassword(SaverWindow)) {
      setGlideOutput(true);
      app.showCursor(false);
      startPowerManagement();
      app.setMessageHandler(saverHookHandler());
      return;
    }
  }
  if (SaverWindow) app.closeWindow(SaverWindow);
  app.terminate();
}

void bringRenderWindowToFront() {
  if (RenderWindow && haveApplication()) {
    application().setForegroundWindow(RenderWindow);
    application().setFocus(RenderWindow);
  }
}

void resetSaverWindowState() {
  LastMousePosition = MousePosition{};
  FirstMouseMove = true;
  UsePassword = false;
  SaverWindow = 0;
  SavedMessageHandler = MessageHandler{};
}
