// Asking the X server directly about windows the program does not own (a
// screen-saver daemon's window, the window a preview is drawn into).
#pragma once

class QWidget;

// Whether the X server knows the window; true where there is no X server to
// ask (another platform plug-in), which then shows its own error.
bool windowExists(unsigned long id);
// The window's width and height; false when there is no such window or no
// X server to ask.
bool windowGeometry(unsigned long id, int &width, int &height);
// Makes child (a native window) a child of the foreign window, filling it,
// and keeps it filling the window when that is resized. False when the
// window's size cannot be known (child then covers the screen).
bool fillForeignWindow(QWidget *child, unsigned long parent);
