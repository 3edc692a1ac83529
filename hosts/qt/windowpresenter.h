// The frames the board presents, kept until the saver window paints them and
// converted then, once, to the 32-bit pixels the window system draws.
#pragma once

#include <QImage>
#include <QRect>

#include "glide/presenter.h"
#include "hosts/headless/pngpresenter.h"

class QPainter;

class WindowPresenter : public FramePresenter {
public:
  void present(const PresentedFrame &f) override {
    frame_ = f;
    fresh_ = true;
    haveFrame_ = true;
    imageCurrent_ = false;
  }
  // A paint begins: whether a frame comes during it is known after.
  void startPaint() { fresh_ = false; }
  // Whether a frame was presented since startPaint (the board's front buffer
  // holds it until the next swap).
  bool fresh() const { return fresh_; }
  const PresentedFrame &frame() const { return frame_; }
  // Converts the fresh frame into pixels `stride` pixels a row apart.
  void convertInto(uint32_t *out, int stride);
  // The fresh frame as an image; without one, the last frame converted into
  // it (null before any).
  const QImage &image();
  // The last frame presented, as an image, whether or not a paint has shown
  // it since (for the windows showing the same picture on other screens);
  // null before any.
  const QImage &latestImage();

private:
  FrameConverter converter_;
  PresentedFrame frame_{};
  bool fresh_ = false, imageCurrent_ = false, haveFrame_ = false;
  QImage image_;
};

// Paints black over what is in `area` but not in `covered`.
void fillAround(QPainter &painter, const QRect &area, const QRect &covered);
// Draws the frame scaled to fill the rectangle while keeping its shape (black
// around it; black all over for a null frame).
void drawFrameFitted(QPainter &painter, const QRect &area, const QImage &frame);
