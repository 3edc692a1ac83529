// The full-screen saver window and the message hook that ends the saver.
#pragma once

#include <cstdint>

#include "platform/application.h"

struct MousePosition {
  int32_t x = 0;
  int32_t y = 0;
};

extern MousePosition LastMousePosition;
extern bool FirstMouseMove;
extern bool UsePassword;
extern WindowHandle SaverWindow;           // the saver window, 0 when there is none
extern MessageHandler SavedMessageHandler; // the handler before the saver's hook

// The saver window's handlers (the host calls them from its window).
void emptyFormCreate();
void emptyFormPaint();
void emptyFormClose();
void mediaPlayer1Notify();

// Sees every message before it is dispatched; see saverwindow.cpp for the table.
void saverMessageHook(const Message &message, bool &handled, void *data);
// The saver's hook as an application message handler.
MessageHandler saverHookHandler();

void requestSaverEnd();
void bringRenderWindowToFront();

// Back to the start state (for a new run in the same process).
void resetSaverWindowState();
