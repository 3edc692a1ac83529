#include "hosts/common/runsetup.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "display/frameloop.h"
#include "glide/trace.h"
#include "frame/random.h"
#include "settings/configuration.h"

bool beginWindowedRun(const WindowedRun &run) {
#ifndef _WIN32
  // -display NAME: the X display, as X programs take it (the toolkit then
  // uses X there, whatever other session it was started in).
  if (!run.display.empty()) {
    setenv("DISPLAY", run.display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 0);
  }
  // -window: the saver fills a window of the program's own as it fills a
  // daemon's, which only the toolkit's X11 plug-in can (XWayland included).
  if (run.ownWindow) setenv("QT_QPA_PLATFORM", "xcb", 0);
#endif
  if (run.haveSeed) setFixedSeed(run.seed);
  StatisticsOverride = run.showStatistics;
  if (run.scene == AnyScene) selectScene(RandomScene);
  if (run.scene == 1) selectScene(FirstScene);
  if (run.scene == 2) selectScene(SecondScene);
  std::string error;
  if (!run.tracePath.empty() && !boardStartTrace(run.tracePath.c_str(), error)) {
    std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
    return false;
  }
  return true;
}

int endWindowedRun(int code) {
  std::string error;
  if (!boardStopTrace(error)) {
    std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
    return 1;
  }
  return code;
}
