#include "hosts/qt/preview.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPainter>
#include <QWidget>

#include "app/preview.h"
#include "hosts/headless/headlessapp.h"
#include "hosts/qt/x11window.h"
#include "platform/ticks.h"

namespace {

class PreviewWidget : public QWidget {
public:
  PreviewWidget() {
    setWindowTitle(QStringLiteral("Lumenveil Preview"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
  }
  QImage picture;
  bool closed = false;

protected:
  void paintEvent(QPaintEvent *) override {
    QPainter painter(this);
    if (picture.isNull())
      painter.fillRect(rect(), Qt::black);
    else
      painter.drawImage(0, 0, picture);
  }
  void closeEvent(QCloseEvent *event) override {
    closed = true;
    event->accept();
  }
};

PreviewWidget *asPreview(QWidget *w) { return static_cast<PreviewWidget *>(w); }

} // namespace

QtPreviewWindow::~QtPreviewWindow() { destroy(); }

bool QtPreviewWindow::create(WindowHandle parent, int &width, int &height) {
  destroy();
  parent_ = parent;
  if (parent != 0 && !windowExists(static_cast<unsigned long>(parent))) return false;
  auto *w = new PreviewWidget;
  widget_ = w;
  if (parent != 0) {
    fillForeignWindow(w, static_cast<unsigned long>(parent));
  } else {
    w->setFixedSize(PreviewImageWidth, PreviewImageHeight);
    w->show();
  }
  w->raise();
  width = w->width();
  height = w->height();
  lastParentCheck_ = tickSeconds();
  return true;
}

bool QtPreviewWindow::pump(int &width, int &height) {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (!widget_ || asPreview(widget_)->closed || stopRequested()) return false;
  // The parent (the settings dialog) may be closed at any time; its child
  // goes with it.
  if (parent_ != 0 && tickSeconds() - lastParentCheck_ >= 0.05) {
    lastParentCheck_ = tickSeconds();
    if (!windowExists(static_cast<unsigned long>(parent_))) return false;
  }
  width = widget_->width();
  height = widget_->height();
  return true;
}

void QtPreviewWindow::show(const uint16_t *pixels, int width, int height) {
  if (!widget_) return;
  // The buffer's rows run bottom up.
  QImage rows(reinterpret_cast<const uchar *>(pixels), width, height, width * 2, QImage::Format_RGB16);
  asPreview(widget_)->picture = rows.mirrored(false, true);
  widget_->update();
}

void QtPreviewWindow::destroy() {
  delete widget_;
  widget_ = nullptr;
}
