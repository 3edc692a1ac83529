#include "hosts/qt/saverwidget.h"

#include <QCloseEvent>
#include <QPaintEngine>
#include <QPainter>

#include "app/power.h"
#include "app/saverwindow.h"
#include "hosts/qt/windowpresenter.h"

namespace {
// The image the painter draws into when it is the window's backing store
// in a 32-bit format whose pixels are 0xFFRRGGBB (at the device's own
// pixels: on a scaled desktop more of them than the window's size says).
QImage *storeImage(QPainter &painter) {
  QPaintEngine *engine = painter.paintEngine();
  if (!engine || engine->type() != QPaintEngine::Raster) return nullptr;
  QPaintDevice *device = engine->paintDevice();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  QImage *image = static_cast<QImage *>(device);
  const QImage::Format format = image->format();
  if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
      format != QImage::Format_ARGB32_Premultiplied)
    return nullptr;
  if (image->isNull()) return nullptr;
  return image;
}
} // namespace

SaverWidget::SaverWidget(WindowPresenter *presenter, Shows shows) : presenter_(presenter), shows_(shows) {
  setWindowFlags(Qt::FramelessWindowHint | Qt::Window);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
  setMouseTracking(true);
  setCursor(Qt::BlankCursor);
  setFocusPolicy(Qt::StrongFocus);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::black);
  setPalette(pal);
}

void SaverWidget::paintEvent(QPaintEvent *) {
  if (shows_ != Shows::Scene) {
    QPainter painter(this);
    if (shows_ == Shows::Black || MonitorOff || !presenter_)
      painter.fillRect(rect(), Qt::black);
    else
      drawFrameFitted(painter, rect(), presenter_->latestImage());
    return;
  }
  if (presenter_) presenter_->startPaint();
  emptyFormPaint();
  QPainter painter(this);
  // A powered-down monitor gets no pictures: black, once, and nothing after.
  if (MonitorOff) {
    if (!blanked_) painter.fillRect(rect(), Qt::black);
    blanked_ = true;
    shownInStore_ = nullptr;
    return;
  }
  blanked_ = false;
  const bool fresh = presenter_ && presenter_->fresh();
  if (fresh && paintIntoStore(painter)) return;
  // No new frame, and the last one went into a backing store that is still
  // there: it shows that frame still.
  if (!fresh && shownInStore_) {
    const QImage *store = storeImage(painter);
    if (store && store->constBits() == shownInStore_ && store->size() == shownStoreSize_) return;
  }
  shownInStore_ = nullptr;
  drawFrameFitted(painter, rect(), presenter_ ? presenter_->image() : QImage());
}

void SaverWidget::closeEvent(QCloseEvent *event) {
  emptyFormClose();
  event->accept();
}

bool SaverWidget::paintIntoStore(QPainter &painter) {
  const PresentedFrame &f = presenter_->frame();
  QImage *store = storeImage(painter);
  // The window's place in the store, in the device's pixels: a frame of
  // that size (the native mode's) is a plain copy.
  const QTransform &toDevice = painter.deviceTransform();
  if (!store || toDevice.type() > QTransform::TxScale) return false;
  const QRect device = toDevice.mapRect(QRectF(rect())).toRect();
  if (f.width != device.width() || f.height != device.height()) return false;
  const QPoint at = device.topLeft();
  if (at.x() < 0 || at.y() < 0 || at.x() + f.width > store->width() || at.y() + f.height > store->height())
    return false;
  // Written where the painter draws: through the image's own pixels, not
  // bits(), which would give a copy if the image were shared.
  uchar *bits = const_cast<uchar *>(store->constBits());
  const qsizetype line = store->bytesPerLine();
  presenter_->convertInto(reinterpret_cast<uint32_t *>(bits + at.y() * line) + at.x(),
                          static_cast<int>(line / 4));
  shownInStore_ = store->constBits();
  shownStoreSize_ = store->size();
  return true;
}
