#include "hosts/qt/eventtranslation.h"

#include <QKeyEvent>
#include <QMouseEvent>

bool translateSaverEvent(const QEvent &event, Message &m) {
  switch (event.type()) {
  case QEvent::KeyPress:
    m.code = LV_WM_KEYDOWN;
    m.wParam = static_cast<uintptr_t>(static_cast<const QKeyEvent &>(event).key());
    return true;
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonRelease: {
    const auto &me = static_cast<const QMouseEvent &>(event);
    const bool down = event.type() == QEvent::MouseButtonPress;
    if (me.button() == Qt::LeftButton)
      m.code = down ? LV_WM_LBUTTONDOWN : LV_WM_LBUTTONUP;
    else if (me.button() == Qt::RightButton)
      m.code = down ? LV_WM_RBUTTONDOWN : LV_WM_RBUTTONUP;
    else
      m.code = down ? LV_WM_MBUTTONDOWN : LV_WM_MBUTTONUP;
    return true;
  }
  case QEvent::MouseMove: {
    const QPoint p = static_cast<const QMouseEvent &>(event).position().toPoint();
    m.code = LV_WM_MOUSEMOVE;
    m.lParam = makeMouseLParam(p.x(), p.y());
    return true;
  }
  case QEvent::WindowActivate:
    m.code = LV_WM_ACTIVATE;
    m.wParam = 1;
    return true;
  case QEvent::WindowDeactivate:
    m.code = LV_WM_ACTIVATE;
    m.wParam = 0;
    return true;
  case QEvent::FocusOut: m.code = LV_WM_KILLFOCUS; return true;
  case QEvent::Close: m.code = LV_WM_DESTROY; return true;
  default: return false;
  }
}
