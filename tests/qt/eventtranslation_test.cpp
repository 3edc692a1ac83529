// The saver window's events as the hook sees them, without a window.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "hosts/qt/eventtranslation.h"

namespace {

// Events need an application; it lives until the process ends (destroying
// it among the static objects would outlive Qt's own).
void app() {
  static int argc = 1;
  static char name[] = "test_qt";
  static char *argv[] = {name, nullptr};
  static QGuiApplication *a = new QGuiApplication(argc, argv);
  (void)a;
}

Message translated(const QEvent &e, bool expected = true) {
  Message m;
  m.code = 0xFFFF;
  EXPECT_EQ(translateSaverEvent(e, m), expected) << "event type " << int(e.type());
  return m;
}

QMouseEvent mouse(QEvent::Type type, Qt::MouseButton button, QPointF at = {3, 4}) {
  return QMouseEvent(type, at, at, button, button, Qt::NoModifier);
}

} // namespace

TEST(EventTranslation, InputAndActivationReachTheHookAsMessages) {
  app();
  const QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  Message m = translated(key);
  EXPECT_EQ(m.code, LV_WM_KEYDOWN);
  EXPECT_EQ(m.wParam, uintptr_t(Qt::Key_Escape));

  const struct {
    QEvent::Type type;
    Qt::MouseButton button;
    unsigned code;
  } buttons[] = {{QEvent::MouseButtonPress, Qt::LeftButton, LV_WM_LBUTTONDOWN},
                 {QEvent::MouseButtonRelease, Qt::LeftButton, LV_WM_LBUTTONUP},
                 {QEvent::MouseButtonPress, Qt::RightButton, LV_WM_RBUTTONDOWN},
                 {QEvent::MouseButtonRelease, Qt::RightButton, LV_WM_RBUTTONUP},
                 {QEvent::MouseButtonPress, Qt::MiddleButton, LV_WM_MBUTTONDOWN},
                 {QEvent::MouseButtonRelease, Qt::BackButton, LV_WM_MBUTTONUP}};
  for (const auto &b : buttons) EXPECT_EQ(translated(mouse(b.type, b.button)).code, b.code);

  // A move carries where the pointer is, as the hook measures real moves by it.
  m = translated(mouse(QEvent::MouseMove, Qt::NoButton, QPointF(640.4, 17.6)));
  EXPECT_EQ(m.code, LV_WM_MOUSEMOVE);
  EXPECT_EQ(m.lParam, makeMouseLParam(640, 18));

  m = translated(QEvent(QEvent::WindowActivate));
  EXPECT_EQ(m.code, LV_WM_ACTIVATE);
  EXPECT_EQ(m.wParam, 1u);
  m = translated(QEvent(QEvent::WindowDeactivate));
  EXPECT_EQ(m.code, LV_WM_ACTIVATE);
  EXPECT_EQ(m.wParam, 0u);
  EXPECT_EQ(translated(QFocusEvent(QEvent::FocusOut)).code, LV_WM_KILLFOCUS);
  EXPECT_EQ(translated(QEvent(QEvent::Close)).code, LV_WM_DESTROY);
}

TEST(EventTranslation, OtherEventsAreLeftToTheToolkit) {
  app();
  for (QEvent::Type t : {QEvent::Paint, QEvent::KeyRelease, QEvent::FocusIn, QEvent::Resize, QEvent::Enter})
    EXPECT_EQ(translated(QEvent(t), false).code, 0xFFFFu);
}
