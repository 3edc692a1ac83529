// Writes every presented frame to DIR/frame-000001.png onward, top row first,
// through the board's video gamma (what a monitor on the board shows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "glide/presenter.h"
#include "hosts/common/frameconversion.h"

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

// Writes 8-bit RGB rows (top first) as a PNG; false and a message on failure.
bool writePng(const std::string &path, const unsigned char *rgb, int width, int height, std::string &error);
