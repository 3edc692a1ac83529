// The audio CD played while the saver or the control panel runs.
#pragma once

struct MediaPlayer; // the CD-audio device of a window

void startCdAudio(MediaPlayer *player);
void stopCdAudio();
void playNextTrack();
