// The headless host: the application object with no windows. Frames are
// drawn exactly as in a window and go wherever the installed frame presenter
// sends them (image files, or nowhere). Input can be queued as message
// records, which pass through the installed message hook like real input.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "hosts/common/processtime.h"
#include "hosts/common/stopsignals.h"
#include "platform/application.h"

class HeadlessApplication : public Application {
public:
  // Ends the run after this many painted frames (0: never by itself).
  void setFrameLimit(long frames) { frameLimit_ = frames; }
  // Ends the run after the first frame at which `failed` says so (an output
  // that could not be written).
  // The first `frames` painted frames are left out of the frame count and
  // the times (a warm-up); the frame limit counts the frames after them.
  void setUntimedFrames(long frames) { untimed_ = frames; }
  void setStopCheck(std::function<bool()> failed) { stopCheck_ = std::move(failed); }
  // Frames painted after the untimed ones.
  long framesPainted() const { return framesPainted_ > untimed_ ? framesPainted_ - untimed_ : 0; }
  // Seconds of wall time from the start of the first painted frame to the end of the last.
  double paintSeconds() const { return paintSeconds_; }
  // Seconds of the process's processor time over the same frames.
  double paintCpuSeconds() const { return paintCpuSeconds_; }
  // Queues a message delivered, through the hook, at the next processMessages
  // before frame number `atFrame` is painted (0: at once).
  void queueMessage(const Message &message, long atFrame = 0);
  // What the program told the user, in order (message boxes and exception boxes).
  const std::vector<std::string> &exceptions() const { return exceptions_; }
  bool windowClosed() const { return closed_; }
  bool cursorVisible() const { return cursorShown_ > 0; }
  void setPlatformId(int id) { platformId_ = id; }
  void setScreen(int width, int height) {
    screenW_ = width;
    screenH_ = height;
  }
  // Other copies "running" for the single-instance rules (tests).
  std::vector<std::string> runningInstances;
  std::vector<std::string> closeRequests;

  void initialize() override {}
  void setTitle(const std::string &title) override { title_ = title; }
  void processMessages() override;
  bool terminated() const override { return terminated_; }
  void terminate() override { terminated_ = true; }
  void setMessageHandler(const MessageHandler &handler) override { handler_ = handler; }
  MessageHandler messageHandler() const override { return handler_; }
  void showException(const std::string &message) override;
  void destroyHiddenWindow() override {}
  WindowHandle createSaverWindow() override;
  WindowHandle createControlPanel() override { return 0; }
  void closeWindow(WindowHandle window) override;
  void invalidate(WindowHandle window) override;
  void setForegroundWindow(WindowHandle) override {}
  void setFocus(WindowHandle) override {}
  void bringWindowToTop(WindowHandle) override {}
  void setCapture(WindowHandle) override {}
  void releaseCapture() override {}
  void showCursor(bool show) override { cursorShown_ += show ? 1 : -1; }
  void hideWindow(WindowHandle) override {}
  void setStayOnTop(WindowHandle) override {}
  WindowHandle activeWindow() override { return saverWindow_; }
  bool windowSize(WindowHandle window, int &width, int &height) override;
  void screenSize(int &width, int &height) override {
    width = screenW_;
    height = screenH_;
  }
  bool findInstance(const std::string &title) override;
  void raiseInstance(const std::string &) override {}
  void closeInstance(const std::string &title) override { closeRequests.push_back(title); }
  bool drawImage565(WindowHandle, const uint16_t *, int, int) override { return true; }
  int platformId() override { return platformId_; }
  void setScreenSaverRunning(bool) override {}

  const std::string &title() const { return title_; }

private:
  struct Queued {
    Message message;
    long atFrame;
  };
  void deliver(const Message &message);

  std::deque<Queued> queue_;
  MessageHandler handler_;
  std::function<bool()> stopCheck_;
  std::string title_;
  std::vector<std::string> exceptions_;
  WindowHandle saverWindow_ = 0;
  bool invalid_ = false;
  bool closed_ = false;
  bool terminated_ = false;
  long frameLimit_ = 0;
  long framesPainted_ = 0;
  long untimed_ = 0;
  double paintSeconds_ = 0.0;
  double firstPaint_ = -1.0;
  double paintCpuSeconds_ = 0.0;
  double firstPaintCpu_ = 0.0;
  int cursorShown_ = 1;
  int platformId_ = LV_VER_PLATFORM_WIN32_NT;
  int screenW_ = 800, screenH_ = 600;
};
