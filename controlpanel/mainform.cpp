#include "controlpanel/mainform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "cdaudio/cdaudio.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"

const char *const PageCaptions[PageCount] = {
    "About", "Audio", "Astrel", "Display", "Global", "Power Management", "Lumenveil"};
const char *const MainFormCaption = "Lumenveil & Astrel-1 Control Panel (v1.1.11) ";

namespace {

MainForm *OpenForm = nullptr;

// The dialog's CD player: unlike the saver's, it does not share the drive.
void dialogMediaPlayer1Notify() {
  if (OpenForm) OpenForm->mediaPlayer1Notify();
}
MediaPlayer DialogMediaPlayer1(false, dialogMediaPlayer1Notify);

// The table's six sizes, then the native mode.
constexpr int ResolutionCount = DisplayModeCount;
static_assert(static_cast<int>(std::size(ResolutionTable)) == NativeDisplayMode);
constexpr int RefreshCount = static_cast<int>(std::size(RefreshTable));
const char *const DitherEntries[] = {"disabled", "2 x 2", "4 x 4"};
constexpr int DitherCount = static_cast<int>(std::size(DitherEntries));
// What the monitors other than the primary one show, by "Monitors".
const char *const MonitorsEntries[] = {"Each its own scene", "The same picture", "Black"};
constexpr int MonitorsCount = static_cast<int>(std::size(MonitorsEntries));
static_assert(MonitorsPrimaryOnly == MonitorsCount - 1);

// The settings' table row of a field: the sliders, scroll bars and lists offer its range.
template <class Record> constexpr const SettingField<Record> &rowOf(int32_t Record::*field) {
  for (const SettingField<Record> &f : Record::fields())
    if (f.field == field) return f;
  return Record::fields()[0];
}
static_assert(rowOf(&DisplayConfiguration::Mode).high == ResolutionCount - 1);
static_assert(rowOf(&DisplayConfiguration::RefreshRate).high == RefreshCount - 1);
static_assert(rowOf(&DisplayConfiguration::Divisor).high == MaxSwapInterval);
static_assert(rowOf(&DisplayConfiguration::DitherMode).high == DitherCount - 1);
static_assert(rowOf(&DisplayConfiguration::Monitors).high == MonitorsCount - 1);
static_assert(rowOf(&PowerConfiguration::PowerOffTimeout).high ==
              rowOf(&PowerConfiguration::LowPowerTimeout).high);

// The entries name what the display layer selects for each stored index.
std::string resolutionEntry(int i) {
  if (i == NativeDisplayMode) return "Native";
  char text[32];
  std::snprintf(text, sizeof text, "%d x %d", ResolutionTable[i].width, ResolutionTable[i].height);
  return text;
}
std::string refreshEntry(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "%d Hz", RefreshTable[i].hz);
  return text;
}

// The entry the saver will use for a stored index: the display layer takes
// the first entry for an index outside its table.
int shownIndex(int32_t stored, int count) { return stored >= 0 && stored < count ? stored : 0; }

// What a list entry shows of a disc image: its file name.
std::string fileNameOf(const std::string &path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos || slash + 1 == path.size()) return path;
  return path.substr(slash + 1);
}

const char *const FirstCdDriveEntry = "First CD drive";

void fillList(Control &box, const std::vector<std::string> &items, int shown) {
  box.items = items;
  box.itemIndex = shown;
}

} // namespace

void refreshSliderReadout(Control &bar, Control &panel, int32_t *setting, const char *prefix,
                          const char *suffix, bool toSlider) {
  if (setting) {
    if (toSlider)
      bar.position = std::clamp<int>(*setting, bar.minimum, bar.maximum);
    else
      *setting = bar.position;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%s%d%s", prefix, bar.position, suffix);
  panel.caption = text;
}

std::vector<std::string> frameRateEntries(const std::string &refreshEntry) {
  const int rate = std::atoi(refreshEntry.c_str());
  std::vector<std::string> entries{"Maximum"};
  for (int i = 1; i <= MaxSwapInterval; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "%3.1f", static_cast<double>(rate) / i);
    entries.push_back(text);
  }
  return entries;
}

MainForm *openMainForm() { return OpenForm; }

void showPreviewPanel() {
  if (OpenForm) OpenForm->showPreviewPanel();
}

Control &MainForm::add(Control &c, const char *name, ControlKind kind, const char *caption) {
  c.name = name;
  c.kind = kind;
  c.caption = caption;
  all_.push_back(&c);
  return c;
}

template <class Record>
void MainForm::slider(Control &bar, const char *name, int32_t Record::*setting, int tick, Control &panel,
                      const char *panelName) {
  add(bar, name, ControlKind::TrackBar);
  bar.minimum = rowOf(setting).low;
  bar.maximum = rowOf(setting).high;
  bar.tick = tick;
  bar.position = bar.minimum;
  add(panel, panelName, ControlKind::Panel, "");
}

MainForm::MainForm(WindowHandle tela) : telaWindow_(tela) {
  using K = ControlKind;
  // About
  add(GroupBox21, "GroupBox21", K::GroupBox);
  add(Image1, "Image1", K::Image);
  add(Tela, "Tela", K::Panel).visible = false;

  // Audio
  add(CheckBox3, "CheckBox3", K::CheckBox, "CD Audio");
  add(GroupBox5, "GroupBox5", K::GroupBox, "CD Settings").enabled = false;
  add(CheckBox5, "CheckBox5", K::CheckBox, "Random Order");
  add(CheckBox4, "CheckBox4", K::CheckBox, "Continuous Play");
  add(CdDeviceLabel, "CdDeviceLabel", K::Label, "Disc:");
  add(CdDevice, "CdDevice", K::ComboBox);
  add(CdBrowse, "CdBrowse", K::Button, "Disc image\u2026");
  add(CheckBox1, "CheckBox1", K::CheckBox, "Sfx Audio").enabled = false;
  add(RadioGroup1, "RadioGroup1", K::GroupBox, "Sfx Settings").enabled = false;
  add(RadioButton2, "RadioButton2", K::RadioButton, "3D").enabled = false;
  add(RadioButton1, "RadioButton1", K::RadioButton, "Stereo").enabled = false;
  add(GroupBox6, "GroupBox6", K::GroupBox, "Volume").enabled = false;
  add(TrackBar1, "TrackBar1", ControlKind::TrackBar).maximum = 100;
  TrackBar1.tick = 10;
  add(Panel1, "Panel1", ControlKind::Panel);
  add(GroupBox7, "GroupBox7", K::GroupBox, "Balance").enabled = false;
  add(TrackBar2, "TrackBar2", ControlKind::TrackBar).maximum = 100;
  TrackBar2.tick = 10;
  add(Panel2, "Panel2", ControlKind::Panel);
  TrackBar1.enabled = Panel1.enabled = false;
  TrackBar2.enabled = Panel2.enabled = false;
  TrackBar2.position = 50;
  Panel1.caption = "0";
  Panel2.caption = "50";

  // Astrel
  add(MainStarsGroup, "MainStarsGroup", K::GroupBox, "Main Stars");
  add(MainStarsLabel, "MainStarsLabel", K::Label, "Maximum number:");
  slider(TrackBar6, "TrackBar6", &AstrelConfiguration::MainStars, 50, Panel9, "Panel9");
  add(NeighboursLabel, "NeighboursLabel", K::Label, "Neighbours:");
  slider(TrackBar12, "TrackBar12", &AstrelConfiguration::Neighbours, 1, Panel10, "Panel10");
  add(NeighbourDistanceLabel, "NeighbourDistanceLabel", K::Label, "Neighbour distance:");
  slider(TrackBar13, "TrackBar13", &AstrelConfiguration::NeighbourDistance, 50, Panel20, "Panel20");
  add(SupernovaeGroup, "SupernovaeGroup", K::GroupBox, "Supernovae Frequency");
  slider(TrackBar14, "TrackBar14", &AstrelConfiguration::SuperNovaeFrequency, 20, Panel21, "Panel21");
  add(AccretionGroup, "AccretionGroup", K::GroupBox, "Acretion Disk Density");
  slider(TrackBar15, "TrackBar15", &AstrelConfiguration::AccreationDiskDensity, 25, Panel22, "Panel22");
  add(Button4, "Button4", K::Button, "Defaults");

  // Display
  add(ResolutionGroup, "ResolutionGroup", K::GroupBox, "Resolution");
  add(Resolution, "Resolution", K::ComboBox).hint = "Display resolution";
  add(RefreshRateGroup, "RefreshRateGroup", K::GroupBox, "Refresh Rate");
  add(RefreshRate, "RefreshRate", K::ComboBox).hint = "Video mode vertical refresh rate";
  add(FrameRateGroup, "FrameRateGroup", K::GroupBox, "Frame Rate");
  add(FrameRate, "FrameRate", K::ComboBox).hint = "Targetted  frame rate";
  add(DitherModeGroup, "DitherModeGroup", K::GroupBox, "Dithering");
  add(DitherMode, "DitherMode", K::ComboBox).hint = "Dithering method used";
  add(CenteringGroup, "CenteringGroup", K::GroupBox);
  add(CheckBox8, "CheckBox8", K::CheckBox, "Enable image centering aid");
  add(MonitorsGroup, "MonitorsGroup", K::GroupBox, "Several monitors");
  add(Monitors, "Monitors", K::ComboBox).hint = "What the monitors other than the primary one show";

  // Global
  add(RadioGroup2, "RadioGroup2", K::GroupBox, "Active Screen Saver");
  add(RadioButton3, "RadioButton3", K::RadioButton, "Lumenveil");
  add(RadioButton4, "RadioButton4", K::RadioButton, "Astrel-1");
  add(RadioButton5, "RadioButton5", K::RadioButton, "Random");
  add(MotionBlurGroup, "MotionBlurGroup", K::GroupBox, "Motion Blur");
  add(MotionBlur, "MotionBlur", K::CheckBox, "Enabled");
  slider(TrackBar10, "TrackBar10", &GlobalConfiguration::MotionBlurDelta, 5, Panel17, "Panel17");
  add(LessLabel, "LessLabel", K::Label, "less");
  add(MoreLabel, "MoreLabel", K::Label, "more");
  add(PriorityGroup, "PriorityGroup", K::GroupBox, "Task Priority");
  slider(TrackBar9, "TrackBar9", &GlobalConfiguration::Priority, 1, Panel16, "Panel16");
  add(StatisticsGroup, "StatisticsGroup", K::GroupBox, "Statistics");
  add(Statistics, "Statistics", K::CheckBox, "Show frame rate");
  add(Button3, "Button3", K::Button, "Defaults");

  // Power Management
  add(CheckBox2, "CheckBox2", K::CheckBox, "Override Windows power management");
  add(GroupBox22, "GroupBox22", K::GroupBox, "Energy saving features of monitor");
  add(Image2, "Image2", K::Image);
  add(CheckBox6, "CheckBox6", K::CheckBox, "Low power standby");
  add(Edit1, "Edit1", K::Edit);
  add(ScrollBar1, "ScrollBar1", K::ScrollBar);
  add(Label8, "Label8", K::Label, "minutes");
  add(CheckBox7, "CheckBox7", K::CheckBox, "Shut off monitor");
  add(Edit2, "Edit2", K::Edit);
  add(ScrollBar2, "ScrollBar2", K::ScrollBar);
  add(Label9, "Label9", K::Label, "minutes");
  for (Control *bar : {&ScrollBar1, &ScrollBar2}) {
    bar->minimum = rowOf(&PowerConfiguration::LowPowerTimeout).low;
    bar->maximum = rowOf(&PowerConfiguration::LowPowerTimeout).high;
    bar->position = bar->minimum;
  }

  // Lumenveil
  add(SpinnersGroup, "SpinnersGroup", K::GroupBox, "Spinners");
  slider(TrackBar8, "TrackBar8", &LumenveilConfiguration::Spinners, 1, Panel14, "Panel14");
  add(TimeFactorGroup, "TimeFactorGroup", K::GroupBox, "Time Factor(%)");
  slider(TrackBar11, "TrackBar11", &LumenveilConfiguration::TimeFactor, 50, Panel19, "Panel19");
  add(DebrisGroup, "DebrisGroup", K::GroupBox, "Debris");
  slider(TrackBar3, "TrackBar3", &LumenveilConfiguration::Debris, 250, Panel4, "Panel4");
  add(WormsGroup, "WormsGroup", K::GroupBox, "Worms");
  slider(TrackBar4, "TrackBar4", &LumenveilConfiguration::Worms, 1, Panel6, "Panel6");
  add(TubifexGroup, "TubifexGroup", K::GroupBox, "Tubifex");
  slider(TrackBar16, "TrackBar16", &LumenveilConfiguration::Tubifex, 4, Panel24, "Panel24");
  add(TrailersGroup, "TrailersGroup", K::GroupBox, "Trailers");
  slider(TrackBar7, "TrackBar7", &LumenveilConfiguration::Trailers, 3, Panel12, "Panel12");
  add(MeteorsGroup, "MeteorsGroup", K::GroupBox, "Meteors");
  slider(TrackBar5, "TrackBar5", &LumenveilConfiguration::Meteors, 1, Panel8, "Panel8");
  add(CameraGroup, "CameraGroup", K::GroupBox, "Camera");
  add(VCamera, "VCamera", K::CheckBox, "Static");
  add(NebulaGroup, "NebulaGroup", K::GroupBox, "Nebula Backdrop");
  add(VNebula, "VNebula", K::CheckBox, "Enabled");
  add(Button8, "Button8", K::Button, "Defaults");

  mediaPlayer1_ = &DialogMediaPlayer1;
  OpenForm = this;
}

MainForm::~MainForm() {
  if (OpenForm == this) OpenForm = nullptr;
}

Control *MainForm::find(const std::string &name) {
  for (Control *c : all_)
    if (c->name == name) return c;
  return nullptr;
}

void MainForm::changed() {
  if (changed_) changed_();
}

// Open and close

void MainForm::formCreate() {
  if (open_ || closed_) return;
  open_ = true;
  visible_ = true;
  activePage_ = AboutPage;
  setRenderWindow(telaWindow_);
  loadAudioPage();
  if (audio_->CD_Audio != 0) startCdAudio(mediaPlayer1_);
  loadDisplayPage();
  loadGlobalPage();
  loadLumenveilPage();
  loadAstrelPage();
  loadPowerPage();
  changed();
}

void MainForm::formClose() {
  if (!open_) return;
  open_ = false;
  closed_ = true;
  visible_ = false;
  changed();

  audio_->save();
  audio_.reset();
  // A value the user did not touch stays as stored, whatever it is.
  if (cdDeviceChosen_) saveCdDeviceName(cdDevice_);
  stopCdAudio();

  display_->ImageCenteringAid = CheckBox8.checked ? 1 : 0;
  if (refreshRateChosen_) {
    display_->save();
  } else {
    std::vector<SettingField<DisplayConfiguration>> fields;
    for (const SettingField<DisplayConfiguration> &f : DisplayConfiguration::fields())
      if (f.field != &DisplayConfiguration::RefreshRate) fields.push_back(f);
    saveSettingFields(*display_, DisplayConfiguration::Group,
                      std::span<const SettingField<DisplayConfiguration>>(fields));
  }
  display_.reset();

  global_->save();
  global_.reset();
  lumenveil_->save();
  lumenveil_.reset();
  astrel_->save();
  astrel_.reset();

  setRenderWindow(0);

  power_->OverrideWindow95Settings = CheckBox2.checked ? 1 : 0;
  power_->LowPowerStandby = CheckBox6.checked ? 1 : 0;
  power_->ShutOffMonitor = CheckBox7.checked ? 1 : 0;
  power_->LowPowerTimeout = minutes(ScrollBar1);
  power_->PowerOffTimeout = minutes(ScrollBar2);
  power_->save();
  power_.reset();

  shutdownDisplay();
}

void MainForm::loadAudioPage() {
  audio_ = std::make_unique<AudioConfiguration>();
  audio_->load();
  CheckBox3.checked = audio_->CD_Audio != 0;
  CheckBox4.checked = audio_->CD_Continuous != 0;
  CheckBox5.checked = audio_->CD_Random != 0;
  enableCdSettings();
  fillCdDeviceList();
}

void MainForm::enableCdSettings() {
  CheckBox5.enabled = audio_->CD_Audio != 0;
  CheckBox4.enabled = CheckBox5.enabled;
  CdDeviceLabel.enabled = CdDevice.enabled = CdBrowse.enabled = CheckBox5.enabled;
}

// "First CD drive", the system's drives, and the stored image when the value
// names no drive. A value that is no usable name shows no entry.
void MainForm::fillCdDeviceList() {
  cdDeviceChosen_ = false;
  const bool usable = readCdDeviceName(cdDevice_);
  CdDevice.items = {FirstCdDriveEntry};
  cdDeviceValues_ = {""};
  for (const std::string &drive : cdDriveNames()) {
    if (drive.empty()) continue;
    CdDevice.items.push_back(drive);
    cdDeviceValues_.push_back(drive);
  }
  cdDriveCount_ = static_cast<int>(cdDeviceValues_.size()) - 1;
  showCdDevice(usable ? addDiscImage(cdDevice_) : -1);
}

int MainForm::addDiscImage(const std::string &path) {
  for (size_t i = 0; i < cdDeviceValues_.size(); ++i)
    if (cdDeviceValues_[i] == path) return static_cast<int>(i);
  CdDevice.items.push_back(fileNameOf(path));
  cdDeviceValues_.push_back(path);
  return static_cast<int>(cdDeviceValues_.size()) - 1;
}

// The entry, and its full name in the tool tip (the list shows only an
// image's file name).
void MainForm::showCdDevice(int index) {
  CdDevice.itemIndex = index;
  if (index < 0)
    CdDevice.hint = "The stored disc is not a name Lumenveil can use";
  else if (index == 0)
    CdDevice.hint = "The system's first CD drive";
  else
    CdDevice.hint = cdDeviceValues_[static_cast<size_t>(index)];
}

void MainForm::loadDisplayPage() {
  display_ = std::make_unique<DisplayConfiguration>();
  display_->load();
  refreshRateChosen_ = settingStored(DisplayConfiguration::Group, "RefreshRate");
  CheckBox8.checked = display_->ImageCenteringAid != 0;

  std::vector<std::string> entries;
  for (int i = 0; i < ResolutionCount; ++i) entries.push_back(resolutionEntry(i));
  fillList(Resolution, entries, shownIndex(display_->Mode, ResolutionCount));

  fillFrameRateList();

  entries.clear();
  for (int i = 0; i < RefreshCount; ++i) entries.push_back(refreshEntry(i));
  fillList(RefreshRate, entries, shownIndex(display_->RefreshRate, RefreshCount));

  fillList(DitherMode, {std::begin(DitherEntries), std::end(DitherEntries)},
           shownIndex(display_->DitherMode, DitherCount));
  fillList(Monitors, {std::begin(MonitorsEntries), std::end(MonitorsEntries)},
           shownIndex(display_->Monitors, MonitorsCount));
}

// The frame-rate list for the refresh rate in the record; it shows the entry
// for the stored divisor, which the display layer holds to the list's range.
void MainForm::fillFrameRateList() {
  const int refresh = shownIndex(display_->RefreshRate, RefreshCount);
  fillList(FrameRate, frameRateEntries(refreshEntry(refresh)),
           std::clamp<int>(display_->Divisor, 0, MaxSwapInterval));
}

void MainForm::loadGlobalPage() {
  global_ = std::make_unique<GlobalConfiguration>();
  global_->load();
  readoutToSlider(TrackBar10);
  readoutToSlider(TrackBar9);
  Statistics.checked = global_->Statistics != 0;
  MotionBlur.checked = global_->MotionBlur != 0;
  TrackBar10.enabled = MotionBlur.checked;
  RadioButton3.checked = global_->ScreenSaver == FirstScene;
  RadioButton4.checked = global_->ScreenSaver == SecondScene;
  RadioButton5.checked = global_->ScreenSaver != 0 && global_->ScreenSaver != 1;
}

void MainForm::loadLumenveilPage() {
  lumenveil_ = std::make_unique<LumenveilConfiguration>();
  lumenveil_->load();
  for (Control *bar : {&TrackBar3, &TrackBar4, &TrackBar5, &TrackBar7, &TrackBar8, &TrackBar11, &TrackBar16})
    readoutToSlider(*bar);
  VCamera.checked = lumenveil_->StaticCamera != 0;
  VNebula.checked = lumenveil_->MebulaBackdrop != 0;
}

void MainForm::loadAstrelPage() {
  astrel_ = std::make_unique<AstrelConfiguration>();
  astrel_->load();
  for (Control *bar : {&TrackBar6, &TrackBar12, &TrackBar13, &TrackBar14, &TrackBar15}) readoutToSlider(*bar);
}

void MainForm::loadPowerPage() {
  power_ = std::make_unique<PowerConfiguration>();
  power_->load();
  CheckBox2.checked = power_->OverrideWindow95Settings != 0;
  CheckBox6.checked = power_->LowPowerStandby != 0;
  CheckBox7.checked = power_->ShutOffMonitor != 0;
  // Timeouts far outside the range must not overflow on the way.
  auto position = [](int32_t timeout) {
    return static_cast<int>(121 - std::clamp<int32_t>(timeout, -1000, 1000));
  };
  setScrollBarPosition(ScrollBar1, position(power_->LowPowerTimeout));
  setScrollBarPosition(ScrollBar2, position(power_->PowerOffTimeout));
  checkBox2Click();
  checkBox6Click();
  checkBox7Click();
  scrollBar1Change();
  scrollBar2Change();
}

// What the user does

void MainForm::userSelectPage(int page) {
  if (!open_ || page < 0 || page >= PageCount || page == activePage_) return;
  activePage_ = page;
  pageControl1Change();
  changed();
}

void MainForm::userClick(Control &c) {
  if (!open_ || !c.enabled || !c.visible) return;
  switch (c.kind) {
  case ControlKind::CheckBox: c.checked = !c.checked; break;
  case ControlKind::RadioButton:
    for (Control *button : {&RadioButton3, &RadioButton4, &RadioButton5}) button->checked = button == &c;
    break;
  case ControlKind::Button: break;
  default: return;
  }
  if (&c == &CheckBox3)
    checkBox3Click();
  else if (&c == &CheckBox5)
    checkBox5Click();
  else if (&c == &CheckBox4)
    checkBox4Click();
  else if (&c == &CdBrowse)
    cdBrowseClick();
  else if (&c == &MotionBlur)
    motionBlurClick();
  else if (&c == &Statistics)
    statisticsClick();
  else if (&c == &VCamera)
    vCameraClick();
  else if (&c == &VNebula)
    vNebulaClick();
  else if (&c == &RadioButton3)
    radioButton3Click();
  else if (&c == &RadioButton4)
    radioButton4Click();
  else if (&c == &RadioButton5)
    radioButton5Click();
  else if (&c == &Button3)
    button3Click();
  else if (&c == &Button8)
    button8Click();
  else if (&c == &Button4)
    button4Click();
  else if (&c == &CheckBox2)
    checkBox2Click();
  else if (&c == &CheckBox6)
    checkBox6Click();
  else if (&c == &CheckBox7)
    checkBox7Click();
  changed();
}

void MainForm::userMove(Control &c, int position) {
  if (!open_ || !c.enabled || !c.visible) return;
  if (c.kind == ControlKind::TrackBar) {
    const int p = std::clamp(position, c.minimum, c.maximum);
    if (p == c.position) return;
    c.position = p;
    trackBarChange(c);
  } else if (c.kind == ControlKind::ScrollBar) {
    setScrollBarPosition(c, position);
  } else {
    return;
  }
  changed();
}

void MainForm::userPick(Control &c, int index) {
  if (!open_ || !c.enabled || c.kind != ControlKind::ComboBox) return;
  if (index < 0 || index >= static_cast<int>(c.items.size())) return;
  c.itemIndex = index;
  if (&c == &Resolution)
    resolutionChange();
  else if (&c == &RefreshRate)
    refreshRateChange();
  else if (&c == &FrameRate)
    frameRateChange();
  else if (&c == &DitherMode)
    ditherModeChange();
  else if (&c == &Monitors)
    display_->Monitors = Monitors.itemIndex;
  else if (&c == &CdDevice)
    cdDeviceChange();
  changed();
}

void MainForm::setScrollBarPosition(Control &bar, int position) {
  const int p = std::clamp(position, bar.minimum, bar.maximum);
  if (p == bar.position) return;
  bar.position = p;
  if (&bar == &ScrollBar1) scrollBar1Change();
  if (&bar == &ScrollBar2) scrollBar2Change();
}

void MainForm::showPreviewPanel() {
  Tela.visible = true;
  GroupBox21.visible = false;
  changed();
}

void MainForm::mediaPlayer1Notify() { playNextTrack(); }

// The handlers

void MainForm::pageControl1Change() {
  if (activePage_ == AboutPage) {
    setRenderWindow(telaWindow_);
    resetScene();
  } else {
    setRenderWindow(0);
  }
}

void MainForm::checkBox3Click() {
  audio_->CD_Audio = CheckBox3.checked ? 1 : 0;
  enableCdSettings();
}

void MainForm::checkBox5Click() { audio_->CD_Random = CheckBox5.checked ? 1 : 0; }
void MainForm::checkBox4Click() { audio_->CD_Continuous = CheckBox4.checked ? 1 : 0; }

void MainForm::cdDeviceChange() {
  cdDevice_ = cdDeviceValues_[static_cast<size_t>(CdDevice.itemIndex)];
  cdDeviceChosen_ = true;
  showCdDevice(CdDevice.itemIndex);
}

void MainForm::cdBrowseClick() {
  if (!discImageChooser_) return;
  // The chooser starts from the image chosen now, if any.
  const bool image = CdDevice.itemIndex > cdDriveCount_;
  const std::string path = discImageChooser_(image ? cdDevice_ : std::string());
  if (path.empty()) return;
  cdDevice_ = path;
  cdDeviceChosen_ = true;
  showCdDevice(addDiscImage(path));
}

void MainForm::resolutionChange() { display_->Mode = Resolution.itemIndex; }

void MainForm::refreshRateChange() {
  refreshRateChosen_ = true;
  display_->RefreshRate = RefreshRate.itemIndex;
  fillFrameRateList();
}

void MainForm::frameRateChange() { display_->Divisor = FrameRate.itemIndex; }
void MainForm::ditherModeChange() { display_->DitherMode = DitherMode.itemIndex; }

void MainForm::trackBarChange(Control &bar) {
  Readout r;
  if (readoutOf(bar, r)) refreshSliderReadout(bar, *r.panel, r.setting, r.prefix, r.suffix, false);
}

// The read-out and the setting of each slider of the setting pages.
bool MainForm::readoutOf(const Control &bar, Readout &r) {
  const struct {
    Control *bar, *panel;
    int32_t *setting;
    const char *prefix, *suffix;
  } table[] = {
      {&TrackBar6, &Panel9, astrel_ ? &astrel_->MainStars : nullptr, "", ""},
      {&TrackBar12, &Panel10, astrel_ ? &astrel_->Neighbours : nullptr, "", ""},
      {&TrackBar13, &Panel20, astrel_ ? &astrel_->NeighbourDistance : nullptr, "", ""},
      {&TrackBar14, &Panel21, astrel_ ? &astrel_->SuperNovaeFrequency : nullptr, "", " s"},
      {&TrackBar15, &Panel22, astrel_ ? &astrel_->AccreationDiskDensity : nullptr, "+", ""},
      {&TrackBar10, &Panel17, global_ ? &global_->MotionBlurDelta : nullptr, "", ""},
      {&TrackBar9, &Panel16, global_ ? &global_->Priority : nullptr, "", ""},
      {&TrackBar8, &Panel14, lumenveil_ ? &lumenveil_->Spinners : nullptr, "", ""},
      {&TrackBar11, &Panel19, lumenveil_ ? &lumenveil_->TimeFactor : nullptr, "", "%"},
      {&TrackBar3, &Panel4, lumenveil_ ? &lumenveil_->Debris : nullptr, "", ""},
      {&TrackBar4, &Panel6, lumenveil_ ? &lumenveil_->Worms : nullptr, "", ""},
      {&TrackBar16, &Panel24, lumenveil_ ? &lumenveil_->Tubifex : nullptr, "", ""},
      {&TrackBar7, &Panel12, lumenveil_ ? &lumenveil_->Trailers : nullptr, "", ""},
      {&TrackBar5, &Panel8, lumenveil_ ? &lumenveil_->Meteors : nullptr, "", ""},
  };
  for (const auto &e : table) {
    if (e.bar != &bar) continue;
    r = {e.panel, e.setting, e.prefix, e.suffix};
    return e.setting != nullptr;
  }
  return false;
}

// At open every read-out shows the bare number, except the accretion's "+".
void MainForm::readoutToSlider(Control &bar) {
  Readout r;
  if (readoutOf(bar, r))
    refreshSliderReadout(bar, *r.panel, r.setting, &bar == &TrackBar15 ? "+" : "", "", true);
}

void MainForm::motionBlurClick() {
  global_->MotionBlur = MotionBlur.checked ? 1 : 0;
  TrackBar10.enabled = MotionBlur.checked;
}

void MainForm::statisticsClick() { global_->Statistics = Statistics.checked ? 1 : 0; }
void MainForm::vCameraClick() { lumenveil_->StaticCamera = VCamera.checked ? 1 : 0; }
void MainForm::vNebulaClick() { lumenveil_->MebulaBackdrop = VNebula.checked ? 1 : 0; }
void MainForm::radioButton3Click() { global_->ScreenSaver = FirstScene; }
void MainForm::radioButton4Click() { global_->ScreenSaver = SecondScene; }
void MainForm::radioButton5Click() { global_->ScreenSaver = RandomScene; }

// Defaults: the group's defaults reach the settings at once, and the page
// shows them as it would at open.
void MainForm::button3Click() {
  global_.reset();
  GlobalConfiguration().save();
  loadGlobalPage();
}

void MainForm::button8Click() {
  lumenveil_.reset();
  LumenveilConfiguration().save();
  loadLumenveilPage();
}

void MainForm::button4Click() {
  astrel_.reset();
  AstrelConfiguration().save();
  loadAstrelPage();
}

void MainForm::checkBox2Click() {
  GroupBox22.enabled = CheckBox2.checked;
  CheckBox6.enabled = GroupBox22.enabled;
  CheckBox7.enabled = GroupBox22.enabled;
  Image2.enabled = GroupBox22.enabled;
  checkBox6Click();
  checkBox7Click();
}

void MainForm::checkBox6Click() {
  Edit1.enabled = CheckBox6.enabled && CheckBox6.checked;
  ScrollBar1.enabled = Edit1.enabled;
  Label8.enabled = Edit1.enabled;
}

void MainForm::checkBox7Click() {
  Edit2.enabled = CheckBox7.enabled && CheckBox7.checked;
  ScrollBar2.enabled = Edit2.enabled;
  Label9.enabled = Edit2.enabled;
}

// The scroll bars run upside down (thumb up, more minutes); the two rules
// keep the standby time at most the shut-off time.
void MainForm::scrollBar1Change() {
  setScrollBarPosition(ScrollBar2, std::min(ScrollBar1.position, ScrollBar2.position));
  Edit1.caption = std::to_string(minutes(ScrollBar1));
}

void MainForm::scrollBar2Change() {
  setScrollBarPosition(ScrollBar1, std::max(ScrollBar1.position, ScrollBar2.position));
  Edit2.caption = std::to_string(minutes(ScrollBar2));
}
