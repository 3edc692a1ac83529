#include "hosts/win32/gdipresenter.h"

GdiPresenter::~GdiPresenter() { release(); }

void GdiPresenter::release() {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
}

void GdiPresenter::present(const PresentedFrame &f) {
  if (f.width <= 0 || f.height <= 0) return;
  if (f.width != width_ || f.height != height_) {
    release();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = f.width;
    info.bmiHeader.biHeight = -f.height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap_) return;
    bits_ = static_cast<uint8_t *>(bits);
    width_ = f.width;
    height_ = f.height;
  }
  // The same colours as the pictures a headless run writes: through the
  // board's gamma, top row first, straight into the bitmap (0xFFRRGGBB is
  // what a 32-bit DIB holds, blue first).
  GdiFlush();
  converter_.toRgb32(f, reinterpret_cast<uint32_t *>(bits_), width_);
}

RECT GdiPresenter::placement(const RECT &area) const {
  const int aw = area.right - area.left, ah = area.bottom - area.top;
  if (!bitmap_ || aw <= 0 || ah <= 0) return RECT{area.left, area.top, area.left, area.top};
  int w = aw, h = static_cast<int>(static_cast<long long>(aw) * height_ / width_);
  if (h > ah) {
    h = ah;
    w = static_cast<int>(static_cast<long long>(ah) * width_ / height_);
  }
  const int x = area.left + (aw - w) / 2, y = area.top + (ah - h) / 2;
  return RECT{x, y, x + w, y + h};
}

void GdiPresenter::draw(HDC dc, const RECT &area) const {
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  const RECT at = placement(area);
  if (at.right <= at.left || at.bottom <= at.top) {
    FillRect(dc, &area, black);
    return;
  }
  const RECT bands[4] = {{area.left, area.top, area.right, at.top},
                         {area.left, at.bottom, area.right, area.bottom},
                         {area.left, at.top, at.left, at.bottom},
                         {at.right, at.top, area.right, at.bottom}};
  for (const RECT &r : bands)
    if (r.right > r.left && r.bottom > r.top) FillRect(dc, &r, black);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, bitmap_);
  const int w = at.right - at.left, h = at.bottom - at.top;
  if (w == width_ && h == height_) {
    BitBlt(dc, at.left, at.top, w, h, memory, 0, 0, SRCCOPY);
  } else {
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, at.left, at.top, w, h, memory, 0, 0, width_, height_, SRCCOPY);
  }
  SelectObject(memory, old);
  DeleteDC(memory);
}
