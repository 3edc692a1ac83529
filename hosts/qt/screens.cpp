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

QRect sceneArea(const QWidget *window) {
  // Inside another program's window the picture fills that window alone.
  if (!window->isWindow() || (window->windowHandle() && window->windowHandle()->parent()))
    return window->rect();
  const QRect global(window->mapToGlobal(QPoint(0, 0)), window->size());
  const QScreen *primary = QGuiApplication::primaryScreen();
  const QRect part = primary ? primary->geometry().intersected(global) : QRect();
  return part.isEmpty() ? window->rect() : part.translated(-global.topLeft());
}
