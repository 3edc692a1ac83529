#include "hosts/linux/disc.h"

#include <sys/stat.h>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <cstdio>
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

} // namespace

Disc::~Disc() { close(); }

bool Disc::open(const std::string &name) {
  close();
  quietLibcdio();
  // A drive or an image file; anything else (a named pipe would hold the
  // saver at start-up waiting for a writer) is no disc.
  struct stat st {};
  if (!name.empty() &&
      (stat(name.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))))
    return false;
  CdIo_t *p = name.empty() ? cdio_open(nullptr, DRIVER_DEVICE) : cdio_open(name.c_str(), DRIVER_UNKNOWN);
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
    Track track;
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

void Disc::close() {
  if (cdio_) cdio_destroy(handle(cdio_));
  cdio_ = nullptr;
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
  if (!cdio_ || count == 0) return false;
  return cdio_read_audio_sectors(handle(cdio_), out, sector, count) == DRIVER_OP_SUCCESS;
}
