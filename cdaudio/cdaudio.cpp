#include "cdaudio/cdaudio.h"

#include <string>
#include <vector>

#include "frame/random.h"
#include "settings/configuration.h"

MediaPlayer *CdPlayer = nullptr;
bool CdRandom = false;
bool CdContinuous = false;
int32_t NextTrack = 0;
std::bitset<CdMaxTracks> PlayedTracks;

namespace {

// The number of tracks, held to what a disc can carry.
int discTracks() {
  int n = CdPlayer->tracks();
  if (n > CdMaxTracks) n = CdMaxTracks;
  return n < 0 ? 0 : n;
}

// The first audio track at or after `track`, or n + 1 when there is none.
int32_t audioTrackFrom(int32_t track, int n) {
  if (track < 1) track = 1;
  while (track <= n && !CdPlayer->isAudioTrack(track)) ++track;
  return track;
}

void playTrack(int track, int n) {
  // To the start of the next track; the last one plays to the end of the disc.
  CdPlayer->play(track, track < n ? track + 1 : 0);
}

void playNextTrackInOrder() {
  if (!CdPlayer) return;
  const int n = discTracks();
  // Data tracks are skipped: they hold no sound.
  NextTrack = audioTrackFrom(NextTrack, n);
  if (n < NextTrack) {
    if (!CdContinuous) return;
    NextTrack = audioTrackFrom(1, n);
    if (n < NextTrack) return; // no audio track at all
  }
  playTrack(NextTrack, n);
  NextTrack += 1;
}

void playRandomTrack() {
  if (!CdPlayer) return;
  const int n = discTracks();
  std::vector<int> audio; // zero-based numbers of the audio tracks
  for (int k = 0; k < n; ++k)
    if (CdPlayer->isAudioTrack(k + 1)) audio.push_back(k);
  if (audio.empty()) return;
  bool cycleOver = true;
  for (int k : audio)
    if (!PlayedTracks.test(static_cast<size_t>(k))) cycleOver = false;
  if (cycleOver) {
    if (!CdContinuous) return;
    PlayedTracks.reset();
  }
  int k = 0;
  do {
    k = programRand() % n;
  } while (PlayedTracks.test(static_cast<size_t>(k)) || !CdPlayer->isAudioTrack(k + 1));
  PlayedTracks.set(static_cast<size_t>(k));
  playTrack(k + 1, n);
}

} // namespace

void startCdAudio(MediaPlayer *player) {
  programSrand(timeSeed());
  AudioConfiguration audio;
  audio.load();
  CdContinuous = audio.CD_Continuous != 0;
  CdRandom = audio.CD_Random != 0;
  if (audio.CD_Audio == 0 || !player) return;
  CdPlayer = player;
  // The drive or disc image the settings name.
  std::string device;
  if (!readCdDeviceName(device) || !player->open(device)) {
    CdPlayer = nullptr;
    return;
  }
  player->rewind();
  NextTrack = player->position();
  playNextTrack();
}

void playNextTrack() {
  if (CdRandom)
    playRandomTrack();
  else
    playNextTrackInOrder();
}

void stopCdAudio() {
  if (!CdPlayer) return;
  // A device that fails to stop is closed all the same, so nothing plays on
  // after its window has gone.
  CdPlayer->stop();
  CdPlayer->close();
  CdPlayer = nullptr;
}

void resetCdAudioState() {
  if (CdPlayer) CdPlayer->close();
  CdPlayer = nullptr;
  CdRandom = false;
  CdContinuous = false;
  NextTrack = 0;
  PlayedTracks.reset();
}
