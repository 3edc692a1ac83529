// Placeholder until the first scene lands: does nothing.
#include "firstscene/firstscene.h"

void buildFirstScene(bool, bool) {}
void stepFirstScene(bool) {}
void resetFirstScene() {}
