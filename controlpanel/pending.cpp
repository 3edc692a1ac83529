// The CD player and the dialog come later; until then they do nothing.
#include "controlpanel/cdaudio.h"
#include "controlpanel/mainform.h"

void startCdAudio(MediaPlayer *) {}
void stopCdAudio() {}
void playNextTrack() {}
void showPreviewPanel() {}
