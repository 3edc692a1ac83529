// The saver window's Qt events as the message records the saver's hook reads.
#pragma once

#include "platform/application.h"

class QEvent;

// Fills m's code, wParam and lParam for an event the hook wants to see (keys,
// mouse buttons and moves, activation, loss of focus, close); false for any
// other event, which is left to Qt.
bool translateSaverEvent(const QEvent &event, Message &m);
