// The preview's window: a child window filling the window the system names
// (the preview area of its display settings), or a small window of its own.
#pragma once

#include <cstdint>

#include "platform/window.h"

class PreviewWindow {
public:
  virtual ~PreviewWindow() = default;
  // Creates the window "Lumenveil Preview": a visible child filling parent,
  // or with parent 0 a window of its own of the given width and height.
  // Sets width and height to the window's size; false when parent names no window.
  virtual bool create(WindowHandle parent, int &width, int &height) = 0;
  // Processes the pending messages; false once the window has been closed or
  // destroyed (with its parent, too). Width and height follow its size.
  virtual bool pump(int &width, int &height) = 0;
  // Shows width x height pixels of RGB 565, bottom row first.
  virtual void show(const uint16_t *pixels, int width, int height) = 0;
  virtual void destroy() = 0;
};

// The installed window; nullptr when the host has none.
PreviewWindow *previewWindow();
void setPreviewWindow(PreviewWindow *window);
