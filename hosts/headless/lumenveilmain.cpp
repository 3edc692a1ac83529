#include "hosts/headless/lumenveilmain.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "app/entry.h"
#include "hosts/headless/headlessapp.h"
#include "hosts/common/xscreensaverlist.h"
#include "hosts/headless/headlessrun.h"
#include "settings/configuration.h"
#ifndef _WIN32
#include "hosts/posix/processpriority.h"
#include "hosts/posix/settingsfile.h"
#include "registry/registrystore.h"
#endif

int runWithoutWindow(const CommandLine &c, const char *why) {
  if (c.mode == RunMode::Saver || c.mode == RunMode::Configure) {
    std::fprintf(stderr,
                 "lumenveil: %s; to see the saver without one, render it to files: "
                 "lumenveil --render DIR --frames 180 --fps 60 (see --help)\n",
                 why);
    return 2;
  }
  HeadlessApplication app;
  setApplication(&app);
  int code = runSaver(nullptr, c);
  setApplication(nullptr);
  return code;
}

namespace {
int runMain(int argc, char **argv, WindowedRunner windowed, IdleRunner idle) {
  installStopSignals();
#ifndef _WIN32
  // The Windows host installs the system's own priority classes itself.
  static PosixPriority priority;
  setPriorityControl(&priority);
  // The settings: a file on disk, with the registry store over it.
  setSettingsFiles(&posixSettingsFiles());
  setRegistryStore(&fileRegistryStore());
#endif
  std::vector<std::string> args(argv + 1, argv + argc);
  CliParse p = parseArguments(args);
  switch (p.action) {
  case CliAction::Help: std::fputs(usageText().c_str(), stdout); return 0;
  case CliAction::HelpSettings: std::fputs(settingsTable().c_str(), stdout); return 0;
  case CliAction::Version: std::printf("lumenveil %s\n", ProgramVersion); return 0;
  case CliAction::RegisterXScreenSaver: return registerWithXScreenSaver();
  case CliAction::Error: std::fprintf(stderr, "lumenveil: %s\n", p.error.c_str()); return 2;
  case CliAction::Headless: break;
  case CliAction::Idle:
    if (idle) return idle(p.idle);
#ifdef _WIN32
    std::fprintf(stderr, "lumenveil: --idle: Windows starts the saver itself, after the wait set in "
                         "its screen-saver settings\n");
#else
    std::fprintf(stderr, "lumenveil: --idle: this build has no idle watcher (it needs the windowed "
                         "build with Wayland or X11 support)\n");
#endif
    return 2;
  case CliAction::Windowed: break;
  }
  // The settings' options: this run reads them over the stored values.
  for (const SettingOverride &o : p.overrides) overrideSetting(o.group, o.name, o.value);
  if (p.action == CliAction::Headless) return runHeadless(p.headless);
  if (windowed) return windowed(argc, argv, p.windowed);
  return runWithoutWindow(p.windowed.switches, "this build has no window");
}
} // namespace

int lumenveilMain(int argc, char **argv, WindowedRunner windowed, IdleRunner idle) {
  // The last resort: every failure the program foresees is told where it
  // happens; anything else still ends with a message, not an abort.
  try {
    return runMain(argc, argv, windowed, idle);
  } catch (const std::bad_alloc &) {
    std::fprintf(stderr, "lumenveil: out of memory\n");
  } catch (const std::exception &e) {
    std::fprintf(stderr, "lumenveil: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "lumenveil: an unknown error ended the program\n");
  }
  return 1;
}
