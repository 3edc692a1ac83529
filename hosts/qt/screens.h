// The saver's screens: a window of its own full screen on each, never one
// window across the desktop (a Wayland compositor cannot place one, and an
// X11 window manager would treat it as an ordinary window).
#pragma once

#include <QSize>
#include <QString>

class QScreen;
class QWidget;

// Shows the window full screen on that screen, without decorations.
void coverScreen(QWidget *window, QScreen *screen);
// The screen of that name (as QScreen::name() gives it); null when there is none.
QScreen *screenNamed(const QString &name);
// The window's size in the device's own pixels: its size in the toolkit's
// units times the screen's device pixel ratio (1.5 or 2 on a scaled desktop).
QSize devicePixelSize(const QWidget *window);
