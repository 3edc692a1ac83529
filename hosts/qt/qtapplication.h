// The application port on Qt: the saver window and the control panel's
// window, the main loop's passes, message boxes, the saver's input as
// message records, and the single-instance socket.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "hosts/common/commandline.h"
#include "hosts/qt/instancesocket.h"
#include "platform/application.h"
#include "platform/messagebox.h"

class ControlPanelDialog;
class QMessageBox;
class QScreen;
class QWidget;
class SaverWidget;
class ScreenCopies;
class WindowPresenter;

class QtApplication : public Application, public QObject, public MessageBoxSink {
public:
  // screen: the screen a copy of the run on another screen covers (empty for
  // the run itself); arguments: the program's own, which such copies get.
  QtApplication(const WindowedRun &run, WindowPresenter *presenter, const QStringList &arguments = {},
                const QString &screen = {});
  ~QtApplication() override;

  void initialize() override;
  void setTitle(const std::string &title) override;
  void processMessages() override;
  bool terminated() const override { return terminated_; }
  void terminate() override { terminated_ = true; }
  void setMessageHandler(const MessageHandler &h) override { handler_ = h; }
  MessageHandler messageHandler() const override { return handler_; }
  void showException(const std::string &message) override;
  void destroyHiddenWindow() override {}

  WindowHandle createSaverWindow() override;
  WindowHandle createControlPanel() override;
  void closeWindow(WindowHandle w) override;
  void invalidate(WindowHandle w) override;
  void setForegroundWindow(WindowHandle w) override;
  void setFocus(WindowHandle w) override;
  void bringWindowToTop(WindowHandle w) override;
  void setCapture(WindowHandle w) override;
  void releaseCapture() override;
  void showCursor(bool show) override;
  void hideWindow(WindowHandle w) override;
  void setStayOnTop(WindowHandle w) override;
  WindowHandle activeWindow() override;
  bool windowSize(WindowHandle w, int &width, int &height) override;
  void screenSize(int &width, int &height) override;
  bool findInstance(const std::string &title) override { return InstanceSocket::find(title); }
  void raiseInstance(const std::string &title) override { InstanceSocket::raise(title); }
  void closeInstance(const std::string &title) override { InstanceSocket::close(title); }
  bool drawImage565(WindowHandle w, const uint16_t *pixels, int width, int height) override;
  int platformId() override { return LV_VER_PLATFORM_WIN32_NT; }
  void setScreenSaverRunning(bool) override {}

  // MessageBoxSink
  int show(const char *text, const char *caption, unsigned type) override;
  void beep(int, int) override;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  // The control panel draws a frame each pass of the main loop. Passes are
  // held to the screen's pace while the preview shows, and slowed further
  // while nothing shows it, handling events all the while.
  void paceControlPanel();
  bool underDaemon() const { return run_.root || run_.windowId != 0; }
  // A copy on another screen, started by the run on the first.
  bool screenCopy() const { return !screen_.isEmpty(); }
  // Whether the saver shows in more than one window (several screens): the
  // focus then moves between the saver's own windows, and only keys,
  // buttons and movement end it.
  bool severalWindows() const;
  // Puts the scene's window on its screen and a window or a copy of the
  // program on every other screen (as the "Monitors" setting says), and
  // takes them from screens that are gone: at the start, and whenever a
  // screen is plugged in or out.
  void arrangeScreens();
  // Asks the X server a few times a second whether the daemon's window is
  // still there; the run ends within a second of it going away.
  void watchDaemonWindow();
  // Shows a modal box; a stop signal closes it (as if nobody answered) and
  // ends the run, so a box never keeps the program from ending.
  int execUntilStopped(QMessageBox &box);
  QWidget *find(WindowHandle w);

  WindowedRun run_;
  QStringList arguments_;
  QString screen_;
  WindowPresenter *presenter_;
  QString title_;
  QElapsedTimer passClock_;
  MessageHandler handler_;
  bool terminated_ = false;
  SaverWidget *saver_ = nullptr;
  QPointer<QScreen> home_; // the screen the scene's window covers
  int monitors_ = 0;       // the "Monitors" setting
  struct OtherScreen {
    QPointer<QScreen> screen;
    SaverWidget *window;
  };
  std::vector<OtherScreen> others_; // the same picture, or black
  std::unique_ptr<ScreenCopies> copies_;
  ControlPanelDialog *dialog_ = nullptr;
  QWidget *panel_ = nullptr;
  InstanceSocket instances_;
};
