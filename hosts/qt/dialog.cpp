#include "hosts/qt/dialog.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStyleOptionComboBox>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>

#include "controlpanel/layout.h"
#include "platform/resources.h"

namespace {

// The preview panel: black with a single border; the latest frame copy is
// drawn at its top left, inside the border.
class TelaPanel : public QFrame {
public:
  explicit TelaPanel(QWidget *parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, QColor(128, 128, 128));
    setPalette(p);
  }
  QImage frame;

protected:
  void paintEvent(QPaintEvent *event) override {
    QFrame::paintEvent(event);
    if (frame.isNull()) return;
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.drawImage(area.topLeft(), frame);
  }
};

// The page control: all seven tabs in one row the dialog's width. The tabs
// are drawn by the widget style, only as wide as their captions need, and the
// caption face shrinks (condensed, then smaller) until the row fits.
class PageControl : public QTabWidget {
public:
  explicit PageControl(QWidget *parent) : QTabWidget(parent) {
    setTabBar(new CompactTabBar);
    tabBar()->setExpanding(false);
    tabBar()->setDrawBase(false);
  }
  void fitTabs(int width) {
    QFont font = tabBar()->font();
    font.setBold(true);
    font.setStretch(QFont::Condensed);
    for (int pixels = 11; pixels >= 8; --pixels) {
      font.setPixelSize(pixels);
      const QFontMetrics metrics(font);
      int total = 0;
      for (int i = 0; i < count(); ++i)
        total += metrics.horizontalAdvance(tabText(i)) + CompactTabBar::Padding;
      if (total <= width) break;
    }
    tabBar()->setFont(font);
  }

private:
  class CompactTabBar : public QTabBar {
  public:
    static constexpr int Padding = 10;

  protected:
    QSize tabSizeHint(int index) const override {
      return QSize(fontMetrics().horizontalAdvance(tabText(index)) + Padding,
                   QTabBar::tabSizeHint(index).height());
    }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent *) override {
      QPainter painter(this);
      const int current = currentIndex();
      for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < count(); ++i) {
          if ((i == current) != (pass == 1)) continue; // the current tab last, on top
          QStyleOptionTab tab;
          initStyleOption(&tab, i);
          const QString text = tab.text;
          tab.text.clear();
          style()->drawControl(QStyle::CE_TabBarTabShape, &tab, &painter, this);
          QRect label = tab.rect;
          if (i == current) label.translate(0, -1);
          style()->drawItemText(&painter, label, Qt::AlignCenter | Qt::TextShowMnemonic, tab.palette,
                                tab.state & QStyle::State_Enabled, text, QPalette::WindowText);
        }
      }
    }
  };
};

// A combo box whose entry, when too long for the box, loses its middle rather
// than its end, so that a disc image's extension stays in sight.
class ElidingComboBox : public QComboBox {
public:
  explicit ElidingComboBox(QWidget *parent) : QComboBox(parent) {}

protected:
  void paintEvent(QPaintEvent *) override {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText =
        option.fontMetrics.elidedText(option.currentText, Qt::ElideMiddle, field.width() - 4);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }
};

QImage resourcePicture(int id) {
  const std::string name = "#" + std::to_string(id);
  const ResourceBytes r = findResource(name.c_str(), "TEXTUREDATA");
  if (!r.data) return {};
  return QImage::fromData(r.data, static_cast<int>(r.size), "PNG");
}

// A slider's read-out: a small silver panel.
QLabel *readoutPanel(QWidget *parent) {
  auto *panel = new QLabel(parent);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setAlignment(Qt::AlignCenter);
  panel->setAutoFillBackground(true);
  QPalette p = panel->palette();
  p.setColor(QPalette::Window, QColor(192, 192, 192));
  p.setColor(QPalette::WindowText, Qt::black);
  panel->setPalette(p);
  return panel;
}

} // namespace

ControlPanelDialog::ControlPanelDialog(WindowHandle tela) : form_(std::make_unique<MainForm>(tela)) {
  setObjectName("MainForm");
  setWindowTitle(QString::fromUtf8(MainFormCaption));
  // A dialog border with the system menu and a minimise box; no resizing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  const QImage icon = resourcePicture(IconResourceId);
  if (!icon.isNull()) setWindowIcon(QIcon(QPixmap::fromImage(icon)));
  QFont font(QStringLiteral("Sans Serif"));
  font.setPixelSize(11);
  setFont(font);
  setFixedSize(MainFormClientWidth, MainFormClientHeight);
  build();
  form_->setChangeListener([this] { sync(); });
  form_->setDiscImageChooser([this](const std::string &current) { return chooseDiscImage(current); });
}

// Opens in the folder of the image chosen now; file names are the system's bytes.
std::string ControlPanelDialog::chooseDiscImage(const std::string &current) {
  const QString start =
      current.empty() ? QString() : QFileInfo(QFile::decodeName(current.c_str())).absolutePath();
  // The forms the disc reader plays (an .iso holds no sound), in either case.
  const QString chosen = QFileDialog::getOpenFileName(
      this, QStringLiteral("Disc image"), start,
      QStringLiteral("Disc images (*.cue *.toc *.nrg *.bin *.CUE *.TOC *.NRG *.BIN)"));
  return chosen.isEmpty() ? std::string() : QFile::encodeName(chosen).toStdString();
}

ControlPanelDialog::~ControlPanelDialog() { form_->setChangeListener(nullptr); }

void ControlPanelDialog::build() {
  pages_ = new PageControl(this);
  pages_->setObjectName("PageControl1");
  pages_->setGeometry(0, 0, MainFormClientWidth, MainFormClientHeight);
  QWidget *page[PageCount];
  for (int i = 0; i < PageCount; ++i) {
    page[i] = new QWidget;
    page[i]->setObjectName(QString::fromUtf8(PageCaptions[i]).remove(' ') + "Page");
    pages_->addTab(page[i], QString::fromUtf8(PageCaptions[i]));
  }
  static_cast<PageControl *>(pages_)->fitTabs(MainFormClientWidth - 4);

  for (std::size_t i = 0; i < ControlPlaceCount; ++i) {
    const ControlPlace &place = ControlPlaces[i];
    Control *c = form_->find(place.name);
    if (!c) continue;
    QWidget *parent = place.parent ? widget(place.parent) : page[place.page];
    if (!parent) parent = page[place.page];
    QWidget *w = nullptr;
    switch (c->kind) {
    case ControlKind::GroupBox: w = new QGroupBox(parent); break;
    case ControlKind::Panel:
      if (c == &form_->Tela)
        w = tela_ = new TelaPanel(parent);
      else
        w = readoutPanel(parent);
      break;
    case ControlKind::Image: {
      auto *image = new QLabel(parent);
      const QImage picture = resourcePicture(c == &form_->Image1 ? Image1ResourceId : Image2ResourceId);
      if (!picture.isNull()) image->setPixmap(QPixmap::fromImage(picture));
      image->setAlignment(Qt::AlignCenter);
      w = image;
      break;
    }
    case ControlKind::Label: w = new QLabel(parent); break;
    case ControlKind::CheckBox: {
      auto *box = new QCheckBox(parent);
      connect(box, &QCheckBox::clicked, this, [this, c] { form_->userClick(*c); });
      w = box;
      break;
    }
    case ControlKind::RadioButton: {
      auto *button = new QRadioButton(parent);
      // The form keeps the group; the widget shows what it says.
      button->setAutoExclusive(false);
      connect(button, &QRadioButton::clicked, this, [this, c] { form_->userClick(*c); });
      w = button;
      break;
    }
    case ControlKind::Button: {
      auto *button = new QPushButton(parent);
      button->setAutoDefault(false);
      connect(button, &QPushButton::clicked, this, [this, c] { form_->userClick(*c); });
      w = button;
      break;
    }
    case ControlKind::TrackBar: {
      auto *bar = new QSlider(Qt::Horizontal, parent);
      bar->setRange(c->minimum, c->maximum);
      bar->setTickInterval(c->tick);
      bar->setTickPosition(QSlider::TicksBelow);
      bar->setSingleStep(1);
      bar->setPageStep(c->tick);
      connect(bar, &QSlider::valueChanged, this, [this, c](int v) {
        if (!syncing_) form_->userMove(*c, v);
      });
      w = bar;
      break;
    }
    case ControlKind::ScrollBar: {
      auto *bar = new QScrollBar(Qt::Vertical, parent);
      bar->setRange(c->minimum, c->maximum);
      bar->setSingleStep(1);
      bar->setPageStep(10);
      connect(bar, &QScrollBar::valueChanged, this, [this, c](int v) {
        if (!syncing_) form_->userMove(*c, v);
      });
      w = bar;
      break;
    }
    case ControlKind::ComboBox: {
      auto *box = new ElidingComboBox(parent);
      box->setEditable(false); // entries are picked, never typed
      if (c == &form_->CdDevice) {
        // The open list has room for longer names than the box shows.
        box->view()->setTextElideMode(Qt::ElideMiddle);
        box->view()->setMinimumWidth(240);
      }
      connect(box, &QComboBox::activated, this, [this, c](int i) { form_->userPick(*c, i); });
      w = box;
      break;
    }
    case ControlKind::Edit: {
      auto *edit = new QLineEdit(parent);
      edit->setReadOnly(true); // shows the scroll bar's minutes
      edit->setAlignment(Qt::AlignRight);
      w = edit;
      break;
    }
    }
    w->setObjectName(QString::fromStdString(c->name));
    w->setGeometry(place.x, place.y, place.w, place.h);
    widgets_.emplace_back(c, w);
  }
  connect(pages_, &QTabWidget::currentChanged, this, [this](int i) {
    if (!syncing_) form_->userSelectPage(i);
  });
  sync();
}

QWidget *ControlPanelDialog::widget(const std::string &name) const {
  return findChild<QWidget *>(QString::fromStdString(name));
}

// Shows every control as the form holds it.
void ControlPanelDialog::sync() {
  syncing_ = true;
  for (const auto &[c, w] : widgets_) {
    const QString caption = QString::fromStdString(c->caption);
    switch (c->kind) {
    case ControlKind::GroupBox: static_cast<QGroupBox *>(w)->setTitle(caption); break;
    case ControlKind::Panel:
    case ControlKind::Label:
      if (auto *label = qobject_cast<QLabel *>(w)) label->setText(caption);
      break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
    case ControlKind::Button: {
      auto *button = static_cast<QAbstractButton *>(w);
      button->setText(caption);
      if (c->kind != ControlKind::Button) button->setChecked(c->checked);
      break;
    }
    case ControlKind::TrackBar:
    case ControlKind::ScrollBar: static_cast<QAbstractSlider *>(w)->setValue(c->position); break;
    case ControlKind::ComboBox: {
      auto *box = static_cast<QComboBox *>(w);
      QStringList items;
      for (const std::string &s : c->items) items << QString::fromStdString(s);
      QStringList shown;
      for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
      if (shown != items) {
        box->clear();
        box->addItems(items);
      }
      box->setCurrentIndex(c->itemIndex);
      break;
    }
    case ControlKind::Edit: static_cast<QLineEdit *>(w)->setText(caption); break;
    case ControlKind::Image: break;
    }
    w->setToolTip(QString::fromStdString(c->hint));
    w->setEnabled(c->enabled);
    w->setVisible(c->visible);
  }
  pages_->setCurrentIndex(form_->activePage());
  syncing_ = false;
}

void ControlPanelDialog::openForm() {
  form_->formCreate();
  sync();
  QScreen *screen = QGuiApplication::primaryScreen();
  if (screen) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  show();
}

void ControlPanelDialog::closeForm() {
  if (form_->isOpen()) close();
}

void ControlPanelDialog::showFrame(const QImage &frame) {
  if (!tela_) return;
  static_cast<TelaPanel *>(tela_)->frame = frame;
  tela_->update();
}

void ControlPanelDialog::closeEvent(QCloseEvent *event) {
  hide();
  form_->formClose();
  event->accept();
}

void ControlPanelDialog::reject() { close(); }
