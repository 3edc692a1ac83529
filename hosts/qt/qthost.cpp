#include "hosts/qt/qthost.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <QStringList>

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

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
#include "hosts/qt/screencopies.h"
#include "hosts/qt/screens.h"
#include "hosts/qt/windowpresenter.h"
#include "hosts/qt/x11window.h"
#include "frame/random.h"
#include "settings/configuration.h"

namespace {

bool haveDisplay() {
  return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

// Whether the run draws into a window of the X server it is given (a
// screen-saver daemon's, or the one a preview is drawn into), which only the
// toolkit's X11 plug-in can: in a Wayland session too, through XWayland.
bool drawsIntoXWindow(const WindowedRun &run) {
  return run.root || run.windowId || (run.switches.mode == RunMode::Preview && run.switches.handle != 0);
}

// The screen of the copy this run is (LUMENVEIL_SCREEN, set by the run on
// the first screen for each other one), taken from the environment so that
// nothing the copy starts inherits it; empty for a run of its own.
std::string takeScreenCopyName() {
  const char *name = std::getenv(ScreenVariable);
  std::string screen = name ? name : "";
  unsetenv(ScreenVariable);
  return screen;
}

} // namespace

int runQtHost(int argc, char **argv, const WindowedRun &given) {
  WindowedRun run = given;
  // The program's own arguments, as the toolkit has not yet read them: the
  // copies on other screens are started with them.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const std::string screen = takeScreenCopyName();
  if (!screen.empty()) {
    // A copy runs beside the first screen's run, not as an instance of its
    // own, and ends with it, however that ends; the trace is the first's.
    run.switches.checkRunning = false;
    run.tracePath.clear();
    // Its own scene: random numbers of its own, whatever the first's seed
    // (the copies start in the same second, and the seed counts seconds).
    run.haveSeed = true;
    run.seed = timeSeed() + static_cast<unsigned>(getpid());
    prctl(PR_SET_PDEATHSIG, SIGTERM);
  }
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
  if (drawsIntoXWindow(run) && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);
  // The saver, its preview and the control panel's choice draw at the size
  // of the window they are shown in, unless the user stored a display mode of
  // their own (writing the defaults writes the table's).
  const RunMode mode = run.switches.mode;
  if (mode == RunMode::Saver || mode == RunMode::Preview || mode == RunMode::Configure)
    setRunDefaultDisplayMode(NativeDisplayMode);
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
  // -window: an ordinary window of the program's own, which the saver fills
  // as it fills a daemon's (input does not end it); closing it ends the run.
  QPointer<QWidget> ownWindow;
  const struct Closer {
    QPointer<QWidget> &window;
    ~Closer() { delete window.data(); }
  } closer{ownWindow};
  if (run.ownWindow) {
    ownWindow = new QWidget;
    ownWindow->setAttribute(Qt::WA_DeleteOnClose);
    ownWindow->setWindowTitle(QStringLiteral("Lumenveil"));
    ownWindow->resize(800, 600);
    ownWindow->show();
    run.windowId = static_cast<unsigned long>(ownWindow->winId());
  }
  if (!screen.empty() && !screenNamed(QString::fromStdString(screen)))
    return endWindowedRun(ScreenGoneExitCode);
  if (run.windowId && !windowExists(run.windowId)) {
    std::fprintf(stderr, "lumenveil: there is no window %lu (0x%lx) to draw into\n", run.windowId,
                 run.windowId);
    return endWindowedRun(-1);
  }
  // The first screen's run alone drives the monitors' power.
  DesktopPorts ports(run.root || run.windowId != 0 || !screen.empty());
  WindowPresenter presenter;
  boardSetPresenter(&presenter);
  // The CD plays from the first screen's run alone.
  if (screen.empty()) useSoundServerForCd();
  useSystemCdDrives(); // the control panel offers them
  int code = 0;
  {
    QtApplication app(run, &presenter, arguments, QString::fromStdString(screen));
    setApplication(&app);
    code = runSaver(nullptr, run.switches);
    setApplication(nullptr);
  }
  std::string cdError;
  finishCdAudio(cdError); // nothing to report: the sound went to the sound server
  boardSetPresenter(nullptr);
  return endWindowedRun(code);
}
