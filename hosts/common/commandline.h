// The command line of every build of the program, read once into the records
// the hosts run: Windows-style switches (/s, /c, /p N, /a N, /d ...) run the
// saver in a window; Unix-style options (the first argument begins with '-')
// run headless renders, benchmarks and the options a screen-saver daemon passes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/entry.h"

// --scene: 1 or 2, AnyScene for one at random, 0 for the saved choice.
inline constexpr int AnyScene = 3;

struct WindowedRun {
  CommandLine switches;       // what the program runs (the saver, the control panel, ...)
  unsigned long windowId = 0; // -window-id: draw into this existing window
  bool root = false;          // -root: draw on the whole screen
  bool haveSeed = false;
  unsigned seed = 0;
  std::string tracePath;
  int scene = 0;               // --scene, as HeadlessRun's (with -root or -window-id)
  bool showStatistics = false; // -fps: the frame-rate read-out
  bool ownWindow = false;      // -window: the saver in an ordinary window of its own
  std::string display;         // -display NAME: the X display to use
};

// Runs the windowed host; nullptr when the program was built without one.
using WindowedRunner = int (*)(int argc, char **argv, const WindowedRun &run);

// --idle: watch the session's idle time and run the saver after it.
struct IdleRun {
  long seconds = 0; // --idle-seconds N; 0: the "ScreenSaver idle minutes" setting
};
inline constexpr long MaxIdleSeconds = 720 * 60;

// Runs the idle watcher; nullptr when the program was built without one.
using IdleRunner = int (*)(const IdleRun &run);

// The longest warm-up --warm takes, in seconds of scene time.
inline constexpr double MaxWarmSeconds = 3600.0;

struct HeadlessRun {
  std::string renderDir; // --render DIR
  long frames = 1;       // --frames N
  double fps = 0.0;      // --fps F
  bool haveSeed = false; // --seed S
  unsigned seed = 0;
  int scene = 0;               // --scene 1|2 (0: from the settings), AnyScene
  int mode = -1;               // --mode M
  int width = 0, height = 0;   // --size WxH: the window size mode 6 renders at
  bool bench = false;          // --bench
  bool paced = false;          // --paced: frames held to the screen's 60 Hz, as in a window
  double warmSeconds = 0.0;    // --warm S: scene time worked out before the frames counted
  std::string tracePath;       // --trace FILE
  std::string replayPath;      // --replay FILE
  std::string dumpDir;         // --dump-resources DIR
  bool showStatistics = false; // -fps, --fps alone: the frame-rate read-out
  std::string audioOut;        // --audio-out FILE
};

// A settings option (--trailers 3 ...): the value for this run alone.
struct SettingOverride {
  std::string group, name; // the value as stored
  int32_t value;
};

enum class CliAction { Help, HelpSettings, Version, RegisterXScreenSaver, Headless, Windowed, Idle, Error };

struct CliParse {
  CliAction action = CliAction::Windowed;
  HeadlessRun headless;
  WindowedRun windowed;
  std::vector<SettingOverride> overrides; // for the saver's runs, headless or windowed
  IdleRun idle;
  std::string error;
};

CliParse parseArguments(const std::vector<std::string> &args);

// A window id as a daemon passes it (decimal, or hexadecimal with 0x): 1 to
// 0xFFFFFFFF; false for anything else.
bool parseWindowId(const std::string &text, unsigned long &id);

// A size as --size takes it: WxH in decimal (an 'x' or 'X' between), each
// side within the native mode's range; false for anything else.
bool parseRenderSize(const std::string &text, int &width, int &height);

// What --help prints: the options, with one for each setting a run may
// change (from the settings' tables).
std::string usageText();
// What --help-settings prints: every stored setting as a Markdown table
// (group, value name, meaning, range, default, option).
std::string settingsTable();
extern const char *const ProgramVersion;
