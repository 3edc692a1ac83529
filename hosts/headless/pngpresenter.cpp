#include "hosts/headless/pngpresenter.h"

#if !LV_WITHOUT_LIBPNG
#include <png.h>
#endif

#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

#include "glide/extension.h"
#include "hosts/common/outputfile.h"
#include "hosts/headless/storedpng.h"

#if !LV_WITHOUT_LIBPNG
namespace {
// libpng writes through the output file; a failed write ends the picture.
void writeToOutput(png_structp png, png_bytep data, png_size_t size) {
  if (!static_cast<OutputFile *>(png_get_io_ptr(png))->write(data, size)) png_error(png, "write failed");
}
void flushNothing(png_structp) {}
// The failure is told once, by the caller, and not on the error stream.
[[noreturn]] void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quietWarning(png_structp, png_const_charp) {}
} // namespace
#endif

bool writePng(const std::string &path, const unsigned char *rgb, int width, int height, std::string &error) {
  // The picture takes its name only when it is complete: a full disk or a
  // signal never leaves a truncated picture.
  OutputFile out;
  if (!out.open(path, false)) {
    error = out.error();
    return false;
  }
#if !LV_WITHOUT_LIBPNG
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = out.error().empty() ? "cannot write " + path + ": the picture could not be encoded" : out.error();
    return false;
  }
  png_set_write_fn(png, &out, writeToOutput, flushNothing);
  png_set_compression_level(png, 3);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(y) * width * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
#else
  // Without the PNG library the image data is stored, not compressed.
  const std::string bytes = encodeStoredPng(rgb, width, height);
  out.write(bytes.data(), bytes.size());
#endif
  if (!out.commit()) {
    error = out.error();
    return false;
  }
  return true;
}

void PngPresenter::present(const PresentedFrame &frame) {
  if (failed_) return;
  std::vector<unsigned char> rgb(static_cast<size_t>(frame.width) * frame.height * 3);
  frameToRgb(frame, rgb.data());
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%06ld.png", written_ + 1);
  if (!writePng(dir_ + name, rgb.data(), frame.width, frame.height, error_)) {
    failed_ = true;
    return;
  }
  ++written_;
}
