// Lines and points: one-pixel lines, antialiased lines and antialiased points,
// each fragment through the pixel pipeline.
#include <algorithm>
#include <cmath>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/pipeline.h"
#include "glide/tracewrite.h"

namespace {

inline int64_t sixteenths(float biased) {
  double p = ((double)biased - 524288.0) * 16.0;
  if (!(p > -2.5e8))
    return -250000000; // far off, or not a number
  return (int64_t)std::llround(std::min(p, 2.5e8));
}

inline int64_t floorDiv(int64_t a, int64_t b) { // b > 0
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
inline int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); }

// A line in screen sixteenths with its major axis.
struct LineSetup {
  bool xMajor;
  int64_t ma, mb, na, nb; // major and minor coordinates of both ends
  int64_t first, last;    // pixel range along the major axis, in drawing order
  int dir;
};

bool setupLine(const GrVertex *a, const GrVertex *b, LineSetup &l) {
  int64_t ax = sixteenths(a->x), ay = sixteenths(a->y);
  int64_t bx = sixteenths(b->x), by = sixteenths(b->y);
  if (Board.origin == GR_ORIGIN_UPPER_LEFT) {
    ay = (int64_t)Board.height * 16 - ay;
    by = (int64_t)Board.height * 16 - by;
  }
  int64_t dx = bx - ax, dy = by - ay;
  if (dx == 0 && dy == 0)
    return false;
  l.xMajor = std::llabs(dx) >= std::llabs(dy);
  l.ma = l.xMajor ? ax : ay;
  l.mb = l.xMajor ? bx : by;
  l.na = l.xMajor ? ay : ax;
  l.nb = l.xMajor ? by : bx;
  l.dir = l.mb > l.ma ? 1 : -1;
  // Pixel centres in [ma, mb) going up, in (mb, ma] going down: the first end
  // is drawn, the last is not.
  if (l.dir > 0) {
    l.first = ceilDiv(l.ma - 8, 16);
    l.last = ceilDiv(l.mb - 8, 16) - 1;
  } else {
    l.first = floorDiv(l.ma - 8, 16);
    l.last = floorDiv(l.mb - 8, 16) + 1;
  }
  return true;
}

inline int floorInt(double v) {
  if (!(v > -1.0e9))
    return -1000000000;
  if (v > 1.0e9)
    return 1000000000;
  int i = (int)v;
  return (double)i > v ? i - 1 : i;
}

// One untextured fragment of iterated colour through a specialised blend.
template <int Blend>
void writeSimple(const Pipe &p, int x, int y, int r, int g, int b, int a) {
  if (!p.alphaPass[a])
    return;
  uint16_t *pixel = p.target + (size_t)y * p.width + x;
  int dr = 0, dg = 0, db = 0;
  if (Blend != BlendNone && Blend != BlendScaled) {
    unsigned v = *pixel;
    dr = expand5(v >> 11);
    dg = expand6((v >> 5) & 63);
    db = expand5(v & 31);
  }
  r = blendChannel(Blend, r, a, dr);
  g = blendChannel(Blend, g, a, dg);
  b = blendChannel(Blend, b, a, db);
  const int pos = (y & 3) << 2 | (x & 3);
  *pixel = (uint16_t)(p.parts->red[pos][r] | p.parts->green[pos][g] | p.parts->blue[pos][b]);
}

void writeReference(const Pipe &p, int x, int y, int r, int g, int b, int a) {
  shadeFragment(p, x, y, r, g, b, a, NoTexel);
}

typedef void (*FragmentFn)(const Pipe &p, int x, int y, int r, int g, int b, int a);

// The writer for untextured fragments in the current state.
FragmentFn pickWriter(const Pipe &p) {
  if (p.blendMode == BlendOther || p.alphaSource != GR_ALPHASOURCE_ITERATED_ALPHA ||
      p.colorCombine != GR_COLORCOMBINE_ITRGB || boardReferencePipelineForced())
    return writeReference;
  switch (p.blendMode) {
  case BlendNone: return writeSimple<BlendNone>;
  case BlendAdd: return writeSimple<BlendAdd>;
  case BlendScaled: return writeSimple<BlendScaled>;
  case BlendFade: return writeSimple<BlendFade>;
  default: return writeSimple<BlendOneAdd>;
  }
}

// Iterated attributes at parameter t along the line, and the fragment.
struct LineFragment {
  const Pipe &p;
  const GrVertex *a, *b;
  bool textured;
  FragmentFn write;

  LineFragment(const Pipe &pipe, const GrVertex *from, const GrVertex *to)
      : p(pipe), a(from), b(to), textured(pipe.useTexture && pipe.tex), write(pickWriter(pipe)) {}

  void emit(int x, int y, double t, double coverage) const {
    auto lerp = [t](float u, float v) { return (double)u + ((double)v - (double)u) * t; };
    int r = clamp255(floorInt(lerp(a->r, b->r)));
    int g = clamp255(floorInt(lerp(a->g, b->g)));
    int bl = clamp255(floorInt(lerp(a->b, b->b)));
    int al = clamp255(floorInt(lerp(a->a, b->a) * coverage));
    if (!textured) {
      write(p, x, y, r, g, bl, al);
      return;
    }
    uint32_t texel = NoTexel;
    {
      int32_t u, v;
      perspectiveUV((float)lerp(a->tmuvtx[0].sow, b->tmuvtx[0].sow),
                    (float)lerp(a->tmuvtx[0].tow, b->tmuvtx[0].tow), (float)lerp(a->oow, b->oow),
                    p.tex->scale, u, v);
      texel = sampleTexel(*p.tex, u, v);
    }
    shadeFragment(p, x, y, r, g, bl, al, texel);
  }
};

// Walks the pixel steps along the major axis: for each, the centre's major
// coordinate (sixteenths), the line's minor coordinate there (pixels, where
// pixel j has its centre at j + 0.5) and the parameter along the line.
template <class Visit>
void walkLine(const LineSetup &l, int majorLimit, Visit visit) {
  const int64_t dm = l.mb - l.ma, dn = l.nb - l.na;
  int64_t from = l.first, to = l.last;
  if (l.dir < 0)
    std::swap(from, to);
  from = std::max<int64_t>(from, 0);
  to = std::min<int64_t>(to, majorLimit - 1);
  const double inverse = 1.0 / (double)dm, slope = (double)dn * inverse;
  for (int64_t i = from; i <= to; ++i) {
    const double along = (double)(16 * i + 8 - l.ma);
    visit(i, ((double)l.na + along * slope) / 16.0, along * inverse);
  }
}

// An untextured antialiased line under a specialised blend: the colour is
// iterated once per step, the alpha once per pixel.
template <int Blend>
void antialiasedSimple(const Pipe &p, const LineSetup &l, const GrVertex *a, const GrVertex *b) {
  const int majorLimit = l.xMajor ? p.width : p.height;
  const int minorLimit = l.xMajor ? p.height : p.width;
  walkLine(l, majorLimit, [&](int64_t i, double minor, double t) {
    auto lerp = [t](float u, float v) { return (double)u + ((double)v - (double)u) * t; };
    const int r = clamp255(floorInt(lerp(a->r, b->r)));
    const int g = clamp255(floorInt(lerp(a->g, b->g)));
    const int bl = clamp255(floorInt(lerp(a->b, b->b)));
    const double alpha = lerp(a->a, b->a);
    int64_t lo = floorInt(minor - 1.5) + 1, hi = -floorInt(-(minor + 0.5)) - 1;
    for (int64_t j = std::max<int64_t>(lo, 0); j <= hi && j < minorLimit; ++j) {
      double coverage = 1.0 - std::fabs((double)j + 0.5 - minor);
      if (coverage <= 0.0)
        continue;
      int al = clamp255(floorInt(alpha * coverage));
      if (l.xMajor)
        writeSimple<Blend>(p, (int)i, (int)j, r, g, bl, al);
      else
        writeSimple<Blend>(p, (int)j, (int)i, r, g, bl, al);
    }
  });
}

void traceLine(const char *name, const GrVertex *a, const GrVertex *b) {
  fprintf(BoardTraceFile, "%s", name);
  traceVertex(a);
  if (b)
    traceVertex(b);
  fputc('\n', BoardTraceFile);
}

} // namespace

// A one-pixel line: per step along the major axis the pixel whose centre lies
// within half a pixel of the line across it, by the same rule as polygon edges.
void grDrawLine(const GrVertex *a, const GrVertex *b) {
  if (BoardTraceFile)
    traceLine("grDrawLine", a, b);
  LineSetup l;
  if (!Board.open || !setupLine(a, b, l))
    return;
  Pipe p = makePipe();
  if (!p.rgbMask)
    return;
  LineFragment f(p, a, b);
  const int majorLimit = l.xMajor ? p.width : p.height;
  const int minorLimit = l.xMajor ? p.height : p.width;
  const int64_t dm = l.mb - l.ma, dn = l.nb - l.na;
  walkLine(l, majorLimit, [&](int64_t i, double, double t) {
    // Exact minor coordinate in sixteenths: na + (cm - ma) * dn / dm.
    int64_t cm = 16 * i + 8;
    int64_t num = l.na * dm + (cm - l.ma) * dn, den = dm;
    if (den < 0) {
      num = -num;
      den = -den;
    }
    // The parallelogram's top edge (x-major) or left edge (y-major) owns the
    // centres on it.
    int64_t j = l.xMajor ? floorDiv(num, den * 16) : ceilDiv(num, den * 16) - 1;
    if (j < 0 || j >= minorLimit)
      return;
    f.emit(l.xMajor ? (int)i : (int)j, l.xMajor ? (int)j : (int)i, t, 1.0);
  });
}

// An antialiased line: the line widened to one pixel either side along its
// minor axis, alpha falling linearly from the line to 0 at the outer edges.
void grAADrawLine(const GrVertex *a, const GrVertex *b) {
  if (BoardTraceFile)
    traceLine("grAADrawLine", a, b);
  LineSetup l;
  if (!Board.open || !setupLine(a, b, l))
    return;
  Pipe p = makePipe();
  if (!p.rgbMask)
    return;
  LineFragment f(p, a, b);
  if (!f.textured && f.write != writeReference) {
    switch (p.blendMode) {
    case BlendNone: antialiasedSimple<BlendNone>(p, l, a, b); return;
    case BlendAdd: antialiasedSimple<BlendAdd>(p, l, a, b); return;
    case BlendScaled: antialiasedSimple<BlendScaled>(p, l, a, b); return;
    case BlendFade: antialiasedSimple<BlendFade>(p, l, a, b); return;
    default: antialiasedSimple<BlendOneAdd>(p, l, a, b); return;
    }
  }
  const int majorLimit = l.xMajor ? p.width : p.height;
  const int minorLimit = l.xMajor ? p.height : p.width;
  walkLine(l, majorLimit, [&](int64_t i, double minor, double t) {
    // Pixels whose centres lie less than one pixel from the line.
    int64_t lo = floorInt(minor - 1.5) + 1, hi = -floorInt(-(minor + 0.5)) - 1;
    for (int64_t j = std::max<int64_t>(lo, 0); j <= hi && j < minorLimit; ++j) {
      double coverage = 1.0 - std::fabs((double)j + 0.5 - minor);
      if (coverage <= 0.0)
        continue;
      f.emit(l.xMajor ? (int)i : (int)j, l.xMajor ? (int)j : (int)i, t, coverage);
    }
  });
}

// An antialiased point: the square one pixel either side of it, alpha falling
// linearly from the centre to 0 at the square's edges.
void grAADrawPoint(const GrVertex *pt) {
  if (BoardTraceFile)
    traceLine("grAADrawPoint", pt, nullptr);
  if (!Board.open)
    return;
  Pipe p = makePipe();
  if (!p.rgbMask)
    return;
  double px = sixteenths(pt->x) / 16.0, py = sixteenths(pt->y) / 16.0;
  if (Board.origin == GR_ORIGIN_UPPER_LEFT)
    py = Board.height - py;
  LineFragment f(p, pt, pt);
  int64_t x0 = floorInt(px - 1.5) + 1, x1 = -floorInt(-(px + 0.5)) - 1;
  int64_t y0 = floorInt(py - 1.5) + 1, y1 = -floorInt(-(py + 0.5)) - 1;
  for (int64_t y = std::max<int64_t>(y0, 0); y <= y1 && y < p.height; ++y)
    for (int64_t x = std::max<int64_t>(x0, 0); x <= x1 && x < p.width; ++x) {
      double d = std::max(std::fabs((double)x + 0.5 - px), std::fabs((double)y + 0.5 - py));
      if (d < 1.0)
        f.emit((int)x, (int)y, 0.0, 1.0 - d);
    }
}
