// A presented frame as the pixels a picture file or a window takes: 8-bit RGB
// rows, or 32-bit pixels, through the board's video gamma.
#pragma once

#include <cstdint>
#include <vector>

#include "glide/presenter.h"

// Expands a frame to 8-bit RGB rows, top row first, through the gamma table.
void frameToRgb(const PresentedFrame &frame, unsigned char *rgb);

// Expands frames to 32-bit pixels 0xFFRRGGBB, top row first, through the
// gamma table: the same colours as frameToRgb, each pixel one look-up in a
// table of every RGB 565 value, made again only when the gamma table changes.
// The rows are converted in bands on the board's drawing threads.
class FrameConverter {
public:
  // `stride` in pixels of the rows of `out`.
  void toRgb32(const PresentedFrame &frame, uint32_t *out, int stride);
  // Whether it may use 512-bit vectors where the processor has them (for
  // tests of the narrower path); LUMENVEIL_VECTORS below 512 keeps it off.
  void useWidestVectors(bool use) { widest_ = use; }

private:
  // The frame's rows `first` to `last` (the board's order, lowest first).
  void convertRows(const PresentedFrame &frame, uint32_t *out, int stride, int first, int last) const;
  std::vector<uint32_t> table_;
  // Each channel's part of the table on its own: blue (32 entries), red
  // (32), green (64).
  alignas(64) uint8_t channels_[128];
  const uint8_t *gamma_ = nullptr;
  bool widest_ = true;
};
