// The small animated preview drawn into the display settings' window: the
// two scenes' titles in turn, each fading in and out of grey static.
#pragma once

#include <cstdint>

#include "platform/window.h"

// The title images (resources 111 and 112): RGB, bottom row first.
constexpr int PreviewImageWidth = 152;
constexpr int PreviewImageHeight = 112;
constexpr int PreviewImageBytes = PreviewImageWidth * PreviewImageHeight * 3;

// Runs the preview until its window is closed or destroyed; returns the exit
// code: 0, or -1 when there is no window to draw into.
int runPreview(WindowHandle parent, void *instance);

// The title images, null where the program carries none of the right size.
void loadTitleImages(const unsigned char *&first, const unsigned char *&second);

// Draws one picture: width x height pixels of RGB 565, bottom row first; the
// image (null: black) at strength c (0 to 1) over grey static, one random
// number a pixel. The image is stretched to fill a buffer of another size.
void drawPreviewPicture(uint16_t *buffer, int width, int height, const unsigned char *image, float c);
