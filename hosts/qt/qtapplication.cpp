#include "hosts/qt/qtapplication.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include "app/saverwindow.h"
#include "display/glidedisplay.h"
#include "hosts/headless/headlessapp.h"
#include "hosts/qt/dialog.h"
#include "hosts/qt/eventtranslation.h"
#include "hosts/qt/saverwidget.h"
#include "hosts/qt/screencopies.h"
#include "hosts/qt/screens.h"
#include "hosts/qt/x11window.h"
#include "cdaudio/mediaplayer.h"
#include "settings/configuration.h"

namespace {
constexpr WindowHandle SaverHandle = 1;
constexpr WindowHandle PanelHandle = 2;
} // namespace

QtApplication::QtApplication(const WindowedRun &run, WindowPresenter *presenter, const QStringList &arguments,
                             const QString &screen)
    : run_(run), arguments_(arguments), screen_(screen), presenter_(presenter) {}

QtApplication::~QtApplication() {
  // The run is over: closing the windows must not reach the saver's hook.
  qApp->removeEventFilter(this);
  handler_ = MessageHandler{};
  setMessageBoxSink(nullptr);
  QObject::disconnect(qApp, nullptr, this, nullptr);
  copies_.reset(); // the copies on the other screens end with the run
  for (OtherScreen &o : others_) delete o.window;
  delete saver_;
  // However the run ended, an open control panel saves as it closes.
  if (dialog_) {
    dialog_->removeEventFilter(this);
    dialog_->closeForm();
  }
  delete dialog_;
}

void QtApplication::initialize() {
  // Under a screen-saver daemon nobody can answer a box: the daemon owns
  // the input. Messages then go to the standard error stream.
  if (!underDaemon()) setMessageBoxSink(this);
  qApp->installEventFilter(this);
}

void QtApplication::setTitle(const std::string &title) {
  // Kept apart from the application's display name, which Qt would append
  // to every window's caption (the dialog has its own).
  title_ = QString::fromStdString(title);
  // A copy on another screen is no instance of its own: the run that
  // started it answers for it.
  if (screenCopy()) return;
  instances_.listen(
      title,
      [this] {
        // The close request of a newer copy: end as if the window were closed.
        if (saver_) saver_->close();
        if (dialog_) dialog_->close();
        terminated_ = true;
      },
      [this] {
        QWidget *w = saver_ ? static_cast<QWidget *>(saver_) : dialog_;
        if (w) {
          w->raise();
          w->activateWindow();
        }
      });
}

void QtApplication::processMessages() {
  if (stopRequested()) terminated_ = true;
  if (dialog_ && !terminated_)
    paceControlPanel();
  else
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  deliverCdNotices();
  if (stopRequested()) {
    // A stop signal closes the control panel as its close button does: it saves.
    terminated_ = true;
    if (dialog_) dialog_->closeForm();
  }
}

void QtApplication::showException(const std::string &message) {
  if (underDaemon()) {
    std::fprintf(stderr, "lumenveil: %s\n", message.c_str());
    return;
  }
  QMessageBox box(QMessageBox::Critical, title_, QString::fromStdString(message));
  execUntilStopped(box);
}

WindowHandle QtApplication::createSaverWindow() {
  saver_ = new SaverWidget(presenter_);
  saver_->setWindowTitle(title_);
  if (run_.windowId) {
    // Inside a screen-saver daemon's window: fill it, and end when it goes
    // away (a daemon that died without ending its hacks).
    fillForeignWindow(saver_, run_.windowId);
    watchDaemonWindow();
  } else if (screenCopy()) {
    // Never activated: the keyboard stays with the first screen's window.
    saver_->setAttribute(Qt::WA_ShowWithoutActivating);
    home_ = screenNamed(screen_);
    coverScreen(saver_, home_);
  } else {
    DisplayConfiguration display;
    display.load();
    monitors_ = display.Monitors;
    home_ = QGuiApplication::primaryScreen();
    coverScreen(saver_, home_);
    // The screens plugged in or out while the saver runs are followed once
    // the toolkit has taken them in.
    const auto later = [this] { QTimer::singleShot(0, this, [this] { arrangeScreens(); }); };
    QObject::connect(qApp, &QGuiApplication::screenAdded, this, later);
    QObject::connect(qApp, &QGuiApplication::screenRemoved, this, later);
    arrangeScreens();
  }
  // Frames are paced to the monitor the scene shows on, where the user chose no rate.
  if (QScreen *screen = saver_->screen()) setMonitorRefreshHz(screen->refreshRate());
  // The CD plays once, from the first screen's run.
  if (!screenCopy()) emptyFormCreate();
  return SaverHandle;
}

bool QtApplication::severalWindows() const {
  return screenCopy() || !others_.empty() || (copies_ && !copies_->empty());
}

void QtApplication::arrangeScreens() {
  if (!saver_ || run_.windowId || screenCopy() || terminated_) return;
  // The first screen's window moves to the primary screen when its own is gone.
  if (!home_ || !QGuiApplication::screens().contains(home_.data())) {
    home_ = QGuiApplication::primaryScreen();
    if (!home_) return;
    coverScreen(saver_, home_);
  }
  // The other screens, but none that overlaps one already covered: a cloned
  // output, or a monitor set over others, shows what is under it.
  QList<QScreen *> rest;
  QList<QRect> covered{home_->geometry()};
  for (QScreen *screen : QGuiApplication::screens()) {
    bool overlaps = false;
    for (const QRect &r : covered) overlaps = overlaps || r.intersects(screen->geometry());
    if (overlaps) continue;
    rest << screen;
    covered << screen->geometry();
  }
  // Windows and copies on screens that are gone, or that the first
  // screen's window now covers, go.
  for (auto it = others_.begin(); it != others_.end();) {
    if (it->screen && rest.contains(it->screen.data())) {
      ++it;
      continue;
    }
    delete it->window;
    it = others_.erase(it);
  }
  QStringList names;
  for (QScreen *screen : rest) names << screen->name();
  if (copies_)
    for (const QString &name : copies_->screens())
      if (!names.contains(name)) copies_->stop(name);
  for (QScreen *screen : rest) {
    if (monitors_ == MonitorsEachOwnScene) {
      if (!copies_)
        copies_ = std::make_unique<ScreenCopies>(arguments_, [this] {
          // Input on another screen ended its copy: the whole run ends.
          if (saver_) saver_->close();
          terminated_ = true;
        });
      copies_->start(screen->name());
      continue;
    }
    bool shown = false;
    for (const OtherScreen &o : others_) shown = shown || o.screen == screen;
    if (shown) continue;
    auto *window =
        new SaverWidget(presenter_, monitors_ == MonitorsSamePicture ? SaverWidget::Shows::SamePicture
                                                                     : SaverWidget::Shows::Black);
    window->setWindowTitle(title_);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    coverScreen(window, screen);
    others_.push_back({screen, window});
  }
}

WindowHandle QtApplication::createControlPanel() {
  dialog_ = new ControlPanelDialog(PanelHandle);
  panel_ = dialog_->tela();
  dialog_->installEventFilter(this);
  dialog_->openForm();
  return PanelHandle;
}

void QtApplication::closeWindow(WindowHandle w) {
  if (w == SaverHandle && saver_) saver_->close();
  if (w == PanelHandle && dialog_) dialog_->close();
}

void QtApplication::invalidate(WindowHandle w) {
  if (QWidget *widget = find(w)) widget->update();
  // The same picture on the other screens, painted after the scene's window.
  if (w == SaverHandle)
    for (OtherScreen &o : others_) o.window->update();
}

void QtApplication::setForegroundWindow(WindowHandle w) {
  if (w == SaverHandle && screenCopy()) {
    if (saver_) saver_->raise();
    return;
  }
  if (QWidget *widget = find(w)) {
    widget->raise();
    widget->activateWindow();
  }
}

void QtApplication::setFocus(WindowHandle w) {
  if (QWidget *widget = find(w)) widget->setFocus();
}

void QtApplication::bringWindowToTop(WindowHandle w) {
  if (QWidget *widget = find(w)) widget->raise();
}

void QtApplication::setCapture(WindowHandle w) {
  // A daemon owns the input (its hacks never grab it), and a copy on
  // another screen leaves it to the first screen's window.
  if (w == SaverHandle && (underDaemon() || screenCopy())) return;
  // A Wayland client cannot take the pointer; the compositor sends each
  // window the input over it.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return;
  if (QWidget *widget = find(w); widget && widget->isVisible()) widget->grabMouse();
}

void QtApplication::releaseCapture() {
  if (QWidget *grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
}

void QtApplication::showCursor(bool show) {
  if (saver_) saver_->setCursor(show ? Qt::ArrowCursor : Qt::BlankCursor);
}

void QtApplication::hideWindow(WindowHandle w) {
  if (QWidget *widget = find(w)) widget->hide();
}

void QtApplication::setStayOnTop(WindowHandle w) {
  if (w == SaverHandle && saver_ && !run_.windowId) {
    saver_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    coverScreen(saver_, home_);
    for (OtherScreen &o : others_) {
      o.window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
      coverScreen(o.window, o.screen);
    }
  }
}

WindowHandle QtApplication::activeWindow() { return saver_ ? SaverHandle : 0; }

bool QtApplication::windowSize(WindowHandle w, int &width, int &height) {
  if (w == PanelHandle && panel_) {
    width = panel_->width();
    height = panel_->height();
    return true;
  }
  if (w == SaverHandle && saver_) {
    // The window's size in the device's pixels: the native mode renders at
    // this size, so its frames are drawn as a plain copy, pixel for pixel
    // also on a scaled desktop.
    const QSize size = devicePixelSize(saver_);
    width = size.width();
    height = size.height();
    return true;
  }
  return false;
}

void QtApplication::screenSize(int &width, int &height) {
  QScreen *screen = home_ ? home_.data() : QGuiApplication::primaryScreen();
  const QSize s = screen ? screen->size() * screen->devicePixelRatio() : QSize();
  width = s.width();
  height = s.height();
}

bool QtApplication::drawImage565(WindowHandle w, const uint16_t *pixels, int width, int height) {
  if (w != PanelHandle || !dialog_) return false;
  QImage img(reinterpret_cast<const uchar *>(pixels), width, height, width * 2, QImage::Format_RGB16);
  dialog_->showFrame(img.copy());
  return true;
}

int QtApplication::show(const char *text, const char *caption, unsigned type) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption ? caption : ""),
                  QString::fromUtf8(text ? text : ""));
  if (type & LV_MB_YESNO) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return execUntilStopped(box) == QMessageBox::Yes ? LV_IDYES : LV_IDNO;
  }
  execUntilStopped(box);
  return LV_IDOK;
}

void QtApplication::beep(int, int) { QApplication::beep(); }

void QtApplication::paceControlPanel() {
  const bool previewShown = dialog_->isVisible() && !dialog_->isMinimized() &&
                            dialog_->form().activePage() == AboutPage && dialog_->form().Tela.visible;
  const qint64 interval = previewShown ? 16 : 50;
  if (!passClock_.isValid()) passClock_.start();
  const qint64 wait = interval - passClock_.elapsed();
  if (wait > 0) {
    QEventLoop idle;
    QTimer::singleShot(static_cast<int>(wait), &idle, &QEventLoop::quit);
    idle.exec();
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  passClock_.restart();
}

void QtApplication::watchDaemonWindow() {
  auto *watch = new QTimer(saver_);
  QObject::connect(watch, &QTimer::timeout, saver_, [this, watch] {
    if (windowExists(run_.windowId)) return;
    watch->stop();
    std::fprintf(stderr, "lumenveil: the window %lu (0x%lx) it drew into is gone; ending\n", run_.windowId,
                 run_.windowId);
    terminated_ = true;
  });
  watch->start(250);
}

int QtApplication::execUntilStopped(QMessageBox &box) {
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &box, [&box, this] {
    if (stopRequested()) {
      terminated_ = true;
      box.reject();
    }
  });
  poll.start(20);
  if (stopRequested()) return QMessageBox::NoButton;
  return box.exec();
}

bool QtApplication::eventFilter(QObject *watched, QEvent *event) {
  if (watched == dialog_ && event->type() == QEvent::Close) {
    terminated_ = true;
    return false;
  }
  // Inside a daemon's window the daemon owns the input and ends the saver
  // with a signal: nothing is translated.
  if (!handler_.code || run_.windowId) return false;
  bool ours = watched == saver_;
  for (const OtherScreen &o : others_) ours = ours || watched == o.window;
  if (!ours) return false;
  Message m;
  m.window = SaverHandle;
  if (!translateSaverEvent(*event, m)) return false;
  // Across several windows the focus passes between the saver's own.
  if (severalWindows() && (m.code == LV_WM_ACTIVATE || m.code == LV_WM_KILLFOCUS)) return false;
  // Closing another screen's window (its screen unplugged) does not end the run.
  if (watched != saver_ && m.code == LV_WM_DESTROY) return false;
  bool handled = false;
  handler_.code(m, handled, handler_.data);
  return handled;
}

QWidget *QtApplication::find(WindowHandle w) {
  if (w == SaverHandle) return saver_;
  if (w == PanelHandle) return panel_;
  return nullptr;
}
