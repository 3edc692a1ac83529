#include "hosts/linux/disc.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace {

// libcdio writes its warnings to the error stream; a disc that cannot be
// played is simply not played, so only its errors are passed on.
void cdioLog(cdio_log_level_t level, const char *message) {
  if (level >= CDIO_LOG_ERROR) std::fprintf(stderr, "lumenveil: disc: %s\n", message);
}

void quietLibcdio() {
  static std::once_flag once;
  std::call_once(once, [] { cdio_log_set_handler(cdioLog); });
}

CdIo_t *handle(void *p) { return static_cast<CdIo_t *>(p); }

bool refuse(const std::string &name, const std::string &why) {
  std::fprintf(stderr, "lumenveil: disc %s: %s\n", name.c_str(), why.c_str());
  return false;
}

// Opens a regular file for reading. It is looked at before it is opened, and
// opened without waiting: opening a named pipe or a device could block, or
// do something.
int openRegular(const std::string &path, uint64_t &size) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    ::close(fd);
    return -1;
  }
  size = uint64_t(st.st_size);
  return fd;
}

// Reads up to `bytes` at `offset`: the bytes read, or -1.
int64_t readAt(int fd, uint64_t offset, uint8_t *out, size_t bytes) {
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = pread(fd, out + done, bytes - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += size_t(n);
  }
  return int64_t(done);
}

// A block device that answers as a CD drive; opened without waiting for a disc.
bool isCdDrive(const std::string &name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  const bool drive = fstat(fd, &st) == 0 && S_ISBLK(st.st_mode) && ioctl(fd, CDROM_GET_CAPABILITY, 0) >= 0;
  ::close(fd);
  return drive;
}

} // namespace

Disc::~Disc() { close(); }

bool Disc::open(const std::string &name) {
  close();
  if (name.empty()) return openDrive(name);
  struct stat st {};
  if (stat(name.c_str(), &st) != 0) return refuse(name, std::strerror(errno));
  if (S_ISBLK(st.st_mode)) return openDrive(name);
  if (S_ISREG(st.st_mode)) return openImage(name);
  return refuse(name, "neither a disc image nor a CD drive");
}

bool Disc::openDrive(const std::string &name) {
  quietLibcdio();
  if (!name.empty() && !isCdDrive(name)) return refuse(name, "not a CD drive");
  CdIo_t *p = name.empty() ? cdio_open(nullptr, DRIVER_DEVICE) : cdio_open(name.c_str(), DRIVER_LINUX);
  if (!p) return false;
  cdio_ = p;
  const track_t first = cdio_get_first_track_num(p);
  const track_t count = cdio_get_num_tracks(p);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
    close();
    return false;
  }
  for (int i = 0; i < count; ++i) {
    const track_t t = static_cast<track_t>(first + i);
    ImageTrack track;
    track.audio = cdio_get_track_format(p, t) == TRACK_FORMAT_AUDIO;
    track.first = cdio_get_track_lsn(p, t);
    track.last = cdio_get_track_last_lsn(p, t);
    // A track whose extent cannot be read is never played.
    if (track.first == CDIO_INVALID_LSN || track.last == CDIO_INVALID_LSN || track.last < track.first)
      track.audio = false;
    tracks_.push_back(track);
  }
  return true;
}

bool Disc::openImage(const std::string &name) {
  std::string path = name;
  // A bin file is played through the cue sheet of the same name beside it.
  if (path.size() > 4 && (path.ends_with(".bin") || path.ends_with(".BIN")))
    path.replace(path.size() - 3, 3, path.ends_with(".bin") ? "cue" : "CUE");
  const std::optional<DiscImageKind> kind = discImageKind(path);
  if (!kind)
    return refuse(name, "not a disc image this program plays (.cue, .toc, .nrg, or a .bin beside its .cue)");
  uint64_t size = 0;
  const int fd = openRegular(path, size);
  if (fd < 0) return refuse(path, "cannot be read as a regular file");
  // A text image whole; of a Nero image only its end, where the table lies.
  const bool nrg = *kind == DiscImageKind::Nrg;
  if (!nrg && size > MaxImageTextBytes) {
    ::close(fd);
    return refuse(path, "too large for a cue sheet or a table of contents");
  }
  const uint64_t want = nrg ? std::min(size, MaxNrgTableBytes) : size;
  std::string bytes(want, '\0');
  const int64_t got = readAt(fd, size - want, reinterpret_cast<uint8_t *>(bytes.data()), want);
  ::close(fd);
  if (got != int64_t(want)) return refuse(path, "could not be read in full");

  std::map<std::string, DataFile> opened;
  auto sizeOf = [&opened](const std::string &file) -> std::optional<uint64_t> {
    auto known = opened.find(file);
    if (known != opened.end()) return known->second.size;
    DataFile f;
    f.fd = openRegular(file, f.size);
    if (f.fd < 0) return std::nullopt;
    opened[file] = f;
    return f.size;
  };
  std::string error;
  const bool ok = parseDiscImage(*kind, bytes, size, path, sizeOf, image_, error);
  if (ok)
    for (const std::string &file : image_.files) {
      files_.push_back(opened[file]);
      opened.erase(file);
    }
  for (auto &[file, f] : opened) ::close(f.fd);
  if (!ok) {
    image_ = DiscImage{};
    return refuse(path, error);
  }
  tracks_ = image_.tracks;
  return true;
}

void Disc::close() {
  if (cdio_) cdio_destroy(handle(cdio_));
  cdio_ = nullptr;
  for (const DataFile &f : files_) ::close(f.fd);
  files_.clear();
  image_ = DiscImage{};
  tracks_.clear();
}

bool Disc::isAudio(int track) const {
  return track >= 1 && track <= tracks() && tracks_[static_cast<size_t>(track - 1)].audio;
}

int32_t Disc::firstSector(int track) const {
  return track >= 1 && track <= tracks() ? tracks_[static_cast<size_t>(track - 1)].first : 0;
}

int32_t Disc::lastSector(int track) const {
  return track >= 1 && track <= tracks() ? tracks_[static_cast<size_t>(track - 1)].last : -1;
}

bool Disc::read(int32_t sector, uint32_t count, void *out) {
  if (count == 0) return false;
  if (cdio_) return cdio_read_audio_sectors(handle(cdio_), out, sector, count) == DRIVER_OP_SUCCESS;
  if (tracks_.empty()) return false;
  return readImageSectors(image_, sector, count, static_cast<uint8_t *>(out),
                          [this](uint32_t file, uint64_t offset, uint8_t *to, size_t bytes) -> int64_t {
                            const DataFile &f = files_[file];
                            if (offset >= f.size) return 0;
                            return readAt(f.fd, offset, to,
                                          size_t(std::min<uint64_t>(bytes, f.size - offset)));
                          });
}
