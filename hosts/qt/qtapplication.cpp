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
#include "hosts/headless/headlessapp.h"
#include "hosts/qt/dialog.h"
#include "hosts/qt/eventtranslation.h"
#include "hosts/qt/saverwidget.h"
#include "hosts/qt/screens.h"
#include "hosts/qt/x11window.h"
#include "cdaudio/mediaplayer.h"

namespace {
constexpr WindowHandle SaverHandle = 1;
constexpr WindowHandle PanelHandle = 2;
} // namespace

QtApplication::QtApplication(const WindowedRun &run, WindowPresenter *presenter)
    : run_(run), presenter_(presenter) {}

QtApplication::~QtApplication() {
  // The run is over: closing the windows must not reach the saver's hook.
  qApp->removeEventFilter(this);
  handler_ = MessageHandler{};
  setMessageBoxSink(nullptr);
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
  } else {
    coverEveryScreen(saver_);
  }
  emptyFormCreate();
  return SaverHandle;
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
}

void QtApplication::setForegroundWindow(WindowHandle w) {
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
    coverEveryScreen(saver_);
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
    // The part the scene is drawn in (the primary screen, or a daemon's
    // whole window): the native mode renders at this size, so its frames
    // are drawn as a plain copy.
    const QSize size = sceneArea(saver_).size();
    width = size.width();
    height = size.height();
    return true;
  }
  return false;
}

void QtApplication::screenSize(int &width, int &height) {
  QSize s = QGuiApplication::primaryScreen()->size();
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
  if (watched != saver_ || !handler_.code || run_.windowId) return false;
  Message m;
  m.window = SaverHandle;
  if (!translateSaverEvent(*event, m)) return false;
  bool handled = false;
  handler_.code(m, handled, handler_.data);
  return handled;
}

QWidget *QtApplication::find(WindowHandle w) {
  if (w == SaverHandle) return saver_;
  if (w == PanelHandle) return panel_;
  return nullptr;
}
