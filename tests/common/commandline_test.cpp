// The command line, read once into the records the hosts run.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "hosts/common/commandline.h"
#include "settings/configuration.h"

TEST(Arguments, SwitchesAreJoinedIntoOneCommandLineAndReadForTheWindowedHost) {
  CliParse p = parseArguments({"/p", "1234"});
  EXPECT_EQ(p.action, CliAction::Windowed);
  EXPECT_EQ(p.windowed.switches.mode, RunMode::Preview);
  EXPECT_EQ(p.windowed.switches.handle, 1234);
  p = parseArguments({"/S2"});
  EXPECT_EQ(p.windowed.switches.mode, RunMode::Saver);
  EXPECT_EQ(p.windowed.switches.after, '2');
  EXPECT_TRUE(p.windowed.switches.checkRunning);
  EXPECT_EQ(parseArguments({}).action, CliAction::Windowed);
  EXPECT_EQ(parseArguments({}).windowed.switches.mode, RunMode::Saver);
}

TEST(Arguments, RenderRunsTakeTheirValues) {
  CliParse p = parseArguments(
      {"--render", "out", "--frames", "30", "--fps", "60", "--seed", "7", "--scene", "2", "--mode", "3"});
  ASSERT_EQ(p.action, CliAction::Headless) << p.error;
  EXPECT_EQ(p.headless.renderDir, "out");
  EXPECT_EQ(p.headless.frames, 30);
  EXPECT_DOUBLE_EQ(p.headless.fps, 60.0);
  EXPECT_TRUE(p.headless.haveSeed);
  EXPECT_EQ(p.headless.seed, 7u);
  EXPECT_EQ(p.headless.scene, 2);
  EXPECT_EQ(p.headless.mode, 3);
  EXPECT_FALSE(p.headless.paced);
  // Decimal, whatever the leading zeros.
  p = parseArguments({"--bench", "--fps", "29.97", "--frames", "010", "--seed", "08"});
  ASSERT_EQ(p.action, CliAction::Headless) << p.error;
  EXPECT_DOUBLE_EQ(p.headless.fps, 29.97);
  EXPECT_EQ(p.headless.frames, 10);
  EXPECT_EQ(p.headless.seed, 8u);
  EXPECT_DOUBLE_EQ(parseArguments({"--bench", "--fps", "1e2"}).headless.fps, 100.0);
  EXPECT_TRUE(parseArguments({"--bench", "--paced"}).headless.paced);
}

TEST(Arguments, BadValuesAreRefusedWithAMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {"--render"},                   // missing value
      {"--bench", "--frames", "0"},   // no frames
      {"--bench", "--frames", "ten"}, // not a number
      {"--bench", "--fps", "0"},      // a clock that never moves
      {"--bench", "--fps", "1e-300"}, // steps so long the clock overflows
      {"--bench", "--fps", "nan"},
      {"--bench", "--fps", "0x10"}, // decimal only: not read as hexadecimal
      {"--bench", "--fps", "inf"},
      {"--bench", "--fps", " 30"},
      {"--bench", "--frames", "0x10"},
      {"--bench", "--seed", "-1"},
      {"--bench", "--scene", "3"},
      {"--bench", "--mode", "7"},
      {"--bench", "--mode", "-1"},
      {"--bench", "--render", "out"}, // both at once
      {"--frames", "3"},              // nothing to do
      {"--replay", "t.trace"},        // a replay with nowhere for its frames
      {"--bogus"},
      {"-window-id", "abc"},
      {"-root", "--bench"},
      {"--paced"}, // a pace for nothing
      {"--bench", "--paced", "--replay", "t.trace"},
  };
  for (const auto &args : bad) {
    CliParse p = parseArguments(args);
    EXPECT_EQ(p.action, CliAction::Error) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_FALSE(p.error.empty());
  }
}

TEST(Arguments, DaemonOptionsRunTheSaverWindowed) {
  CliParse p = parseArguments({"-window-id", "0x50d"});
  ASSERT_EQ(p.action, CliAction::Windowed) << p.error;
  EXPECT_EQ(p.windowed.windowId, 0x50dul);
  // The daemon's copies run the saver without looking for one another.
  EXPECT_EQ(p.windowed.switches.mode, RunMode::Saver);
  EXPECT_FALSE(p.windowed.switches.checkRunning);
  p = parseArguments({"-root"});
  EXPECT_TRUE(p.windowed.root);
  EXPECT_EQ(parseArguments({"--help"}).action, CliAction::Help);
}

TEST(Arguments, AScreenSaverDaemonsOptionsCombineWithOurs) {
  // What the daemon's settings make of the hack's description.
  CliParse p = parseArguments({"-root", "--scene", "2", "-fps"});
  ASSERT_EQ(p.action, CliAction::Windowed) << p.error;
  EXPECT_TRUE(p.windowed.root);
  EXPECT_EQ(p.windowed.scene, 2);
  EXPECT_FALSE(p.windowed.switches.checkRunning);
  EXPECT_TRUE(p.windowed.showStatistics);

  p = parseArguments({"-root", "--scene", "random"});
  ASSERT_EQ(p.action, CliAction::Windowed) << p.error;
  EXPECT_EQ(p.windowed.scene, AnyScene);
  EXPECT_FALSE(p.windowed.showStatistics);

  p = parseArguments({"-root"});
  EXPECT_EQ(p.windowed.scene, 0);

  // -fps alone has nothing to show it in.
  EXPECT_EQ(parseArguments({"-fps"}).action, CliAction::Error);
  EXPECT_EQ(parseArguments({"-root", "--scene"}).action, CliAction::Error);
  EXPECT_EQ(parseArguments({"-root", "--scene", "randomly"}).action, CliAction::Error);
}

namespace {
std::string sourceFile(const std::string &path) {
  std::ifstream in(std::string(LV_SOURCE_DIR) + "/" + path);
  EXPECT_TRUE(in.good()) << path;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The value of attribute `name` in the element text `element` ("" if none).
std::string attribute(const std::string &element, const std::string &name) {
  const size_t at = element.find(" " + name + "=\"");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 3;
  return element.substr(start, element.find('"', start) - start);
}

std::vector<std::string> words(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

const SettingDescription *settingWithOption(const std::string &option) {
  for (const SettingDescription &d : settingDescriptions())
    if (d.option && "--" + std::string(d.option) == option) return &d;
  return nullptr;
}
} // namespace

TEST(Arguments, TheHacksDescriptionOffersOnlyOptionsWeRead) {
  // Every argument of the file the daemon's settings read must parse after
  // -root, and every slider offer the setting's own range and default.
  const std::string text = sourceFile("hosts/desktop/lumenveil.xml");
  int args = 0, sliders = 0;
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    const std::string element = text.substr(at, text.find('>', at) - at);
    for (const char *name : {"arg", "arg-set", "arg-unset"}) {
      std::string arg = attribute(element, name);
      if (arg.empty()) continue;
      ++args;
      const size_t percent = arg.find('%');
      if (percent != std::string::npos) {
        // A slider: its low, high and default must be the table's.
        const std::vector<std::string> option = words(arg.substr(0, percent));
        ASSERT_EQ(option.size(), 1u) << arg;
        const SettingDescription *d = settingWithOption(option[0]);
        ASSERT_NE(d, nullptr) << arg;
        EXPECT_EQ(attribute(element, "low"), std::to_string(d->low)) << arg;
        EXPECT_EQ(attribute(element, "high"), std::to_string(d->high)) << arg;
        EXPECT_EQ(attribute(element, "default"), std::to_string(d->initial)) << arg;
        ++sliders;
        for (const std::string &value : {attribute(element, "low"), attribute(element, "high")}) {
          std::vector<std::string> argv = {"-root", option[0], value};
          EXPECT_EQ(parseArguments(argv).action, CliAction::Windowed) << arg << " " << value;
        }
        continue;
      }
      std::vector<std::string> argv = words(arg);
      if (argv != std::vector<std::string>{"-root"}) argv.insert(argv.begin(), "-root");
      const CliParse p = parseArguments(argv);
      EXPECT_EQ(p.action, CliAction::Windowed) << arg << ": " << p.error;
    }
  }
  EXPECT_GE(args, 30);
  EXPECT_GE(sliders, 12);
}

TEST(Arguments, EachSettingsOptionTakesTheTablesRangeForThisRunAlone) {
  int options = 0;
  for (const SettingDescription &d : settingDescriptions()) {
    if (!d.option) continue;
    ++options;
    const std::string option = "--" + std::string(d.option);
    for (int32_t value : {d.low, d.high}) {
      const CliParse p = parseArguments({"-root", option, std::to_string(value)});
      ASSERT_EQ(p.action, CliAction::Windowed) << option << " " << value << ": " << p.error;
      ASSERT_EQ(p.overrides.size(), 1u);
      EXPECT_EQ(p.overrides[0].group, d.group);
      EXPECT_EQ(p.overrides[0].name, d.name);
      EXPECT_EQ(p.overrides[0].value, value);
    }
    for (const std::string &bad : {std::to_string(d.low - 1), std::to_string(d.high + 1), std::string("x")}) {
      const CliParse p = parseArguments({"--bench", option, bad});
      ASSERT_EQ(p.action, CliAction::Error) << option << " " << bad;
      // The message names the option and its range.
      EXPECT_NE(p.error.find(option), std::string::npos) << p.error;
      EXPECT_NE(p.error.find(std::to_string(d.low) + " to " + std::to_string(d.high)), std::string::npos)
          << p.error;
    }
    // --help offers it.
    EXPECT_NE(usageText().find("\n  " + option + " "), std::string::npos) << option;
  }
  EXPECT_GE(options, 15);
  // A headless run takes them too; --mode is the display mode's.
  CliParse p = parseArguments({"--bench", "--trailers", "3", "--mode", "6", "--size", "320x200"});
  ASSERT_EQ(p.action, CliAction::Headless) << p.error;
  EXPECT_EQ(p.headless.mode, 6);
  EXPECT_EQ(p.overrides.size(), 2u);
  // The switches run what saves the settings: an option after one is refused.
  p = parseArguments({"/c", "--trailers", "3"});
  EXPECT_EQ(p.action, CliAction::Error);
  EXPECT_NE(p.error.find("/c"), std::string::npos) << p.error;
}

TEST(Arguments, OverridesAreReadOverTheStoredValueUntilCleared) {
  LumenveilConfiguration stored; // whatever the settings file holds
  stored.load();
  overrideSetting("Lumenveil", "Trailers", 12);
  overrideSetting("Display", "DitherMode", 2);
  LumenveilConfiguration l;
  l.load();
  DisplayConfiguration d;
  d.load();
  clearSettingOverrides();
  EXPECT_EQ(l.Trailers, 12);
  EXPECT_EQ(l.Worms, stored.Worms);
  EXPECT_EQ(d.DitherMode, 2);
  LumenveilConfiguration after;
  after.load();
  EXPECT_EQ(after.Trailers, stored.Trailers);
}

TEST(Arguments, FpsAloneIsTheReadOutAndANumberAfterItTheClock) {
  for (const auto &args : std::vector<std::vector<std::string>>{
           {"-root", "--fps"}, {"-root", "-fps"}, {"--fps", "-root"}, {"-window", "--fps"}}) {
    const CliParse p = parseArguments(args);
    ASSERT_EQ(p.action, CliAction::Windowed) << args[0] << " " << args[1] << ": " << p.error;
    EXPECT_TRUE(p.windowed.showStatistics);
  }
  CliParse p = parseArguments({"--bench", "--fps", "30"});
  EXPECT_DOUBLE_EQ(p.headless.fps, 30.0);
  EXPECT_FALSE(p.headless.showStatistics);
  p = parseArguments({"--bench", "--fps", "--frames", "2"});
  ASSERT_EQ(p.action, CliAction::Headless) << p.error;
  EXPECT_EQ(p.headless.fps, 0.0);
  EXPECT_TRUE(p.headless.showStatistics);
  // A value that is no number is refused, not taken for the read-out; and a
  // fixed clock means nothing in a window.
  EXPECT_EQ(parseArguments({"--bench", "--fps", "-5"}).action, CliAction::Error);
  EXPECT_EQ(parseArguments({"--bench", "--fps", "fast"}).action, CliAction::Error);
  EXPECT_EQ(parseArguments({"-root", "--fps", "30"}).action, CliAction::Error);
}

TEST(Arguments, TheUsualHackOptionsAreAccepted) {
  CliParse p = parseArguments({"-window"});
  ASSERT_EQ(p.action, CliAction::Windowed) << p.error;
  EXPECT_TRUE(p.windowed.ownWindow);
  EXPECT_FALSE(p.windowed.switches.checkRunning);
  p = parseArguments({"-root", "-install", "-visual", "best", "-mono", "-nice", "10", "-display", ":7"});
  ASSERT_EQ(p.action, CliAction::Windowed) << p.error;
  EXPECT_TRUE(p.windowed.root);
  EXPECT_EQ(p.windowed.display, ":7");
  EXPECT_EQ(parseArguments({"-root", "-visual"}).action, CliAction::Error);
  EXPECT_EQ(parseArguments({"-root", "-display"}).action, CliAction::Error);
  EXPECT_EQ(parseArguments({"-window", "-root"}).action, CliAction::Error);
  EXPECT_EQ(parseArguments({"--version"}).action, CliAction::Version);
  EXPECT_EQ(parseArguments({"--help-settings"}).action, CliAction::HelpSettings);
}

namespace {
// The options a text names: each word of the form -x or --x at the start of
// an entry (a line "  -x ..." of --help, a .TP heading of the man page).
std::set<std::string> optionsIn(const std::vector<std::string> &entries) {
  std::set<std::string> options;
  for (const std::string &entry : entries)
    for (const std::string &w : words(entry)) {
      std::string word = w;
      while (!word.empty() && (word.back() == ',' || word.back() == '"')) word.pop_back();
      if (word.size() < 2 || word[0] != '-' || !std::isalpha((unsigned char)word[word[1] == '-' ? 2 : 1]))
        continue;
      options.insert(word);
    }
  return options;
}

std::string withoutRoff(std::string line) {
  for (size_t at; (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
  for (const char *font : {"\\fB", "\\fI", "\\fR", "\\fP"})
    for (size_t at; (at = line.find(font)) != std::string::npos;) line.erase(at, 3);
  for (const char *macro : {".BI ", ".BR ", ".B ", ".IR ", ".RB "})
    if (line.rfind(macro, 0) == 0) line.erase(0, std::string(macro).size());
  return line;
}
} // namespace

TEST(Arguments, TheManPageListsTheOptionsHelpLists) {
  std::vector<std::string> helpEntries;
  std::istringstream help(usageText());
  for (std::string line; std::getline(help, line);)
    if (line.rfind("  -", 0) == 0)
      helpEntries.push_back(line.substr(0, line.find("  ", 2))); // before its meaning
  // The man page's options: the heading line after each .TP of its OPTIONS section.
  std::vector<std::string> manEntries;
  std::istringstream man(sourceFile("hosts/desktop/lumenveil.6"));
  bool inOptions = false, heading = false;
  for (std::string line; std::getline(man, line);) {
    if (line.rfind(".SH", 0) == 0) inOptions = line == ".SH OPTIONS";
    if (inOptions && heading) manEntries.push_back(withoutRoff(line));
    heading = inOptions && line == ".TP";
  }
  const std::set<std::string> inHelp = optionsIn(helpEntries), inMan = optionsIn(manEntries);
  EXPECT_GE(inHelp.size(), 30u);
  for (const std::string &o : inHelp)
    EXPECT_TRUE(inMan.count(o)) << o << " is in --help, not in the man page";
  for (const std::string &o : inMan)
    EXPECT_TRUE(inHelp.count(o)) << o << " is in the man page, not in --help";
}

TEST(Arguments, TheReadmeAndTheManPageListEverySetting) {
  // The README carries --help-settings' table as it is; the man page a
  // heading for each value with its range and default.
  const std::string readme = sourceFile("README.md"), man = sourceFile("hosts/desktop/lumenveil.6");
  std::istringstream table(settingsTable());
  for (std::string row; std::getline(table, row);)
    EXPECT_NE(readme.find(row + "\n"), std::string::npos) << "not in the README: " << row;
  for (const SettingDescription &d : settingDescriptions()) {
    const std::string text = std::string(d.group) + " \\(dq" + d.name + "\\(dq: " + std::to_string(d.low) +
                             " to " + std::to_string(d.high) + ", default " + std::to_string(d.initial);
    std::string heading; // a minus sign is \- in the page
    for (char c : text) heading += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(man.find("\n" + heading + "\n"), std::string::npos) << "not in the man page: " << heading;
  }
}

TEST(Arguments, TheNativeModeTakesItsSizeAndOnlyIt) {
  CliParse p = parseArguments({"--bench", "--mode", "6", "--size", "320x200"});
  ASSERT_EQ(p.action, CliAction::Headless) << p.error;
  EXPECT_EQ(p.headless.mode, 6);
  EXPECT_EQ(p.headless.width, 320);
  EXPECT_EQ(p.headless.height, 200);
  // The order does not matter, nor the case of the x; the range's ends are in it.
  p = parseArguments({"--size", "4096X48", "--render", "out", "--mode", "6"});
  ASSERT_EQ(p.action, CliAction::Headless) << p.error;
  EXPECT_EQ(p.headless.width, 4096);
  EXPECT_EQ(p.headless.height, 48);
  // Mode 6 alone: no size here, the window's (or 800 x 600) is used.
  p = parseArguments({"--bench", "--mode", "6"});
  ASSERT_EQ(p.action, CliAction::Headless) << p.error;
  EXPECT_EQ(p.headless.width, 0);

  const std::vector<std::string> badSizes = {"",
                                             "320",
                                             "x200",
                                             "320x",
                                             "0x0",
                                             "63x48",
                                             "64x47",
                                             "4097x100",
                                             "100x4097",
                                             "-320x200",
                                             "320x-200",
                                             "+320x200",
                                             " 320x200",
                                             "320x200 ",
                                             "320.5x200",
                                             "320x200x1",
                                             "0x140x100",
                                             "320*200",
                                             "99999999999x200",
                                             "320x2e2"};
  for (const std::string &size : badSizes) {
    p = parseArguments({"--bench", "--mode", "6", "--size", size});
    EXPECT_EQ(p.action, CliAction::Error) << "'" << size << "'";
    EXPECT_NE(p.error.find("--size"), std::string::npos) << p.error;
  }
  p = parseArguments({"--bench", "--mode", "6", "--size"});
  EXPECT_EQ(p.action, CliAction::Error);
  // A size for a table mode, or for no mode at all, would be silently ignored: refused.
  for (const auto &args : std::vector<std::vector<std::string>>{
           {"--bench", "--size", "320x200"}, {"--bench", "--mode", "3", "--size", "320x200"}}) {
    p = parseArguments(args);
    EXPECT_EQ(p.action, CliAction::Error) << args.size();
    EXPECT_NE(p.error.find("--mode 6"), std::string::npos) << p.error;
  }
}
