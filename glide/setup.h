// Triangle set-up: vertices to 12.4 fixed point, the planes of colour,
// alpha and texture coordinates over a triangle, and their fixed-point
// iterators.
#pragma once

#include <algorithm>
#include <cstdint>

#include "glide/glide.h"
#include "glide/spans.h"

// The most vertices a polygon call takes.
constexpr int MaxPolygon = 64;

struct FixedVertex {
  int64_t X, Y; // sixteenths of a pixel
  const GrVertex *v;
};

// value = base + dx * (px - x0) + dy * (py - y0), px and py in pixels.
struct Plane {
  double base, dx, dy;
};

struct Planes {
  double x0, y0;
  Plane r, g, b, a;
  Plane s, t, w; // affine: texel coordinates * 65536 less half a texel; perspective: s/w, t/w, 1/w
  int texMode;
};

inline double evalPlane(const Plane &p, const Planes &ps, double px, double py) {
  return p.base + p.dx * (px - ps.x0) + p.dy * (py - ps.y0);
}

// The planes of the triangle a, b, c; false when it has no area.
bool makePlanes(const FixedVertex &a, const FixedVertex &b, const FixedVertex &c, int texMode, float scale,
                Planes &out);

// Fixed point with 16 fractional bits (to the nearest step), saturated to a range that cannot overflow.
inline int64_t fixed16(double v) { return toFixed(v, 16, 1.0e15); }

inline int32_t clamp32(int64_t v) {
  return (int32_t)std::clamp<int64_t>(v, -(int64_t)1 << 30, (int64_t)1 << 30);
}

// The fixed-point iterators of a set of planes, anchored at the centre of
// pixel (xr, yr): the value at pixel (x, y) is base + (x - xr) * dX + (y - yr) * dY.
struct Iterators {
  SpanIter base;
  int64_t rY, gY, bY, aY;
  int64_t u0, v0, uX, vX, uY, vY;

  bool sameAs(const Iterators &o) const {
    const SpanIter &a = base, &b = o.base;
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a && a.dr == b.dr && a.dg == b.dg &&
           a.db == b.db && a.da == b.da && rY == o.rY && gY == o.gY && bY == o.bY && aY == o.aY &&
           u0 == o.u0 && v0 == o.v0 && uX == o.uX && vX == o.vX && uY == o.uY && vY == o.vY &&
           a.texMode == b.texMode;
  }
};

Iterators makeIterators(const Pipe &p, const Planes &pl, int64_t xr, int64_t yr);

// The anchor of a shape: the first pixel of its bounding box on the screen.
void anchorOf(const FixedVertex *v, int n, int64_t &xr, int64_t &yr);

inline int64_t signedArea(const FixedVertex &a, const FixedVertex &b, const FixedVertex &c) {
  return (b.X - a.X) * (c.Y - a.Y) - (c.X - a.X) * (b.Y - a.Y);
}
