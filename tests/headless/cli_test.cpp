// The Unix-style command line of the headless runs.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "hosts/headless/cli.h"

TEST(Arguments, SwitchesAreJoinedIntoOneCommandLineForTheWindowedHost) {
  CliParse p = parseArguments({"/p", "1234"});
  EXPECT_EQ(p.action, CliAction::Windowed);
  EXPECT_EQ(p.windowed.commandLine, "/p 1234");
  EXPECT_EQ(parseArguments({}).action, CliAction::Windowed);
}

TEST(Arguments, RenderRunsTakeTheirValues) {
  CliParse p = parseArguments({"--render", "out", "--frames", "30", "--fps", "60", "--seed", "7",
                               "--scene", "2", "--mode", "3"});
  ASSERT_EQ(p.action, CliAction::Headless) << p.error;
  EXPECT_EQ(p.headless.renderDir, "out");
  EXPECT_EQ(p.headless.frames, 30);
  EXPECT_DOUBLE_EQ(p.headless.fps, 60.0);
  EXPECT_TRUE(p.headless.haveSeed);
  EXPECT_EQ(p.headless.seed, 7u);
  EXPECT_EQ(p.headless.scene, 2);
  EXPECT_EQ(p.headless.mode, 3);
}

TEST(Arguments, BadValuesAreRefusedWithAMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {"--render"},                       // missing value
      {"--bench", "--frames", "0"},       // no frames
      {"--bench", "--frames", "ten"},     // not a number
      {"--bench", "--fps", "0"},          // a clock that never moves
      {"--bench", "--fps", "1e-300"},     // steps so long the clock overflows
      {"--bench", "--fps", "nan"},
      {"--bench", "--seed", "-1"},
      {"--bench", "--scene", "3"},
      {"--bench", "--mode", "6"},
      {"--bench", "--render", "out"},     // both at once
      {"--frames", "3"},                  // nothing to do
      {"--replay", "t.trace"},            // a replay with nowhere for its frames
      {"--bogus"},
      {"-window-id", "abc"},
      {"-root", "--bench"},
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
  EXPECT_EQ(p.windowed.commandLine, "/s");
  p = parseArguments({"-root"});
  EXPECT_TRUE(p.windowed.root);
  EXPECT_EQ(parseArguments({"--help"}).action, CliAction::Help);
}

TEST(Arguments, AScreenSaverDaemonsOptionsCombineWithOurs) {
  // What the daemon's settings make of the hack's description.
  CliParse p = parseArguments({"-root", "--scene", "2", "-fps"});
  ASSERT_EQ(p.action, CliAction::Windowed) << p.error;
  EXPECT_TRUE(p.windowed.root);
  EXPECT_EQ(p.windowed.commandLine, "/s2");
  EXPECT_TRUE(p.windowed.showStatistics);
  EXPECT_FALSE(p.windowed.randomScene);

  p = parseArguments({"-root", "--scene", "random"});
  ASSERT_EQ(p.action, CliAction::Windowed) << p.error;
  EXPECT_EQ(p.windowed.commandLine, "/s");
  EXPECT_TRUE(p.windowed.randomScene);
  EXPECT_FALSE(p.windowed.showStatistics);

  p = parseArguments({"-root"});
  EXPECT_EQ(p.windowed.commandLine, "/s");
  EXPECT_FALSE(p.windowed.randomScene);

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
