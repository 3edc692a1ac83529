#include "hosts/qt/windowpresenter.h"

#include <QPainter>
#include <QRegion>

void WindowPresenter::convertInto(uint32_t *out, int stride) {
  converter_.toRgb32(frame_, out, stride);
  imageCurrent_ = false;
}

const QImage &WindowPresenter::image() { return fresh_ ? latestImage() : image_; }

const QImage &WindowPresenter::latestImage() {
  // The frame stays in the board's front buffer until the next frame is
  // drawn, which only the scene's own paint does.
  if (haveFrame_ && !imageCurrent_) {
    if (image_.width() != frame_.width || image_.height() != frame_.height)
      image_ = QImage(frame_.width, frame_.height, QImage::Format_RGB32);
    converter_.toRgb32(frame_, reinterpret_cast<uint32_t *>(image_.bits()),
                       static_cast<int>(image_.bytesPerLine() / 4));
    imageCurrent_ = true;
  }
  return image_;
}

void fillAround(QPainter &painter, const QRect &area, const QRect &covered) {
  for (const QRect &strip : QRegion(area).subtracted(QRegion(covered))) painter.fillRect(strip, Qt::black);
}

void drawFrameFitted(QPainter &painter, const QRect &area, const QImage &frame) {
  if (frame.isNull()) {
    painter.fillRect(area, Qt::black);
    return;
  }
  QSize size = frame.size().scaled(area.size(), Qt::KeepAspectRatio);
  QRect target(QPoint(0, 0), size);
  target.moveCenter(area.center());
  // Black only where the frame does not cover: filling the whole area first
  // would write every pixel twice a frame.
  fillAround(painter, area, target);
  // At the frame's own size a plain copy; otherwise the nearest pixel.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (size == frame.size())
    painter.drawImage(target.topLeft(), frame);
  else
    painter.drawImage(target, frame);
}
