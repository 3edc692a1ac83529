// Triangle set-up: a polygon call's vertices to fixed point, the planes and
// iterators of its triangles, and the fan they make, drawn as one convex
// shape where its triangles share their iterators.
#include "glide/setup.h"

#include <algorithm>

#include "glide/boardstate.h"
#include "glide/glide.h"
#include "glide/shapes.h"
#include "glide/tracewrite.h"

namespace {

inline FixedVertex fixVertex(const GrVertex *v) {
  FixedVertex f;
  f.X = toSixteenths(v->x);
  f.Y = toSixteenths(v->y);
  if (Board.origin == GR_ORIGIN_UPPER_LEFT) f.Y = (int64_t)Board.height * 16 - f.Y;
  f.v = v;
  return f;
}

struct PlaneBasis {
  double x0, y0, ex1, ey1, ex2, ey2, inv;
  Plane make(double v0, double v1, double v2) const {
    Plane p;
    p.base = v0;
    p.dx = ((v1 - v0) * ey2 - (v2 - v0) * ey1) * inv;
    p.dy = ((v2 - v0) * ex1 - (v1 - v0) * ex2) * inv;
    return p;
  }
};

inline bool samePlane(const Plane &a, const Plane &b) {
  return a.base == b.base && a.dx == b.dx && a.dy == b.dy;
}

// Whether two sets of planes hold the same values (those their texture mode uses).
inline bool samePlanes(const Planes &a, const Planes &b) {
  if (a.x0 != b.x0 || a.y0 != b.y0 || a.texMode != b.texMode || !samePlane(a.r, b.r) ||
      !samePlane(a.g, b.g) || !samePlane(a.b, b.b) || !samePlane(a.a, b.a))
    return false;
  if (a.texMode == TexNone) return true;
  return samePlane(a.s, b.s) && samePlane(a.t, b.t) && (a.texMode != TexPerspective || samePlane(a.w, b.w));
}

} // namespace

bool makePlanes(const FixedVertex &a, const FixedVertex &b, const FixedVertex &c, int texMode, float scale,
                Planes &out) {
  int64_t det16 = (b.X - a.X) * (c.Y - a.Y) - (c.X - a.X) * (b.Y - a.Y);
  if (det16 == 0) return false;
  PlaneBasis k;
  k.x0 = a.X / 16.0;
  k.y0 = a.Y / 16.0;
  k.ex1 = (b.X - a.X) / 16.0;
  k.ey1 = (b.Y - a.Y) / 16.0;
  k.ex2 = (c.X - a.X) / 16.0;
  k.ey2 = (c.Y - a.Y) / 16.0;
  k.inv = 256.0 / (double)det16;
  out.x0 = k.x0;
  out.y0 = k.y0;
  const GrVertex *va = a.v, *vb = b.v, *vc = c.v;
  out.r = k.make(va->r, vb->r, vc->r);
  out.g = k.make(va->g, vb->g, vc->g);
  out.b = k.make(va->b, vb->b, vc->b);
  out.a = k.make(va->a, vb->a, vc->a);
  out.texMode = texMode;
  if (texMode == TexAffine) {
    double m = (double)scale / (double)va->oow * 65536.0;
    out.s = k.make(va->tmuvtx[0].sow * m - 32768.0, vb->tmuvtx[0].sow * m - 32768.0,
                   vc->tmuvtx[0].sow * m - 32768.0);
    out.t = k.make(va->tmuvtx[0].tow * m - 32768.0, vb->tmuvtx[0].tow * m - 32768.0,
                   vc->tmuvtx[0].tow * m - 32768.0);
  } else if (texMode == TexPerspective) {
    out.s = k.make(va->tmuvtx[0].sow, vb->tmuvtx[0].sow, vc->tmuvtx[0].sow);
    out.t = k.make(va->tmuvtx[0].tow, vb->tmuvtx[0].tow, vc->tmuvtx[0].tow);
    out.w = k.make(va->oow, vb->oow, vc->oow);
  }
  return true;
}

Iterators makeIterators(const Pipe &p, const Planes &pl, int64_t xr, int64_t yr) {
  Iterators its;
  SpanIter &base = its.base;
  const double cx = xr + 0.5, cy = yr + 0.5;
  base.r = fixed16(evalPlane(pl.r, pl, cx, cy));
  base.dr = fixed16(pl.r.dx);
  its.rY = fixed16(pl.r.dy);
  base.g = fixed16(evalPlane(pl.g, pl, cx, cy));
  base.dg = fixed16(pl.g.dx);
  its.gY = fixed16(pl.g.dy);
  base.b = fixed16(evalPlane(pl.b, pl, cx, cy));
  base.db = fixed16(pl.b.dx);
  its.bY = fixed16(pl.b.dy);
  base.a = fixed16(evalPlane(pl.a, pl, cx, cy));
  base.da = fixed16(pl.a.dx);
  its.aY = fixed16(pl.a.dy);
  base.flat = base.dr == 0 && base.dg == 0 && base.db == 0 && base.da == 0 && its.rY == 0 && its.gY == 0 &&
              its.bY == 0 && its.aY == 0;
  base.u = base.v = base.du = base.dv = 0;
  base.sw = base.tw = base.w = base.dsw = base.dtw = base.dw = 0.0f;
  base.scale = p.tex ? p.tex->scale : 1.0f;
  base.texMode = pl.texMode;
  its.u0 = its.v0 = its.uX = its.vX = its.uY = its.vY = 0;
  if (pl.texMode == TexAffine) {
    auto nearest = [](double v) { return fixed16(v / 65536.0); }; // already fixed point
    its.u0 = nearest(evalPlane(pl.s, pl, cx, cy));
    its.v0 = nearest(evalPlane(pl.t, pl, cx, cy));
    its.uX = nearest(pl.s.dx);
    its.vX = nearest(pl.t.dx);
    its.uY = nearest(pl.s.dy);
    its.vY = nearest(pl.t.dy);
    base.du = clamp32(its.uX);
    base.dv = clamp32(its.vX);
  }
  return its;
}

// The anchor of a shape: the first pixel of its bounding box on the screen.
void anchorOf(const FixedVertex *v, int n, int64_t &xr, int64_t &yr) {
  int64_t minX = v[0].X, minY = v[0].Y;
  for (int i = 1; i < n; ++i) {
    minX = std::min(minX, v[i].X);
    minY = std::min(minY, v[i].Y);
  }
  xr = std::max<int64_t>(0, ceilDiv(minX - 8, 16));
  yr = std::max<int64_t>(0, ceilDiv(minY - 8, 16));
}

namespace {

// Whether the polygon is strictly convex; its winding in sign (+1 counter-clockwise).
bool strictlyConvex(const FixedVertex *v, int n, int &sign) {
  sign = 0;
  for (int i = 0; i < n; ++i) {
    int64_t turn = signedArea(v[i], v[(i + 1) % n], v[(i + 2) % n]);
    int s = turn > 0 ? 1 : (turn < 0 ? -1 : 0);
    if (s == 0 || (sign != 0 && s != sign)) return false;
    sign = s;
  }
  // Turns all one way can still wind round more than once (a star): going
  // round once, x and y each change direction exactly twice.
  auto reversals = [&](bool alongX) {
    int count = 0, last = 0;
    for (int i = 0; i <= n; ++i) {
      const FixedVertex &a = v[i % n], &b = v[(i + 1) % n];
      int64_t d = alongX ? b.X - a.X : b.Y - a.Y;
      int s = d > 0 ? 1 : (d < 0 ? -1 : 0);
      if (s == 0) continue;
      if (last != 0 && s != last) ++count;
      last = s;
    }
    return count;
  };
  return reversals(true) <= 2 && reversals(false) <= 2;
}

int texModeFor(const Pipe &p, const GrVertex *const *v, int n) {
  if (!p.useTexture || !p.tex) return TexNone;
  for (int i = 1; i < n; ++i)
    if (v[i]->oow != v[0]->oow) return TexPerspective;
  return v[0]->oow != 0.0f ? TexAffine : TexPerspective;
}

// Whether the cull mode drops a shape of this winding (+1 counter-clockwise).
bool culledWinding(int64_t area) {
  if (Board.cullMode == GR_CULL_DISABLE) return false;
  return Board.cullMode == GR_CULL_NEGATIVE ? area < 0 : area > 0;
}

// Draws a polygon as the fan of triangles from its first vertex, every triangle
// anchored at the polygon's anchor; with shared planes (the planar form) every
// triangle takes those. A strictly convex polygon whose triangles come out with
// the same iterators is drawn in one pass: the same pixels, fewer spans.
void drawFan(const Pipe &p, const FixedVertex *fv, int n, const Planes *shared) {
  int64_t xr, yr;
  anchorOf(fv, n, xr, yr);
  const float scale = p.tex ? p.tex->scale : 1.0f;
  int sign;
  if (n >= 4 && !boardReferencePipelineForced() && strictlyConvex(fv, n, sign)) {
    if (culledWinding(sign)) return;
    Planes planes;
    bool merge = true;
    Iterators its;
    if (shared) {
      planes = *shared;
      its = makeIterators(p, planes, xr, yr);
    } else {
      const GrVertex *all[MaxPolygon];
      for (int i = 0; i < n; ++i) all[i] = fv[i].v;
      const int texMode = texModeFor(p, all, n);
      merge = texMode != TexPerspective;
      for (int i = 1; merge && i + 1 < n; ++i) {
        Planes pl;
        makePlanes(fv[0], fv[i], fv[i + 1], texMode, scale, pl);
        if (i == 1) {
          planes = pl;
          its = makeIterators(p, pl, xr, yr);
        } else {
          // The same planes give the same iterators (a rectangle's two
          // triangles usually have them).
          merge = samePlanes(pl, planes) || makeIterators(p, pl, xr, yr).sameAs(its);
        }
      }
    }
    if (merge) {
      FixedVertex ordered[MaxPolygon];
      for (int i = 0; i < n; ++i) ordered[i] = sign > 0 ? fv[i] : fv[n - 1 - i];
      rasterConvex(p, ordered, n, planes, its, xr, yr);
      return;
    }
  }
  for (int i = 1; i + 1 < n; ++i) {
    const FixedVertex &a = fv[0], &b = fv[i], &c = fv[i + 1];
    if (culledWinding(signedArea(a, b, c))) continue;
    if (shared) {
      rasterTriangle(p, a, b, c, *shared, xr, yr);
      continue;
    }
    const GrVertex *vs[3] = {a.v, b.v, c.v};
    Planes planes;
    if (makePlanes(a, b, c, texModeFor(p, vs, 3), scale, planes)) rasterTriangle(p, a, b, c, planes, xr, yr);
  }
}

} // namespace

// Polygons of more than MaxPolygon vertices draw their first MaxPolygon.
void grDrawPolygon(int nverts, const int ilist[], const GrVertex vlist[]) {
  if (BoardTraceFile && nverts > 0 && !Board.skipSwaps)
    traceCall(TraceCall::GrDrawPolygon, {TraceValue::vertexList(nverts, ilist, vlist)});
  if (!boardDrawing() || nverts < 3) return;
  Pipe p = makePipe();
  const int n = std::min(nverts, MaxPolygon);
  FixedVertex fv[MaxPolygon];
  for (int i = 0; i < n; ++i) fv[i] = fixVertex(&vlist[ilist[i]]);
  drawFan(p, fv, n, nullptr);
}

void grDrawPlanarPolygon(int nverts, const int ilist[], const GrVertex vlist[]) {
  if (BoardTraceFile && nverts > 0 && !Board.skipSwaps)
    traceCall(TraceCall::GrDrawPlanarPolygon, {TraceValue::vertexList(nverts, ilist, vlist)});
  if (!boardDrawing() || nverts < 3) return;
  Pipe p = makePipe();
  const int n = std::min(nverts, MaxPolygon);
  FixedVertex fv[MaxPolygon];
  const GrVertex *all[MaxPolygon];
  for (int i = 0; i < n; ++i) {
    all[i] = &vlist[ilist[i]];
    fv[i] = fixVertex(all[i]);
  }
  // The gradients of the first triangle that is not degenerate serve them all.
  const int texMode = texModeFor(p, all, n);
  Planes planes;
  bool have = false;
  for (int i = 1; i + 1 < n && !have; ++i)
    have = makePlanes(fv[0], fv[i], fv[i + 1], texMode, p.tex ? p.tex->scale : 1.0f, planes);
  if (have) drawFan(p, fv, n, &planes);
}
