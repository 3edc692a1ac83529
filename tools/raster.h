// Float images and the operations the resource pictures are painted with.
#pragma once

#include <string>
#include <vector>

// One channel of floats, row 0 at the top.
struct Plane {
  int width = 0;
  int height = 0;
  std::vector<float> v;

  Plane() = default;
  Plane(int w, int h) : width(w), height(h), v(static_cast<size_t>(w) * h, 0.0f) {}
  float &at(int x, int y) { return v[static_cast<size_t>(y) * width + x]; }
  float at(int x, int y) const { return v[static_cast<size_t>(y) * width + x]; }
};

struct Colour {
  float r, g, b;
};

// Three planes, row 0 at the top; values 0..1 (above 1 is clipped on output).
struct Picture {
  Plane r, g, b;

  Picture() = default;
  Picture(int w, int h) : r(w, h), g(w, h), b(w, h) {}
  int width() const { return r.width; }
  int height() const { return r.height; }
  // Adds a plane tinted by a colour and scaled by gain.
  void add(const Plane &p, Colour c, float gain = 1.0f);
};

// Separable Gaussian blur; outside the plane counts as zero.
Plane blur(const Plane &p, float sigma);

// Area-weighted resampling to a new size (each output pixel averages the
// source area it covers).
Plane resample(const Plane &p, int width, int height);
Picture resample(const Picture &p, int width, int height);

// Soft clip: x for small x, approaching 1 for large x.
float softClip(float x);

// A deterministic hash of integers to 0..1.
float hash01(int x, int y, int seed);
// Smooth value noise, 0..1, and its sum over octaves.
float valueNoise(float x, float y, int seed);
float fractalNoise(float x, float y, int octaves, int seed);

// Text drawn through FreeType with anti-aliased edges into a coverage plane.
class TextFace {
public:
  TextFace();
  ~TextFace();
  TextFace(const TextFace &) = delete;
  TextFace &operator=(const TextFace &) = delete;

  // Opens a font file; false (with a message in error) when it cannot be read.
  bool open(const std::string &path, std::string &error);
  // Width in pixels of an ASCII line at an em size, with extra spacing between letters.
  float advance(const std::string &text, float em, float tracking = 0.0f) const;
  // Draws a line with its pen starting at x and its baseline at y; when
  // strokeRadius > 0 draws only the outline stroke of that radius instead of the fill.
  void draw(Plane &coverage, const std::string &text, float x, float y, float em, float tracking = 0.0f,
            float strokeRadius = 0.0f) const;
  // Draws a line centred on cx.
  void drawCentred(Plane &coverage, const std::string &text, float cx, float y, float em,
                   float tracking = 0.0f, float strokeRadius = 0.0f) const;

private:
  void *library_ = nullptr;
  void *face_ = nullptr;
};
