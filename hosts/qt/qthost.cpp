#include "hosts/qt/qthost.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/entry.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "glide/trace.h"
#include "hosts/common/runsetup.h"
#include "hosts/headless/headlessapp.h"
#include "hosts/headless/lumenveilmain.h"
#include "hosts/linux/cddrives.h"
#include "hosts/linux/cdplayer.h"
#include "hosts/qt/desktopports.h"
#include "hosts/qt/displayreach.h"
#include "hosts/qt/qtapplication.h"
#include "hosts/qt/windowpresenter.h"
#include "hosts/qt/x11window.h"
#include "frame/random.h"
#include "settings/configuration.h"

namespace {

bool haveDisplay() {
  return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

} // namespace

int runQtHost(int argc, char **argv, const WindowedRun &given) {
  WindowedRun run = given;
  // A screen-saver daemon that passes -root names the window to draw into in
  // XSCREENSAVER_WINDOW (its virtual root).
  if (run.root && !run.windowId) {
    if (const char *w = std::getenv("XSCREENSAVER_WINDOW")) {
      if (!parseWindowId(w, run.windowId)) {
        std::fprintf(stderr, "lumenveil: XSCREENSAVER_WINDOW=%s is not a window id\n", w);
        return -1;
      }
    }
  }
  // A daemon's hack draws at the size of the window it is given, unless the
  // user stored a display mode of their own.
  if (run.root || run.windowId) setRunDefaultDisplayMode(NativeDisplayMode);
  if (!beginWindowedRun(run)) return 1;
  // No screen, or one that cannot be reached: the switches that need no
  // window still work.
  const std::string noDisplay = haveDisplay() ? displayUnreachable() : "no display (DISPLAY is not set)";
  if (!noDisplay.empty()) {
    if (run.switches.mode == RunMode::Preview) std::fprintf(stderr, "lumenveil: %s\n", noDisplay.c_str());
    return endWindowedRun(runWithoutWindow(run.switches, noDisplay.c_str()));
  }
  std::optional<DisplayStartGuard> startGuard(std::in_place);
  QApplication qtApp(argc, argv);
  startGuard.reset();
  if (run.windowId && !windowExists(run.windowId)) {
    std::fprintf(stderr, "lumenveil: there is no window %lu (0x%lx) to draw into\n", run.windowId,
                 run.windowId);
    return endWindowedRun(-1);
  }
  DesktopPorts ports(run.root || run.windowId != 0);
  WindowPresenter presenter;
  boardSetPresenter(&presenter);
  useSoundServerForCd();
  useSystemCdDrives(); // the control panel offers them
  int code = 0;
  {
    QtApplication app(run, &presenter);
    setApplication(&app);
    code = runSaver(nullptr, run.switches);
    setApplication(nullptr);
  }
  std::string cdError;
  finishCdAudio(cdError); // nothing to report: the sound went to the sound server
  boardSetPresenter(nullptr);
  return endWindowedRun(code);
}
