#include "app/preview.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "frame/framestate.h"
#include "platform/messagebox.h"
#include "platform/previewwindow.h"
#include "frame/random.h"
#include "platform/resources.h"
#include "platform/ticks.h"

void loadTitleImages(const unsigned char *&first, const unsigned char *&second) {
  auto load = [](const char *name) -> const unsigned char * {
    ResourceBytes r = findResource(name, "TEXTUREDATA");
    // Fewer bytes than a whole picture would be read past their end.
    return r.data && r.size >= static_cast<size_t>(PreviewImageBytes) ? r.data : nullptr;
  };
  first = load("#111");
  second = load("#112");
}

void drawPreviewPicture(uint16_t *buffer, int width, int height, const unsigned char *image, float c) {
  const float fade = 1.0f - c;
  for (int y = 0; y < height; ++y) {
    // The image's row and column for this pixel: one to one at the image's
    // own size, stretched (nearest pixel) at any other.
    const int sy = static_cast<int>(static_cast<int64_t>(y) * PreviewImageHeight / height);
    for (int x = 0; x < width; ++x) {
      const int sx = static_cast<int>(static_cast<int64_t>(x) * PreviewImageWidth / width);
      int r = 0, g = 0, b = 0;
      if (image) {
        const unsigned char *p = image + (static_cast<size_t>(sy) * PreviewImageWidth + sx) * 3;
        r = p[0];
        g = p[1];
        b = p[2];
      }
      const float n = static_cast<float>(programRand() & 31) * fade;
      const int red = static_cast<int>(static_cast<float>(r >> 3) * c + n);
      const int green = static_cast<int>(static_cast<float>(g >> 3) * c + n);
      const int blue = static_cast<int>(static_cast<float>(b >> 3) * c + n);
      buffer[static_cast<size_t>(y) * width + x] = static_cast<uint16_t>(red << 11 | green << 6 | blue);
    }
  }
}

int runPreview(WindowHandle parent, void *) {
  const unsigned char *first = nullptr, *second = nullptr;
  loadTitleImages(first, second);
  PreviewWindow *window = previewWindow();
  int width = PreviewImageWidth, height = PreviewImageHeight;
  if (!window || !window->create(parent, width, height)) {
    char text[160];
    if (!window)
      std::snprintf(text, sizeof text, "There is no window system to show the preview in.");
    else
      std::snprintf(text, sizeof text, "There is no window %ld to draw the preview into.",
                    static_cast<long>(parent));
    messageBox(text, "Error", LV_MB_OK);
    return -1;
  }
  std::vector<uint16_t> PreviewBuffer;
  startClock();
  while (window->pump(width, height)) {
    if (width <= 0 || height <= 0) {
      sleepMilliseconds(5);
      continue;
    }
    PreviewBuffer.resize(static_cast<size_t>(width) * height);
    const float s = static_cast<float>(std::sin(ElapsedSeconds * 0.5));
    const unsigned char *image = s >= 0.0f ? second : first;
    const float c = std::fabs(s);
    drawPreviewPicture(PreviewBuffer.data(), width, height, image, c);
    window->show(PreviewBuffer.data(), width, height);
    sleepMilliseconds(5);
    stepClock();
  }
  window->destroy();
  return 0;
}
