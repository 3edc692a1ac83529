#include "hosts/common/commandline.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <string>

#include "display/glidedisplay.h"
#include "settings/configuration.h"

const char *const ProgramVersion = "1.1.11";

namespace {

const char *const UsageHead =
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
    "  --fps F              headless runs: advance the clock a fixed 1/F s per frame\n"
    "                       (only a number after --fps is read so; --fps alone, or\n"
    "                       followed by an option, is the frame-rate read-out)\n"
    "  --seed S             use S in place of every time-based random seed\n"
    "  --scene 1|2|random   the first or the second scene, or one at random\n"
    "                       (default: the saved choice)\n"
    "  --size WxH           with --mode 6: render at W x H (64x48 to 4096x4096)\n"
    "  --bench              render headless without writing files; print frames per\n"
    "                       second and the processor time a frame takes\n"
    "  --paced              hold the frames to the screen's 60 Hz pace, as a window\n"
    "                       does (with --bench: the processor time of a paced frame)\n"
    "  --warm S             with --fps and --bench or --render: work out S seconds of\n"
    "                       the scene first, undrawn (drawn with motion blur on), and\n"
    "                       time or write only the frames after them\n"
    "  --trace FILE         write every board call to FILE\n"
    "  --replay FILE        render a board trace (with --render or --bench)\n"
    "  --dump-resources DIR write the program's textures, font and images as PNGs\n"
    "  --audio-out FILE     write the CD audio that would be heard to FILE (WAV), in\n"
    "                       step with the clock, instead of playing it (a device or\n"
    "                       a named pipe someone reads gets it as a stream)\n"
    "  -root                run the saver on the whole screen, or in the window that\n"
    "                       XSCREENSAVER_WINDOW names (screen-saver daemons)\n"
    "  -window-id ID        run the saver inside window ID (screen-saver daemons)\n"
    "  -fps, --fps          show the frame-rate read-out for this run\n"
#ifndef _WIN32
    "  -window              run the saver in an ordinary window of its own (X11)\n"
    "  -display NAME        the X display to use (in place of $DISPLAY)\n"
#endif
    "  -install, -mono, -visual NAME, -nice N\n"
    "                       what screen-saver daemons may pass: accepted, and they\n"
    "                       change nothing\n"
#ifndef _WIN32
    "  --idle               watch the session's idle time and run the saver (lumenveil\n"
    "                       /s) after the \"ScreenSaver idle minutes\" setting without\n"
    "                       input (Wayland: ext-idle-notify-v1; X11: the screen-saver\n"
    "                       extension); one watcher a session; never locks the session\n"
    "  --idle-seconds N     with --idle: N seconds (1 to 43200) instead of the setting\n"
#endif
    "  --help               show this text\n"
    "  --help-settings      list every stored setting: its group, name, meaning,\n"
    "                       range and default, and the option that sets it\n"
    "  --version            show the program's version\n"
#ifndef _WIN32
    "  --register-xscreensaver\n"
    "                       add lumenveil to the programs of ~/.xscreensaver, once\n"
    "                       (the file as it was is kept as ~/.xscreensaver.bak)\n"
#endif
    ;

const char *const UsageTail =
    "\n"
    "LUMENVEIL_THREADS=N draws on N threads (default: one per processor core, and\n"
    "one alone while a window's frames have time to spare); the frames are the same\n"
    "whatever the number.\n"
    "LUMENVEIL_VECTORS=128|256 keeps the drawing to vectors that wide (default: the\n"
    "widest the processor has, up to 512 bits); the frames are the same.\n"
#ifdef _WIN32
    "Settings are kept in the registry under HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1,\n"
    "or under HKEY_CURRENT_USER with the same path where the machine's key cannot be written.\n";
#else
    "Settings are kept in $LUMENVEIL_REGISTRY, else $XDG_CONFIG_HOME/lumenveil/registry.reg,\n"
    "else ~/.config/lumenveil/registry.reg. The CD played is the first CD drive, or the\n"
    "drive or disc image (.cue) named by the string \"CD_Device\" in the Audio group.\n";
#endif

// The argument a setting's option takes: its values when there are two.
std::string placeholder(const SettingDescription &d) {
  return d.high - d.low == 1 ? std::to_string(d.low) + "|" + std::to_string(d.high) : "N";
}

std::string rangeText(const SettingDescription &d) {
  return std::to_string(d.low) + " to " + std::to_string(d.high);
}

// One option of the usage text: the option in a column of 21, its meaning
// beside it in lines of up to 79 characters.
void addUsageLine(std::string &out, const std::string &option, const std::string &text) {
  constexpr size_t Column = 23, Width = 79;
  std::string line = "  " + option;
  if (line.size() + 1 > Column) {
    out += line + "\n";
    line.clear();
  }
  line.resize(Column, ' ');
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    if (line.size() > Column && line.size() + 1 + word.size() > Width) {
      out += line + "\n";
      line.assign(Column, ' ');
    }
    if (line.size() > Column) line += ' ';
    line += word;
    at = end + 1;
  }
  out += line + "\n";
}

// The setting an option sets (nullptr: none).
const SettingDescription *settingOfOption(const std::string &arg) {
  if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) return nullptr;
  for (const SettingDescription &d : settingDescriptions())
    if (d.option && arg.compare(2, std::string::npos, d.option) == 0) return &d;
  return nullptr;
}

} // namespace

std::string usageText() {
  std::string text = UsageHead;
  text += "\nSettings for this run alone (the stored ones are read first; these are never\n"
          "saved):\n";
  for (const SettingDescription &d : settingDescriptions()) {
    if (!d.option) continue;
    std::string meaning = d.about;
    meaning += d.high - d.low == 1 ? "" : ", " + rangeText(d);
    addUsageLine(text, "--" + std::string(d.option) + " " + placeholder(d), meaning);
  }
  return text + UsageTail;
}

namespace {
// A table cell's text: a bar would end the cell.
std::string cell(const std::string &text) {
  std::string out;
  for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
  return out;
}
} // namespace

std::string settingsTable() {
  std::string text = "| Group | Value | Meaning | Range | Default | Option |\n|---|---|---|---|---|---|\n";
  for (const SettingDescription &d : settingDescriptions()) {
    text += "| " + std::string(d.group) + " | \"" + d.name + "\" | " + d.about + " | " + rangeText(d) +
            " | " + std::to_string(d.initial) + " | " +
            (d.option ? "`--" + std::string(d.option) + " " + cell(placeholder(d)) + "`" : std::string("")) +
            " |\n";
  }
  return text;
}

namespace {
// A whole number of 64 bits on every system (a long has 32 on Windows), in
// decimal; base 0 also takes hexadecimal (0x...) and octal (0...).
bool parseLong(const std::string &s, long long &out, int base = 10) {
  if (s.empty()) return false;
  char *end = nullptr;
  errno = 0;
  long long v = std::strtoll(s.c_str(), &end, base);
  if (errno != 0 || *end != '\0') return false;
  out = v;
  return true;
}

} // namespace

bool parseWindowId(const std::string &s, unsigned long &id) {
  long long n = 0;
  // X window ids are 32-bit; a larger number would be cut to another window.
  if (!parseLong(s, n, 0) || n <= 0 || n > 0xFFFFFFFFLL) return false;
  id = static_cast<unsigned long>(n);
  return true;
}

bool parseRenderSize(const std::string &s, int &width, int &height) {
  const size_t x = s.find_first_of("xX");
  if (x == std::string::npos || x == 0 || x + 1 >= s.size()) return false;
  int side[2] = {0, 0};
  const std::string parts[2] = {s.substr(0, x), s.substr(x + 1)};
  for (int k = 0; k < 2; ++k) {
    // Plain decimal digits only: no sign, blank or base prefix.
    if (parts[k].size() > 5 || parts[k].find_first_not_of("0123456789") != std::string::npos) return false;
    side[k] = std::atoi(parts[k].c_str());
  }
  if (side[0] < NativeMinWidth || side[0] > NativeMaxSide || side[1] < NativeMinHeight ||
      side[1] > NativeMaxSide)
    return false;
  width = side[0];
  height = side[1];
  return true;
}

namespace {

// A decimal number: digits with a point and an exponent where wanted
// ("29.97", "1e3"); no sign, blank, hexadecimal, infinity or NaN.
bool parseDouble(const std::string &s, double &out) {
  size_t i = 0, digits = 0;
  while (i < s.size() && std::isdigit((unsigned char)s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.')
    for (++i; i < s.size() && std::isdigit((unsigned char)s[i]); ++i) ++digits;
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    if (++i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (i >= s.size()) return false;
    while (i < s.size() && std::isdigit((unsigned char)s[i])) ++i;
  }
  if (i != s.size()) return false;
  const std::from_chars_result r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
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
    p.windowed.switches = parseCommandLine(line);
    // The switches run what saves the settings (/c, /d): an option after one
    // would be lost, or saved.
    for (size_t i = 1; i < args.size(); ++i)
      if (args[i].size() > 2 && args[i].compare(0, 2, "--") == 0) {
        p.action = CliAction::Error;
        p.error = "options cannot follow a switch (" + args[0] + " " + args[i] +
                  "): a setting's option sets one run of the saver (-root, -window, --render DIR), "
                  "and the control panel (/c) changes the stored settings";
        return p;
      }
    return p;
  }
  bool headless = false, windowed = false, idle = false, idleSeconds = false;
  std::string otherOption; // the first option other than --idle's own
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
    long long n = 0;
    if (otherOption.empty() && a != "--idle" && a != "--idle-seconds") otherOption = a;
    if (a == "--help" || a == "-h" || a == "-help") {
      p.action = CliAction::Help;
      return p;
    } else if (a == "--render") {
      if (!value(v) || v.empty()) return fail("--render needs a directory");
      p.headless.renderDir = v;
      headless = true;
    } else if (a == "--frames") {
      if (!value(v) || !parseLong(v, n) || n < 1 || n > LONG_MAX)
        return fail("--frames needs a whole number from 1 to " + std::to_string(LONG_MAX));
      p.headless.frames = n;
    } else if (a == "--fps" && i + 1 < args.size() &&
               (args[i + 1].empty() || args[i + 1][0] != '-' ||
                (args[i + 1].size() > 1 && std::isdigit((unsigned char)args[i + 1][1])))) {
      // A fixed clock: what follows --fps is its number, unless it is an option.
      double f = 0;
      if (!value(v) || !parseDouble(v, f) || !(f >= 0.01) || f > 100000.0)
        return fail("--fps F needs a number of frames per second from 0.01 to 100000 (--fps "
                    "alone shows the frame-rate read-out)");
      p.headless.fps = f;
    } else if (a == "--seed") {
      if (!value(v) || !parseLong(v, n) || n < 0 || n > 0xFFFFFFFFLL)
        return fail("--seed needs a whole number from 0 to 4294967295");
      p.headless.haveSeed = p.windowed.haveSeed = true;
      p.headless.seed = p.windowed.seed = static_cast<unsigned>(n);
    } else if (a == "--scene") {
      if (value(v) && v == "random") {
        p.headless.scene = AnyScene;
        continue;
      }
      if (v.empty() || !parseLong(v, n) || (n != 1 && n != 2)) return fail("--scene needs 1, 2 or random");
      p.headless.scene = static_cast<int>(n);
    } else if (a == "--size") {
      if (!value(v) || !parseRenderSize(v, p.headless.width, p.headless.height))
        return fail("--size needs WxH, from " + std::to_string(NativeMinWidth) + "x" +
                    std::to_string(NativeMinHeight) + " to " + std::to_string(NativeMaxSide) + "x" +
                    std::to_string(NativeMaxSide) + " (e.g. 1920x1080)");
    } else if (a == "-fps" || a == "--fps") {
      // A screen-saver daemon's switch: the frame-rate read-out for this run.
      p.headless.showStatistics = p.windowed.showStatistics = true;
    } else if (a == "--bench") {
      p.headless.bench = true;
      headless = true;
    } else if (a == "--paced") {
      p.headless.paced = true;
    } else if (a == "--warm") {
      double seconds = 0.0;
      if (!value(v) || !parseDouble(v, seconds) || !(seconds >= 0.0) || seconds > MaxWarmSeconds)
        return fail("--warm needs a number of seconds from 0 to " + std::to_string((int)MaxWarmSeconds));
      p.headless.warmSeconds = seconds;
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
    } else if (a == "--audio-out") {
      if (!value(v) || v.empty()) return fail("--audio-out needs a file");
      p.headless.audioOut = v;
    } else if (a == "--idle") {
      idle = true;
    } else if (a == "--idle-seconds") {
      if (!value(v) || !parseLong(v, n) || n < 1 || n > MaxIdleSeconds)
        return fail("--idle-seconds needs a whole number of seconds from 1 to " +
                    std::to_string(MaxIdleSeconds));
      p.idle.seconds = static_cast<long>(n);
      idleSeconds = true;
    } else if (a == "-root" || a == "--root") {
      p.windowed.root = true;
      windowed = true;
    } else if (a == "-window-id" || a == "--window-id") {
      unsigned long id = 0;
      if (!value(v) || !parseWindowId(v, id))
        return fail("-window-id needs a window number from 1 to 4294967295 (0xFFFFFFFF)");
      p.windowed.windowId = id;
      windowed = true;
#ifndef _WIN32
    } else if (a == "-window" || a == "--window") {
      p.windowed.ownWindow = true;
      windowed = true;
    } else if (a == "-display" || a == "--display") {
      if (!value(v) || v.empty()) return fail(a + " needs a display name (such as :0)");
      p.windowed.display = v;
#endif
    } else if (a == "-install" || a == "-mono" || a == "-visual" || a == "-nice") {
      // Options a screen-saver daemon may pass that change nothing here.
      if (a != "-install" && a != "-mono" && !value(v)) return fail(a + " needs a value");
    } else if (a == "--version" || a == "-version") {
      p.action = CliAction::Version;
      return p;
    } else if (a == "--help-settings") {
      p.action = CliAction::HelpSettings;
      return p;
#ifndef _WIN32
    } else if (a == "--register-xscreensaver") {
      if (args.size() != 1) return fail("--register-xscreensaver takes no other option");
      p.action = CliAction::RegisterXScreenSaver;
      return p;
#endif
    } else if (const SettingDescription *d = settingOfOption(a)) {
      if (!value(v) || !parseLong(v, n) || n < d->low || n > d->high)
        return fail(a + " needs a whole number from " + rangeText(*d) + " (" + d->about + ")");
      p.overrides.push_back({d->group, d->name, static_cast<int32_t>(n)});
      if (std::string(d->group) == DisplayConfiguration::Group && std::string(d->name) == "Mode")
        p.headless.mode = static_cast<int>(n);
    } else {
      return fail("unknown option " + a + " (see --help)");
    }
  }
  if (idleSeconds && !idle) return fail("--idle-seconds needs --idle");
  if (idle) {
    // The watcher runs the saver as its own program: it takes no other option.
    if (!otherOption.empty()) return fail("--idle cannot be combined with " + otherOption);
    p.action = CliAction::Idle;
    return p;
  }
  if (!p.headless.audioOut.empty() &&
      ((p.headless.renderDir.empty() && !p.headless.bench) || !p.headless.replayPath.empty()))
    return fail("--audio-out needs a headless run of the saver (--render DIR or --bench)");
  if (!p.headless.replayPath.empty() && p.headless.renderDir.empty() && !p.headless.bench)
    return fail("--replay needs --render DIR (to write its frames) or --bench (to time them)");
  if (p.headless.width > 0 && p.headless.mode != NativeDisplayMode)
    return fail("--size needs --mode 6 (the native mode renders at that size)");
  if (headless && windowed)
    return fail("-root, -window and -window-id cannot be combined with headless options");
  if (p.windowed.ownWindow && (p.windowed.root || p.windowed.windowId))
    return fail("-window cannot be combined with -root or -window-id");
  if (windowed && p.headless.fps > 0.0)
    return fail("--fps F (a fixed clock) is for headless runs; --fps alone shows the frame-rate read-out");
  if (p.headless.paced && p.headless.renderDir.empty() && !p.headless.bench)
    return fail("--paced needs --bench or --render DIR");
  if (p.headless.paced && !p.headless.replayPath.empty())
    return fail("--paced cannot be combined with --replay (a trace keeps no pace)");
  if (p.headless.warmSeconds > 0.0 && (p.headless.fps <= 0.0 || !p.headless.replayPath.empty() ||
                                       (p.headless.renderDir.empty() && !p.headless.bench)))
    return fail("--warm needs --fps (a fixed clock) and --bench or --render DIR, without --replay");
  if (!p.headless.renderDir.empty() && p.headless.bench)
    return fail("--render and --bench cannot be combined");
  if (headless) {
    p.action = CliAction::Headless;
  } else if (windowed) {
    // A screen-saver daemon runs one copy per screen (and one in its
    // settings' preview) and ends each itself: its copies run without
    // looking for one another, which would leave every screen but the first dark.
    p.action = CliAction::Windowed;
    p.windowed.switches = CommandLine{};
    p.windowed.switches.letter = 's';
  } else {
    return fail(
        "nothing to do: give --render DIR, --bench, --replay FILE or --dump-resources DIR (see --help)");
  }
  p.windowed.scene = p.headless.scene;
  return p;
}
