#include "hosts/common/outputfile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#include <io.h>

#include <filesystem>
#else
#include <unistd.h>

#include <climits>
#endif

namespace {

// Bytes gathered before they are written out.
constexpr size_t BufferBytes = size_t(1) << 16;
// Tries at making the temporary when something keeps appearing under its name.
constexpr int CreateTries = 3;

enum class Target { Replace, Stream, Refuse };

#ifdef _WIN32
Target classify(const std::string &path, bool, std::string &why) {
  std::error_code ec;
  const std::filesystem::file_type type = std::filesystem::status(path, ec).type();
  if (type == std::filesystem::file_type::not_found || type == std::filesystem::file_type::regular)
    return Target::Replace;
  why = ec                                              ? ec.message()
        : type == std::filesystem::file_type::directory ? "it is a folder"
                                                        : "it is not a regular file";
  return Target::Refuse;
}
#else
// Most symbolic links followed from a name to the file it stands for.
constexpr int MaxLinkHops = 40;

std::string folderOf(const std::string &path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// Whether the link at `path` leads into /proc, to a file some process has
// open (/dev/stdout, /dev/fd/N): that file is written into, never replaced.
bool namesAnOpenFile(std::string path) {
  for (int hop = 0; hop < MaxLinkHops; ++hop) {
    char *dir = ::realpath(folderOf(path).c_str(), nullptr);
    const bool inProc = dir && std::strncmp(dir, "/proc/", 6) == 0;
    std::free(dir);
    struct stat st;
    if (inProc) return true;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    char link[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), link, sizeof link - 1);
    if (n <= 0) return false;
    const std::string to(link, size_t(n));
    path = to[0] == '/' ? to : folderOf(path) + to;
  }
  return false;
}

const char *kindOf(mode_t mode) {
  return S_ISDIR(mode)    ? "it is a folder"
         : S_ISSOCK(mode) ? "it is a socket"
         : S_ISBLK(mode)  ? "it is a disk (a block device)"
         : S_ISCHR(mode)  ? "it is a device, not a regular file"
         : S_ISFIFO(mode) ? "it is a named pipe, not a regular file"
                          : "it is not a regular file";
}

// What may be done with `path`: `st` is what it stands for.
Target classify(const std::string &path, bool mayStream, std::string &why, struct stat &st) {
  struct stat own;
  if (::lstat(path.c_str(), &own) != 0) {
    if (errno == ENOENT) return Target::Replace;
    why = std::strerror(errno);
    return Target::Refuse;
  }
  st = own;
  // A link to nothing, or a loop: only the link itself is replaced.
  if (S_ISLNK(own.st_mode) && ::stat(path.c_str(), &st) != 0) return Target::Replace;
  if (S_ISREG(st.st_mode))
    return S_ISLNK(own.st_mode) && mayStream && namesAnOpenFile(path) ? Target::Stream : Target::Replace;
  if (mayStream && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) return Target::Stream;
  why = kindOf(st.st_mode);
  return Target::Refuse;
}

Target classify(const std::string &path, bool mayStream, std::string &why) {
  struct stat st;
  return classify(path, mayStream, why, st);
}
#endif

} // namespace

bool OutputFile::fail(const std::string &what, int code) {
  if (error_.empty()) error_ = code ? what + ": " + std::strerror(code) : what;
  return false;
}

void OutputFile::closeFd() {
  if (fd_ < 0) return;
#ifdef _WIN32
  const bool closed = ::_close(fd_) == 0;
#else
  const bool closed = ::close(fd_) == 0;
#endif
  fd_ = -1;
  if (!closed) fail("cannot write " + path_, errno);
}

bool OutputFile::open(const std::string &path, bool mayStream) {
  discard();
  path_ = path;
  error_.clear();
  buffer_.clear();
  streaming_ = false;
  std::string why;
#ifdef _WIN32
  const Target target = classify(path, mayStream, why);
#else
  struct stat st {};
  const Target target = classify(path, mayStream, why, st);
#endif
  if (target == Target::Refuse) return fail("cannot write " + path + ": " + why, 0);
#ifndef _WIN32
  if (target == Target::Stream) {
    // A pipe is opened without waiting, so that one nobody reads is told at
    // once instead of hanging the run; a file reached through /proc is added to.
    const bool pipe = S_ISFIFO(st.st_mode);
    fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (pipe ? O_NONBLOCK : 0) |
                                   (S_ISREG(st.st_mode) ? O_APPEND : 0));
    if (fd_ < 0 && pipe && errno == ENXIO)
      return fail("cannot write " + path + ": nothing reads that named pipe (start its reader first)", 0);
    if (fd_ < 0) return fail("cannot write " + path, errno);
    struct stat now;
    if (::fstat(fd_, &now) != 0 || (now.st_mode & S_IFMT) != (st.st_mode & S_IFMT)) {
      closeFd();
      return fail("cannot write " + path + ": it changed while it was opened", 0);
    }
    if (pipe) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    streaming_ = true;
    return true;
  }
#endif
  // Whatever is under the temporary name is from a run that never finished,
  // or was put there by someone else: it goes, and the temporary is made new,
  // never through a link.
  temporary_ = path + ".tmp";
  for (int attempt = 1; fd_ < 0; ++attempt) {
#ifdef _WIN32
    ::_unlink(temporary_.c_str());
    fd_ = ::_open(temporary_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
#else
    ::unlink(temporary_.c_str());
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
    if (fd_ < 0 && (errno != EEXIST || attempt == CreateTries)) {
      const int code = errno;
      temporary_.clear();
      if (code != EEXIST) return fail("cannot write " + path, code);
      return fail("cannot write " + path + ": " + path + ".tmp is in the way and cannot be removed", 0);
    }
  }
  return true;
}

bool OutputFile::write(const void *data, size_t size) {
  if (fd_ < 0) return fail("cannot write " + path_ + ": it is not open", 0);
  if (!error_.empty()) return false;
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  return buffer_.size() < BufferBytes || flush();
}

bool OutputFile::flush() {
  if (!error_.empty()) return false;
  size_t done = 0;
  while (done < buffer_.size()) {
    const size_t step = std::min<size_t>(buffer_.size() - done, size_t(1) << 30);
#ifdef _WIN32
    const int n = ::_write(fd_, buffer_.data() + done, unsigned(step));
#else
    const ssize_t n = ::write(fd_, buffer_.data() + done, step);
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n <= 0) {
      buffer_.clear();
      return fail("cannot write " + path_, n < 0 ? errno : EIO);
    }
    done += size_t(n);
  }
  buffer_.clear();
  return true;
}

bool OutputFile::writeAt(uint64_t offset, const void *data, size_t size) {
  if (fd_ < 0 || streaming_) return fail("cannot write " + path_ + ": it cannot be rewritten", 0);
  if (!flush()) return false;
#ifdef _WIN32
  const long long end = ::_lseeki64(fd_, 0, SEEK_END);
  bool ok = end >= 0 && ::_lseeki64(fd_, (long long)offset, SEEK_SET) >= 0 &&
            ::_write(fd_, data, unsigned(size)) == int(size);
  const int code = errno;
  ok = ::_lseeki64(fd_, end, SEEK_SET) >= 0 && ok;
#else
  const bool ok = ::pwrite(fd_, data, size, off_t(offset)) == ssize_t(size);
  const int code = errno;
#endif
  return ok || fail("cannot write " + path_, code ? code : EIO);
}

bool OutputFile::commit() {
  if (fd_ < 0) return error_.empty() ? fail("cannot write " + path_ + ": it is not open", 0) : false;
  flush();
  closeFd();
  if (streaming_) return error_.empty();
  // Only a regular file, a link or nothing may be replaced, even when
  // something else took the name while the file was written.
  std::string why;
  if (error_.empty() && classify(path_, false, why) == Target::Refuse)
    fail("cannot write " + path_ + ": " + why, 0);
  if (error_.empty()) {
#ifdef _WIN32
    std::error_code ec;
    std::filesystem::rename(temporary_, path_, ec); // replaces an older file on every system
    if (ec) fail("cannot write " + path_ + ": " + ec.message(), 0);
#else
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) fail("cannot write " + path_, errno);
#endif
  }
  if (error_.empty()) temporary_.clear();
  discard();
  return error_.empty();
}

void OutputFile::discard() {
  closeFd();
  if (!temporary_.empty()) {
#ifdef _WIN32
    ::_unlink(temporary_.c_str());
#else
    ::unlink(temporary_.c_str());
#endif
    temporary_.clear();
  }
  buffer_.clear();
}
