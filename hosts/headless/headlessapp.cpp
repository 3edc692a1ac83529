#include "hosts/headless/headlessapp.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

#include "app/saverwindow.h"
#ifndef _WIN32
#include "hosts/linux/cdplayer.h"
#endif
#include "platform/cddevice.h"
#include "platform/ticks.h"

namespace {
std::atomic<bool> StopRequested{false};

void onStopSignal(int) { StopRequested.store(true); }

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
} // namespace

double processCpuSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
  auto seconds = [](const FILETIME &t) {
    return (double)(((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime) * 1e-7;
  };
  return seconds(kernel) + seconds(user);
#else
  timespec t{};
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0) return 0.0;
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
#endif
}

bool stopRequested() { return StopRequested.load(); }

void installStopSignals() {
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
  // A closed terminal ends a run like an interrupt: the last picture is
  // finished and the exit steps run.
#ifdef SIGHUP
  std::signal(SIGHUP, onStopSignal);
#endif
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

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
  while (!queue_.empty() && queue_.front().atFrame <= framesPainted_) {
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
  if (firstPaint_ < 0.0) {
    firstPaint_ = start;
    firstPaintCpu_ = processCpuSeconds();
  }
  emptyFormPaint();
#ifndef _WIN32
  const bool soundWritten = followClockWithCdAudio();
#else
  const bool soundWritten = true;
#endif
  paintSeconds_ = wallSeconds() - firstPaint_;
  paintCpuSeconds_ = processCpuSeconds() - firstPaintCpu_;
  ++framesPainted_;
  if (frameLimit_ > 0 && framesPainted_ >= frameLimit_ && queue_.empty()) terminated_ = true;
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
