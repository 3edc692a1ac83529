#include "app/entry.h"

#include <cctype>
#include <cstdlib>
#include <exception>

#include "app/password.h"
#include "app/power.h"
#include "app/preview.h"
#include "app/program.h"
#include "app/saverwindow.h"
#include "controlpanel/mainform.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "platform/registry_store.h"
#include "platform/ticks.h"
#include "platform/timers.h"
#include "settings/configuration.h"

const char *const SaverTitle = "Lumenveil & Astrel-1";
const char *const ControlPanelTitle = "Lumenveil & Astrel-1 Control Panel";

namespace {
long readHandle(const std::string &line, size_t slash) {
  const size_t at = slash + 3;
  if (at >= line.size()) return 0;
  const char *p = line.c_str() + at;
  // The handle is read like "%d": leading blanks, an optional sign, digits.
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  char *end = nullptr;
  long v = std::strtol(p, &end, 10);
  if (end == p) return 0;
  return v;
}
} // namespace

CommandLine parseCommandLine(const std::string &line) {
  CommandLine c;
  const size_t slash = line.find('/');
  if (slash == std::string::npos) return c;
  if (slash + 1 < line.size())
    c.letter = static_cast<char>(std::tolower(static_cast<unsigned char>(line[slash + 1])));
  if (slash + 2 < line.size()) c.after = line[slash + 2];
  switch (c.letter) {
  case 'a':
    c.mode = RunMode::ChangePassword;
    c.handle = readHandle(line, slash);
    break;
  case 'd': c.mode = RunMode::WriteDefaults; break;
  case 'p':
  case 'l':
    c.mode = RunMode::Preview;
    c.handle = readHandle(line, slash);
    break;
  case 's':
    c.mode = RunMode::Saver;
    c.checkRunning = true;
    break;
  case 'c':
    c.mode = RunMode::Configure;
    c.checkRunning = true;
    c.handle = readHandle(line, slash); // /c:HWND: the window the dialog belongs to
    break;
  default: c.mode = RunMode::Saver; break;
  }
  return c;
}

bool findRunningInstance(const std::string &title, bool closeIt) {
  Application &app = application();
  if (!app.findInstance(title)) return false;
  app.raiseInstance(title);
  if (closeIt) {
    app.closeInstance(title);
    sleepMilliseconds(2000);
  }
  return true;
}

bool isWindowsNT() { return application().platformId() == LV_VER_PLATFORM_WIN32_NT; }
bool isWindows9x() { return application().platformId() == LV_VER_PLATFORM_WIN32_WINDOWS; }

void announceSaverRunning(bool usePassword) {
  if (usePassword && isWindows9x()) application().setScreenSaverRunning(true);
}

void announceSaverEnded() {
  if (isWindows9x()) application().setScreenSaverRunning(false);
}

int runSaver(void *instance, const std::string &commandLine) {
  return runSaver(instance, parseCommandLine(commandLine));
}

int runSaver(void *instance, const CommandLine &c) {
  Application &app = application();
  connectProgram();
  bool saver = true;

  switch (c.mode) {
  case RunMode::ChangePassword:
    if (isWindowsNT()) return 0;
    changeSaverPassword(static_cast<WindowHandle>(c.handle));
    return 0;
  case RunMode::WriteDefaults:
    // A failed save has told the user why; it is not reported as done.
    if (writeDefaultSettings() != 0) return 1;
    {
      // Where the settings went, on a second line, for a reader who wants to look.
      std::string text = "Updated Windows Registry with default configuration.";
      if (!registryFilePath().empty()) text += "\n" + registryFilePath();
      messageBox(text.c_str(), "", LV_MB_OK);
    }
    return 0;
  case RunMode::Preview:
    app.destroyHiddenWindow();
    return runPreview(static_cast<WindowHandle>(c.handle), instance);
  case RunMode::Saver:
    if (c.checkRunning) {
      if (findRunningInstance(SaverTitle, false)) return 0;
      if (c.after == '1') selectScene(FirstScene);
      if (c.after == '2') selectScene(SecondScene);
    }
    break;
  case RunMode::Configure:
    if (findRunningInstance(ControlPanelTitle, false)) return 0;
    saver = false;
    break;
  }

  if (saver) findRunningInstance(ControlPanelTitle, true);

  try {
    app.initialize();
    SavedMessageHandler = app.messageHandler();
    UsePassword = readPasswordFlag();
    if (saver) {
      announceSaverRunning(UsePassword);
      startPowerManagement();
      app.setMessageHandler(saverHookHandler());
      watchSystemPower();
      app.setTitle(SaverTitle);
      SaverWindow = app.createSaverWindow();
      app.setForegroundWindow(SaverWindow);
      setRenderWindow(SaverWindow);
      app.setCapture(SaverWindow);
      app.showCursor(false);
    } else {
      app.setTitle(ControlPanelTitle);
      app.setDialogOwner(static_cast<WindowHandle>(c.handle));
      setRenderWindow(app.createControlPanel());
    }

    const bool ok = initFrameLoop(saver);
    if (ok && !saver) showPreviewPanel();
    if (!ok && saver) {
      messageBox("Failed to initialize 3DFX hardware.\nProbable cause:\nHardware already taken by "
                 "another application;\nInvalid display mode requested.",
                 "Error", LV_MB_OK);
      announceSaverEnded();
      return -1;
    }
    if (saver) {
      app.setStayOnTop(SaverWindow);
      app.showCursor(false);
    }

    while (!app.terminated()) {
      if (saver)
        app.invalidate(SaverWindow);
      else
        renderFrame();
      app.processMessages();
      timers().dispatchDueTimers();
      // A dark monitor gets no frames: wait for input or a timer instead of spinning.
      if (saver && MonitorOff && !app.terminated()) timers().idleWait(100);
    }
  } catch (const std::exception &e) {
    if (saver) {
      setGlideOutput(false);
      app.showCursor(true);
      app.hideWindow(SaverWindow);
    }
    beep(100, 1000);
    app.showException(e.what());
  }

  SavedMessageHandler = MessageHandler{};
  if (saver) {
    restoreMonitorPower();
    app.releaseCapture();
    announceSaverEnded();
  }
  shutdownDisplay();
  return 0;
}
