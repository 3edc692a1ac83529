// The saver switches as Windows passes them: the whole command line of the
// process, split into arguments the way the system splits it, then read by
// the program's command-line reader.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/entry.h"
#include "hosts/common/commandline.h"

namespace {

// The arguments after the program's name, as the system splits them.
std::vector<std::string> systemArguments(const std::string &commandLine) {
  std::wstring wide(commandLine.begin(), commandLine.end());
  int count = 0;
  LPWSTR *list = CommandLineToArgvW(wide.c_str(), &count);
  std::vector<std::string> args;
  for (int i = 1; list && i < count; ++i) {
    std::wstring w(list[i]);
    args.emplace_back(w.begin(), w.end());
  }
  LocalFree(list);
  return args;
}

CommandLine readSwitches(const std::string &processCommandLine) {
  CliParse p = parseArguments(systemArguments(processCommandLine));
  EXPECT_EQ(p.action, CliAction::Windowed) << processCommandLine;
  return p.windowed.switches;
}

} // namespace

TEST(WindowsSwitches, TheSystemsSwitchesChooseTheirRunModes) {
  // Display Properties' preview, the settings button, the test button, and
  // the saver started by the system after the idle time.
  CommandLine c = readSwitches("\"C:\\Windows\\System32\\lumenveil.scr\" /p 65552");
  EXPECT_EQ(c.mode, RunMode::Preview);
  EXPECT_EQ(c.handle, 65552);

  c = readSwitches("C:\\WINDOWS\\SYSTEM32\\LUMENV~1.SCR /c:3211318");
  EXPECT_EQ(c.mode, RunMode::Configure);
  EXPECT_TRUE(c.checkRunning);
  EXPECT_EQ(c.handle, 3211318); // the window the dialog belongs to

  c = readSwitches("\"C:\\Program Files\\Lumenveil\\lumenveil.scr\" /S");
  EXPECT_EQ(c.mode, RunMode::Saver);
  EXPECT_TRUE(c.checkRunning);

  c = readSwitches("C:\\WINDOWS\\SYSTEM32\\LUMENV~1.SCR /s2");
  EXPECT_EQ(c.mode, RunMode::Saver);
  EXPECT_EQ(c.after, '2');

  c = readSwitches("C:\\WINDOWS\\SYSTEM32\\LUMENV~1.SCR /l 1234");
  EXPECT_EQ(c.mode, RunMode::Preview);
  EXPECT_EQ(c.handle, 1234);

  c = readSwitches("lumenveil.scr /a 98765");
  EXPECT_EQ(c.mode, RunMode::ChangePassword);
  EXPECT_EQ(c.handle, 98765);

  c = readSwitches("lumenveil.scr /d");
  EXPECT_EQ(c.mode, RunMode::WriteDefaults);
}

TEST(WindowsSwitches, NoSwitchRunsTheSaverWithoutLookingForAnotherCopy) {
  // Opening the file from the Explorer passes nothing after its name.
  CommandLine c = readSwitches("\"C:\\Users\\Ann\\Desktop\\lumenveil.scr\"");
  EXPECT_EQ(c.mode, RunMode::Saver);
  EXPECT_FALSE(c.checkRunning);
}

TEST(WindowsSwitches, AProgramPathWithForwardSlashesIsNotASwitch) {
  // Only what follows the program's name is read for the switch.
  CommandLine c = readSwitches("\"C:/Program Files/Lumenveil/lumenveil.scr\" /c");
  EXPECT_EQ(c.mode, RunMode::Configure);
  c = readSwitches("\"C:/Saver/lumenveil.scr\"");
  EXPECT_EQ(c.mode, RunMode::Saver);
  EXPECT_FALSE(c.checkRunning);
}

TEST(WindowsSwitches, HeadlessOptionsAreReadAsOnEverySystem) {
  CliParse p = parseArguments(systemArguments(
      "lumenveil.scr --render \"C:\\frames out\" --frames 60 --fps 30 --seed 4294967295 --scene 2"));
  ASSERT_EQ(p.action, CliAction::Headless) << p.error;
  EXPECT_EQ(p.headless.renderDir, "C:\\frames out");
  EXPECT_EQ(p.headless.frames, 60);
  // The whole range of seeds, though a long has 32 bits here.
  EXPECT_EQ(p.headless.seed, 4294967295u);
  EXPECT_EQ(p.headless.scene, 2);
}
