// The control-panel dialog driven without a window: what each control shows,
// what the handlers change, and what reaches the settings file and when.
#include <memory>

#include "registry/registrystore.h"
#include "controlpanel/mainform.h"
#include "display/glidedisplay.h"
#include "platform/cddevice.h"
#include "settings/configuration.h"
#include "tests/registry/registry_fixture.h"

namespace {

constexpr WindowHandle TelaWindow = 7;

class MainFormTest : public RegistryFileTest {
protected:
  std::unique_ptr<MainForm> form;

  void TearDown() override {
    form.reset();
    setCdDriveLister(nullptr);
    RegistryFileTest::TearDown();
  }

  // Values written to a group of the program's key before the dialog opens.
  void store(const char *group, std::initializer_list<std::pair<const char *, int32_t>> values) {
    RegistryKey key;
    ASSERT_TRUE(key.createPath((std::string(LumenveilRegistryPath) + "\\" + group).c_str()));
    for (const auto &[name, value] : values) key.writeDword(name, value);
  }
  // A value as the settings file holds it now (read afresh from the file).
  int32_t stored(const char *group, const char *name, int32_t missing = -12345) {
    setRegistryFilePath(file);
    RegistryKey key;
    int32_t value = missing;
    key.openPath((std::string(LumenveilRegistryPath) + "\\" + group).c_str());
    key.readDword(name, &value);
    return value;
  }
  MainForm &open() {
    form = std::make_unique<MainForm>(TelaWindow);
    form->formCreate();
    return *form;
  }
  void close() { form->formClose(); }
};

TEST_F(MainFormTest, FrameRateListFollowsTheRefreshRate) {
  store("Display", {{"RefreshRate", 2}, {"Divisor", 3}});
  MainForm &f = open();
  EXPECT_EQ(f.RefreshRate.items[f.RefreshRate.itemIndex], "72 Hz");
  EXPECT_EQ(f.FrameRate.items,
            (std::vector<std::string>{"Maximum", "72.0", "36.0", "24.0", "18.0", "14.4", "12.0"}));
  EXPECT_EQ(f.FrameRate.itemIndex, 3);

  f.userPick(f.RefreshRate, 1);
  EXPECT_EQ(f.FrameRate.items,
            (std::vector<std::string>{"Maximum", "70.0", "35.0", "23.3", "17.5", "14.0", "11.7"}));
  EXPECT_EQ(f.FrameRate.itemIndex, 3);
  f.userPick(f.FrameRate, 5);
  close();
  EXPECT_EQ(stored("Display", "RefreshRate"), 1);
  EXPECT_EQ(stored("Display", "Divisor"), 5);
}

TEST_F(MainFormTest, ListsNameEveryEntryAndTakeNothingOutsideThem) {
  MainForm &f = open();
  EXPECT_EQ(f.Resolution.items, (std::vector<std::string>{"800 x 600", "640 x 480", "512 x 384", "1024 x 768",
                                                          "1280 x 1024", "1600 x 1200", "Native"}));
  EXPECT_EQ(f.RefreshRate.items, (std::vector<std::string>{"60 Hz", "70 Hz", "72 Hz", "75 Hz", "80 Hz",
                                                           "85 Hz", "90 Hz", "100 Hz", "120 Hz"}));
  EXPECT_EQ(f.DitherMode.items, (std::vector<std::string>{"disabled", "2 x 2", "4 x 4"}));
  EXPECT_EQ(f.FrameRate.hint, "Targetted  frame rate");
  f.userPick(f.Resolution, 7);
  f.userPick(f.DitherMode, -1);
  EXPECT_EQ(f.display()->Mode, 0);
  EXPECT_EQ(f.display()->DitherMode, 0);
  f.userPick(f.Resolution, 5);
  f.userPick(f.DitherMode, 2);
  close();
  EXPECT_EQ(stored("Display", "Mode"), 5);
  EXPECT_EQ(stored("Display", "DitherMode"), 2);
}

// Without a stored refresh rate the saver paces to the monitor's own: the
// dialog stores one only once the user picks it.
TEST_F(MainFormTest, RefreshRateIsStoredOnlyOncePicked) {
  open();
  close();
  EXPECT_EQ(stored("Display", "RefreshRate"), -12345);
  EXPECT_EQ(stored("Display", "Divisor"), 1); // the rest of the page is saved
  MainForm &f = open();
  f.userPick(f.RefreshRate, 0);
  close();
  EXPECT_EQ(stored("Display", "RefreshRate"), 0);
}

TEST_F(MainFormTest, MonitorsListShowsAndStoresWhatTheOtherMonitorsShow) {
  store("Display", {{"Monitors", 2}});
  MainForm &f = open();
  EXPECT_EQ(f.Monitors.items, (std::vector<std::string>{"Each its own scene", "The same picture", "Black"}));
  EXPECT_EQ(f.Monitors.itemIndex, 2);
  f.userPick(f.Monitors, 1);
  close();
  EXPECT_EQ(stored("Display", "Monitors"), 1);
}

// A hand-edited index shows the entry the saver will use and is kept unless
// the user picks another entry.
TEST_F(MainFormTest, StoredIndicesOutsideTheListsShowWhatTheSaverUsesAndAreKept) {
  store("Display", {{"Mode", 9}, {"RefreshRate", 20}, {"Divisor", 9}, {"DitherMode", -1}});
  MainForm &f = open();
  EXPECT_EQ(f.Resolution.itemIndex, 0);
  EXPECT_EQ(f.RefreshRate.itemIndex, 0);
  EXPECT_EQ(f.FrameRate.items[1], "60.0");
  EXPECT_EQ(f.FrameRate.itemIndex, MaxSwapInterval); // the swap interval is held to the list
  EXPECT_EQ(f.DitherMode.itemIndex, 0);
  f.userPick(f.Resolution, 3);
  close();
  EXPECT_EQ(stored("Display", "Mode"), 3);
  EXPECT_EQ(stored("Display", "RefreshRate"), 20);
  EXPECT_EQ(stored("Display", "Divisor"), 9);
  EXPECT_EQ(stored("Display", "DitherMode"), -1);

  store("Display", {{"Divisor", -4}});
  MainForm &g = open();
  EXPECT_EQ(g.FrameRate.itemIndex, 0);
}

TEST_F(MainFormTest, ReadoutsShowTheirSuffixOnlyOnceMoved) {
  store("Astrel", {{"SuperNovaeFrequency", 100}});
  MainForm &f = open();
  EXPECT_EQ(f.Panel19.caption, "100");
  EXPECT_EQ(f.Panel21.caption, "100");
  EXPECT_EQ(f.Panel22.caption, "+0");
  f.userMove(f.TrackBar11, 150);
  EXPECT_EQ(f.Panel19.caption, "150%");
  EXPECT_EQ(f.lumenveil()->TimeFactor, 150);
  f.userMove(f.TrackBar14, 40);
  EXPECT_EQ(f.Panel21.caption, "40 s");
  f.userMove(f.TrackBar15, 25);
  f.userMove(f.TrackBar15, 0);
  EXPECT_EQ(f.Panel22.caption, "+0");
  f.userMove(f.TrackBar10, -20); // disabled while motion blur is off
  EXPECT_EQ(f.TrackBar10.position, 0);
  close();

  MainForm &g = open();
  EXPECT_EQ(g.TrackBar11.position, 150);
  EXPECT_EQ(g.Panel19.caption, "150");
  EXPECT_EQ(g.Panel21.caption, "40");
}

TEST_F(MainFormTest, SliderValuesOutsideTheRangeAreShownHeldAndSavedUnchanged) {
  store("Astrel", {{"MainStars", 900}, {"Neighbours", -3}, {"NeighbourDistance", 5000}});
  store("Global", {{"Priority", 7}});
  MainForm &f = open();
  EXPECT_EQ(f.TrackBar6.position, 500);
  EXPECT_EQ(f.Panel9.caption, "500");
  EXPECT_EQ(f.TrackBar12.position, 0);
  EXPECT_EQ(f.Panel16.caption, "4");
  // A move past the end does nothing; a real move stores the slider's value.
  f.userMove(f.TrackBar6, 600);
  f.userMove(f.TrackBar13, 950);
  close();
  EXPECT_EQ(stored("Astrel", "MainStars"), 900);
  EXPECT_EQ(stored("Astrel", "Neighbours"), -3);
  EXPECT_EQ(stored("Astrel", "NeighbourDistance"), 950);
  EXPECT_EQ(stored("Global", "Priority"), 7);
}

TEST_F(MainFormTest, CdAudioEnablesItsTwoBoxes) {
  store("Audio", {{"CD_Audio", 1}, {"CD_Random", 1}});
  MainForm &f = open();
  EXPECT_TRUE(f.CheckBox3.checked);
  EXPECT_TRUE(f.CheckBox5.checked);
  EXPECT_TRUE(f.CheckBox5.enabled);
  EXPECT_TRUE(f.CheckBox4.enabled);
  EXPECT_FALSE(f.GroupBox5.enabled);
  f.userClick(f.CheckBox3);
  EXPECT_FALSE(f.CheckBox5.enabled);
  EXPECT_FALSE(f.CheckBox4.enabled);
  f.userClick(f.CheckBox4); // disabled: ignored
  EXPECT_FALSE(f.CheckBox4.checked);
  close();
  EXPECT_EQ(stored("Audio", "CD_Audio"), 0);
  EXPECT_EQ(stored("Audio", "CD_Random"), 1);
  EXPECT_EQ(stored("Audio", "CD_Continuous"), 0);
}

// The disc chooser: the system's drives, disc images, and what reaches "CD_Device".
class CdDeviceChooserTest : public MainFormTest {
protected:
  std::vector<std::string> asked; // what the file chooser was given each time
  std::string answer;             // and what it answers

  void SetUp() override {
    MainFormTest::SetUp();
    setCdDriveLister([] { return std::vector<std::string>{"/dev/sr0", "/dev/sr1"}; });
  }
  MainForm &openWithChooser() {
    MainForm &f = open();
    f.setDiscImageChooser([this](const std::string &current) {
      asked.push_back(current);
      return answer;
    });
    return f;
  }
  // "CD_Device" as the settings file holds it now: the value's line, or "missing".
  std::string storedLine() {
    const std::string text = readFile();
    const size_t at = text.find("\"CD_Device\"=");
    return at == std::string::npos ? "missing" : text.substr(at, text.find('\n', at) - at);
  }
  std::string storedName() {
    setRegistryFilePath(file);
    std::string name = "unusable";
    if (!readCdDeviceName(name)) return "unusable";
    return name;
  }
};

TEST_F(CdDeviceChooserTest, ListsTheDrivesAndSavesThePickedOneAtClose) {
  store("Audio", {{"CD_Audio", 1}});
  MainForm &f = open();
  EXPECT_EQ(f.CdDevice.items, (std::vector<std::string>{"First CD drive", "/dev/sr0", "/dev/sr1"}));
  EXPECT_EQ(f.CdDevice.itemIndex, 0); // nothing stored: the first drive
  f.userPick(f.CdDevice, 2);
  EXPECT_EQ(f.CdDevice.hint, "/dev/sr1");
  EXPECT_EQ(storedLine(), "missing"); // nothing before the dialog closes
  close();
  EXPECT_EQ(storedName(), "/dev/sr1");

  // Back to the first drive: stored empty.
  MainForm &g = open();
  EXPECT_EQ(g.CdDevice.itemIndex, 2);
  g.userPick(g.CdDevice, 0);
  close();
  EXPECT_EQ(storedLine(), "\"CD_Device\"=\"\"");
}

TEST_F(CdDeviceChooserTest, ABrowsedImageIsAddedAndChosenByItsFullPath) {
  store("Audio", {{"CD_Audio", 1}});
  MainForm &f = openWithChooser();
  answer = "/media/disc images/album.cue";
  f.userClick(f.CdBrowse);
  EXPECT_EQ(f.CdDevice.items.back(), "album.cue");
  EXPECT_EQ(f.CdDevice.itemIndex, 3);
  EXPECT_EQ(f.CdDevice.hint, "/media/disc images/album.cue");
  // Cancelled: nothing changes. The same image again: no second entry.
  answer = "";
  f.userClick(f.CdBrowse);
  answer = "/media/disc images/album.cue";
  f.userClick(f.CdBrowse);
  EXPECT_EQ(f.CdDevice.items.size(), 4u);
  EXPECT_EQ(f.CdDevice.itemIndex, 3);
  // The chooser starts from the image chosen, not from a drive.
  EXPECT_EQ(asked,
            (std::vector<std::string>{"", "/media/disc images/album.cue", "/media/disc images/album.cue"}));
  f.userPick(f.CdDevice, 1);
  f.userClick(f.CdBrowse);
  EXPECT_EQ(asked.back(), "");
  close();
  EXPECT_EQ(storedName(), "/media/disc images/album.cue");

  // Reopened, the stored image is an entry of its own, and chosen.
  MainForm &g = open();
  EXPECT_EQ(g.CdDevice.items,
            (std::vector<std::string>{"First CD drive", "/dev/sr0", "/dev/sr1", "album.cue"}));
  EXPECT_EQ(g.CdDevice.itemIndex, 3);
}

// A value the user never touched is left exactly as stored: an image that no
// longer exists, a number, or nothing at all.
TEST_F(CdDeviceChooserTest, AnUntouchedValueIsKeptByteForByte) {
  const std::string line = "\"CD_Device\"=\"/gone/Old \\\"Live\\\" Disc.toc\"";
  writeFile("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\Audio]\n"
            "\"CD_Audio\"=dword:00000001\n" +
            line + "\n");
  setRegistryFilePath(file);
  MainForm &f = open();
  EXPECT_EQ(f.CdDevice.items.back(), "Old \"Live\" Disc.toc");
  EXPECT_EQ(f.CdDevice.itemIndex, 3);
  f.userClick(f.CheckBox5);
  close();
  EXPECT_EQ(storedLine(), line);
  EXPECT_EQ(stored("Audio", "CD_Random"), 1);

  // A number names no disc: no entry is shown, and the number stays.
  store("Audio", {{"CD_Device", 7}});
  MainForm &g = open();
  EXPECT_EQ(g.CdDevice.itemIndex, -1);
  close();
  EXPECT_EQ(stored("Audio", "CD_Device"), 7);

  std::filesystem::remove(file);
  setRegistryFilePath(file);
  open();
  close();
  EXPECT_EQ(storedLine(), "missing");
}

TEST_F(CdDeviceChooserTest, TheChooserFollowsCdAudio) {
  MainForm &f = openWithChooser();
  answer = "/media/album.cue";
  for (Control *c : {&f.CdDeviceLabel, &f.CdDevice, &f.CdBrowse}) EXPECT_FALSE(c->enabled) << c->name;
  f.userPick(f.CdDevice, 1);
  f.userClick(f.CdBrowse);
  EXPECT_EQ(f.CdDevice.itemIndex, 0);
  EXPECT_TRUE(asked.empty());
  f.userClick(f.CheckBox3);
  for (Control *c : {&f.CdDeviceLabel, &f.CdDevice, &f.CdBrowse}) EXPECT_TRUE(c->enabled) << c->name;
  f.userPick(f.CdDevice, 1);
  f.userClick(f.CheckBox3); // off again: the choice is kept and saved
  EXPECT_FALSE(f.CdDevice.enabled);
  close();
  EXPECT_EQ(storedName(), "/dev/sr0");
  EXPECT_EQ(stored("Audio", "CD_Audio"), 0);
}

TEST_F(MainFormTest, StandbyNeverOutlastsShutOff) {
  store("PowerManagement", {{"Override Window 95 Settings", 1},
                            {"Low Power Standby", 1},
                            {"Shut Off Monitor", 1},
                            {"Low Power Timeout", 30},
                            {"Power Off Timeout", 20}});
  MainForm &f = open();
  EXPECT_EQ(f.Edit1.caption, "20");
  EXPECT_EQ(f.Edit2.caption, "20");
  EXPECT_TRUE(f.ScrollBar1.enabled);

  // Thumb up raises the minutes; standby above shut-off takes shut-off along.
  f.userMove(f.ScrollBar1, 121 - 45);
  EXPECT_EQ(f.Edit1.caption, "45");
  EXPECT_EQ(f.Edit2.caption, "45");
  // Shut-off below standby takes standby down with it.
  f.userMove(f.ScrollBar2, 121 - 12);
  EXPECT_EQ(f.Edit1.caption, "12");
  EXPECT_EQ(f.Edit2.caption, "12");
  f.userMove(f.ScrollBar2, 121 - 60);
  EXPECT_EQ(f.Edit1.caption, "12");
  EXPECT_EQ(f.Edit2.caption, "60");
  close();
  EXPECT_EQ(stored("PowerManagement", "Low Power Timeout"), 12);
  EXPECT_EQ(stored("PowerManagement", "Power Off Timeout"), 60);
}

TEST_F(MainFormTest, TimeoutsOutsideTheScrollRangeComeBackHeld) {
  store("PowerManagement",
        {{"Override Window 95 Settings", 1}, {"Low Power Timeout", 0}, {"Power Off Timeout", 200}});
  MainForm &f = open();
  EXPECT_EQ(f.Edit1.caption, "1");
  EXPECT_EQ(f.Edit2.caption, "120");
  // Both switches off: the boxes are there, the minutes are not editable.
  EXPECT_TRUE(f.CheckBox6.enabled);
  EXPECT_FALSE(f.ScrollBar1.enabled);
  EXPECT_FALSE(f.Edit2.enabled);
  f.userClick(f.CheckBox7);
  EXPECT_TRUE(f.ScrollBar2.enabled);
  EXPECT_TRUE(f.Label9.enabled);
  EXPECT_FALSE(f.Label8.enabled);
  close();
  EXPECT_EQ(stored("PowerManagement", "Low Power Timeout"), 1);
  EXPECT_EQ(stored("PowerManagement", "Power Off Timeout"), 120);
  EXPECT_EQ(stored("PowerManagement", "Shut Off Monitor"), 1);
  EXPECT_EQ(stored("PowerManagement", "Low Power Standby"), 0);
}

TEST_F(MainFormTest, WithoutTheOverrideTheDesktopValuesAreShownAndWritten) {
  writeFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"
            // The desktop keeps seconds: 25 minutes, and 40 minutes less a second.
            "\"ScreenSaveLowPowerActive\"=\"1\"\n\"ScreenSaveLowPowerTimeout\"=\"1500\"\n"
            "\"ScreenSavePowerOffActive\"=\"1\"\n\"ScreenSavePowerOffTimeout\"=\"2399\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qbn\\Lumenveil\\1.1\\PowerManagement]\n"
            "\"Override Window 95 Settings\"=dword:00000000\n"
            "\"Low Power Timeout\"=dword:00000005\n");
  setRegistryFilePath(file);
  MainForm &f = open();
  EXPECT_FALSE(f.CheckBox2.checked);
  EXPECT_FALSE(f.GroupBox22.enabled);
  EXPECT_TRUE(f.CheckBox6.checked);
  EXPECT_FALSE(f.CheckBox6.enabled);
  EXPECT_FALSE(f.ScrollBar1.enabled);
  EXPECT_EQ(f.Edit1.caption, "25");
  EXPECT_EQ(f.Edit2.caption, "40");
  close();
  EXPECT_EQ(stored("PowerManagement", "Override Window 95 Settings"), 0);
  EXPECT_EQ(stored("PowerManagement", "Low Power Standby"), 1);
  EXPECT_EQ(stored("PowerManagement", "Low Power Timeout"), 25);
  EXPECT_EQ(stored("PowerManagement", "Shut Off Monitor"), 1);
  EXPECT_EQ(stored("PowerManagement", "Power Off Timeout"), 40);
}

TEST_F(MainFormTest, OverrideEnablesThePowerControlsInChain) {
  MainForm &f = open();
  f.userClick(f.CheckBox2);
  EXPECT_TRUE(f.GroupBox22.enabled);
  EXPECT_TRUE(f.CheckBox7.enabled);
  EXPECT_FALSE(f.Edit1.enabled);
  f.userClick(f.CheckBox6);
  EXPECT_TRUE(f.Edit1.enabled);
  EXPECT_TRUE(f.ScrollBar1.enabled);
  f.userClick(f.CheckBox2);
  EXPECT_FALSE(f.CheckBox6.enabled);
  EXPECT_TRUE(f.CheckBox6.checked);
  EXPECT_FALSE(f.Edit1.enabled);
}

TEST_F(MainFormTest, DefaultsReachTheFileAtOnceAndLeaveTheOtherGroups) {
  store("Lumenveil", {{"TimeFactor", 250},
                      {"Trailers", 12},
                      {"Meteors", 4},
                      {"Worms", 0},
                      {"Spinners", 5},
                      {"Tubifex", 20},
                      {"Debris", 1500},
                      {"Static Camera", 0},
                      {"Mebula Backdrop", 0}});
  store("Global", {{"Priority", 3}});
  store("Astrel", {{"MainStars", 450}});
  MainForm &f = open();
  f.userMove(f.TrackBar9, 1);
  f.userMove(f.TrackBar6, 300);
  f.userMove(f.TrackBar11, 200);
  f.userClick(f.Button8);

  // Before the dialog closes.
  EXPECT_EQ(stored("Lumenveil", "TimeFactor"), 100);
  EXPECT_EQ(stored("Lumenveil", "Trailers"), 7);
  EXPECT_EQ(stored("Lumenveil", "Meteors"), 1);
  EXPECT_EQ(stored("Lumenveil", "Worms"), 2);
  EXPECT_EQ(stored("Lumenveil", "Spinners"), 2);
  EXPECT_EQ(stored("Lumenveil", "Tubifex"), 7);
  EXPECT_EQ(stored("Lumenveil", "Debris"), 200);
  EXPECT_EQ(stored("Lumenveil", "Static Camera"), 1);
  EXPECT_EQ(stored("Lumenveil", "Mebula Backdrop"), 1);
  EXPECT_EQ(stored("Global", "Priority"), 3);
  EXPECT_EQ(stored("Astrel", "MainStars"), 450);
  // The page shows the defaults as at open.
  EXPECT_EQ(f.TrackBar11.position, 100);
  EXPECT_EQ(f.Panel19.caption, "100");
  EXPECT_EQ(f.TrackBar3.position, 200);
  EXPECT_TRUE(f.VCamera.checked);
  EXPECT_TRUE(f.VNebula.checked);
  // The other pages keep their edits.
  EXPECT_EQ(f.TrackBar9.position, 1);
  close();
  EXPECT_EQ(stored("Global", "Priority"), 1);
  EXPECT_EQ(stored("Astrel", "MainStars"), 300);
  EXPECT_EQ(stored("Lumenveil", "TimeFactor"), 100);
}

TEST_F(MainFormTest, GlobalAndAstrelDefaults) {
  store("Global", {{"ScreenSaver", 0}, {"MotionBlur", 1}, {"MotionBlurDelta", -25}});
  store("Astrel", {{"AccreationDiskDensity", 150}});
  MainForm &f = open();
  EXPECT_TRUE(f.RadioButton3.checked);
  EXPECT_TRUE(f.TrackBar10.enabled);
  f.userClick(f.Button3);
  EXPECT_EQ(stored("Global", "ScreenSaver"), 2);
  EXPECT_EQ(stored("Global", "MotionBlur"), 0);
  EXPECT_TRUE(f.RadioButton5.checked);
  EXPECT_FALSE(f.RadioButton3.checked);
  EXPECT_FALSE(f.TrackBar10.enabled);
  EXPECT_EQ(f.Panel17.caption, "0");
  f.userClick(f.Button4);
  EXPECT_EQ(stored("Astrel", "AccreationDiskDensity"), 0);
  EXPECT_EQ(f.Panel22.caption, "+0");
}

TEST_F(MainFormTest, AnUnknownSceneShowsRandomAndIsKeptUnlessClicked) {
  store("Global", {{"ScreenSaver", 5}});
  MainForm &f = open();
  EXPECT_TRUE(f.RadioButton5.checked);
  EXPECT_FALSE(f.RadioButton3.checked || f.RadioButton4.checked);
  close();
  EXPECT_EQ(stored("Global", "ScreenSaver"), 5);

  MainForm &g = open();
  g.userClick(g.RadioButton4);
  EXPECT_TRUE(g.RadioButton4.checked);
  EXPECT_FALSE(g.RadioButton5.checked);
  g.userClick(g.RadioButton5);
  close();
  EXPECT_EQ(stored("Global", "ScreenSaver"), 2);
}

TEST_F(MainFormTest, ClosingSavesEveryGroupOnceAndUnbindsThePreview) {
  MainForm &f = open();
  EXPECT_EQ(RenderWindow, TelaWindow);
  f.userClick(f.CheckBox8);
  f.userClick(f.Statistics);
  f.userClick(f.VCamera);
  close();
  EXPECT_FALSE(f.dialogVisible());
  EXPECT_EQ(RenderWindow, 0u);
  EXPECT_EQ(stored("Display", "Image centering aid"), 1);
  EXPECT_EQ(stored("Global", "Statistics"), 1);
  EXPECT_EQ(stored("Lumenveil", "Static Camera"), 0);
  EXPECT_EQ(stored("Audio", "CD_Audio"), 0);
  EXPECT_EQ(stored("PowerManagement", "Override Window 95 Settings"), 0);

  // A second close (the window closing after a stop request) writes nothing.
  store("Global", {{"Statistics", 0}});
  close();
  EXPECT_EQ(stored("Global", "Statistics"), 0);
}

TEST_F(MainFormTest, ThePreviewFollowsTheAboutPage) {
  MainForm &f = open();
  int changes = 0;
  f.setChangeListener([&] { ++changes; });
  EXPECT_EQ(f.activePage(), AboutPage);
  EXPECT_TRUE(f.GroupBox21.visible);
  EXPECT_FALSE(f.Tela.visible);
  showPreviewPanel();
  EXPECT_TRUE(f.Tela.visible);
  EXPECT_FALSE(f.GroupBox21.visible);
  EXPECT_EQ(changes, 1);

  f.userSelectPage(GlobalPage);
  EXPECT_EQ(RenderWindow, 0u);
  f.userSelectPage(AboutPage);
  EXPECT_EQ(RenderWindow, TelaWindow);
  close();
  form.reset();
  EXPECT_EQ(openMainForm(), nullptr);
  showPreviewPanel(); // no dialog: nothing happens
}

} // namespace

TEST_F(MainFormTest, AStoredNativeModeShowsNativeAndPickingItStoresSix) {
  store("Display", {{"Mode", 6}});
  MainForm &f = open();
  ASSERT_EQ(f.Resolution.itemIndex, 6);
  EXPECT_EQ(f.Resolution.items[static_cast<size_t>(f.Resolution.itemIndex)], "Native");
  f.userPick(f.Resolution, 1);
  EXPECT_EQ(f.display()->Mode, 1);
  f.userPick(f.Resolution, 6);
  close();
  EXPECT_EQ(stored("Display", "Mode"), 6);
}
