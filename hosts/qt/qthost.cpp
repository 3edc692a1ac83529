#include "hosts/qt/qthost.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <unistd.h>


#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "app/entry.h"
#include "app/power.h"
#include "app/saverwindow.h"
#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "glide/presenter.h"
#include "hosts/qt/dialog.h"
#include "glide/trace.h"
#include "platform/application.h"
#include "hosts/headless/headlessapp.h"
#include "hosts/headless/pngpresenter.h"
#include "hosts/qt/desktopports.h"
#include "hosts/qt/displayreach.h"
#include "hosts/qt/screens.h"
#include "hosts/qt/x11window.h"
#include "hosts/linux/cddrives.h"
#include "hosts/linux/cdplayer.h"
#include "platform/cddevice.h"
#include "platform/messagebox.h"
#include "platform/random.h"
#include "settings/configuration.h"

namespace {

constexpr WindowHandle SaverHandle = 1;
constexpr WindowHandle PanelHandle = 2;

// Keeps each presented frame until the saver window paints it, and converts
// it then, once, in one pass through a table, to the 32-bit pixels the window
// system draws without converting them again: straight into the window's
// backing store when the frame is shown at its own size, else into an image
// that is drawn scaled.
class QtPresenter : public FramePresenter {
public:
  void present(const PresentedFrame &f) override {
    frame_ = f;
    fresh_ = true;
    imageCurrent_ = false;
  }
  // A paint begins: whether a frame comes during it is known after.
  void startPaint() { fresh_ = false; }
  // Whether a frame was presented since startPaint (the board's front buffer
  // holds it until the next swap).
  bool fresh() const { return fresh_; }
  const PresentedFrame &frame() const { return frame_; }
  // Converts the fresh frame into pixels `stride` pixels a row apart.
  void convertInto(uint32_t *out, int stride) {
    converter_.toRgb32(frame_, out, stride);
    imageCurrent_ = false;
  }
  // The fresh frame as an image; without one, the last frame converted into
  // it (null before any).
  const QImage &image() {
    if (fresh_ && !imageCurrent_) {
      if (image_.width() != frame_.width || image_.height() != frame_.height)
        image_ = QImage(frame_.width, frame_.height, QImage::Format_RGB32);
      converter_.toRgb32(frame_, reinterpret_cast<uint32_t *>(image_.bits()),
                         static_cast<int>(image_.bytesPerLine() / 4));
      imageCurrent_ = true;
    }
    return image_;
  }

private:
  FrameConverter converter_;
  PresentedFrame frame_{};
  bool fresh_ = false, imageCurrent_ = false;
  QImage image_;
};

QtPresenter *WindowPresenter = nullptr;

// Paints black over what is in `area` but not in `covered`.
void fillAround(QPainter &painter, const QRect &area, const QRect &covered) {
  for (const QRect &strip : QRegion(area).subtracted(QRegion(covered)))
    painter.fillRect(strip, Qt::black);
}

// Draws the frame scaled to fill the rectangle while keeping its shape.
void drawFrameFitted(QPainter &painter, const QRect &area, const QImage &frame) {
  if (frame.isNull()) {
    painter.fillRect(area, Qt::black);
    return;
  }
  QSize size = frame.size().scaled(area.size(), Qt::KeepAspectRatio);
  QRect target(QPoint(0, 0), size);
  target.moveCenter(area.center());
  // Black only where the frame does not cover: filling the whole area first
  // would write every pixel twice a frame.
  fillAround(painter, area, target);
  // At the frame's own size a plain copy; otherwise the nearest pixel.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (size == frame.size())
    painter.drawImage(target.topLeft(), frame);
  else
    painter.drawImage(target, frame);
}

// The saver window: black, borderless, full screen, no cursor.
class SaverWidget : public QWidget {
public:
  SaverWidget() {
    setWindowFlags(Qt::FramelessWindowHint | Qt::Window);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setMouseTracking(true);
    setCursor(Qt::BlankCursor);
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
  }

protected:
  void paintEvent(QPaintEvent *) override {
    if (WindowPresenter) WindowPresenter->startPaint();
    emptyFormPaint();
    QPainter painter(this);
    // A powered-down monitor gets no pictures: black, once, and nothing after.
    if (MonitorOff) {
      if (!blanked_) painter.fillRect(rect(), Qt::black);
      blanked_ = true;
      shownInStore_ = nullptr;
      return;
    }
    blanked_ = false;
    // The scene on the primary screen; any other screen the window covers stays black.
    const QRect scene = sceneArea(this);
    const bool fresh = WindowPresenter && WindowPresenter->fresh();
    if (fresh && paintIntoStore(painter, scene)) return;
    // No new frame, and the last one went into a backing store that is still
    // there: it shows that frame still.
    if (!fresh && shownInStore_) {
      const QImage *store = storeImage(painter);
      if (store && store->constBits() == shownInStore_ && store->size() == shownStoreSize_) return;
    }
    shownInStore_ = nullptr;
    if (scene != rect()) fillAround(painter, rect(), scene);
    drawFrameFitted(painter, scene, WindowPresenter ? WindowPresenter->image() : QImage());
  }
  void closeEvent(QCloseEvent *event) override {
    emptyFormClose();
    event->accept();
  }

private:
  // The image the painter draws into when it is the window's backing store
  // in a 32-bit format whose pixels are 0xFFRRGGBB, at one pixel a pixel.
  static QImage *storeImage(QPainter &painter) {
    QPaintEngine *engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster) return nullptr;
    QPaintDevice *device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image) return nullptr;
    QImage *image = static_cast<QImage *>(device);
    const QImage::Format format = image->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied)
      return nullptr;
    if (image->devicePixelRatio() != 1.0 || image->isNull()) return nullptr;
    return image;
  }

  // A frame at its own size is converted straight into the backing store
  // (no image of its own to copy from); false when that cannot be done.
  bool paintIntoStore(QPainter &painter, const QRect &scene) {
    const PresentedFrame &f = WindowPresenter->frame();
    if (f.width != scene.width() || f.height != scene.height()) return false;
    QImage *store = storeImage(painter);
    if (!store || painter.deviceTransform().type() > QTransform::TxTranslate) return false;
    const QPoint at = painter.deviceTransform().map(scene.topLeft());
    if (at.x() < 0 || at.y() < 0 || at.x() + f.width > store->width() ||
        at.y() + f.height > store->height())
      return false;
    // Written where the painter draws: through the image's own pixels, not
    // bits(), which would give a copy if the image were shared.
    uchar *bits = const_cast<uchar *>(store->constBits());
    const qsizetype line = store->bytesPerLine();
    if (scene != rect()) fillAround(painter, rect(), scene);
    WindowPresenter->convertInto(reinterpret_cast<uint32_t *>(bits + at.y() * line) + at.x(),
                                 static_cast<int>(line / 4));
    shownInStore_ = store->constBits();
    shownStoreSize_ = store->size();
    return true;
  }

  bool blanked_ = false;
  const uchar *shownInStore_ = nullptr; // the backing store the last frame went into
  QSize shownStoreSize_;
};

QString serverName(const std::string &title) {
  QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(title), QCryptographicHash::Sha1);
  return QStringLiteral("lumenveil-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash.toHex().left(16)));
}

class QtApplication : public Application, public QObject, public MessageBoxSink {
public:
  explicit QtApplication(const WindowedRun &run) : run_(run) {}
  ~QtApplication() override {
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

  void initialize() override {
    // Under a screen-saver daemon nobody can answer a box: the daemon owns
    // the input. Messages then go to the standard error stream.
    if (!underDaemon()) setMessageBoxSink(this);
    qApp->installEventFilter(this);
  }
  void setTitle(const std::string &title) override {
    // Kept apart from the application's display name, which Qt would append
    // to every window's caption (the dialog has its own).
    title_ = QString::fromStdString(title);
    listen(title);
  }
  void processMessages() override {
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
  bool terminated() const override { return terminated_; }
  void terminate() override { terminated_ = true; }
  void setMessageHandler(const MessageHandler &h) override { handler_ = h; }
  MessageHandler messageHandler() const override { return handler_; }
  void showException(const std::string &message) override {
    if (underDaemon()) {
      std::fprintf(stderr, "lumenveil: %s\n", message.c_str());
      return;
    }
    QMessageBox box(QMessageBox::Critical, title_,
                    QString::fromStdString(message));
    execUntilStopped(box);
  }
  void destroyHiddenWindow() override {}

  WindowHandle createSaverWindow() override {
    saver_ = new SaverWidget;
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
  WindowHandle createControlPanel() override {
    dialog_ = new ControlPanelDialog(PanelHandle);
    panel_ = dialog_->tela();
    dialog_->installEventFilter(this);
    dialog_->openForm();
    return PanelHandle;
  }
  void closeWindow(WindowHandle w) override {
    if (w == SaverHandle && saver_) saver_->close();
    if (w == PanelHandle && dialog_) dialog_->close();
  }
  void invalidate(WindowHandle w) override {
    if (QWidget *widget = find(w)) widget->update();
  }
  void setForegroundWindow(WindowHandle w) override {
    if (QWidget *widget = find(w)) {
      widget->raise();
      widget->activateWindow();
    }
  }
  void setFocus(WindowHandle w) override {
    if (QWidget *widget = find(w)) widget->setFocus();
  }
  void bringWindowToTop(WindowHandle w) override {
    if (QWidget *widget = find(w)) widget->raise();
  }
  void setCapture(WindowHandle w) override {
    if (QWidget *widget = find(w); widget && widget->isVisible()) widget->grabMouse();
  }
  void releaseCapture() override {
    if (QWidget *grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  }
  void showCursor(bool show) override {
    if (saver_) saver_->setCursor(show ? Qt::ArrowCursor : Qt::BlankCursor);
  }
  void hideWindow(WindowHandle w) override {
    if (QWidget *widget = find(w)) widget->hide();
  }
  void setStayOnTop(WindowHandle w) override {
    if (w == SaverHandle && saver_ && !run_.windowId) {
      saver_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
      coverEveryScreen(saver_);
    }
  }
  WindowHandle activeWindow() override { return saver_ ? SaverHandle : 0; }
  bool windowSize(WindowHandle w, int &width, int &height) override {
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
  void screenSize(int &width, int &height) override {
    QSize s = QGuiApplication::primaryScreen()->size();
    width = s.width();
    height = s.height();
  }
  bool findInstance(const std::string &title) override {
    QLocalSocket socket;
    socket.connectToServer(serverName(title));
    return socket.waitForConnected(300);
  }
  void raiseInstance(const std::string &title) override { send(title, "raise\n"); }
  void closeInstance(const std::string &title) override { send(title, "close\n"); }
  bool drawImage565(WindowHandle w, const uint16_t *pixels, int width, int height) override {
    if (w != PanelHandle || !dialog_) return false;
    QImage img(reinterpret_cast<const uchar *>(pixels), width, height, width * 2, QImage::Format_RGB16);
    dialog_->showFrame(img.copy());
    return true;
  }
  int platformId() override { return LV_VER_PLATFORM_WIN32_NT; }
  void setScreenSaverRunning(bool) override {}

  // MessageBoxSink
  int show(const char *text, const char *caption, unsigned type) override {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption ? caption : ""),
                    QString::fromUtf8(text ? text : ""));
    if (type & LV_MB_YESNO) {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      return execUntilStopped(box) == QMessageBox::Yes ? LV_IDYES : LV_IDNO;
    }
    execUntilStopped(box);
    return LV_IDOK;
  }
  void beep(int, int) override { QApplication::beep(); }

protected:
  // The control panel draws a frame each pass of the main loop. Passes are
  // held to the screen's pace while the preview shows, and slowed further
  // while nothing shows it, handling events all the while.
  void paceControlPanel() {
    const bool previewShown = dialog_->isVisible() && !dialog_->isMinimized() &&
                              dialog_->form().activePage() == AboutPage &&
                              dialog_->form().Tela.visible;
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

  bool underDaemon() const { return run_.root || run_.windowId != 0; }

  // Asks the X server a few times a second whether the daemon's window is
  // still there; the run ends within a second of it going away.
  void watchDaemonWindow() {
    auto *watch = new QTimer(saver_);
    QObject::connect(watch, &QTimer::timeout, saver_, [this, watch] {
      if (windowExists(run_.windowId)) return;
      watch->stop();
      std::fprintf(stderr, "lumenveil: the window %lu (0x%lx) it drew into is gone; ending\n",
                   run_.windowId, run_.windowId);
      terminated_ = true;
    });
    watch->start(250);
  }

  // Shows a modal box; a stop signal closes it (as if nobody answered) and
  // ends the run, so a box never keeps the program from ending.
  int execUntilStopped(QMessageBox &box) {
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

  bool eventFilter(QObject *watched, QEvent *event) override {
    if (watched == dialog_ && event->type() == QEvent::Close) {
      terminated_ = true;
      return false;
    }
    // Inside a daemon's window the daemon owns the input and ends the saver
    // with a signal: nothing is translated.
    if (watched != saver_ || !handler_.code || run_.windowId) return false;
    Message m;
    m.window = SaverHandle;
    switch (event->type()) {
    case QEvent::KeyPress:
      m.code = LV_WM_KEYDOWN;
      m.wParam = static_cast<uintptr_t>(static_cast<QKeyEvent *>(event)->key());
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
      auto *me = static_cast<QMouseEvent *>(event);
      const bool down = event->type() == QEvent::MouseButtonPress;
      if (me->button() == Qt::LeftButton)
        m.code = down ? LV_WM_LBUTTONDOWN : LV_WM_LBUTTONUP;
      else if (me->button() == Qt::RightButton)
        m.code = down ? LV_WM_RBUTTONDOWN : LV_WM_RBUTTONUP;
      else
        m.code = down ? LV_WM_MBUTTONDOWN : LV_WM_MBUTTONUP;
      break;
    }
    case QEvent::MouseMove: {
      QPoint p = static_cast<QMouseEvent *>(event)->position().toPoint();
      m.code = LV_WM_MOUSEMOVE;
      m.lParam = makeMouseLParam(p.x(), p.y());
      break;
    }
    case QEvent::WindowActivate:
      m.code = LV_WM_ACTIVATE;
      m.wParam = 1;
      break;
    case QEvent::WindowDeactivate:
      m.code = LV_WM_ACTIVATE;
      m.wParam = 0;
      break;
    case QEvent::FocusOut:
      m.code = LV_WM_KILLFOCUS;
      break;
    case QEvent::Close:
      m.code = LV_WM_DESTROY;
      break;
    default:
      return false;
    }
    bool handled = false;
    handler_.code(m, handled, handler_.data);
    return handled;
  }

private:
  QWidget *find(WindowHandle w) {
    if (w == SaverHandle) return saver_;
    if (w == PanelHandle) return panel_;
    return nullptr;
  }
  void send(const std::string &title, const char *what) {
    QLocalSocket socket;
    socket.connectToServer(serverName(title));
    if (!socket.waitForConnected(300)) return;
    socket.write(what);
    socket.waitForBytesWritten(300);
    socket.disconnectFromServer();
  }
  void listen(const std::string &title) {
    const QString name = serverName(title);
    QLocalServer::removeServer(name);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) return;
    QObject::connect(server_.get(), &QLocalServer::newConnection, [this] {
      while (QLocalSocket *s = server_->nextPendingConnection()) {
        QObject::connect(s, &QLocalSocket::readyRead, [this, s] {
          const QByteArray line = s->readAll();
          if (line.contains("close")) {
            // The close request of a newer copy: end as if the window were closed.
            if (saver_) saver_->close();
            if (dialog_) dialog_->close();
            terminated_ = true;
          } else if (line.contains("raise")) {
            QWidget *w = saver_ ? static_cast<QWidget *>(saver_) : dialog_;
            if (w) {
              w->raise();
              w->activateWindow();
            }
          }
        });
        QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
      }
    });
  }

  WindowedRun run_;
  QString title_;
  QElapsedTimer passClock_;
  MessageHandler handler_;
  bool terminated_ = false;
  SaverWidget *saver_ = nullptr;
  ControlPanelDialog *dialog_ = nullptr;
  QWidget *panel_ = nullptr;
  std::unique_ptr<QLocalServer> server_;
};

// A screen-saver daemon runs one copy per screen (and one in its settings'
// preview) and ends each itself: its copies run without looking for one
// another, which would leave every screen but the first dark.
std::string daemonCommandLine(const WindowedRun &run) {
  if (!run.root && !run.windowId) return run.commandLine;
  const CommandLine c = parseCommandLine(run.commandLine);
  if (c.mode != RunMode::Saver) return run.commandLine;
  if (c.after == '1') selectScene(0);
  if (c.after == '2') selectScene(1);
  return std::string();
}

bool haveDisplay() {
  return std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

} // namespace

int runQtHost(int argc, char **argv, const WindowedRun &given) {
  WindowedRun run = given;
  // A screen-saver daemon that passes -root names the window to draw into in
  // XSCREENSAVER_WINDOW (its virtual root).
  if (run.root && !run.windowId) {
    if (const char *w = std::getenv("XSCREENSAVER_WINDOW")) {
      if (!parseWindowId(w, run.windowId)) {
        std::fprintf(stderr, "lumenveil: XSCREENSAVER_WINDOW=%s is not a window id\n", w);
        return -1;
      }
    }
  }
  // A daemon's hack draws at the size of the window it is given, unless the
  // user stored a display mode of their own.
  if (run.root || run.windowId) setRunDefaultDisplayMode(NativeDisplayMode);
  if (run.haveSeed) setFixedSeed(run.seed);
  StatisticsOverride = run.showStatistics;
  if (run.randomScene) selectScene(2);
  std::string error;
  if (!run.tracePath.empty() && !boardStartTrace(run.tracePath.c_str(), error)) {
    std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
    return 1;
  }
  // No screen, or one that cannot be reached: the switches that need no
  // window still work.
  const std::string noDisplay = haveDisplay() ? displayUnreachable() : "no display (DISPLAY is not set)";
  if (!noDisplay.empty()) {
    if (parseCommandLine(run.commandLine).mode == RunMode::Preview)
      std::fprintf(stderr, "lumenveil: %s\n", noDisplay.c_str());
    int code = runWithoutWindow(run.commandLine, noDisplay.c_str());
    if (!boardStopTrace(error)) {
      std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
      code = 1;
    }
    return code;
  }
  std::optional<DisplayStartGuard> startGuard(std::in_place);
  QApplication qtApp(argc, argv);
  startGuard.reset();
  if (run.windowId && !windowExists(run.windowId)) {
    std::fprintf(stderr, "lumenveil: there is no window %lu (0x%lx) to draw into\n", run.windowId,
                 run.windowId);
    return -1;
  }
  DesktopPorts ports(run.root || run.windowId != 0);
  QtPresenter presenter;
  WindowPresenter = &presenter;
  boardSetPresenter(&presenter);
  useSoundServerForCd();
  useSystemCdDrives(); // the control panel offers them
  int code = 0;
  {
    QtApplication app(run);
    setApplication(&app);
    code = runSaver(nullptr, daemonCommandLine(run));
    setApplication(nullptr);
  }
  std::string cdError;
  finishCdAudio(cdError); // nothing to report: the sound went to the sound server
  boardSetPresenter(nullptr);
  WindowPresenter = nullptr;
  if (!boardStopTrace(error)) {
    std::fprintf(stderr, "lumenveil: %s\n", error.c_str());
    code = 1;
  }
  return code;
}
