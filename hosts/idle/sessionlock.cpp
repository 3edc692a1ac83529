#include "hosts/idle/sessionlock.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

std::string sessionLockPath(const std::string &session) {
  std::string folder;
  struct stat st {};
  if (const char *run = std::getenv("XDG_RUNTIME_DIR");
      run && *run == '/' && stat(run, &st) == 0 && S_ISDIR(st.st_mode))
    folder = run;
  else if (const char *tmp = std::getenv("TMPDIR"); tmp && *tmp == '/')
    folder = tmp;
  else
    folder = "/tmp";
  std::string safe;
  for (char c : session)
    safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.') ? c : '_';
  return folder + "/lumenveil-idle-" + std::to_string(getuid()) + "-" + safe + ".lock";
}

SessionLock::~SessionLock() {
  if (fd_ >= 0) close(fd_);
}

bool SessionLock::take(const std::string &session, std::string &error) {
  const std::string path = sessionLockPath(session);
  // Never through a link another user planted, nor on a file of theirs. The
  // descriptor is not passed on to the saver, which must not keep the lock.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot use the lock file " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
    close(fd);
    error = "the lock file " + path + " is not a file of this user's";
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    char text[32] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    const long holder = n > 0 ? std::strtol(text, nullptr, 10) : 0;
    close(fd);
    error = "an idle watcher already runs for this session";
    if (holder > 0) error += " (process " + std::to_string(holder) + ")";
    return false;
  }
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) < 0) {
    // The lock holds without the number: only the message of a second watcher lacks it.
  }
  fd_ = fd;
  return true;
}
