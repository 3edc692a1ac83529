#include "hosts/idle/idlewatcher.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "hosts/common/stopsignals.h"
#include "hosts/idle/idlesource.h"
#include "hosts/idle/sessionlock.h"
#include "platform/settingsfile.h"
#include "settings/configuration.h"

extern char **environ;

namespace {

// The idle time, read again before each wait: a change in the control panel
// counts from the next one.
uint32_t thresholdMs(const IdleRun &run) {
  if (run.seconds > 0) return static_cast<uint32_t>(run.seconds) * 1000u;
  GlobalConfiguration global;
  global.load();
  return static_cast<uint32_t>(global.IdleMinutes) * 60000u;
}

// Tells when the settings file may have changed, so that a new idle time
// counts at once: a watch on its folder, as a save renames a new file over
// it. Without the folder (nothing saved yet) the setting is read again after
// the next saver run only.
class SettingsWatch {
public:
  SettingsWatch() {
    const std::string path = settingsFiles().target(settingsFiles().defaultPath());
    const size_t slash = path.rfind('/');
    name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0 && inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE) < 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~SettingsWatch() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  // Whether the file changed since the last look.
  bool changed() {
    bool hit = false;
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while (fd_ >= 0 && (n = read(fd_, buffer, sizeof buffer)) > 0) {
      for (char *at = buffer; at < buffer + n;) {
        const auto *e = reinterpret_cast<const inotify_event *>(at);
        if (e->len && name_ == e->name) hit = true;
        at += sizeof(inotify_event) + e->len;
      }
    }
    return hit;
  }

private:
  int fd_ = -1;
  std::string name_;
};

std::string describe(uint32_t ms) {
  const uint32_t s = ms / 1000;
  if (s % 60 == 0) return std::to_string(s / 60) + (s == 60 ? " minute" : " minutes");
  return std::to_string(s) + (s == 1 ? " second" : " seconds");
}

void onChild(int) {} // only ends the wait

// The saver, as the program itself with /s, with the signals as a fresh
// program has them; 0 with `error` set when it cannot start.
pid_t startSaver(std::string &error) {
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, standard;
  sigemptyset(&none);
  sigemptyset(&standard);
  for (int s : {SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&standard, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &standard);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char program[] = "lumenveil", saver[] = "/s";
  char *argv[] = {program, saver, nullptr};
  // The program's file by its name (so that it shows as itself), else through
  // the link to it, which outlives a file replaced since the watcher started.
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  pid_t pid = 0;
  int r = n > 0 ? posix_spawn(&pid, path, nullptr, &attr, argv, environ) : ENOENT;
  if (r != 0) r = posix_spawn(&pid, "/proc/self/exe", nullptr, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  if (r != 0) {
    error = std::string("cannot start the saver: ") + std::strerror(r);
    return 0;
  }
  return pid;
}

// Whether `child` has ended (and is reaped); tells how, when it failed.
bool childEnded(pid_t child) {
  int status = 0;
  const pid_t r = waitpid(child, &status, WNOHANG);
  if (r == 0 || (r < 0 && errno == EINTR)) return false;
  if (r == child && WIFEXITED(status) && WEXITSTATUS(status) != 0)
    std::fprintf(stderr, "lumenveil: the saver ended with exit code %d\n", WEXITSTATUS(status));
  else if (r == child && WIFSIGNALED(status) && WTERMSIG(status) != SIGTERM)
    std::fprintf(stderr, "lumenveil: the saver ended by signal %d (%s)\n", WTERMSIG(status),
                 strsignal(WTERMSIG(status)));
  return true;
}

} // namespace

int runIdleWatcher(const IdleRun &run) {
  // The session's own window system: Wayland where a compositor runs (the
  // X server of Xwayland sees the input of X programs alone), else X11.
  const char *wayland = std::getenv("WAYLAND_DISPLAY");
  const char *x11 = std::getenv("DISPLAY");
  const bool useWayland = wayland && *wayland;
  if (!useWayland && !(x11 && *x11)) {
    std::fprintf(stderr,
                 "lumenveil: --idle: no session to watch (neither WAYLAND_DISPLAY nor DISPLAY is set)\n");
    return 2;
  }
  std::string error;
  SessionLock lock;
  if (!lock.take(useWayland ? std::string("wayland-") + wayland : std::string("x11-") + x11, error)) {
    std::fprintf(stderr, "lumenveil: --idle: %s\n", error.c_str());
    return 1;
  }
  std::unique_ptr<IdleSource> source = useWayland ? openWaylandIdle(error) : openX11Idle(error);
  if (!source) {
    std::fprintf(stderr, "lumenveil: --idle: %s\n", error.c_str());
    return 1;
  }

  // The stop signals and the saver's end are taken only during the wait, so
  // none is missed between a look and the wait.
  sigset_t taken, waitMask;
  sigemptyset(&taken);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&taken, s);
  sigprocmask(SIG_BLOCK, &taken, &waitMask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) sigdelset(&waitMask, s);
  struct sigaction child {};
  child.sa_handler = onChild;
  sigemptyset(&child.sa_mask);
  child.sa_flags = SA_NOCLDSTOP;
  sigaction(SIGCHLD, &child, nullptr);

  SettingsWatch settings;
  uint32_t threshold = thresholdMs(run);
  std::fprintf(stderr,
               "lumenveil: watching the session through %s: the saver starts after %s without input\n",
               source->name.c_str(), describe(threshold).c_str());
  source->arm(threshold);
  pid_t saver = 0;
  int code = 0;
  while (!stopRequested()) {
    int fd = -1, timeoutMs = -1;
    if (!source->prepare(fd, timeoutMs)) {
      std::fprintf(stderr, "lumenveil: --idle: %s\n", source->error.c_str());
      code = 1;
      break;
    }
    pollfd p[2] = {{fd, POLLIN, 0}, {run.seconds > 0 ? -1 : settings.fd(), POLLIN, 0}};
    timespec wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
    const int r = ppoll(p, 2, timeoutMs < 0 ? nullptr : &wait, &waitMask);
    const IdleEvent event = source->update(r > 0 && (p[0].revents & (POLLIN | POLLHUP | POLLERR)));
    if (r > 0 && p[1].revents && settings.changed() && !saver && thresholdMs(run) != threshold) {
      // A new idle time, counted from now.
      threshold = thresholdMs(run);
      std::fprintf(stderr, "lumenveil: the saver now starts after %s without input\n",
                   describe(threshold).c_str());
      source->arm(threshold);
    }
    if (saver && childEnded(saver)) {
      saver = 0;
      threshold = thresholdMs(run);
      source->arm(threshold);
    }
    if (event == IdleEvent::Lost) {
      std::fprintf(stderr, "lumenveil: --idle: %s\n", source->error.c_str());
      code = 1;
      break;
    }
    if (event == IdleEvent::Idle && !saver) {
      source->disarm();
      saver = startSaver(error);
      if (!saver) {
        std::fprintf(stderr, "lumenveil: --idle: %s\n", error.c_str());
        source->arm(threshold);
      }
    }
  }
  // The saver this watcher started ends with it.
  if (saver) {
    kill(saver, SIGTERM);
    while (waitpid(saver, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  return code;
}
