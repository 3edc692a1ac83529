// Writes every presented frame to DIR/frame-000001.png onward, top row first,
// through the board's video gamma (what a monitor on the board shows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "glide/presenter.h"

class PngPresenter : public FramePresenter {
public:
  explicit PngPresenter(std::string dir) : dir_(std::move(dir)) {}
  void present(const PresentedFrame &frame) override;
  long written() const { return written_; }
  bool failed() const { return failed_; }
  const std::string &error() const { return error_; }

private:
  std::string dir_;
  long written_ = 0;
  bool failed_ = false;
  std::string error_;
};

// Counts frames and keeps nothing (benchmarks).
class NullPresenter : public FramePresenter {
public:
  void present(const PresentedFrame &) override { ++count; }
  long count = 0;
};

// Expands a frame to 8-bit RGB rows, top row first, through the gamma table.
void frameToRgb(const PresentedFrame &frame, unsigned char *rgb);

// Expands frames to 32-bit pixels 0xFFRRGGBB, top row first, through the
// gamma table: the same colours as frameToRgb, each pixel one look-up in a
// table of every RGB 565 value, made again only when the gamma table changes.
class FrameConverter {
public:
  // `stride` in pixels of the rows of `out`.
  void toRgb32(const PresentedFrame &frame, uint32_t *out, int stride);
  // Whether it may use 512-bit vectors where the processor has them (for
  // tests of the narrower path); LUMENVEIL_VECTORS below 512 keeps it off.
  void useWidestVectors(bool use) { widest_ = use; }

private:
  std::vector<uint32_t> table_;
  // Each channel's part of the table on its own: blue (32 entries), red
  // (32), green (64).
  alignas(64) uint8_t channels_[128];
  const uint8_t *gamma_ = nullptr;
  bool widest_ = true;
};

// Writes 8-bit RGB rows (top first) as a PNG; false and a message on failure.
bool writePng(const std::string &path, const unsigned char *rgb, int width, int height,
              std::string &error);
