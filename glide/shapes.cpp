// Edge walking: each row's span of a convex shape from exact integer edge
// functions under the top-left fill rule, and the shapes drawn with it.
#include "glide/shapes.h"

#include <algorithm>
#include <new>

#include "glide/spans.h"
#include "glide/workers.h"

namespace {

// Follows q = ceil(N / D) while N grows by a fixed step each row.
struct CeilStepper {
  int64_t q, r, D, stepQ, stepR; // N = q * D - r, 0 <= r < D
  void start(int64_t N, int64_t d, int64_t step) {
    D = d;
    q = ceilDiv(N, D);
    r = q * D - N;
    stepQ = ceilDiv(step, D);
    stepR = stepQ * D - step;
  }
  void advance() {
    q += stepQ;
    r += stepR;
    if (r >= D) {
      r -= D;
      q -= 1;
    }
  }
};

// A pixel centre (px, py) in sixteenths is inside an edge of a
// counter-clockwise triangle when dx * (py - Y0) - dy * (px - X0) + bias >= 0,
// bias 0 on left and top edges and -1 on the others (which own no centre on them).
struct EdgeWalk {
  int kind; // +1: bounds x from below, -1: from above, 0: horizontal
  CeilStepper s;
  int64_t k, kStep; // horizontal edges: k + bias >= 0 inside
};

void setupEdge(const FixedVertex &from, const FixedVertex &to, int64_t firstRow, EdgeWalk &e) {
  int64_t dx = to.X - from.X, dy = to.Y - from.Y;
  int64_t bias = (dy < 0 || (dy == 0 && dx < 0)) ? 0 : -1;
  int64_t py = 16 * firstRow + 8;
  // k(py) = dx * (py - Y0) + dy * X0 + bias; inside: k - dy * px >= 0.
  int64_t k = dx * (py - from.Y) + dy * from.X + bias;
  int64_t kStep = 16 * dx;
  if (dy < 0) {
    // px >= ceil(-k / a) with a = -dy; x = ceil((px_min - 8) / 16), so
    // x >= ceil((-k - 8a) / 16a).
    int64_t a = -dy;
    e.kind = 1;
    e.s.start(-k - 8 * a, 16 * a, -kStep);
  } else if (dy > 0) {
    // px <= floor(k / dy); x <= floor((k - 8 dy) / 16 dy) = -ceil((8 dy - k) / 16 dy).
    e.kind = -1;
    e.s.start(8 * dy - k, 16 * dy, -kStep);
  } else {
    e.kind = 0;
    e.k = k;
    e.kStep = kStep;
  }
}

struct ConvexShape {
  Pipe p;
  Planes pl;
  Iterators its;
  int64_t xr, yr, y0, y1, bx0, bx1;
  SpanFn span;
  bool sprite; // an upright glow (uprightGlow), drawn by runSprite
  int n;       // vertices, which follow the record
  const FixedVertex *v() const { return reinterpret_cast<const FixedVertex *>(this + 1); }
  FixedVertex *v() { return reinterpret_cast<FixedVertex *>(this + 1); }
};

// Calls row(y, lo, hi) for each row y of the shape that the pipe's band
// owns with pixels lo to hi inside it.
template <class Row> void eachRow(const ConvexShape &s, const Pipe &p, Row row) {
  const int n = s.n;
  EdgeWalk edges[MaxPolygon];
  // Edges start exactly at any row, so a band starts at its own first row.
  const int64_t y0 = std::max<int64_t>(s.y0, p.band.first);
  const int64_t y1 = std::min<int64_t>(s.y1, p.band.last);
  for (int i = 0; i < n; ++i) setupEdge(s.v()[i], s.v()[(i + 1) % n], y0, edges[i]);
  // An edge that keeps its column from row to row (an upright one) bounds
  // every row alike. When every edge is upright or level, as a glow
  // sprite's are, the rows share one span, and only the level edges are
  // followed from row to row.
  int64_t boxLo = s.bx0, boxHi = s.bx1;
  int levels[MaxPolygon], levelCount = 0;
  bool boxed = true;
  for (int i = 0; i < n && boxed; ++i) {
    const EdgeWalk &e = edges[i];
    if (e.kind == 0)
      levels[levelCount++] = i;
    else if (e.s.stepQ != 0 || e.s.stepR != 0)
      boxed = false;
    else if (e.kind > 0)
      boxLo = std::max(boxLo, e.s.q);
    else
      boxHi = std::min(boxHi, -e.s.q);
  }
  if (boxed) {
    if (boxLo > boxHi) return;
    // Row y0 + j is inside a level edge while k + j kStep >= 0: from a first
    // row on when the edge bounds the shape from below, up to a last when
    // from above.
    int64_t first = y0, last = y1;
    for (int k = 0; k < levelCount; ++k) {
      const EdgeWalk &e = edges[levels[k]];
      if (e.kStep > 0)
        first = std::max(first, y0 + ceilDiv(-e.k, e.kStep));
      else if (e.kStep < 0)
        last = std::min(last, y0 + floorDiv(e.k, -e.kStep));
      else if (e.k < 0)
        return;
    }
    for (int64_t y = first; y <= last; ++y) row(y, boxLo, boxHi);
    return;
  }
  for (int64_t y = y0; y <= y1; ++y) {
    int64_t lo = s.bx0, hi = s.bx1;
    bool empty = false;
    for (int i = 0; i < n; ++i) {
      EdgeWalk &e = edges[i];
      if (e.kind > 0) {
        lo = std::max(lo, e.s.q);
        e.s.advance();
      } else if (e.kind < 0) {
        hi = std::min(hi, -e.s.q);
        e.s.advance();
      } else {
        empty |= e.k < 0;
        e.k += e.kStep;
      }
    }
    if (!empty && lo <= hi) row(y, lo, hi);
  }
}

// The rows of the shape that the pipe's band owns.
void runConvex(const ConvexShape &s, const Pipe &p) {
  const Plane &ps = s.pl.s, &pt = s.pl.t, &pw = s.pl.w;
  const SpanIter &base = s.its.base;
  const Iterators &its = s.its;
  eachRow(
      s, p, [&](int64_t y, int64_t lo, int64_t hi) __attribute__((always_inline)) {
        SpanIter it = base;
        const int64_t ox = lo - s.xr, oy = y - s.yr;
        it.r = base.r + ox * base.dr + oy * its.rY;
        it.g = base.g + ox * base.dg + oy * its.gY;
        it.b = base.b + ox * base.db + oy * its.bY;
        it.a = base.a + ox * base.da + oy * its.aY;
        if (s.pl.texMode == TexAffine) {
          it.u = clamp32(its.u0 + ox * its.uX + oy * its.uY);
          it.v = clamp32(its.v0 + ox * its.vX + oy * its.vY);
        } else if (s.pl.texMode == TexPerspective) {
          const double px = lo + 0.5, pyc = y + 0.5;
          it.sw = (float)evalPlane(ps, s.pl, px, pyc);
          it.tw = (float)evalPlane(pt, s.pl, px, pyc);
          it.w = (float)evalPlane(pw, s.pl, px, pyc);
          it.dsw = (float)ps.dx;
          it.dtw = (float)pt.dx;
          it.dw = (float)pw.dx;
        }
        s.span(p, (int)lo, (int)hi, (int)y, it);
      });
}

// Whether the shape is an upright glow sprite that runSprite may draw: a
// flat colour times an affine 565 texture, v fixed along each row and u down
// each column, every tap inside the texture's border, added (source alpha,
// one) without dither, with 256-bit vectors or wider.
bool uprightGlow(const ConvexShape &s) {
  const Pipe &p = s.p;
  const Iterators &its = s.its;
  if (s.span != GlowSpan || p.ditherMode != GR_DITHER_DISABLE || SpanVectorBits < 256 || its.vX != 0 ||
      its.uY != 0 || !p.tex->bilinear || p.tex->texels565.empty())
    return false;
  auto inside = [](int64_t a, int64_t b, int64_t limit) {
    return std::min(a, b) >= -65536 && std::max(a, b) <= limit;
  };
  return inside(its.u0 + (s.bx0 - s.xr) * its.uX, its.u0 + (s.bx1 - s.xr) * its.uX,
                ((int64_t)p.tex->width << 16) - 1) &&
         inside(its.v0 + (s.y0 - s.yr) * its.vY, its.v0 + (s.y1 - s.yr) * its.vY,
                ((int64_t)p.tex->height << 16) - 1);
}

// The rows of an upright glow sprite that the pipe's band owns, each drawn
// only where its taps have some colour (adding black leaves an undithered
// pixel as it was), gathered up and drawn a batch at a time.
void runSprite(const ConvexShape &s, const Pipe &p) {
  const BoardTexture &t = *p.tex;
  const Iterators &its = s.its;
  const SpanIter &base = s.its.base;
  const SpriteLook look{
      base.du, t.pitch, flatChannel(base.r), flatChannel(base.g), flatChannel(base.b), flatChannel(base.a)};
  if (!p.alphaPass[look.alpha]) return;
  // A channel adds nothing where its filtered texel is below `dark`: its
  // product with the colour, then with the alpha, is 0. Where every tap is
  // darker than the darkest channel's bound, the pixel stays as it was.
  const int mostAdded = 255 / (look.alpha + 1); // the largest product the alpha takes to 0
  int dark = 256;
  for (int c : {look.red, look.green, look.blue}) dark = std::min(dark, ((mostAdded + 1) * 256 - 1) / (c + 1) + 1);
  if (dark > 255) return; // no texel adds anything
  int level = 0;
  while (level + 1 < BoardTexture::LitLevels && (2 << level) <= dark) ++level;
  const BoardTexture::LitColumns *litRows = t.lit.data() + (size_t)level * (t.height + 1);
  const uint16_t *inside = t.texels565.data() + t.pitch + 1;
  const VectorSpans &wide = SpanVectorBits >= 512 ? Spans512 : Spans256;
  const auto draw = wide.spriteRows;
  constexpr int Batch = 64;
  SpriteRow rows[Batch];
  int n = 0;
  // The pixels whose taps lie in the last lit columns looked up: found by
  // comparing a narrow sprite's columns, else by dividing.
  const StepDivider by(its.uX);
  const int64_t width = s.bx1 - s.bx0 + 1;
  const bool compared = width >= 1 && width <= 64 && wide.litColumns;
  ColumnTable table;
  if (compared) {
    table.valid = width == 64 ? ~(uint64_t)0 : ((uint64_t)1 << width) - 1;
    const int64_t du = its.uX;
    int64_t u = its.u0 + (s.bx0 - s.xr) * du;
    for (int64_t k = 0; k < width; ++k, u += du) table.column[k] = (int16_t)((u >> 16) + 1);
    std::fill(table.column + width, table.column + 64, (int16_t)0);
  }
  BoardTexture::LitColumns seen{1, 0};
  int64_t litFirst = 0, litLast = -1;
  eachRow(
      s, p, [&](int64_t y, int64_t lo, int64_t hi) __attribute__((always_inline)) {
        const int32_t v = (int32_t)(its.v0 + (y - s.yr) * its.vY);
        const BoardTexture::LitColumns lit = litRows[(v >> 16) + 1];
        if (lit.first != seen.first || lit.last != seen.last) {
          seen = lit;
          if (compared) {
            int64_t first, last;
            const bool any = wide.litColumns(table, lit, first, last);
            litFirst = s.bx0 + (any ? first : 0);
            litLast = any ? s.bx0 + last : litFirst - 1;
          } else {
            litFirst = s.bx0;
            litLast = s.bx1;
            if (!litSteps(lit, its.u0 - s.xr * its.uX, its.uX, by, litFirst, litLast)) litLast = litFirst - 1;
          }
        }
        const int64_t x0 = std::max(lo, litFirst), x1 = std::min(hi, litLast);
        if (x0 > x1) return;
        rows[n++] =
            SpriteRow{p.target + (size_t)y * p.width + x0, inside + (v >> 16) * t.pitch,
                      (int32_t)(its.u0 + (x0 - s.xr) * its.uX), (int)(x1 - x0 + 1), (v & 0xFFFF) >> 8};
        if (n == Batch) {
          draw(rows, n, look);
          n = 0;
        }
      });
  if (n > 0) draw(rows, n, look);
}

// The rows of the shape that the pipe's band owns, each the way the shape
// is drawn.
void runShape(const ConvexShape &s, const Pipe &p) {
  if (s.sprite)
    runSprite(s, p);
  else
    runConvex(s, p);
}

void runConvexJob(const void *job, const Band &band) {
  const ConvexShape &s = *static_cast<const ConvexShape *>(job);
  Pipe p = s.p;
  p.band = band;
  runShape(s, p);
}

} // namespace

// Rasterises the convex polygon v[0..n-1], counter-clockwise with y up: at
// once on one thread, or recorded for the drawing threads.
void rasterConvex(const Pipe &p, const FixedVertex *v, int n, const Planes &pl, const Iterators &its,
                  int64_t xr, int64_t yr) {
  int64_t minX = v[0].X, maxX = v[0].X, minY = v[0].Y, maxY = v[0].Y;
  for (int i = 1; i < n; ++i) {
    minX = std::min(minX, v[i].X);
    maxX = std::max(maxX, v[i].X);
    minY = std::min(minY, v[i].Y);
    maxY = std::max(maxY, v[i].Y);
  }
  const int64_t y0 = std::max<int64_t>(0, ceilDiv(minY - 8, 16));
  const int64_t y1 = std::min<int64_t>(p.height - 1, floorDiv(maxY - 8, 16));
  const int64_t bx0 = std::max<int64_t>(0, ceilDiv(minX - 8, 16));
  const int64_t bx1 = std::min<int64_t>(p.width - 1, floorDiv(maxX - 8, 16));
  if (y0 > y1 || bx0 > bx1) return;
  Pipe q = p;
  SpanFn span = pickSpan(q, pl.texMode, its.base, (bx1 - bx0 + 1) * (y1 - y0 + 1));
  if (!span) return;
  const size_t bytes = sizeof(ConvexShape) + sizeof(FixedVertex) * (size_t)n;
  alignas(16) unsigned char local[sizeof(ConvexShape) + sizeof(FixedVertex) * MaxPolygon];
  const bool record = boardRecording();
  ConvexShape *s = new (record ? boardRecordJob(runConvexJob, bytes, (int)y0, (int)y1) : local) ConvexShape;
  s->p = q;
  s->pl = pl;
  s->its = its;
  s->xr = xr;
  s->yr = yr;
  s->y0 = y0;
  s->y1 = y1;
  s->bx0 = bx0;
  s->bx1 = bx1;
  s->span = span;
  s->n = n;
  for (int i = 0; i < n; ++i) s->v()[i] = v[i];
  s->sprite = uprightGlow(*s);
  if (!record) runShape(*s, s->p);
}

// One triangle with its planes, anchored at (xr, yr).
void rasterTriangle(const Pipe &p, FixedVertex a, FixedVertex b, FixedVertex c, const Planes &pl, int64_t xr,
                    int64_t yr) {
  int64_t area = signedArea(a, b, c);
  if (area == 0) return;
  if (area < 0) std::swap(b, c);
  const FixedVertex v[3] = {a, b, c};
  rasterConvex(p, v, 3, pl, makeIterators(p, pl, xr, yr), xr, yr);
}
