// Placeholders until the texture, font and statistics code lands: they do nothing.
#include "assets/font.h"
#include "assets/framestats.h"
#include "assets/textures.h"

bool loadTextures() { return true; }
bool loadFont() { return true; }
void resetFrameStats() {}
void updateFrameStats() {}
