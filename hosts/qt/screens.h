// The saver on every screen: one window over the whole desktop, the picture
// drawn on each screen.
#pragma once

#include <QList>
#include <QRect>

class QWidget;

// Shows the window over every screen: full screen where there is one screen,
// the desktop's whole rectangle where there are several.
void coverEveryScreen(QWidget *window);
// The rectangles, in the window's own coordinates, of the screens it covers;
// empty when it covers none (a window inside another program's window).
QList<QRect> screenAreas(const QWidget *window);
