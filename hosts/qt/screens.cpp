#include "hosts/qt/screens.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

void coverEveryScreen(QWidget *window) {
  const QList<QScreen *> screens = QGuiApplication::screens();
  if (screens.size() <= 1) {
    if (QScreen *screen = QGuiApplication::primaryScreen()) window->setGeometry(screen->geometry());
    window->showFullScreen();
    return;
  }
  QRect desktop;
  for (QScreen *screen : screens) desktop = desktop.united(screen->geometry());
  window->setGeometry(desktop);
  window->show();
}

QList<QRect> screenAreas(const QWidget *window) {
  QList<QRect> areas;
  // Inside another program's window the picture fills that window alone.
  if (!window->isWindow() || (window->windowHandle() && window->windowHandle()->parent()))
    return areas;
  const QRect global(window->mapToGlobal(QPoint(0, 0)), window->size());
  for (QScreen *screen : QGuiApplication::screens()) {
    const QRect part = screen->geometry().intersected(global);
    if (!part.isEmpty()) areas.append(part.translated(-global.topLeft()));
  }
  return areas;
}
