// The control panel's Qt window: its widgets, what the user's actions reach,
// and what closing writes to the settings file.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>

#include "registry/registrystore.h"
#include "display/glidedisplay.h"
#include "hosts/qt/dialog.h"
#include "platform/cddevice.h"
#include "tests/registry/registry_fixture.h"

namespace {

constexpr WindowHandle TelaWindow = 2;

QApplication &qtApp() {
  static int argc = 1;
  static char name[] = "test_controlpanel";
  static char *argv[] = {name, nullptr};
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication *app = new QApplication(argc, argv);
  return *app;
}

class DialogTest : public RegistryFileTest {
protected:
  std::unique_ptr<ControlPanelDialog> dialog;

  void SetUp() override {
    RegistryFileTest::SetUp();
    qtApp();
  }
  void TearDown() override {
    dialog.reset();
    setCdDriveLister(nullptr);
    RegistryFileTest::TearDown();
  }
  ControlPanelDialog &open() {
    dialog = std::make_unique<ControlPanelDialog>(TelaWindow);
    dialog->openForm();
    QApplication::processEvents();
    return *dialog;
  }
  template <typename W> W *get(const char *name) {
    W *w = dialog->findChild<W *>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  int32_t stored(const char *group, const char *name) {
    setRegistryFilePath(file);
    RegistryKey key;
    int32_t value = -12345;
    key.openPath((std::string(LumenveilRegistryPath) + "\\" + group).c_str());
    key.readDword(name, &value);
    return value;
  }
};

TEST_F(DialogTest, EveryControlIsThereByItsFormName) {
  ControlPanelDialog &d = open();
  EXPECT_EQ(d.windowTitle(), QString("Lumenveil & Astrel-1 Control Panel (v1.1.11) "));
  EXPECT_EQ(d.size(), QSize(368, 281));
  auto *pages = get<QTabWidget>("PageControl1");
  ASSERT_NE(pages, nullptr);
  QStringList tabs;
  for (int i = 0; i < pages->count(); ++i) tabs << pages->tabText(i);
  EXPECT_EQ(tabs,
            (QStringList{"About", "Audio", "Astrel", "Display", "Global", "Power Management", "Lumenveil"}));
  EXPECT_EQ(pages->currentIndex(), 0);
  for (const Control *c : d.form().controls()) EXPECT_NE(d.widget(c->name), nullptr) << c->name;

  auto *bar = get<QSlider>("TrackBar13");
  EXPECT_EQ(bar->minimum(), 200);
  EXPECT_EQ(bar->maximum(), 1000);
  EXPECT_EQ(bar->tickInterval(), 50);
  EXPECT_EQ(get<QLabel>("Panel20")->text(), "650");
  EXPECT_EQ(get<QCheckBox>("CheckBox3")->text(), "CD Audio");
  EXPECT_EQ(get<QGroupBox>("GroupBox22")->title(), "Energy saving features of monitor");
  auto *resolution = get<QComboBox>("Resolution");
  EXPECT_FALSE(resolution->isEditable());
  EXPECT_EQ(resolution->count(), 7);
  EXPECT_EQ(resolution->itemText(5), "1600 x 1200");
  EXPECT_EQ(resolution->itemText(6), "Native");
  EXPECT_EQ(resolution->toolTip(), "Display resolution");
  EXPECT_EQ(get<QScrollBar>("ScrollBar1")->orientation(), Qt::Vertical);
  EXPECT_FALSE(get<QCheckBox>("CheckBox5")->isEnabled());
  EXPECT_FALSE(get<QSlider>("TrackBar1")->isEnabled());
}

TEST_F(DialogTest, TheUsersEditsAreSavedWhenTheWindowCloses) {
  ControlPanelDialog &d = open();
  get<QSlider>("TrackBar11")->setValue(150);
  EXPECT_EQ(get<QLabel>("Panel19")->text(), "150%");
  get<QRadioButton>("RadioButton4")->click();
  EXPECT_TRUE(get<QRadioButton>("RadioButton4")->isChecked());
  EXPECT_FALSE(get<QRadioButton>("RadioButton5")->isChecked());
  get<QCheckBox>("CheckBox2")->click();
  get<QCheckBox>("CheckBox6")->click();
  auto *standby = get<QScrollBar>("ScrollBar1");
  EXPECT_TRUE(standby->isEnabled());
  standby->setValue(121 - 40);
  EXPECT_EQ(get<QLineEdit>("Edit1")->text(), "40");
  EXPECT_EQ(get<QLineEdit>("Edit2")->text(), "40");
  EXPECT_EQ(get<QScrollBar>("ScrollBar2")->value(), 121 - 40);
  get<QComboBox>("RefreshRate")->activated(2);
  EXPECT_EQ(get<QComboBox>("FrameRate")->itemText(5), "14.4");

  // Nothing reaches the file before the window closes.
  EXPECT_EQ(stored("Global", "ScreenSaver"), -12345);
  d.close();
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(stored("Lumenveil", "TimeFactor"), 150);
  EXPECT_EQ(stored("Global", "ScreenSaver"), 1);
  EXPECT_EQ(stored("PowerManagement", "Override Window 95 Settings"), 1);
  EXPECT_EQ(stored("PowerManagement", "Low Power Timeout"), 40);
  EXPECT_EQ(stored("PowerManagement", "Power Off Timeout"), 40);
  EXPECT_EQ(stored("Display", "RefreshRate"), 2);
}

// The disc chooser on the Audio page: drives and images, saved by full path.
TEST_F(DialogTest, TheAudioPageChoosesTheDisc) {
  setCdDriveLister([] { return std::vector<std::string>{"/dev/sr0"}; });
  ControlPanelDialog &d = open();
  auto *disc = get<QComboBox>("CdDevice");
  ASSERT_NE(disc, nullptr);
  EXPECT_FALSE(disc->isEnabled()); // "CD Audio" is off
  EXPECT_EQ(disc->count(), 2);
  EXPECT_EQ(disc->currentText(), "First CD drive");
  get<QCheckBox>("CheckBox3")->click();
  EXPECT_TRUE(disc->isEnabled());
  EXPECT_TRUE(get<QPushButton>("CdBrowse")->isEnabled());

  d.form().setDiscImageChooser([](const std::string &) { return "/srv/discs/live.nrg"; });
  get<QPushButton>("CdBrowse")->click();
  EXPECT_EQ(disc->currentText(), "live.nrg");
  EXPECT_EQ(disc->toolTip(), "/srv/discs/live.nrg");
  disc->activated(1);
  EXPECT_EQ(disc->currentText(), "/dev/sr0");
  d.close();
  setRegistryFilePath(file);
  std::string device;
  EXPECT_TRUE(readCdDeviceName(device));
  EXPECT_EQ(device, "/dev/sr0");
}

TEST_F(DialogTest, EscapeClosesAndSaves) {
  ControlPanelDialog &d = open();
  get<QCheckBox>("Statistics")->click();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&d, &escape);
  EXPECT_FALSE(d.form().isOpen());
  EXPECT_EQ(stored("Global", "Statistics"), 1);
}

TEST_F(DialogTest, DefaultsButtonShowsTheDefaultsAtOnce) {
  ControlPanelDialog &d = open();
  get<QSlider>("TrackBar6")->setValue(450);
  EXPECT_EQ(get<QLabel>("Panel9")->text(), "450");
  get<QPushButton>("Button4")->click();
  EXPECT_EQ(get<QSlider>("TrackBar6")->value(), 200);
  EXPECT_EQ(get<QLabel>("Panel9")->text(), "200");
  EXPECT_EQ(stored("Astrel", "MainStars"), 200);
  d.closeForm();
}

TEST_F(DialogTest, ThePreviewIsBoundOnlyOnTheAboutPage) {
  ControlPanelDialog &d = open();
  EXPECT_EQ(RenderWindow, TelaWindow);
  EXPECT_FALSE(d.widget("Tela")->isVisible());
  EXPECT_TRUE(d.widget("Image1")->isVisible());
  showPreviewPanel();
  EXPECT_TRUE(d.widget("Tela")->isVisible());
  EXPECT_FALSE(d.widget("GroupBox21")->isVisible());
  get<QTabWidget>("PageControl1")->setCurrentIndex(PowerPage);
  EXPECT_EQ(d.form().activePage(), PowerPage);
  EXPECT_EQ(RenderWindow, 0u);
  get<QTabWidget>("PageControl1")->setCurrentIndex(AboutPage);
  EXPECT_EQ(RenderWindow, TelaWindow);
  d.closeForm();
  EXPECT_EQ(RenderWindow, 0u);
}

} // namespace
