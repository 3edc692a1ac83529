#include "hosts/headless/headlessapp.h"

#include <chrono>
#include <cstdio>

#include "app/saverwindow.h"
#include "frame/fixedclock.h"
#include "hosts/common/processtime.h"
#include "hosts/common/stopsignals.h"
#ifndef _WIN32
#include "hosts/linux/cdplayer.h"
#endif
#include "cdaudio/mediaplayer.h"
#include "platform/ticks.h"

namespace {
double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
} // namespace

void HeadlessApplication::queueMessage(const Message &message, long atFrame) {
  queue_.push_back({message, atFrame});
}

void HeadlessApplication::deliver(const Message &message) {
  bool handled = false;
  if (handler_.code) handler_.code(message, handled, handler_.data);
}

void HeadlessApplication::processMessages() {
  if (stopRequested()) terminated_ = true;
  // A track that ended during the last frame is noticed here, at the frame boundary.
  deliverCdNotices();
  while (!queue_.empty() && queue_.front().atFrame <= framesPainted()) {
    Message m = queue_.front().message;
    queue_.pop_front();
    if (m.window == 0) m.window = saverWindow_;
    deliver(m);
  }
  if (terminated_ || closed_ || !invalid_) return;
  invalid_ = false;
  // One paint: the fixed clock of a headless run moves one step per frame.
  advanceFixedClock();
  const double start = wallSeconds();
  if (firstPaint_ < 0.0 && framesPainted_ >= untimed_) {
    firstPaint_ = start;
    firstPaintCpu_ = processCpuSeconds();
  }
  emptyFormPaint();
#ifndef _WIN32
  const bool soundWritten = followClockWithCdAudio();
#else
  const bool soundWritten = true;
#endif
  if (firstPaint_ >= 0.0) {
    paintSeconds_ = wallSeconds() - firstPaint_;
    paintCpuSeconds_ = processCpuSeconds() - firstPaintCpu_;
  }
  ++framesPainted_;
  if (frameLimit_ > 0 && framesPainted() >= frameLimit_ && queue_.empty()) terminated_ = true;
  // An output that cannot be written ends the run at this frame.
  if (!soundWritten || (stopCheck_ && stopCheck_())) terminated_ = true;
}

void HeadlessApplication::showException(const std::string &message) {
  exceptions_.push_back(message);
  std::fprintf(stderr, "lumenveil: %s\n", message.c_str());
}

WindowHandle HeadlessApplication::createSaverWindow() {
  saverWindow_ = 1;
  closed_ = false;
  emptyFormCreate();
  return saverWindow_;
}

void HeadlessApplication::closeWindow(WindowHandle window) {
  if (window == saverWindow_ && !closed_) {
    closed_ = true;
    emptyFormClose();
  }
}

void HeadlessApplication::invalidate(WindowHandle window) {
  if (window && window == saverWindow_) invalid_ = true;
}

bool HeadlessApplication::windowSize(WindowHandle window, int &width, int &height) {
  if (!window || window != saverWindow_) return false;
  width = screenW_;
  height = screenH_;
  return true;
}

bool HeadlessApplication::findInstance(const std::string &title) {
  for (const auto &t : runningInstances)
    if (t == title) return true;
  return false;
}
