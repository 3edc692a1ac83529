#include "hosts/qt/x11window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#if defined(LV_HAVE_XCB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

#include <cstdlib>

namespace {
#if defined(LV_HAVE_XCB) && QT_CONFIG(xcb)
xcb_connection_t *connection() {
  auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}
#endif

// X window ids are 32-bit; a larger number would be cut to another window.
bool validId(unsigned long id) { return id != 0 && id <= 0xFFFFFFFFul; }
} // namespace

bool windowExists(unsigned long id) {
#if defined(LV_HAVE_XCB) && QT_CONFIG(xcb)
  xcb_connection_t *c = connection();
  if (!c) return true;
  if (!validId(id)) return false;
  xcb_generic_error_t *error = nullptr;
  xcb_get_window_attributes_reply_t *reply =
      xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, static_cast<xcb_window_t>(id)), &error);
  const bool exists = reply != nullptr;
  std::free(reply);
  std::free(error);
  return exists;
#else
  (void)id;
  return true;
#endif
}

bool windowGeometry(unsigned long id, int &width, int &height) {
#if defined(LV_HAVE_XCB) && QT_CONFIG(xcb)
  xcb_connection_t *c = connection();
  if (!c || !validId(id)) return false;
  xcb_generic_error_t *error = nullptr;
  xcb_get_geometry_reply_t *reply =
      xcb_get_geometry_reply(c, xcb_get_geometry(c, static_cast<xcb_drawable_t>(id)), &error);
  std::free(error);
  if (!reply) return false;
  width = reply->width;
  height = reply->height;
  std::free(reply);
  return true;
#else
  (void)id;
  (void)width;
  (void)height;
  return false;
#endif
}

namespace {
// The toolkit's units for a size in the X server's pixels (fewer of them on
// a scaled desktop).
QSize inUnits(const QWidget *widget, int width, int height) {
  const qreal ratio = widget->devicePixelRatioF();
  return QSize(qMax(1, qRound(width / ratio)), qMax(1, qRound(height / ratio)));
}
} // namespace

bool fillForeignWindow(QWidget *child, unsigned long parent) {
  QWindow *foreign = QWindow::fromWinId(static_cast<WId>(parent));
  child->winId();
  if (!foreign || !child->windowHandle()) return false;
  child->windowHandle()->setParent(foreign);
  int width = 0, height = 0;
  const bool known = windowGeometry(parent, width, height);
  if (!known) {
    // Qt's own idea of the window, else the screen (what a daemon's window covers).
    QSize size = foreign->geometry().size();
    if (size.isEmpty()) size = QGuiApplication::primaryScreen()->size();
    width = size.width();
    height = size.height();
  }
  child->setGeometry(QRect(QPoint(0, 0), known ? inUnits(child, width, height) : QSize(width, height)));
  child->show();
  if (known) {
    // The window may be resized at any time: follow it.
    auto *follow = new QTimer(child);
    QObject::connect(follow, &QTimer::timeout, child, [child, parent] {
      int w = 0, h = 0;
      if (!windowGeometry(parent, w, h)) return;
      const QSize size = inUnits(child, w, h);
      if (size != child->size()) child->setGeometry(QRect(QPoint(0, 0), size));
    });
    follow->start(250);
  }
  return known;
}
