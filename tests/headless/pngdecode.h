// Reads a PNG back as 8-bit RGB rows with the system's PNG library (tests).
#pragma once

#include <png.h>

#include <string>
#include <vector>

struct DecodedPng {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<unsigned char> rgb; // top row first
  std::string error;
};

inline DecodedPng decodePng(const std::string &path) {
  DecodedPng d;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    d.error = path + ": " + image.message;
    return d;
  }
  image.format = PNG_FORMAT_RGB;
  d.width = int(image.width);
  d.height = int(image.height);
  d.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr)) {
    d.error = path + ": " + image.message;
    png_image_free(&image);
    return d;
  }
  d.ok = true;
  return d;
}

inline DecodedPng decodePngBytes(const std::string &bytes) {
  DecodedPng d;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    d.error = image.message;
    return d;
  }
  image.format = PNG_FORMAT_RGB;
  d.width = int(image.width);
  d.height = int(image.height);
  d.rgb.resize(PNG_IMAGE_SIZE(image));
  d.ok = png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr) != 0;
  if (!d.ok) d.error = image.message;
  return d;
}
