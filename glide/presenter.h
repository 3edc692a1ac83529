// How finished frames leave the board, and the board's own controls that the
// library's API does not have (hosts and tests use them; the program does not).
#pragma once

#include <cstdint>

#include "glide/extension.h" // the retrace wait, which hosts set too

// One finished frame: the front buffer as RGB 565 pixels, lowest row first
// (the board's origin is the lower left), and the video output's gamma table
// (index: a colour channel expanded to 8 bits; value: what the monitor shows).
struct PresentedFrame {
  const uint16_t *pixels;
  int width;
  int height;
  int strideInPixels;
  const uint8_t *gamma; // 256 entries
};

// Installed by the host: a window, image files, or nothing.
class FramePresenter {
public:
  virtual ~FramePresenter() = default;
  virtual void present(const PresentedFrame &frame) = 0;
};

// The presenter that receives every swapped frame (nullptr: frames go nowhere).
void boardSetPresenter(FramePresenter *presenter);

// Whether the board is there at all (grSstQueryHardware fails when not); for tests.
void boardSetPresent(bool present);

// The board type grSstQueryHardware reports (0 = add-on board by default); for tests.
void boardSetType(int type);

// How many threads draw (0: one per processor core, or LUMENVEIL_THREADS when
// set; 1 draws on the calling thread at each call). Without a count from
// either, paced frames with time to spare draw on the calling thread. The
// frames are the same whatever the count.
void boardSetThreads(int count);
