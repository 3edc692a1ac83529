// Every record's values as stored: the exact bytes a save writes, and a load
// of every field from them.
#include <algorithm>
#include <set>

#include "tests/registry/registry_fixture.h"
#include "settings/configuration.h"

namespace {

// The file the six writable records make when saved in turn with the values
// of saveEveryRecord (each field its own value, so that two swapped fields show).
const char *const EveryRecordFile = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Display]
"Mode"=dword:0000000b
"RefreshRate"=dword:0000000c
"Divisor"=dword:0000000d
"DitherMode"=dword:0000000e
"Image centering aid"=dword:0000000f
"Monitors"=dword:00000000

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Lumenveil]
"TimeFactor"=dword:00000079
"Trailers"=dword:00000016
"Spinners"=dword:00000019
"Meteors"=dword:00000017
"Worms"=dword:00000018
"Debris"=dword:ffffffe5
"Tubifex"=dword:0000001a
"Static Camera"=dword:0000001c
"Mebula Backdrop"=dword:0000001d

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Audio]
"CD_Audio"=dword:0000001f
"CD_Random"=dword:00000020
"CD_Continuous"=dword:00000021

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Astrel]
"MainStars"=dword:00000029
"Neighbours"=dword:0000002a
"NeighbourDistance"=dword:12345678
"SuperNovaeFrequency"=dword:0000002c
"AccreationDiskDensity"=dword:0000002d

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Global]
"ScreenSaver"=dword:00000033
"Priority"=dword:00000034
"Statistics"=dword:00000035
"MotionBlur"=dword:00000036
"MotionBlurDelta"=dword:00000037
"ScreenSaver idle minutes"=dword:0000000a

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\PowerManagement]
"Override Window 95 Settings"=dword:0000003d
"Low Power Standby"=dword:0000003e
"Shut Off Monitor"=dword:0000003f
"Low Power Timeout"=dword:00000040
"Power Off Timeout"=dword:00000041

)";

// The file the /d switch makes.
const char *const DefaultsFile = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Display]
"Mode"=dword:00000000
"RefreshRate"=dword:00000000
"Divisor"=dword:00000001
"DitherMode"=dword:00000000
"Image centering aid"=dword:00000000
"Monitors"=dword:00000000

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Audio]
"CD_Audio"=dword:00000000
"CD_Random"=dword:00000000
"CD_Continuous"=dword:00000000

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Global]
"ScreenSaver"=dword:00000002
"Priority"=dword:00000002
"Statistics"=dword:00000000
"MotionBlur"=dword:00000000
"MotionBlurDelta"=dword:00000000
"ScreenSaver idle minutes"=dword:0000000a

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Lumenveil]
"TimeFactor"=dword:00000064
"Trailers"=dword:00000007
"Spinners"=dword:00000002
"Meteors"=dword:00000001
"Worms"=dword:00000002
"Debris"=dword:000000c8
"Tubifex"=dword:00000007
"Static Camera"=dword:00000001
"Mebula Backdrop"=dword:00000001

[HKEY_LOCAL_MACHINE\SOFTWARE\Qbn\Lumenveil\1.1\Astrel]
"MainStars"=dword:000000c8
"Neighbours"=dword:00000003
"NeighbourDistance"=dword:0000028a
"SuperNovaeFrequency"=dword:0000003c
"AccreationDiskDensity"=dword:00000000

)";

class SettingsFileTest : public RegistryFileTest {};

void saveEveryRecord(std::vector<int> &results) {
  DisplayConfiguration d;
  d.Mode = 11;
  d.RefreshRate = 12;
  d.Divisor = 13;
  d.DitherMode = 14;
  d.ImageCenteringAid = 15;
  results.push_back(d.save());
  LumenveilConfiguration l;
  l.TimeFactor = 121;
  l.Trailers = 22;
  l.Meteors = 23;
  l.Worms = 24;
  l.Spinners = 25;
  l.Tubifex = 26;
  l.Debris = -27;
  l.StaticCamera = 28;
  l.MebulaBackdrop = 29;
  results.push_back(l.save());
  AudioConfiguration a;
  a.CD_Audio = 31;
  a.CD_Random = 32;
  a.CD_Continuous = 33;
  results.push_back(a.save());
  AstrelConfiguration s;
  s.MainStars = 41;
  s.Neighbours = 42;
  s.NeighbourDistance = 0x12345678;
  s.SuperNovaeFrequency = 44;
  s.AccreationDiskDensity = 45;
  results.push_back(s.save());
  GlobalConfiguration g;
  g.ScreenSaver = 51;
  g.Priority = 52;
  g.Statistics = 53;
  g.MotionBlur = 54;
  g.MotionBlurDelta = 55;
  results.push_back(g.save());
  PowerConfiguration p;
  p.OverrideWindow95Settings = 61;
  p.LowPowerStandby = 62;
  p.ShutOffMonitor = 63;
  p.LowPowerTimeout = 64;
  p.PowerOffTimeout = 65;
  results.push_back(p.save());
}

TEST_F(SettingsFileTest, SavesWriteTheSameBytesAsEver) {
  std::vector<int> results;
  saveEveryRecord(results);
  EXPECT_EQ(readFile(), EveryRecordFile);
  for (int r : results) EXPECT_EQ(r, 0);

  std::filesystem::remove(file);
  writeDefaultSettings();
  EXPECT_EQ(readFile(), DefaultsFile);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(SettingsFileTest, LoadReadsEveryFieldFromItsOwnValue) {
  writeFile(EveryRecordFile);
  DisplayConfiguration d;
  d.load();
  EXPECT_EQ(d.Mode, 11);
  EXPECT_EQ(d.RefreshRate, 12);
  EXPECT_EQ(d.Divisor, 13);
  EXPECT_EQ(d.DitherMode, 14);
  EXPECT_EQ(d.ImageCenteringAid, 15);
  LumenveilConfiguration l;
  l.load();
  EXPECT_EQ(l.TimeFactor, 121);
  EXPECT_EQ(l.Trailers, 22);
  EXPECT_EQ(l.Meteors, 23);
  EXPECT_EQ(l.Worms, 24);
  EXPECT_EQ(l.Spinners, 25);
  EXPECT_EQ(l.Tubifex, 26);
  EXPECT_EQ(l.Debris, -27);
  EXPECT_EQ(l.StaticCamera, 28);
  EXPECT_EQ(l.MebulaBackdrop, 29);
  AudioConfiguration a;
  a.load();
  EXPECT_EQ(a.CD_Audio, 31);
  EXPECT_EQ(a.CD_Random, 32);
  EXPECT_EQ(a.CD_Continuous, 33);
  AstrelConfiguration s;
  s.load();
  EXPECT_EQ(s.MainStars, 41);
  EXPECT_EQ(s.Neighbours, 42);
  EXPECT_EQ(s.NeighbourDistance, 0x12345678);
  EXPECT_EQ(s.SuperNovaeFrequency, 44);
  EXPECT_EQ(s.AccreationDiskDensity, 45);
  GlobalConfiguration g;
  g.load();
  EXPECT_EQ(g.ScreenSaver, 51);
  EXPECT_EQ(g.Priority, 52);
  EXPECT_EQ(g.Statistics, 53);
  EXPECT_EQ(g.MotionBlur, 54);
  EXPECT_EQ(g.MotionBlurDelta, 55);
  PowerConfiguration p;
  p.load();
  EXPECT_EQ(p.OverrideWindow95Settings, 61);
  EXPECT_EQ(p.LowPowerStandby, 62);
  EXPECT_EQ(p.ShutOffMonitor, 63);
  EXPECT_EQ(p.LowPowerTimeout, 64);
  EXPECT_EQ(p.PowerOffTimeout, 65);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(SettingsFileTest, TimeFactorIsHeldInRangeEvenWhenNotStored) {
  LumenveilConfiguration fast, slow;
  fast.TimeFactor = 1000;
  slow.TimeFactor = 0;
  fast.load();
  slow.load();
  EXPECT_EQ(fast.TimeFactor, 300);
  EXPECT_EQ(slow.TimeFactor, 50);
}

TEST_F(SettingsFileTest, DefaultsOfTheGroupsTheDSwitchLeavesAlone) {
  PowerConfiguration p;
  EXPECT_EQ(p.OverrideWindow95Settings, 0);
  EXPECT_EQ(p.LowPowerStandby, 0);
  EXPECT_EQ(p.ShutOffMonitor, 0);
  EXPECT_EQ(p.LowPowerTimeout, 10);
  EXPECT_EQ(p.PowerOffTimeout, 15);
  EXPECT_EQ(AboutConfiguration().Disable3DInWindow, 0);
}

// Every field of the record is in its table once (a field left out would
// never be set, read or written), and no two values share a name in the
// registry's case-blind sense.
template <class Record> void expectEveryFieldOnce(const char *record) {
  auto fields = Record::fields();
  EXPECT_EQ(sizeof(Record), fields.size() * sizeof(int32_t)) << record;
  std::set<std::string> names;
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string name = fields[i].name;
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    EXPECT_TRUE(names.insert(name).second) << record << " " << name;
    EXPECT_EQ(fields[i].kind, SettingKind::Dword) << record << " " << name;
    for (size_t j = 0; j < i; ++j) EXPECT_NE(fields[i].field, fields[j].field) << record << " " << name;
  }
}

TEST(SettingsTables, EveryFieldIsDescribedOnce) {
  expectEveryFieldOnce<DisplayConfiguration>("Display");
  expectEveryFieldOnce<LumenveilConfiguration>("Lumenveil");
  expectEveryFieldOnce<AudioConfiguration>("Audio");
  expectEveryFieldOnce<AstrelConfiguration>("Astrel");
  expectEveryFieldOnce<GlobalConfiguration>("Global");
  expectEveryFieldOnce<PowerConfiguration>("Power");
  expectEveryFieldOnce<AboutConfiguration>("About");
}

TEST_F(SettingsFileTest, AFileThatCannotBeWrittenFailsEverySaveAndIsToldOnce) {
  std::filesystem::create_directory(file); // a folder where the file should be
  std::vector<int> results;
  saveEveryRecord(results);
  ASSERT_EQ(results.size(), 6u);
  for (int r : results) EXPECT_EQ(r, SettingsNotSaved);
  // The store tells the same failure once for a round of saves (the dialog
  // saves six groups when it closes), not once per group.
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_NE(sink.messages[0].text.find("could not save its settings"), std::string::npos)
      << sink.messages[0].text;

  // The /d switch stops at the first group rather than telling the same thing
  // five times. (Reading the settings starts a new round of saves.)
  DisplayConfiguration().load();
  sink.messages.clear();
  EXPECT_EQ(writeDefaultSettings(), SettingsNotSaved);
  EXPECT_EQ(sink.messages.size(), 1u);
}

TEST_F(SettingsFileTest, ASaveStopsAtTheFirstValueTheRegistryRefuses) {
  const SettingField<DisplayConfiguration> fields[] = {
      {"Mode", &DisplayConfiguration::Mode},
      {"Two\nLines", &DisplayConfiguration::RefreshRate}, // a value name cannot hold a line break
      {"Divisor", &DisplayConfiguration::Divisor},
  };
  DisplayConfiguration d;
  d.Mode = 4;
  EXPECT_EQ(saveSettingFields<DisplayConfiguration>(d, "Display", fields), SettingsNotSaved);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_NE(sink.messages[0].text.find("Two"), std::string::npos) << sink.messages[0].text;
  std::string text = readFile();
  EXPECT_NE(text.find("\"Mode\"=dword:00000004"), std::string::npos) << text;
  EXPECT_EQ(text.find("Divisor"), std::string::npos) << text;
}

TEST_F(SettingsFileTest, AGroupKeyThatCannotBeMadeFailsWithOneMessage) {
  std::string longName(300, 'k'); // longer than a key name may be
  DisplayConfiguration d;
  EXPECT_EQ(saveSettingFields<DisplayConfiguration>(d, longName.c_str(), DisplayFields), SettingsNotSaved);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].text, longName);
  EXPECT_EQ(readFile().find("Mode"), std::string::npos);
}

} // namespace
