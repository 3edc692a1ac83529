// The command line, read once into the records the hosts run.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "hosts/common/commandline.h"

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

TEST(Arguments, TheHacksDescriptionOffersOnlyOptionsWeRead) {
  // Every arg-set of the file the daemon's settings read must parse.
  std::ifstream xml(std::string(LV_SOURCE_DIR) + "/hosts/desktop/lumenveil.xml");
  ASSERT_TRUE(xml.good());
  std::string text((std::istreambuf_iterator<char>(xml)), std::istreambuf_iterator<char>());
  int found = 0;
  for (size_t at = text.find("arg-set=\""); at != std::string::npos; at = text.find("arg-set=\"", at + 1)) {
    const size_t start = at + 9, end = text.find('"', start);
    std::vector<std::string> args = {"-root"};
    std::string word;
    for (char ch : text.substr(start, end - start) + " ") {
      if (ch == ' ') {
        if (!word.empty()) args.push_back(word);
        word.clear();
      } else {
        word += ch;
      }
    }
    EXPECT_EQ(parseArguments(args).action, CliAction::Windowed) << text.substr(start, end - start);
    ++found;
  }
  EXPECT_EQ(found, 4);
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
