// The frames of the saver window: the latest presented frame kept as a
// top-down 32-bit DIB section, drawn into a window as large as it fits
// while keeping its shape, on black.
#pragma once

#include <windows.h>

#include <cstdint>

#include "glide/presenter.h"
#include "hosts/headless/pngpresenter.h"

class GdiPresenter : public FramePresenter {
public:
  GdiPresenter() = default;
  GdiPresenter(const GdiPresenter &) = delete;
  GdiPresenter &operator=(const GdiPresenter &) = delete;
  ~GdiPresenter() override;

  void present(const PresentedFrame &frame) override;
  // Draws the frame centred in area, the bands beside it black.
  void draw(HDC dc, const RECT &area) const;
  // Where the frame lands in area (empty before the first frame).
  RECT placement(const RECT &area) const;

private:
  void release();

  HBITMAP bitmap_ = nullptr;
  uint8_t *bits_ = nullptr;
  int width_ = 0, height_ = 0;
  FrameConverter converter_;
};
