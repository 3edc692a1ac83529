#include "hosts/headless/cli.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/entry.h"
#include "hosts/headless/dumpresources.h"
#include "display/frameloop.h"
#include "glide/presenter.h"
#include "glide/trace.h"
#include "hosts/headless/headlessapp.h"
#include "hosts/headless/pngpresenter.h"
#include "platform/random.h"
#include "platform/ticks.h"

const char *const UsageText =
    "Usage: lumenveil [SWITCH]\n"
    "       lumenveil OPTION...\n"
    "\n"
    "Lumenveil & Astrel-1, a 3D screen saver: glowing particle creatures, or a living\n"
    "star field, over a nebula sky.\n"
    "\n"
    "Screen-saver switches (as the system passes them; case does not matter):\n"
    "  /s          run the saver full screen (/s1 first scene, /s2 second scene)\n"
    "  /c          open the control panel (the settings; closing it saves them)\n"
    "  /p N, /l N  draw the preview into window N\n"
    "  /a N        change the saver password (systems where the saver asks for it)\n"
    "  /d          write the default settings\n"
    "  (none)      run the saver\n"
    "\n"
    "Options:\n"
    "  --render DIR         render headless, one PNG per frame: DIR/frame-000001.png ...\n"
    "  --frames N           frames to render (default 1)\n"
    "  --fps F              advance the clock a fixed 1/F s per frame\n"
    "  --seed S             use S in place of every time-based random seed\n"
    "  --scene 1|2          the first or the second scene (default: the saved choice)\n"
    "  --mode M             display mode for this run: 0 800x600, 1 640x480, 2 512x384,\n"
    "                       3 1024x768, 4 1280x1024, 5 1600x1200\n"
    "  --bench              render headless without writing files; print frames per second\n"
    "  --trace FILE         write every board call to FILE\n"
    "  --replay FILE        render a board trace (with --render or --bench)\n"
    "  --dump-resources DIR write the program's textures, font and images as PNGs\n"
    "  -root                run the saver on the whole screen, or in the window that\n"
    "                       XSCREENSAVER_WINDOW names (screen-saver daemons)\n"
    "  -window-id ID        run the saver inside window ID (screen-saver daemons)\n"
    "  --help               show this text\n"
    "\n"
    "Settings are kept in $LUMENVEIL_REGISTRY, else $XDG_CONFIG_HOME/lumenveil/registry.reg,\n"
    "else ~/.config/lumenveil/registry.reg.\n";

namespace {
bool parseLong(const std::string &s, long &out) {
  if (s.empty()) return false;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 0);
  if (errno != 0 || *end != '\0') return false;
  out = v;
  return true;
}

} // namespace

bool parseWindowId(const std::string &s, unsigned long &id) {
  long n = 0;
  // X window ids are 32-bit; a larger number would be cut to another window.
  if (!parseLong(s, n) || n <= 0 || n > 0xFFFFFFFFL) return false;
  id = static_cast<unsigned long>(n);
  return true;
}

namespace {

bool parseDouble(const std::string &s, double &out) {
  if (s.empty()) return false;
  char *end = nullptr;
  errno = 0;
  double v = std::strtod(s.c_str(), &end);
  if (errno != 0 || *end != '\0') return false;
  out = v;
  return true;
}

bool makeDirectory(const std::string &dir, std::string &error) {
  std::string partial;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || (dir[i] == '/' && i > 0)) {
      partial = dir.substr(0, i);
      if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
        error = "cannot create " + partial + ": " + std::strerror(errno);
        return false;
      }
    }
  }
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = dir + " is not a directory";
    return false;
  }
  return true;
}
} // namespace

CliParse parseArguments(const std::vector<std::string> &args) {
  CliParse p;
  if (args.empty() || args[0].empty() || args[0][0] != '-') {
    std::string line;
    for (size_t i = 0; i < args.size(); ++i) {
      if (i) line += ' ';
      line += args[i];
    }
    p.action = CliAction::Windowed;
    p.windowed.commandLine = line;
    return p;
  }
  bool headless = false, windowed = false;
  auto fail = [&](const std::string &e) {
    p.action = CliAction::Error;
    p.error = e;
    return p;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    auto value = [&](std::string &out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    long n = 0;
    if (a == "--help" || a == "-h" || a == "-help") {
      p.action = CliAction::Help;
      return p;
    } else if (a == "--render") {
      if (!value(v) || v.empty()) return fail("--render needs a directory");
      p.headless.renderDir = v;
      headless = true;
    } else if (a == "--frames") {
      if (!value(v) || !parseLong(v, n) || n < 1) return fail("--frames needs a whole number of at least 1");
      p.headless.frames = n;
    } else if (a == "--fps") {
      double f = 0;
      if (!value(v) || !parseDouble(v, f) || !(f >= 0.01) || f > 100000.0)
        return fail("--fps needs a number of frames per second from 0.01 to 100000");
      p.headless.fps = f;
    } else if (a == "--seed") {
      if (!value(v) || !parseLong(v, n) || n < 0 || n > 0xFFFFFFFFL)
        return fail("--seed needs a whole number from 0 to 4294967295");
      p.headless.haveSeed = p.windowed.haveSeed = true;
      p.headless.seed = p.windowed.seed = static_cast<unsigned>(n);
    } else if (a == "--scene") {
      if (!value(v) || !parseLong(v, n) || (n != 1 && n != 2)) return fail("--scene needs 1 or 2");
      p.headless.scene = static_cast<int>(n);
    } else if (a == "--mode") {
      if (!value(v) || !parseLong(v, n) || n < 0 || n > 5) return fail("--mode needs a mode from 0 to 5");
      p.headless.mode = static_cast<int>(n);
    } else if (a == "--bench") {
      p.headless.bench = true;
      headless = true;
    } else if (a == "--trace") {
      if (!value(v) || v.empty()) return fail("--trace needs a file");
      p.headless.tracePath = p.windowed.tracePath = v;
    } else if (a == "--replay") {
      if (!value(v) || v.empty()) return fail("--replay needs a file");
      p.headless.replayPath = v;
      headless = true;
    } else if (a == "--dump-resources") {
      if (!value(v) || v.empty()) return fail("--dump-resources needs a directory");
      p.headless.dumpDir = v;
      headless = true;
    } else if (a == "-root" || a == "--root") {
      p.windowed.root = true;
      windowed = true;
    } else if (a == "-window-id" || a == "--window-id") {
      unsigned long id = 0;
      if (!value(v) || !parseWindowId(v, id))
        return fail("-window-id needs a window number from 1 to 4294967295 (0xFFFFFFFF)");
      p.windowed.windowId = id;
      windowed = true;
    } else if (a == "-install" || a == "-visual" || a == "-nice") {
      // Options a screen-saver daemon may pass that change nothing here.
      if (a != "-install" && !value(v)) return fail(a + " needs a value");
    } else {
      return fail("unknown option " + a + " (see --help)");
    }
  }
  if (headless && windowed) return fail("-root and -window-id cannot be combined with headless options");
  if (!p.headless.renderDir.empty() && p.headless.bench)
    return fail("--render and --bench cannot be combined");
  if (headless) {
    p.action = CliAction::Headless;
  } else if (windowed) {
    p.action = CliAction::Windowed;
    p.windowed.commandLine = "/s";
  } else {
    return fail("nothing to do: give --render DIR, --bench, --replay FILE or --dump-resources DIR (see --help)");
  }
  if (p.headless.scene) p.windowed.commandLine = "/s" + std::to_string(p.headless.scene);
  return p;
}

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
  boardSetPresenter(presenter);
  boardSetRetraceWait(false);
  if (run.haveSeed) setFixedSeed(run.seed);
  if (run.fps > 0.0) setFixedClock(run.fps);
  if (!run.tracePath.empty() && !boardStartTrace(run.tracePath.c_str(), error)) {
    std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
    return 1;
  }

  int code = 0;
  long frames = 0;
  double seconds = 0.0;
  if (!run.replayPath.empty()) {
    BoardReplayControl control;
    control.stopRequested = stopRequested;  // SIGINT and SIGTERM end it at the next frame
    // A benchmark reads the whole trace first and times the board alone.
    BoardTrace trace;
    const bool read = !run.bench || boardReadTrace(run.replayPath.c_str(), trace, error);
    const double start = tickSeconds();
    if (!read || !(run.bench ? boardReplayTrace(trace, error, control)
                             : boardReplay(run.replayPath.c_str(), error, control))) {
      std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
      code = 1;
    }
    seconds = tickSeconds() - start;
    frames = presenter == &png ? png.written() : none.count;
  } else {
    HeadlessApplication app;
    app.setFrameLimit(run.frames);
    setApplication(&app);
    DisplayModeOverride = run.mode;
    std::string line = run.scene ? "/s" + std::to_string(run.scene) : std::string("/s");
    code = runSaver(nullptr, line);
    frames = app.framesPainted();
    seconds = app.paintSeconds();
    setApplication(nullptr);
    if (code != 0) code = 1;
    // A signal ends the run early: the frames asked for were not all made.
    if (stopRequested() && frames < run.frames) {
      std::fprintf(stderr, "lumenveil: stopped by a signal after %ld of %ld frames\n", frames,
                   run.frames);
      code = 1;
    }
  }
  if (!boardStopTrace(error)) {
    std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
    code = 1;
  }
  boardSetPresenter(nullptr);

  if (png.failed()) {
    std::fprintf(stderr, "lumenveil: %s\n", png.error().c_str());
    return 1;
  }
  if (run.bench) {
    std::printf("frames %ld seconds %.3f fps %.1f\n", frames, seconds,
                seconds > 0.0 ? static_cast<double>(frames) / seconds : 0.0);
  } else if (!run.renderDir.empty()) {
    std::printf("Wrote %ld frame%s to %s/frame-000001.png%s\n", png.written(),
                png.written() == 1 ? "" : "s", run.renderDir.c_str(),
                png.written() > 1 ? " onward" : "");
  }
  return code;
}

int runWithoutWindow(const std::string &commandLine, const char *why) {
  CommandLine c = parseCommandLine(commandLine);
  if (c.mode == RunMode::Saver || c.mode == RunMode::Configure) {
    std::fprintf(stderr,
                 "lumenveil: %s; to see the saver without one, render it to files: "
                 "lumenveil --render DIR --frames 180 --fps 60 (see --help)\n",
                 why);
    return 2;
  }
  HeadlessApplication app;
  setApplication(&app);
  int code = runSaver(nullptr, commandLine);
  setApplication(nullptr);
  return code;
}

int lumenveilMain(int argc, char **argv, WindowedRunner windowed) {
  installStopSignals();
  std::vector<std::string> args(argv + 1, argv + argc);
  CliParse p = parseArguments(args);
  switch (p.action) {
  case CliAction::Help:
    std::fputs(UsageText, stdout);
    return 0;
  case CliAction::Error:
    std::fprintf(stderr, "lumenveil: %s\n", p.error.c_str());
    return 2;
  case CliAction::Headless:
    return runHeadless(p.headless);
  case CliAction::Windowed:
    break;
  }
  if (windowed) return windowed(argc, argv, p.windowed);
  return runWithoutWindow(p.windowed.commandLine, "this build has no window");
}
