// The preview's window in Qt: a native child of the X window the system
// names, filling it, or a small window of its own.
#pragma once

#include <QImage>

#include "platform/previewwindow.h"

class QWidget;

class QtPreviewWindow : public PreviewWindow {
public:
  ~QtPreviewWindow() override;
  bool create(WindowHandle parent, int &width, int &height) override;
  bool pump(int &width, int &height) override;
  void show(const uint16_t *pixels, int width, int height) override;
  void destroy() override;

private:
  QWidget *widget_ = nullptr;
  WindowHandle parent_ = 0;
  double lastParentCheck_ = 0.0;
};
