#include "hosts/common/runsetup.h"

#include <cstdio>
#include <string>

#include "display/frameloop.h"
#include "glide/trace.h"
#include "frame/random.h"
#include "settings/configuration.h"

bool beginWindowedRun(const WindowedRun &run) {
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
