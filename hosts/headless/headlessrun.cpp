#include "hosts/headless/headlessrun.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "frame/fixedclock.h"
#include "app/entry.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "glide/extension.h"
#include "glide/presenter.h"
#include "glide/trace.h"
#include "hosts/headless/dumpresources.h"
#include "hosts/headless/headlessapp.h"
#include "hosts/headless/pngpresenter.h"
#ifndef _WIN32
#include "hosts/linux/cdplayer.h"
#endif
#include "frame/random.h"
#include "platform/ticks.h"
#include "settings/configuration.h"

namespace {

// Makes the folder and the folders above it, folder by folder, so that the
// message names the one that failed and why.
bool makeDirectory(const std::string &dir, std::string &error) {
  namespace fs = std::filesystem;
  fs::path partial;
  for (const fs::path &part : fs::path(dir)) {
    partial /= part;
    if (part.empty() || part == partial.root_path() || part == partial.root_name()) continue;
    std::error_code ec;
    if (fs::create_directory(partial, ec) || !ec) continue; // made, or a folder already
    std::error_code lc;
    if (fs::is_symlink(fs::symlink_status(partial, lc))) {
      std::error_code tc;
      if (fs::status(partial, tc).type() == fs::file_type::not_found) {
        error = "cannot create " + partial.string() + ": it is a symbolic link to nothing (" +
                fs::read_symlink(partial, lc).string() + ")";
        return false;
      }
      if (tc) ec = tc; // a loop of links, or one that leads where it may not
    }
    if (ec == std::errc::file_exists) {
      error = "cannot create " + partial.string() + ": a file that is not a folder has that name";
      return false;
    }
    error = "cannot create " + partial.string() + ": " + ec.message();
    return false;
  }
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    error = dir + " is not a folder" + (ec ? ": " + ec.message() : std::string());
    return false;
  }
  return true;
}
// The frames a replay writes: a picture that could not be written ends it.
// The frames a replay writes: a picture that could not be written ends it.
const PngPresenter *WatchedFrames = nullptr;

// Passes frames on to `next` after the first `drop` (the frames of a warm-up
// that had to be drawn).
class AfterWarmUp : public FramePresenter {
public:
  AfterWarmUp(FramePresenter *next, long drop) : next_(next), drop_(drop) {}
  void present(const PresentedFrame &frame) override {
    if (drop_ > 0)
      --drop_;
    else
      next_->present(frame);
  }

private:
  FramePresenter *next_;
  long drop_;
};

// Frames of a warm-up are worked out without being drawn unless the next
// frame reads the last one (motion blur): then they are drawn, and not shown.
bool warmUpDrawn() {
  GlobalConfiguration global;
  global.load();
  return global.MotionBlur != 0;
}
bool stopReplay() { return stopRequested() || (WatchedFrames && WatchedFrames->failed()); }
} // namespace

int runHeadless(const HeadlessRun &run) {
  std::string error;
  if (!run.dumpDir.empty()) {
    if (!makeDirectory(run.dumpDir, error) || !dumpResources(run.dumpDir.c_str(), error)) {
      std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
      return 1;
    }
    std::printf("Wrote the program's resources to %s\n", run.dumpDir.c_str());
    if (run.renderDir.empty() && !run.bench && run.replayPath.empty()) return 0;
  }
  // A trace that cannot be read is told before anything is made for its frames.
  if (!run.replayPath.empty()) {
    FILE *trace = std::fopen(run.replayPath.c_str(), "rb");
    if (!trace) {
      std::fprintf(stderr, "lumenveil: cannot read the trace file %s: %s\n", run.replayPath.c_str(),
                   std::strerror(errno));
      return 1;
    }
    std::fclose(trace);
  }
  if (!run.renderDir.empty() && !makeDirectory(run.renderDir, error)) {
    std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
    return 1;
  }

  PngPresenter png(run.renderDir);
  NullPresenter none;
  FramePresenter *presenter = nullptr;
  if (!run.renderDir.empty())
    presenter = &png;
  else
    presenter = &none;
  // --warm: the frames of that much scene time come first, untimed and unshown.
  const long warmFrames = run.warmSeconds > 0.0 && run.fps > 0.0 && run.replayPath.empty()
                              ? std::lround(run.warmSeconds * run.fps)
                              : 0;
  const bool drawWarmUp = warmFrames > 0 && warmUpDrawn();
  AfterWarmUp warmed(presenter, drawWarmUp ? warmFrames : 0);
  boardSetPresenter(&warmed);
  boardSkipFrames(drawWarmUp ? 0 : static_cast<int>(warmFrames));
  boardSetRetraceWait(run.paced);
  if (run.haveSeed) setFixedSeed(run.seed);
  if (run.fps > 0.0) setFixedClock(run.fps);
  if (!run.tracePath.empty() && !boardStartTrace(run.tracePath.c_str(), error)) {
    std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
    return 1;
  }

  int code = 0;
  long frames = 0;
  double seconds = 0.0, cpuSeconds = 0.0;
  if (!run.replayPath.empty()) {
    BoardReplayControl control;
    // SIGINT and SIGTERM end it at the next frame, as does a picture that
    // could not be written.
    WatchedFrames = &png;
    control.stopRequested = stopReplay;
    // A benchmark reads the whole trace first and times the board alone.
    BoardTrace trace;
    const bool read = !run.bench || boardReadTrace(run.replayPath.c_str(), trace, error);
    const double start = tickSeconds(), startCpu = processCpuSeconds();
    if (!read || !(run.bench ? boardReplayTrace(trace, error, control)
                             : boardReplay(run.replayPath.c_str(), error, control))) {
      if (!png.failed()) std::fprintf(stderr, "lumenveil: %s\n", error.c_str()); // told below
      code = 1;
    }
    WatchedFrames = nullptr;
    seconds = tickSeconds() - start;
    cpuSeconds = processCpuSeconds() - startCpu;
    frames = presenter == &png ? png.written() : none.count;
  } else {
#ifdef _WIN32
    // The Windows build has no CD player of its own yet.
    if (!run.audioOut.empty()) {
      std::fprintf(stderr, "lumenveil: --audio-out is not available in this build\n");
      std::string ignored;
      boardStopTrace(ignored);
      boardSetPresenter(nullptr);
      return 1;
    }
#else
    // The CD heard while the saver runs: into the file asked for, else to the sound server.
    if (!run.audioOut.empty()) {
      if (!useWavFileForCd(run.audioOut, error)) {
        std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
        std::string ignored;
        boardStopTrace(ignored);
        boardSetPresenter(nullptr);
        return 1;
      }
    } else {
      useSoundServerForCd();
    }
#endif
    HeadlessApplication app;
    app.setFrameLimit(run.frames);
    app.setUntimedFrames(warmFrames);
    app.setStopCheck([&png] { return png.failed(); });
    // The saver's window, and the screen, are the size asked for.
    if (run.width > 0 && run.height > 0) app.setScreen(run.width, run.height);
    setApplication(&app);
    DisplayModeOverride = run.mode;
    StatisticsOverride = run.showStatistics;
    // A random scene is picked by the frame loop.
    if (run.scene == AnyScene) selectScene(RandomScene);
    CommandLine saver;
    saver.letter = 's';
    saver.checkRunning = true;
    if (run.scene == 1 || run.scene == 2) saver.after = static_cast<char>('0' + run.scene);
    code = runSaver(nullptr, saver);
    frames = app.framesPainted();
    seconds = app.paintSeconds();
    cpuSeconds = app.paintCpuSeconds();
    setApplication(nullptr);
    if (code != 0) code = 1;
#ifndef _WIN32
    if (!finishCdAudio(error)) {
      std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
      if (frames < run.frames && !stopRequested())
        std::fprintf(stderr, "lumenveil: the run stopped there, after %ld of %ld frames\n", frames,
                     run.frames);
      code = 1;
    }
#endif
    // A signal ends the run early: the frames asked for were not all made.
    if (stopRequested() && frames < run.frames) {
      std::fprintf(stderr, "lumenveil: stopped by a signal after %ld of %ld frames\n", frames, run.frames);
      code = 1;
    }
  }
  if (!boardStopTrace(error)) {
    std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
    code = 1;
  }
  boardSetPresenter(nullptr);
  boardSkipFrames(0);

  if (png.failed()) {
    std::fprintf(stderr, "lumenveil: %s\n", png.error().c_str());
    std::fprintf(stderr, "lumenveil: the render stopped there; %ld frame%s written before it\n",
                 png.written(), png.written() == 1 ? " was" : "s were");
    return 1;
  }
  if (run.bench) {
    std::printf("frames %ld seconds %.3f fps %.1f cpu %.3f ms a frame\n", frames, seconds,
                seconds > 0.0 ? static_cast<double>(frames) / seconds : 0.0,
                frames > 0 ? cpuSeconds * 1000.0 / static_cast<double>(frames) : 0.0);
  } else if (!run.renderDir.empty()) {
    std::printf("Wrote %ld frame%s to %s/frame-000001.png%s\n", png.written(), png.written() == 1 ? "" : "s",
                run.renderDir.c_str(), png.written() > 1 ? " onward" : "");
    // Frames of an earlier, longer run stay in the folder: say so.
    long older = 0;
    char name[32];
    std::error_code ignored;
    while (std::snprintf(name, sizeof name, "/frame-%06ld.png", png.written() + older + 1) > 0 &&
           std::filesystem::exists(run.renderDir + name, ignored))
      ++older;
    if (older > 0)
      std::printf("%ld older frame%s from an earlier run left there, from frame-%06ld.png on\n", older,
                  older == 1 ? "" : "s", png.written() + 1);
  }
  return code;
}
