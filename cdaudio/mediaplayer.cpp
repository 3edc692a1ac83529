#include "cdaudio/mediaplayer.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct Notice {
  MediaPlayer *player;
  unsigned long opening; // which opening of the player's device made it
};

// Players and their notices. Never destroyed, so players that are themselves
// module-level objects can leave it at the end of the program in any order.
struct Registry {
  std::mutex lock;
  std::vector<MediaPlayer *> players;
  std::vector<std::pair<MediaPlayer *, unsigned long>> openings; // current opening of each player
  std::vector<Notice> notices;
  unsigned long lastOpening = 0;
};

Registry &registry() {
  static Registry *r = new Registry;
  return *r;
}

unsigned long currentOpening(Registry &r, MediaPlayer *player) {
  for (auto &o : r.openings)
    if (o.first == player) return o.second;
  return 0;
}

void setOpening(Registry &r, MediaPlayer *player, unsigned long opening) {
  for (auto &o : r.openings)
    if (o.first == player) {
      o.second = opening;
      return;
    }
  r.openings.emplace_back(player, opening);
}

void dropNotices(Registry &r, MediaPlayer *player) {
  r.notices.erase(std::remove_if(r.notices.begin(), r.notices.end(),
                                 [player](const Notice &n) { return n.player == player; }),
                  r.notices.end());
}

} // namespace

MediaPlayer::MediaPlayer(bool shareable, void (*notify)()) : shareable_(shareable), notify_(notify) {
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  r.players.push_back(this);
}

MediaPlayer::~MediaPlayer() {
  close();
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  r.players.erase(std::remove(r.players.begin(), r.players.end(), this), r.players.end());
  r.openings.erase(
      std::remove_if(r.openings.begin(), r.openings.end(), [this](const auto &o) { return o.first == this; }),
      r.openings.end());
  dropNotices(r, this);
}

bool MediaPlayer::open(const std::string &deviceName) {
  close();
  Registry &r = registry();
  const CdDeviceMaker maker = cdDeviceMaker();
  unsigned long opening = 0;
  {
    std::lock_guard<std::mutex> g(r.lock);
    opening = ++r.lastOpening;
    setOpening(r, this, opening);
  }
  if (!maker) return false;
  MediaPlayer *self = this;
  std::unique_ptr<CdDevice> device = maker([self, opening] {
    Registry &reg = registry();
    std::lock_guard<std::mutex> g(reg.lock);
    if (currentOpening(reg, self) == opening) reg.notices.push_back({self, opening});
  });
  if (!device || !device->open(deviceName, shareable_)) {
    device.reset();
    std::lock_guard<std::mutex> g(r.lock);
    setOpening(r, this, 0);
    return false;
  }
  device_ = std::move(device);
  return true;
}

bool MediaPlayer::rewind() { return device_ && device_->rewind(); }
int MediaPlayer::position() { return device_ ? device_->position() : 0; }
int MediaPlayer::tracks() { return device_ ? device_->tracks() : 0; }
bool MediaPlayer::isAudioTrack(int track) { return device_ && device_->isAudioTrack(track); }
bool MediaPlayer::play(int from, int to) { return device_ && device_->play(from, to); }
bool MediaPlayer::stop() { return device_ && device_->stop(); }

bool MediaPlayer::close() {
  if (!device_) return false;
  const bool ok = device_->close();
  // The device's threads are gone once it is destroyed; what it queued is stale.
  device_.reset();
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  setOpening(r, this, 0);
  dropNotices(r, this);
  return ok;
}

void deliverCdNotices() {
  Registry &r = registry();
  std::vector<Notice> due;
  {
    std::lock_guard<std::mutex> g(r.lock);
    due.swap(r.notices);
  }
  for (const Notice &n : due) {
    void (*notify)() = nullptr;
    {
      // A handler run before this one may have closed or reopened the player.
      std::lock_guard<std::mutex> g(r.lock);
      if (currentOpening(r, n.player) == n.opening) notify = n.player->notify_;
    }
    if (notify) notify();
  }
}

void closeAllCdDevices() {
  Registry &r = registry();
  std::vector<MediaPlayer *> players;
  {
    std::lock_guard<std::mutex> g(r.lock);
    players = r.players;
  }
  for (MediaPlayer *p : players) p->close();
}
