// The settings file on a POSIX file system: an advisory lock file beside it,
// a temporary file flushed and renamed over it, the folder flushed after.
#include "hosts/posix/settingsfile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// Longest wait for another process's save to finish, in milliseconds.
constexpr int LockWaitMs = 10000;
// How much of a file over the size limit is read, to tell what it is.
constexpr size_t OversizeHeadBytes = 65536;
// Most symbolic links followed from the settings path to its file.
constexpr int MaxLinkHops = 40;

SettingsFileStamp stampOf(const struct stat &st) {
  SettingsFileStamp s;
  s.exists = true;
  s.device = uint64_t(st.st_dev);
  s.inode = uint64_t(st.st_ino);
  s.size = uint64_t(st.st_size);
  s.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  s.changedNs = int64_t(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
  return s;
}

std::string folderOf(const std::string &path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Creates the folders above path.
bool makeParents(const std::string &path, std::string &error) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '/') continue;
    std::string dir = path.substr(0, i);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      error = "cannot create the folder " + dir + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

bool writeAll(int fd, const std::string &s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

std::string temporaryName(const std::string &path) { return path + ".tmp"; }

class PosixSettingsFiles : public SettingsFiles {
public:
  std::string defaultPath() override {
    const char *env = std::getenv("LUMENVEIL_REGISTRY");
    if (env && *env) return env;
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/lumenveil/registry.reg";
    std::string home;
    if (const char *env = std::getenv("HOME"); env && *env) {
      home = env;
    } else {
      struct passwd entry, *found = nullptr;
      char buffer[4096];
      if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
          *found->pw_dir)
        home = found->pw_dir;
      else
        home = ".";
    }
    return home + "/.config/lumenveil/registry.reg";
  }

  std::string target(const std::string &path) override {
    // Follow the links by hand: the last one may lead to a file not yet made,
    // which is the file to create.
    std::string p = path;
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
      struct stat st;
      if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
      char link[PATH_MAX];
      ssize_t n = ::readlink(p.c_str(), link, sizeof link - 1);
      if (n <= 0) break;
      std::string to(link, size_t(n));
      p = to[0] == '/' ? to : folderOf(p) + to;
    }
    if (char *real = ::realpath(p.c_str(), nullptr)) {
      std::string r = real;
      std::free(real);
      return r;
    }
    // A file to be made: spell its folder as it really is, when it exists.
    std::string dir = folderOf(p);
    if (!dir.empty()) {
      if (char *real = ::realpath(dir.c_str(), nullptr)) {
        std::string r = std::string(real) + (std::strcmp(real, "/") == 0 ? "" : "/") + p.substr(dir.size());
        std::free(real);
        return r;
      }
    }
    return p;
  }

  SettingsFileStamp stamp(const std::string &path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return SettingsFileStamp{};
    return stampOf(st);
  }

  SettingsFileContents read(const std::string &path, size_t maxBytes) override {
    SettingsFileContents c;
    // Without O_NONBLOCK, opening a named pipe waits for a writer that may
    // never come; a regular file reads the same either way.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      if (errno == ENOENT || errno == ENOTDIR) return c;
      c.status = SettingsFileStatus::Failed;
      c.error = std::strerror(errno);
      return c;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      if (path != "/dev/null") c.status = SettingsFileStatus::NotRegular;
      return c;
    }
    c.stamp = stampOf(st);
    c.status = SettingsFileStatus::Read;
    size_t limit = maxBytes;
    if (size_t(st.st_size) > maxBytes) {
      c.status = SettingsFileStatus::TooLarge;
      limit = OversizeHeadBytes;
    } else {
      c.bytes.reserve(size_t(st.st_size));
    }
    char buf[65536];
    while (c.bytes.size() <= limit) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        c.status = SettingsFileStatus::Failed;
        c.error = std::strerror(errno);
        c.bytes.clear();
        break;
      }
      if (n == 0) break;
      c.bytes.append(buf, size_t(n));
    }
    if (c.bytes.size() > limit) {
      // The file grew past the limit while it was read.
      if (c.status == SettingsFileStatus::Read) c.status = SettingsFileStatus::TooLarge;
      c.bytes.resize(std::min(c.bytes.size(), OversizeHeadBytes));
    }
    ::close(fd);
    return c;
  }

  bool lock(const std::string &path, std::string &error) override {
    if (!makeParents(path, error)) return false;
    std::string lockName = path + ".lock";
    // Never through a link: one planted there would have the file made, or
    // locked, wherever it points.
    LockFd = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (LockFd < 0) {
      error = "cannot open the lock file " + lockName + ": " +
              (errno == ELOOP ? "it is a symbolic link" : std::strerror(errno));
      return false;
    }
    // Another save holds the lock for a few milliseconds at most; one that
    // holds it far longer is stuck, and the user is told rather than kept waiting.
    for (int waited = 0; ::flock(LockFd, LOCK_EX | LOCK_NB) != 0; ++waited) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= LockWaitMs) {
        error = errno == EWOULDBLOCK || errno == EINTR
                    ? "another program has held the lock " + lockName + " for too long"
                    : "cannot lock " + lockName + ": " + std::strerror(errno);
        ::close(LockFd);
        LockFd = -1;
        return false;
      }
      ::usleep(1000);
    }
    return true;
  }

  void unlock() override {
    if (LockFd < 0) return;
    ::flock(LockFd, LOCK_UN);
    ::close(LockFd);
    LockFd = -1;
  }

  bool writeTemporary(const std::string &path, const std::string &text, std::string &error) override {
    struct stat st;
    // The owner always keeps read and write: a file its owner cannot read
    // would be moved aside again at the next save.
    mode_t mode = ::stat(path.c_str(), &st) == 0 ? ((st.st_mode & 07777) | 0600) : 0600;
    std::string tmpName = temporaryName(path);
    // Under the lock any temporary file left here is from a save that never
    // finished: replace it.
    ::unlink(tmpName.c_str());
    int fd = ::open(tmpName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      error = "cannot create " + tmpName + ": " + std::strerror(errno);
      return false;
    }
    if (!writeAll(fd, text) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
      error = "cannot write " + tmpName + ": " + std::strerror(errno);
      ::close(fd);
      ::unlink(tmpName.c_str());
      return false;
    }
    if (::close(fd) != 0) {
      error = "cannot write " + tmpName + ": " + std::strerror(errno);
      ::unlink(tmpName.c_str());
      return false;
    }
    return true;
  }

  void discardTemporary(const std::string &path) override { ::unlink(temporaryName(path).c_str()); }

  bool moveAside(const std::string &path, std::string &aside, std::string &error) override {
    aside = path + ".unreadable";
    for (int i = 1; ::access(aside.c_str(), F_OK) == 0; ++i)
      aside = path + ".unreadable." + std::to_string(i);
    if (::rename(path.c_str(), aside.c_str()) != 0) {
      error = "cannot be moved aside to " + aside + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }

  SettingsFileReplace replace(const std::string &path, const SettingsFileStamp &expected,
                              std::string &error) override {
    if (stamp(path) != expected) return SettingsFileReplace::Changed;
    std::string tmpName = temporaryName(path);
    if (::rename(tmpName.c_str(), path.c_str()) != 0) {
      error = "cannot replace it: " + std::string(std::strerror(errno));
      ::unlink(tmpName.c_str());
      return SettingsFileReplace::Failed;
    }
    std::string dir = folderOf(path);
    int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
      ::fsync(dirFd);
      ::close(dirFd);
    }
    return SettingsFileReplace::Done;
  }

private:
  int LockFd = -1;
};

} // namespace

SettingsFiles &posixSettingsFiles() {
  static PosixSettingsFiles files;
  return files;
}
