// The control-panel dialog's logic. Every control of the dialog is plain data
// held here (position, range, checked, enabled, visible, caption, list), the
// handlers change the controls and the dialog's own copies of the settings,
// and the open and close sequences load and save those copies. A host builds
// its window from the controls, passes the user's actions to the user*
// operations and redraws the controls whenever the form says they changed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"
#include "settings/configuration.h"

class MediaPlayer;

enum class ControlKind {
  GroupBox,
  Panel, // a read-out beside a slider, or the preview panel
  Image,
  Label,
  CheckBox,
  RadioButton,
  TrackBar,  // a slider: setting its position from code raises nothing
  ScrollBar, // setting its position from code raises its change handler
  ComboBox,
  Edit,
  Button,
};

struct Control {
  std::string name; // the form's control name
  ControlKind kind;
  std::string caption; // text, title, or the edit box's contents
  std::string hint;    // the tool tip
  bool enabled = true;
  bool visible = true;
  bool checked = false;
  int minimum = 0, maximum = 0, tick = 0, position = 0;
  std::vector<std::string> items; // a combo box's list
  int itemIndex = -1;             // the entry shown, -1 none
};

// The pages of the page control, in tab order.
enum Page { AboutPage, AudioPage, AstrelPage, DisplayPage, GlobalPage, PowerPage, LumenveilPage };
constexpr int PageCount = 7;
extern const char *const PageCaptions[PageCount];

extern const char *const MainFormCaption;
// The pictures of the About and Power Management pages and the dialog's icon.
constexpr int Image1ResourceId = 120;
constexpr int Image2ResourceId = 121;
constexpr int IconResourceId = 122;
constexpr int MainFormClientWidth = 368;
constexpr int MainFormClientHeight = 281;

class MainForm {
public:
  // tela: the window of the preview panel the frames are copied into.
  explicit MainForm(WindowHandle tela);
  ~MainForm();
  MainForm(const MainForm &) = delete;
  MainForm &operator=(const MainForm &) = delete;

  // The open and close sequences. formClose runs once; later calls do nothing.
  void formCreate();
  void formClose();
  bool isOpen() const { return open_; }

  // Called whenever controls changed outside a user* operation's own reply
  // (the preview shown, a page reloaded); the host redraws its controls.
  void setChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }

  // Every control, in creation order, and one by its form name (null: none).
  const std::vector<Control *> &controls() const { return all_; }
  Control *find(const std::string &name);

  int activePage() const { return activePage_; }
  bool dialogVisible() const { return visible_; }

  // What the user does. Each sets the control as the user left it and runs
  // its handler; a disabled control ignores the user.
  void userSelectPage(int page);
  void userClick(Control &control);              // check boxes (toggle), radio buttons, buttons
  void userMove(Control &control, int position); // sliders and scroll bars
  void userPick(Control &control, int index);    // combo boxes

  void showPreviewPanel();
  void mediaPlayer1Notify();

  // The host's file chooser for a disc image: given the image chosen now (or
  // empty), returns the full path of the one the user picked, or empty when
  // the user cancelled. Without one, "Disc image..." does nothing.
  using DiscImageChooser = std::function<std::string(const std::string &current)>;
  void setDiscImageChooser(DiscImageChooser chooser) { discImageChooser_ = std::move(chooser); }

  // The dialog's copies of the settings (null while closed).
  const AudioConfiguration *audio() const { return audio_.get(); }
  const DisplayConfiguration *display() const { return display_.get(); }
  const GlobalConfiguration *global() const { return global_.get(); }
  const LumenveilConfiguration *lumenveil() const { return lumenveil_.get(); }
  const AstrelConfiguration *astrel() const { return astrel_.get(); }
  const PowerConfiguration *power() const { return power_.get(); }

  // The controls, by their form names.
  Control GroupBox21, Image1, Tela;
  Control CheckBox3, GroupBox5, CheckBox5, CheckBox4, CdDeviceLabel, CdDevice, CdBrowse, CheckBox1,
      RadioGroup1, RadioButton2, RadioButton1, GroupBox6, TrackBar1, Panel1, GroupBox7, TrackBar2, Panel2;
  Control MainStarsGroup, MainStarsLabel, TrackBar6, Panel9, NeighboursLabel, TrackBar12, Panel10,
      NeighbourDistanceLabel, TrackBar13, Panel20, SupernovaeGroup, TrackBar14, Panel21, AccretionGroup,
      TrackBar15, Panel22, Button4;
  Control ResolutionGroup, Resolution, RefreshRateGroup, RefreshRate, FrameRateGroup, FrameRate,
      DitherModeGroup, DitherMode, CenteringGroup, CheckBox8, MonitorsGroup, Monitors;
  Control RadioGroup2, RadioButton3, RadioButton4, RadioButton5, MotionBlurGroup, MotionBlur, TrackBar10,
      Panel17, LessLabel, MoreLabel, PriorityGroup, TrackBar9, Panel16, StatisticsGroup, Statistics, Button3;
  Control CheckBox2, GroupBox22, Image2, CheckBox6, Edit1, ScrollBar1, Label8, CheckBox7, Edit2, ScrollBar2,
      Label9;
  Control SpinnersGroup, TrackBar8, Panel14, TimeFactorGroup, TrackBar11, Panel19, DebrisGroup, TrackBar3,
      Panel4, WormsGroup, TrackBar4, Panel6, TubifexGroup, TrackBar16, Panel24, TrailersGroup, TrackBar7,
      Panel12, MeteorsGroup, TrackBar5, Panel8, CameraGroup, VCamera, NebulaGroup, VNebula, Button8;

private:
  // The handlers, by the names the form binds them to; the user* operations
  // run them.
  void pageControl1Change();
  void checkBox3Click();
  void checkBox5Click();
  void checkBox4Click();
  void cdDeviceChange();
  void cdBrowseClick();
  void resolutionChange();
  void refreshRateChange();
  void frameRateChange();
  void ditherModeChange();
  void trackBarChange(Control &bar); // each TrackBar...Change of the setting pages
  void motionBlurClick();
  void statisticsClick();
  void vCameraClick();
  void vNebulaClick();
  void radioButton3Click();
  void radioButton4Click();
  void radioButton5Click();
  void button3Click(); // Global defaults
  void button8Click(); // Lumenveil defaults
  void button4Click(); // Astrel defaults
  void checkBox2Click();
  void checkBox6Click();
  void checkBox7Click();
  void scrollBar1Change();
  void scrollBar2Change();

  Control &add(Control &c, const char *name, ControlKind kind, const char *caption = "");
  // A slider over a setting: its range is the setting's in the settings' table.
  template <class Record>
  void slider(Control &bar, const char *name, int32_t Record::*setting, int tick, Control &panel,
              const char *panelName);
  void changed();

  // Sets a scroll bar's position (held to its range); its change handler
  // runs when the position moves.
  void setScrollBarPosition(Control &bar, int position);
  int minutes(const Control &bar) const { return bar.maximum + 1 - bar.position; }

  void loadAudioPage();
  void enableCdSettings(); // the CD settings follow "CD Audio"
  void fillCdDeviceList();
  int addDiscImage(const std::string &path); // its entry, added when new
  void showCdDevice(int index);
  void loadDisplayPage();
  void loadGlobalPage();
  void loadLumenveilPage();
  void loadAstrelPage();
  void loadPowerPage();
  void fillFrameRateList();
  struct Readout {
    Control *panel;
    int32_t *setting;
    const char *prefix, *suffix;
  };
  bool readoutOf(const Control &bar, Readout &readout);
  void readoutToSlider(Control &bar);

  WindowHandle telaWindow_;
  MediaPlayer *mediaPlayer1_ = nullptr; // the CD device of this dialog
  std::vector<Control *> all_;
  std::function<void()> changed_;
  int activePage_ = AboutPage;
  bool open_ = false;
  bool closed_ = false;
  bool visible_ = false;
  std::unique_ptr<AudioConfiguration> audio_;
  // "CD_Device" as stored, or as the user chose it; saved at close only when
  // the user picked an entry or an image.
  std::string cdDevice_;
  bool cdDeviceChosen_ = false;
  // Whether a refresh rate was stored or picked: without one the saver paces
  // its frames to the monitor's own rate, and closing the dialog keeps it so.
  bool refreshRateChosen_ = false;
  std::vector<std::string> cdDeviceValues_; // what each entry of CdDevice stores
  int cdDriveCount_ = 0;                    // entries 1..cdDriveCount_ are drives, the images follow
  DiscImageChooser discImageChooser_;
  std::unique_ptr<DisplayConfiguration> display_;
  std::unique_ptr<GlobalConfiguration> global_;
  std::unique_ptr<LumenveilConfiguration> lumenveil_;
  std::unique_ptr<AstrelConfiguration> astrel_;
  std::unique_ptr<PowerConfiguration> power_;
};

// Shows or sets the slider read-out: toSlider puts the setting on the slider
// (which holds it to its range while the setting keeps its value), otherwise
// the slider's position goes into the setting; then the panel shows
// prefix, position and suffix.
void refreshSliderReadout(Control &bar, Control &panel, int32_t *setting, const char *prefix,
                          const char *suffix, bool toSlider);

// The frame-rate list for a refresh entry such as "72 Hz": "Maximum", then
// the rate divided by each swap interval from 1 to 6, as "%3.1f".
std::vector<std::string> frameRateEntries(const std::string &refreshEntry);

// The dialog's form while one exists, or null (showPreviewPanel reaches it).
MainForm *openMainForm();

// Shows the live 3D preview panel in place of the About picture (called once
// the display opened).
void showPreviewPanel();
