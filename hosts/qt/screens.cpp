#include "hosts/qt/screens.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cmath>

void coverScreen(QWidget *window, QScreen *screen) {
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  // The screen is named before the window is shown: the compositor puts a
  // full-screen window on the output its screen stands for.
  window->setScreen(screen);
  if (QWindow *handle = window->windowHandle()) handle->setScreen(screen);
  window->setGeometry(screen->geometry());
  window->showFullScreen();
}

QScreen *screenNamed(const QString &name) {
  for (QScreen *screen : QGuiApplication::screens())
    if (screen->name() == name) return screen;
  return nullptr;
}

QSize devicePixelSize(const QWidget *window) {
  const qreal ratio = window->devicePixelRatioF();
  return QSize(static_cast<int>(std::lround(window->width() * ratio)),
               static_cast<int>(std::lround(window->height() * ratio)));
}
