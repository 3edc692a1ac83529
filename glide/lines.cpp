// Lines and points: one-pixel lines, antialiased lines and antialiased points,
// each fragment through the pixel pipeline.
#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/pipeline.h"
#include "glide/tracewrite.h"

namespace {

// A line in screen sixteenths with its major axis.
struct LineSetup {
  bool xMajor;
  int64_t ma, mb, na, nb; // major and minor coordinates of both ends
  int64_t first, last;    // pixel range along the major axis, in drawing order
  int dir;
};

bool setupLine(const GrVertex *a, const GrVertex *b, LineSetup &l) {
  int64_t ax = toSixteenths(a->x), ay = toSixteenths(a->y);
  int64_t bx = toSixteenths(b->x), by = toSixteenths(b->y);
  if (Board.origin == GR_ORIGIN_UPPER_LEFT) {
    ay = (int64_t)Board.height * 16 - ay;
    by = (int64_t)Board.height * 16 - by;
  }
  int64_t dx = bx - ax, dy = by - ay;
  if (dx == 0 && dy == 0) return false;
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

// One untextured fragment of iterated colour through a specialised blend.
template <int Blend>
BOARD_ALWAYS_INLINE void writeSimple(const Pipe &p, int x, int y, int r, int g, int b, int a) {
  if (!p.alphaPass[a]) return;
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

// One fragment of a texel times the iterated colour through a specialised blend.
template <int Blend>
void writeTexturedSimple(const Pipe &p, int x, int y, int r, int g, int b, int a, uint32_t texel) {
  writeSimple<Blend>(p, x, y, (int)(((texel >> 16) & 255) * (unsigned)(r + 1)) >> 8,
                     (int)(((texel >> 8) & 255) * (unsigned)(g + 1)) >> 8,
                     (int)((texel & 255) * (unsigned)(b + 1)) >> 8, a);
}

void writeTexturedReference(const Pipe &p, int x, int y, int r, int g, int b, int a, uint32_t texel) {
  shadeFragment(p, x, y, r, g, b, a, texel);
}

typedef void (*TexturedFragmentFn)(const Pipe &p, int x, int y, int r, int g, int b, int a, uint32_t texel);

// The writer for textured fragments in the current state.
TexturedFragmentFn pickTexturedWriter(const Pipe &p) {
  const bool timesIterated = p.colorCombine == GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB ||
                             p.colorCombine == GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB_DELTA0;
  if (p.blendMode == BlendOther || p.alphaSource != GR_ALPHASOURCE_ITERATED_ALPHA || !timesIterated ||
      p.texCombine != GR_TEXTURECOMBINE_DECAL || boardReferencePipelineForced())
    return writeTexturedReference;
  switch (p.blendMode) {
  case BlendNone: return writeTexturedSimple<BlendNone>;
  case BlendAdd: return writeTexturedSimple<BlendAdd>;
  case BlendScaled: return writeTexturedSimple<BlendScaled>;
  case BlendFade: return writeTexturedSimple<BlendFade>;
  default: return writeTexturedSimple<BlendOneAdd>;
  }
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

// Where the line's fixed-point values saturate: far outside any use.
constexpr double LineFixedLimit = 4.0e18;

// The walk along a line's major axis, one pixel per step.
struct LineIter {
  int64_t from, to;      // the major pixels drawn, ascending, on the screen
  int64_t minor, dMinor; // the line's minor coordinate at the step's centre: pixels, 32 fractional bits
  int64_t t, dt;         // position from the first end (0) to the last (1): 32 fractional bits
  int64_t c[4], dc[4];   // red, green, blue, alpha: 16 fractional bits, within +-2^40

  // Colours and alpha are iterated linearly from the first end to the last.
  bool start(const LineSetup &l, const GrVertex *a, const GrVertex *b, int majorLimit) {
    from = l.first;
    to = l.last;
    if (l.dir < 0) std::swap(from, to);
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, majorLimit - 1);
    if (from > to) return false;
    const double dm = (double)(l.mb - l.ma), along = (double)(16 * from + 8 - l.ma);
    const double pos = along / dm, step = 16.0 / dm;
    minor = toFixed(((double)l.na + (double)(l.nb - l.na) * pos) / 16.0, 32, LineFixedLimit);
    dMinor = toFixed((double)(l.nb - l.na) / dm, 32, LineFixedLimit);
    t = toFixed(pos, 32, LineFixedLimit);
    dt = toFixed(step, 32, LineFixedLimit);
    const float ca[4] = {a->r, a->g, a->b, a->a}, cb[4] = {b->r, b->g, b->b, b->a};
    for (int k = 0; k < 4; ++k) {
      const double d = (double)cb[k] - (double)ca[k];
      c[k] =
          std::clamp<int64_t>(toFixed((double)ca[k] + d * pos, 16, LineFixedLimit), -(1ll << 40), 1ll << 40);
      dc[k] = std::clamp<int64_t>(toFixed(d * step, 16, LineFixedLimit), -(1ll << 30), 1ll << 30);
    }
    return true;
  }
  void advance() {
    minor += dMinor;
    t += dt;
    for (int k = 0; k < 4; ++k) c[k] += dc[k];
  }
  int channel(int k) const { return clamp255((int)std::clamp<int64_t>(c[k] >> 16, -1, 256)); }
  // The alpha scaled by a coverage with 16 fractional bits (1 = 65536), rounded down.
  int alpha(int64_t coverage) const {
    return clamp255((int)std::clamp<int64_t>((c[3] * coverage) >> 32, -1, 256));
  }
};

// A fragment of a line or point, textured or not: written by the specialised
// writer of blend `Blend`, or with BlendOther by the writers picked for the
// state.
template <int Blend> struct LineFragment {
  const Pipe &p;
  const GrVertex *a, *b;
  bool textured;
  FragmentFn write;
  TexturedFragmentFn writeTextured;

  LineFragment(const Pipe &pipe, const GrVertex *from, const GrVertex *to, FragmentFn w,
               TexturedFragmentFn wt)
      : p(pipe), a(from), b(to), textured(pipe.useTexture && pipe.tex), write(w), writeTextured(wt) {}

  // t: the position between the ends (texture coordinates are interpolated
  // with 1/w along it).
  void emit(int x, int y, int r, int g, int bl, int al, double t) {
    if (!textured) {
      if constexpr (Blend == BlendOther)
        write(p, x, y, r, g, bl, al);
      else
        writeSimple<Blend>(p, x, y, r, g, bl, al);
      return;
    }
    const uint32_t texel = texelAt(t);
    if constexpr (Blend == BlendOther)
      writeTextured(p, x, y, r, g, bl, al, texel);
    else
      writeTexturedSimple<Blend>(p, x, y, r, g, bl, al, texel);
  }

private:
  // The fragments of one step of a line, and all of a point, share their
  // position and so their texel: it is looked up once. A texel depends on
  // the coordinates to 1/256 of a texel only (the filter's fraction, or the
  // nearest texel's rounding), and steps along a line often land on the same
  // ones: it is looked up again only when they change (the writers picked
  // per fragment, the reference pipeline's among them, look it up each time).
  uint32_t texelAt(double t) {
    if (!(t == lastT)) {
      auto lerp = [t](float u, float v) { return (double)u + ((double)v - (double)u) * t; };
      int32_t u, v;
      perspectiveUV((float)lerp(a->tmuvtx[0].sow, b->tmuvtx[0].sow),
                    (float)lerp(a->tmuvtx[0].tow, b->tmuvtx[0].tow), (float)lerp(a->oow, b->oow),
                    p.tex->scale, u, v);
      const int32_t su = u >> 8, sv = v >> 8;
      if (Blend == BlendOther || su != lastU || sv != lastV) {
        lastTexel = sampleTexel(*p.tex, u, v);
        lastU = su;
        lastV = sv;
      }
      lastT = t;
    }
    return lastTexel;
  }
  double lastT = std::nan("");
  uint32_t lastTexel = 0;
  int32_t lastU = INT32_MIN, lastV = INT32_MIN; // no u >> 8 is this low: none looked up yet
};

template <int Blend, class Body>
void withFragmentOf(const Pipe &p, const GrVertex *a, const GrVertex *b, FragmentFn write,
                    TexturedFragmentFn writeTextured, Body &body) {
  LineFragment<Blend> f(p, a, b, write, writeTextured);
  body(f);
}

// The blend whose specialised writer draws the fragments of a line or point
// in the pipe's state, textured or not; BlendOther where the state has none.
int simpleBlendOf(const Pipe &p, FragmentFn write, TexturedFragmentFn writeTextured) {
  if (p.useTexture && p.tex) return writeTextured == writeTexturedReference ? BlendOther : p.blendMode;
  return write == writeReference ? BlendOther : p.blendMode;
}

// Runs body(fragment) with the fragment writer of the pipe's state, its
// blend chosen once for the whole line or point rather than per fragment.
template <class Body> void withFragment(const Pipe &p, const GrVertex *a, const GrVertex *b, Body body) {
  const FragmentFn w = pickWriter(p);
  const TexturedFragmentFn wt = pickTexturedWriter(p);
  switch (simpleBlendOf(p, w, wt)) {
  case BlendNone: return withFragmentOf<BlendNone>(p, a, b, w, wt, body);
  case BlendAdd: return withFragmentOf<BlendAdd>(p, a, b, w, wt, body);
  case BlendScaled: return withFragmentOf<BlendScaled>(p, a, b, w, wt, body);
  case BlendFade: return withFragmentOf<BlendFade>(p, a, b, w, wt, body);
  case BlendOneAdd: return withFragmentOf<BlendOneAdd>(p, a, b, w, wt, body);
  default: return withFragmentOf<BlendOther>(p, a, b, w, wt, body);
  }
}

// The rows (x-major) or columns (y-major) an antialiased line covers at one
// step: pixel j0 = floor(minor - 1/2) at coverage 1 - f and j0 + 1 at f, where
// f is the fraction of minor - 1/2 (a centre one pixel off gets nothing).
template <class Emit> inline void antialiasedStep(const LineIter &it, int minorLimit, Emit emit) {
  const int64_t h = it.minor - ((int64_t)1 << 31);
  const int64_t j0 = h >> 32;
  const int64_t f = (h & 0xFFFFFFFFll) >> 16; // 16 fractional bits
  if (j0 >= 0 && j0 < minorLimit) emit(j0, 65536 - f);
  if (f != 0 && j0 + 1 >= 0 && j0 + 1 < minorLimit) emit(j0 + 1, f);
}

// An untextured antialiased line under a specialised blend.
template <int Blend> void antialiasedSimple(const Pipe &p, const LineSetup &l, LineIter &it) {
  const int minorLimit = l.xMajor ? p.height : p.width;
  for (int64_t i = it.from; i <= it.to; ++i, it.advance()) {
    const int r = it.channel(0), g = it.channel(1), b = it.channel(2);
    if (!l.xMajor && !ownsRow(p, (int)i)) continue;
    antialiasedStep(it, minorLimit, [&](int64_t j, int64_t coverage) {
      if (l.xMajor) {
        if (ownsRow(p, (int)j)) writeSimple<Blend>(p, (int)i, (int)j, r, g, b, it.alpha(coverage));
      } else {
        writeSimple<Blend>(p, (int)j, (int)i, r, g, b, it.alpha(coverage));
      }
    });
  }
}

// What both kinds of line start with: the trace line, the set-up, the pixel
// pipeline and the first step; false when the line draws nothing.
bool beginLine(TraceCall name, const GrVertex *a, const GrVertex *b, LineSetup &l, Pipe &p, LineIter &it) {
  if (BoardTraceFile && !Board.skipSwaps) traceCall(name, {a, b});
  if (!boardDrawing() || !setupLine(a, b, l)) return false;
  p = makePipe();
  if (!p.rgbMask) return false;
  return it.start(l, a, b, l.xMajor ? p.width : p.height);
}

// A line or point fixed at its call, drawn at once or by the drawing threads.
struct LineJob {
  Pipe p;
  LineSetup l;
  LineIter it;
  GrVertex a, b;
  double px = 0.0, py = 0.0; // a point's centre
};

// A one-pixel line: per step along the major axis the pixel whose centre lies
// within half a pixel of the line across it, by the same rule as polygon edges.
void runLine(const LineJob &job, const Pipe &p) {
  const LineSetup &l = job.l;
  LineIter it = job.it;
  const int minorLimit = l.xMajor ? p.height : p.width;
  int64_t dm = l.mb - l.ma, dn = l.nb - l.na;
  if (dm < 0) {
    dm = -dm;
    dn = -dn;
  }
  // The exact minor coordinate in sixteenths is na + (cm - ma) * dn / dm, at
  // the centre cm = 16 i + 8 of step i: its numerator over 16 dm, kept as a
  // quotient and a remainder from 0 to 16 dm - 1 that each step moves by
  // 16 dn (|dn| <= dm, so by less than two quotients either way).
  const int64_t den = dm * 16, step = dn * 16;
  const int64_t num = l.na * dm + (16 * it.from + 8 - l.ma) * dn;
  int64_t quotient = floorDiv(num, den), remainder = num - quotient * den;
  withFragment(p, &job.a, &job.b, [&](auto &f) {
    for (int64_t i = it.from; i <= it.to; ++i, it.advance()) {
      // The parallelogram's top edge (x-major) or left edge (y-major) owns
      // the centres on it.
      const int64_t j = l.xMajor ? quotient : quotient + (remainder != 0) - 1;
      remainder += step;
      while (remainder >= den) {
        remainder -= den;
        ++quotient;
      }
      while (remainder < 0) {
        remainder += den;
        --quotient;
      }
      if (j < 0 || j >= minorLimit || !ownsRow(p, (int)(l.xMajor ? j : i))) continue;
      f.emit(l.xMajor ? (int)i : (int)j, l.xMajor ? (int)j : (int)i, it.channel(0), it.channel(1),
             it.channel(2), it.channel(3), (double)it.t * 0x1p-32);
    }
  });
}

// An antialiased line: the line widened to one pixel either side along its
// minor axis, alpha falling linearly from the line to 0 at the outer edges.
void runAALine(const LineJob &job, const Pipe &p) {
  const LineSetup &l = job.l;
  LineIter it = job.it;
  if (!(p.useTexture && p.tex) && pickWriter(p) != writeReference) {
    switch (p.blendMode) {
    case BlendNone: antialiasedSimple<BlendNone>(p, l, it); return;
    case BlendAdd: antialiasedSimple<BlendAdd>(p, l, it); return;
    case BlendScaled: antialiasedSimple<BlendScaled>(p, l, it); return;
    case BlendFade: antialiasedSimple<BlendFade>(p, l, it); return;
    default: antialiasedSimple<BlendOneAdd>(p, l, it); return;
    }
  }
  const int minorLimit = l.xMajor ? p.height : p.width;
  withFragment(p, &job.a, &job.b, [&](auto &f) {
    for (int64_t i = it.from; i <= it.to; ++i, it.advance()) {
      if (!l.xMajor && !ownsRow(p, (int)i)) continue;
      const int r = it.channel(0), g = it.channel(1), bl = it.channel(2);
      const double t = (double)it.t * 0x1p-32; // exact, as a power of two
      antialiasedStep(it, minorLimit, [&](int64_t j, int64_t coverage) {
        if (l.xMajor && !ownsRow(p, (int)j)) return;
        f.emit(l.xMajor ? (int)i : (int)j, l.xMajor ? (int)j : (int)i, r, g, bl, it.alpha(coverage), t);
      });
    }
  });
}

// An antialiased point: the square one pixel either side of it, alpha falling
// linearly from the centre to 0 at the square's edges.
void runPoint(const LineJob &job, const Pipe &p) {
  const GrVertex *pt = &job.a;
  const double px = job.px, py = job.py;
  const int r = clamp255(floorToInt(pt->r)), g = clamp255(floorToInt(pt->g));
  const int b = clamp255(floorToInt(pt->b));
  const double alpha = pt->a;
  int64_t x0 = floorToInt(px - 1.5) + 1, x1 = -floorToInt(-(px + 0.5)) - 1;
  int64_t y0 = floorToInt(py - 1.5) + 1, y1 = -floorToInt(-(py + 0.5)) - 1;
  withFragment(p, pt, pt, [&](auto &f) {
    for (int64_t y = std::max<int64_t>(y0, 0); y <= y1 && y < p.height; ++y) {
      if (!ownsRow(p, (int)y)) continue;
      for (int64_t x = std::max<int64_t>(x0, 0); x <= x1 && x < p.width; ++x) {
        double d = std::max(std::fabs((double)x + 0.5 - px), std::fabs((double)y + 0.5 - py));
        if (d < 1.0) f.emit((int)x, (int)y, r, g, b, clamp255(floorToInt(alpha * (1.0 - d))), 0.0);
      }
    }
  });
}

template <void (*Run)(const LineJob &, const Pipe &)> void runLineJob(const void *job, const Band &band) {
  const LineJob &j = *static_cast<const LineJob *>(job);
  Pipe p = j.p;
  p.band = band;
  Run(j, p);
}

// Draws the job at once on one thread; records it for the drawing threads otherwise.
// A row, or a little beyond the screen on either side.
int rowNear(int64_t row) { return (int)std::clamp<int64_t>(row, -4, 1 << 24); }

// Draws the job at once on one thread; records it for the drawing threads
// otherwise, with the rows it may draw into (`point`: an antialiased point).
template <void (*Run)(const LineJob &, const Pipe &)>
void submitLine(const LineJob &job, bool point = false) {
  if (!boardRecording()) {
    Run(job, job.p);
    return;
  }
  int first, last;
  if (point) {
    const int64_t row = floorToInt(job.py);
    first = rowNear(row - 2);
    last = rowNear(row + 2);
  } else {
    // Rows are the minor axis of an x-major line, the major axis otherwise.
    const int64_t a = job.l.xMajor ? job.l.na : job.l.ma, b = job.l.xMajor ? job.l.nb : job.l.mb;
    first = rowNear(floorDiv(std::min(a, b) - 8, 16) - 2);
    last = rowNear(floorDiv(std::max(a, b) - 8, 16) + 2);
  }
  new (boardRecordJob(runLineJob<Run>, sizeof(LineJob), first, last)) LineJob(job);
}

} // namespace

void grDrawLine(const GrVertex *a, const GrVertex *b) {
  LineJob job;
  if (!beginLine(TraceCall::GrDrawLine, a, b, job.l, job.p, job.it)) return;
  job.a = *a;
  job.b = *b;
  submitLine<runLine>(job);
}

void grAADrawLine(const GrVertex *a, const GrVertex *b) {
  LineJob job;
  if (!beginLine(TraceCall::GrAADrawLine, a, b, job.l, job.p, job.it)) return;
  job.a = *a;
  job.b = *b;
  submitLine<runAALine>(job);
}

void grAADrawPoint(const GrVertex *pt) {
  if (BoardTraceFile && !Board.skipSwaps) traceCall(TraceCall::GrAADrawPoint, {pt});
  if (!boardDrawing()) return;
  LineJob job;
  job.p = makePipe();
  if (!job.p.rgbMask) return;
  job.px = toSixteenths(pt->x) / 16.0;
  job.py = toSixteenths(pt->y) / 16.0;
  if (Board.origin == GR_ORIGIN_UPPER_LEFT) job.py = Board.height - job.py;
  job.a = *pt;
  job.b = *pt;
  submitLine<runPoint>(job, true);
}
