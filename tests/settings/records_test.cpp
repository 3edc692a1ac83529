// The settings records against a private registry file.
#include <cstdio>

#include "tests/registry/registry_fixture.h"
#include "settings/configuration.h"

namespace {

const std::string Group = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\";

class RecordsTest : public RegistryFileTest {};

TEST_F(RecordsTest, FirstRunWithoutAFileKeepsEveryDefaultAndCreatesNothing) {
  DisplayConfiguration display;
  LumenveilConfiguration lumenveil;
  AudioConfiguration audio;
  AstrelConfiguration astrel;
  GlobalConfiguration global;
  PowerConfiguration power;
  AboutConfiguration about;
  display.load();
  lumenveil.load();
  audio.load();
  astrel.load();
  global.load();
  power.load();
  about.load();

  EXPECT_EQ(display.Mode, 0);
  EXPECT_EQ(display.Divisor, 1);
  EXPECT_EQ(lumenveil.TimeFactor, 100);
  EXPECT_EQ(lumenveil.Trailers, 7);
  EXPECT_EQ(lumenveil.Debris, 200);
  EXPECT_EQ(lumenveil.StaticCamera, 1);
  EXPECT_EQ(lumenveil.MebulaBackdrop, 1);
  EXPECT_EQ(audio.CD_Audio, 0);
  EXPECT_EQ(astrel.MainStars, 200);
  EXPECT_EQ(astrel.NeighbourDistance, 650);
  EXPECT_EQ(astrel.SuperNovaeFrequency, 60);
  EXPECT_EQ(global.ScreenSaver, 2);
  EXPECT_EQ(global.Priority, 2);
  EXPECT_EQ(power.OverrideWindow95Settings, 0);
  EXPECT_EQ(power.LowPowerTimeout, 10);
  EXPECT_EQ(power.PowerOffTimeout, 15);
  EXPECT_EQ(about.Disable3DInWindow, 0);
  EXPECT_FALSE(exists(file));
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(RecordsTest, SaveWritesTheGroupInItsOrderAndLoadReadsItBack) {
  LumenveilConfiguration saved;
  saved.TimeFactor = 250;
  saved.Trailers = 3;
  saved.Spinners = 4;
  saved.Meteors = 0;
  saved.Worms = 5;
  saved.Debris = 1000;
  saved.Tubifex = 9;
  saved.StaticCamera = 0;
  saved.MebulaBackdrop = 0;
  saved.save();

  std::string text = readFile();
  std::string expected = Group + "Lumenveil]\n"
                                 "\"TimeFactor\"=dword:000000fa\n"
                                 "\"Trailers\"=dword:00000003\n"
                                 "\"Spinners\"=dword:00000004\n"
                                 "\"Meteors\"=dword:00000000\n"
                                 "\"Worms\"=dword:00000005\n"
                                 "\"Debris\"=dword:000003e8\n"
                                 "\"Tubifex\"=dword:00000009\n"
                                 "\"Static Camera\"=dword:00000000\n"
                                 "\"Mebula Backdrop\"=dword:00000000\n";
  // The file a first save makes: the header and the one key, nothing else.
  EXPECT_EQ(text, "REGEDIT4\n\n" + expected + "\n");

  LumenveilConfiguration loaded;
  loaded.load();
  EXPECT_EQ(loaded.TimeFactor, 250);
  EXPECT_EQ(loaded.Trailers, 3);
  EXPECT_EQ(loaded.Spinners, 4);
  EXPECT_EQ(loaded.Meteors, 0);
  EXPECT_EQ(loaded.Worms, 5);
  EXPECT_EQ(loaded.Debris, 1000);
  EXPECT_EQ(loaded.Tubifex, 9);
  EXPECT_EQ(loaded.StaticCamera, 0);
  EXPECT_EQ(loaded.MebulaBackdrop, 0);
}

TEST_F(RecordsTest, EveryGroupRoundTripsItsOwnValueNames) {
  DisplayConfiguration d;
  d.Mode = 1;
  d.RefreshRate = 2;
  d.Divisor = 3;
  d.DitherMode = 1;
  d.ImageCenteringAid = 1;
  d.save();
  AudioConfiguration a;
  a.CD_Audio = 1;
  a.CD_Random = 1;
  a.CD_Continuous = 1;
  a.save();
  AstrelConfiguration s;
  s.MainStars = 500;
  s.Neighbours = 5;
  s.NeighbourDistance = 900;
  s.SuperNovaeFrequency = 10;
  s.AccreationDiskDensity = -2;
  s.save();
  GlobalConfiguration g;
  g.ScreenSaver = 1;
  g.Priority = 4;
  g.Statistics = 1;
  g.MotionBlur = 1;
  g.MotionBlurDelta = 60;
  g.save();
  PowerConfiguration p;
  p.OverrideWindow95Settings = 1;
  p.LowPowerStandby = 1;
  p.ShutOffMonitor = 1;
  p.LowPowerTimeout = 3;
  p.PowerOffTimeout = 120;
  p.save();

  std::string text = readFile();
  for (const char *name : {"\"Image centering aid\"=dword:00000001", "\"CD_Continuous\"=dword:00000001",
                           "\"AccreationDiskDensity\"=dword:fffffffe", "\"MotionBlurDelta\"=dword:0000003c",
                           "\"Override Window 95 Settings\"=dword:00000001"})
    EXPECT_NE(text.find(name), std::string::npos) << name;
  EXPECT_NE(text.find(Group + "PowerManagement]"), std::string::npos);

  DisplayConfiguration d2;
  d2.load();
  EXPECT_EQ(d2.Mode, 1);
  EXPECT_EQ(d2.RefreshRate, 2);
  EXPECT_EQ(d2.Divisor, 3);
  EXPECT_EQ(d2.DitherMode, 1);
  EXPECT_EQ(d2.ImageCenteringAid, 1);
  AudioConfiguration a2;
  a2.load();
  EXPECT_EQ(a2.CD_Audio, 1);
  EXPECT_EQ(a2.CD_Random, 1);
  EXPECT_EQ(a2.CD_Continuous, 1);
  AstrelConfiguration s2;
  s2.load();
  EXPECT_EQ(s2.MainStars, 500);
  EXPECT_EQ(s2.Neighbours, 5);
  EXPECT_EQ(s2.NeighbourDistance, 900);
  EXPECT_EQ(s2.SuperNovaeFrequency, 10);
  EXPECT_EQ(s2.AccreationDiskDensity, -2);
  GlobalConfiguration g2;
  g2.load();
  EXPECT_EQ(g2.ScreenSaver, 1);
  EXPECT_EQ(g2.Priority, 4);
  EXPECT_EQ(g2.Statistics, 1);
  EXPECT_EQ(g2.MotionBlur, 1);
  EXPECT_EQ(g2.MotionBlurDelta, 60);
  PowerConfiguration p2;
  p2.load();
  EXPECT_EQ(p2.OverrideWindow95Settings, 1);
  EXPECT_EQ(p2.LowPowerStandby, 1);
  EXPECT_EQ(p2.ShutOffMonitor, 1);
  EXPECT_EQ(p2.LowPowerTimeout, 3);
  EXPECT_EQ(p2.PowerOffTimeout, 120);
}

TEST_F(RecordsTest, TimeFactorIsClampedOnLoadOnly) {
  for (auto [stored, loaded] : {std::pair{20, 50}, {1000, 300}, {50, 50}, {300, 300}, {-7, 50}, {120, 120}}) {
    LumenveilConfiguration out;
    out.TimeFactor = stored;
    out.save();
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", unsigned(stored));
    EXPECT_NE(readFile().find(std::string("\"TimeFactor\"=dword:") + hex), std::string::npos);
    LumenveilConfiguration in;
    in.load();
    EXPECT_EQ(in.TimeFactor, loaded) << stored;
  }
}

TEST_F(RecordsTest, MissingAndMistypedValuesKeepTheField) {
  writeFile("REGEDIT4\n\n" + Group +
            "Display]\n"
            "\"Mode\"=\"1\"\n"                  // a string is not read as a number
            "\"RefreshRate\"=hex:02,00,00,00\n" // four binary bytes are
            "\"Divisor\"=hex:01,00\n"           // two are not
            "\"DitherMode\"=dword:00000001\n");
  DisplayConfiguration d;
  d.ImageCenteringAid = 7; // absent from the file: keeps its previous value
  d.load();
  EXPECT_EQ(d.Mode, 0);
  EXPECT_EQ(d.RefreshRate, 2);
  EXPECT_EQ(d.Divisor, 1);
  EXPECT_EQ(d.DitherMode, 1);
  EXPECT_EQ(d.ImageCenteringAid, 7);
}

TEST_F(RecordsTest, KeyAndValueNamesMatchWithoutRegardToCase) {
  writeFile("REGEDIT4\n\n[hkey_local_machine\\software\\QBN\\lumenveil\\1.1\\GLOBAL]\n"
            "\"screensaver\"=dword:00000001\n");
  GlobalConfiguration g;
  g.load();
  EXPECT_EQ(g.ScreenSaver, 1);
  g.Priority = 3;
  g.save();
  std::string text = readFile();
  // The spelling already in the file is kept, and no second key appears.
  EXPECT_NE(text.find("[hkey_local_machine\\software\\QBN\\lumenveil\\1.1\\GLOBAL]\n"
                      "\"screensaver\"=dword:00000001\n\"Priority\"=dword:00000003\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("\\Global]"), std::string::npos) << text;
  EXPECT_EQ(text.find("\"ScreenSaver\""), std::string::npos) << text;
}

TEST_F(RecordsTest, WriteDefaultSettingsResetsFiveGroupsAndLeavesPowerAndAbout) {
  writeFile("REGEDIT4\n\n" + Group + "Global]\n\"ScreenSaver\"=dword:00000001\n\n" + Group +
            "PowerManagement]\n\"Override Window 95 Settings\"=dword:00000001\n"
            "\"Low Power Timeout\"=dword:00000021\n\n" +
            Group + "About]\n\"Disable3DInWindow\"=dword:00000001\n\n" + Group +
            "Audio]\n\"CD_Audio\"=dword:00000001\n\"CD_Device\"=\"/dev/sr1\"\n");
  LumenveilConfiguration l;
  l.Debris = 17;
  l.save();

  writeDefaultSettings();

  GlobalConfiguration g;
  g.load();
  EXPECT_EQ(g.ScreenSaver, 2);
  LumenveilConfiguration l2;
  l2.load();
  EXPECT_EQ(l2.Debris, 200);
  PowerConfiguration p;
  p.load();
  EXPECT_EQ(p.OverrideWindow95Settings, 1);
  EXPECT_EQ(p.LowPowerTimeout, 0x21);
  AboutConfiguration about;
  about.load();
  EXPECT_EQ(about.Disable3DInWindow, 1);
  std::string text = readFile();
  for (const char *group : {"Display]", "Audio]", "Global]", "Lumenveil]", "Astrel]"})
    EXPECT_NE(text.find(Group + group), std::string::npos) << group;
  EXPECT_EQ(text.find("\"Shut Off Monitor\""), std::string::npos);
  // The disc is back to the system's first drive, with the rest of the Audio group.
  EXPECT_NE(text.find("\"CD_Audio\"=dword:00000000\n\"CD_Device\"=\"\"\n"), std::string::npos) << text;
}

const std::string Desktop = "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n";

TEST_F(RecordsTest, PowerTakesTheDesktopValuesUnlessOverridden) {
  writeFile("REGEDIT4\n\n" + Desktop +
            "\"ScreenSaveLowPowerActive\"=\"1\"\n\"ScreenSaveLowPowerTimeout\"=\"-5\"\n"
            "\"ScreenSavePowerOffActive\"=\"1\"\n\"ScreenSavePowerOffTimeout\"=\"  +2700 seconds\"\n");
  PowerConfiguration p;
  p.load();
  EXPECT_EQ(p.LowPowerStandby, 1);
  EXPECT_EQ(p.LowPowerTimeout, 0);
  EXPECT_EQ(p.ShutOffMonitor, 1);
  EXPECT_EQ(p.PowerOffTimeout, 45);

  // An inactive flag leaves its timeout as it was; the program's own values
  // are ignored while the override is off.
  writeFile("REGEDIT4\n\n" + Desktop +
            "\"ScreenSaveLowPowerActive\"=\"0\"\n\"ScreenSaveLowPowerTimeout\"=\"3\"\n"
            "\"ScreenSavePowerOffActive\"=\"1\"\n\n" +
            Group +
            "PowerManagement]\n\"Override Window 95 Settings\"=dword:00000000\n"
            "\"Low Power Standby\"=dword:00000001\n\"Power Off Timeout\"=dword:00000063\n");
  PowerConfiguration q;
  q.load();
  EXPECT_EQ(q.LowPowerStandby, 0);
  EXPECT_EQ(q.LowPowerTimeout, 10);
  EXPECT_EQ(q.ShutOffMonitor, 1);
  EXPECT_EQ(q.PowerOffTimeout, 15); // no timeout value: the field keeps its default

  writeFile("REGEDIT4\n\n" + Desktop + "\"ScreenSaveLowPowerActive\"=\"1\"\n\n" + Group +
            "PowerManagement]\n\"Override Window 95 Settings\"=dword:00000001\n"
            "\"Low Power Timeout\"=dword:00000002\n");
  PowerConfiguration r;
  r.load();
  EXPECT_EQ(r.LowPowerStandby, 0);
  EXPECT_EQ(r.LowPowerTimeout, 2);
}

TEST_F(RecordsTest, DesktopTimeoutsInSecondsBecomeWholeMinutesRoundedUp) {
  writeFile("REGEDIT4\n\n" + Desktop +
            "\"ScreenSaveLowPowerActive\"=\"1\"\n\"ScreenSaveLowPowerTimeout\"=\"600\"\n"
            "\"ScreenSavePowerOffActive\"=\"1\"\n\"ScreenSavePowerOffTimeout\"=\"900\"\n");
  PowerConfiguration p;
  p.load();
  EXPECT_EQ(p.LowPowerTimeout, 10);
  EXPECT_EQ(p.PowerOffTimeout, 15);

  writeFile("REGEDIT4\n\n" + Desktop +
            "\"ScreenSaveLowPowerActive\"=\"1\"\n\"ScreenSaveLowPowerTimeout\"=\"1\"\n"
            "\"ScreenSavePowerOffActive\"=\"1\"\n\"ScreenSavePowerOffTimeout\"=\"2147483647\"\n");
  PowerConfiguration q;
  q.load();
  EXPECT_EQ(q.LowPowerTimeout, 1);
  EXPECT_EQ(q.PowerOffTimeout, 35791395);
}

TEST_F(RecordsTest, DesktopFlagsMustBeStrings) {
  writeFile("REGEDIT4\n\n" + Desktop + "\"ScreenSaveLowPowerActive\"=dword:00000031\n");
  int32_t flag = 5, timeout = 7, off = 5, offTimeout = 9;
  readDesktopPowerValues(&flag, &timeout, &off, &offTimeout);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(timeout, 7);
  EXPECT_EQ(off, 0);
  EXPECT_EQ(offTimeout, 9);
}

} // namespace

TEST_F(RecordsTest, ARunDefaultModeStandsWhereNoModeIsStoredAndAStoredModeIsReadOverIt) {
  setRunDefaultDisplayMode(6);
  DisplayConfiguration fresh;
  fresh.load();
  EXPECT_EQ(fresh.Mode, 6);
  EXPECT_EQ(fresh.Divisor, 1); // the other fields keep their table defaults

  // A stored mode, the table's own default among them, is the user's choice.
  for (int stored : {0, 2, 5, 6}) {
    writeFile("REGEDIT4\n\n" + Group + "Display]\n\"Mode\"=dword:0000000" + std::to_string(stored) + "\n\n");
    DisplayConfiguration display;
    display.load();
    EXPECT_EQ(display.Mode, stored);
  }
  // Other values of the group stored, but no mode: the run's default.
  writeFile("REGEDIT4\n\n" + Group + "Display]\n\"Divisor\"=dword:00000002\n\n");
  DisplayConfiguration noMode;
  noMode.load();
  EXPECT_EQ(noMode.Mode, 6);
  EXPECT_EQ(noMode.Divisor, 2);

  // Writing the default settings writes the table's, not the run's.
  ASSERT_EQ(writeDefaultSettings(), 0);
  DisplayConfiguration written;
  written.load();
  EXPECT_EQ(written.Mode, 0);

  setRunDefaultDisplayMode(0);
  std::remove(file.c_str());
  DisplayConfiguration plain;
  plain.load();
  EXPECT_EQ(plain.Mode, 0);
}
