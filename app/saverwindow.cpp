#include "app/saverwindow.h"

#include <cstdlib>

#include "app/entry.h"
#include "app/password.h"
#include "app/power.h"
#include "cdaudio/cdaudio.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"

MousePosition LastMousePosition;
bool FirstMouseMove = true;
bool UsePassword = false;
WindowHandle SaverWindow = 0;
MessageHandler SavedMessageHandler;

namespace {
// The saver window's CD player: shares the drive with other programs.
MediaPlayer MediaPlayer1(true, mediaPlayer1Notify);

bool isActivation(uint32_t code) {
  return code == LV_WM_ACTIVATE || code == LV_WM_ACTIVATEAPP || code == LV_WM_NCACTIVATE;
}

bool isInput(uint32_t code) {
  switch (code) {
  case LV_WM_KEYDOWN:
  case LV_WM_DEADCHAR:
  case LV_WM_LBUTTONDOWN:
  case LV_WM_LBUTTONUP:
  case LV_WM_RBUTTONDOWN:
  case LV_WM_RBUTTONUP:
  case LV_WM_MBUTTONDOWN:
  case LV_WM_MBUTTONUP: return true;
  default: return false;
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
  startCdAudio(&MediaPlayer1);
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
  case LV_WM_DESTROY: requestSaverEnd(); return;
  case LV_WM_KILLFOCUS:
    if (haveApplication()) application().setFocus(m.window);
    handled = true;
    return;
  case LV_WM_SYSCOMMAND:
    if (m.wParam == LV_SC_MONITORPOWER && m.lParam > 0 && !PowerOverrideActive) {
      setGlideOutput(false);
      MonitorOff = true;
      setTaskPriority(1);
    }
    if (m.wParam == LV_SC_SCREENSAVE || m.wParam == LV_SC_CLOSE || m.wParam == LV_SC_NEXTWINDOW ||
        m.wParam == LV_SC_PREVWINDOW)
      handled = true;
    return;
  case LV_WM_MOUSEMOVE:
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
