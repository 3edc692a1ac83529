// The audio CD played while the saver or the control panel runs: one track
// at a time, in disc order or in random order, once or over and over.
//
// Each window carries its own MediaPlayer (platform/cddevice.h) whose notice
// handler calls playNextTrack; the window starts playback when it opens and
// stops it when it closes. Everything here runs on the windows' thread.
#pragma once

#include <bitset>
#include <cstdint>

#include "cdaudio/mediaplayer.h"

// The most tracks a disc can have.
constexpr int CdMaxTracks = 99;

extern MediaPlayer *CdPlayer; // the player in use, or none
extern bool CdRandom;         // "CD_Random" as read when playback started
extern bool CdContinuous;     // "CD_Continuous" as read when playback started
extern int32_t NextTrack;     // the next track in disc order
// Random order: bit k set means track k + 1 was played in this cycle. As wide
// as the largest disc; not cleared when playback starts again.
extern std::bitset<CdMaxTracks> PlayedTracks;

// Reads the audio settings and, when "CD_Audio" is on, opens the player's
// device and plays the first track. A device that cannot be opened leaves
// playback off without a word.
void startCdAudio(MediaPlayer *player);
// Plays the next track in the order chosen, or nothing when the disc or the
// cycle is over. The windows' completion handlers call it.
void playNextTrack();
// Stops and closes the player; a completion that arrives later plays nothing.
void stopCdAudio();

// Back to the state at program start (for a new run in the same process).
void resetCdAudioState();
