// The CD player comes later; until then it does nothing.
#include "controlpanel/cdaudio.h"

void startCdAudio(MediaPlayer *) {}
void stopCdAudio() {}
void playNextTrack() {}
