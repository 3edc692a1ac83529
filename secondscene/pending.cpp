// Placeholder until the second scene lands: does nothing.
#include "secondscene/secondscene.h"

void buildSecondScene(bool, bool) {}
void stepSecondScene(bool) {}
void resetSecondScene() {}
