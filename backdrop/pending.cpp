// Placeholder until the sky lands: does nothing.
#include "backdrop/backdrop.h"

void buildBackdrop(bool, float, float, float, float) {}
void drawBackdrop(bool) {}
