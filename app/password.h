// The saver password of systems where the saver itself asks for it.
#pragma once

#include "platform/window.h"

bool readPasswordFlag();
// True when the saver may end.
bool verifySaverPassword(WindowHandle window);
int changeSaverPassword(WindowHandle parent);
