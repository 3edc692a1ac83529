// The saver on every screen: one window over the whole desktop, the scene on
// the primary screen and the others black.
#pragma once

#include <QList>
#include <QRect>

class QWidget;

// Shows the window over every screen: full screen where there is one screen,
// the desktop's whole rectangle where there are several.
void coverEveryScreen(QWidget *window);
// Where the scene goes, in the window's own coordinates: the part of the
// primary screen the window covers; the whole window when it covers no
// screen of its own (inside another program's window) or not the primary.
QRect sceneArea(const QWidget *window);
