#include "math/clip.h"

#include "frame/framestate.h"
#include "glide/extension.h"

BoardDrawCalls BoardDraw = {grDrawPolygon, grDrawLine, grAADrawLine, grAADrawPoint};

void resetBoardDrawCalls() { BoardDraw = {grDrawPolygon, grDrawLine, grAADrawLine, grAADrawPoint}; }

namespace {

// Scratch shared by every clipping call: cut vertices and the list the stages
// alternate with the caller's output.
ClipVertex ClipVertexPool[ClipPoolSize];
int PoolUsed = 0;
ClipVertex *TempList[ClipListSize];

// The most vertices a stage may leave in its output. clipPolygon3D tightens it
// to what the caller's output list was promised to hold.
int StageLimit = ClipListSize - 1;

enum class Plane { XMin, XMax, YMin, YMax, ZFar, ZNear };

template <Plane P> inline float distance(const ClipVertex &v) {
  if constexpr (P == Plane::XMin) return v.v[0] + v.v[3];
  if constexpr (P == Plane::XMax) return v.v[3] - v.v[0];
  if constexpr (P == Plane::YMin) return v.v[1] + v.v[3];
  if constexpr (P == Plane::YMax) return v.v[3] - v.v[1];
  if constexpr (P == Plane::ZFar) return v.v[2] + v.v[3];
  return -v.v[2];
}

// Where along r→s the edge meets the plane, from the stage's own coordinates.
template <Plane P> inline float cutParameter(const ClipVertex &r, const ClipVertex &s) {
  if constexpr (P == Plane::XMin) return -(r.v[0] + r.v[3]) / ((s.v[0] - r.v[0]) + (s.v[3] - r.v[3]));
  if constexpr (P == Plane::XMax) return (r.v[0] - r.v[3]) / ((r.v[0] - r.v[3]) - (s.v[0] - s.v[3]));
  if constexpr (P == Plane::YMin) return -(r.v[1] + r.v[3]) / ((s.v[1] - r.v[1]) + (s.v[3] - r.v[3]));
  if constexpr (P == Plane::YMax) return (r.v[1] - r.v[3]) / ((r.v[1] - r.v[3]) - (s.v[1] - s.v[3]));
  if constexpr (P == Plane::ZFar) return -(r.v[2] + r.v[3]) / ((s.v[2] - r.v[2]) + (s.v[3] - r.v[3]));
  return -r.v[2] / (s.v[2] - r.v[2]);
}

// A new vertex at the cut, or nullptr when the pool is spent.
template <Plane P> inline ClipVertex *cutVertex(int n, const ClipVertex &r, const ClipVertex &s) {
  if (PoolUsed >= ClipPoolSize) return nullptr;
  ClipVertex *v = &ClipVertexPool[PoolUsed++];
  const float t = cutParameter<P>(r, s);
  for (int k = 0; k < n; ++k) v->v[k] = r.v[k] + (s.v[k] - r.v[k]) * t;
  return v;
}

// One stage: walks the edges of the closed list in and writes the closed list out.
// Refuses (result 0) when the output would outgrow StageLimit or the pool.
template <Plane P> void clipStage(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  int result = 0;
  const int limit = StageLimit;
  float dr = count > 0 ? distance<P>(*in[0]) : 0.0f;
  for (int j = 0; j < count; ++j) {
    ClipVertex *r = in[j];
    ClipVertex *s = in[j + 1];
    const float ds = distance<P>(*s);
    if (dr < 0.0f) {
      if (ds > 0.0f) {
        ClipVertex *v = result < limit ? cutVertex<P>(n, *r, *s) : nullptr;
        if (!v) {
          resultCount = 0;
          return;
        }
        out[result++] = v;
      }
    } else {
      if (result >= limit) {
        resultCount = 0;
        return;
      }
      out[result++] = r;
      if (ds < 0.0f) {
        ClipVertex *v = result < limit ? cutVertex<P>(n, *r, *s) : nullptr;
        if (!v) {
          resultCount = 0;
          return;
        }
        out[result++] = v;
      }
    }
    dr = ds;
  }
  out[result] = out[0];
  resultCount = result;
}

// One bit per plane the vertex lies strictly outside of (distance below 0).
inline unsigned outsideCode(const ClipVertex &v) {
  const float x = v.v[0], y = v.v[1], z = v.v[2], w = v.v[3];
  return (x + w < 0.0f ? 1u : 0u) | (w - x < 0.0f ? 2u : 0u) | (y + w < 0.0f ? 4u : 0u) |
         (w - y < 0.0f ? 8u : 0u) | (z + w < 0.0f ? 16u : 0u) | (-z < 0.0f ? 32u : 0u);
}

} // namespace

void clipXMin(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  clipStage<Plane::XMin>(n, count, in, resultCount, out);
}
void clipXMax(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  clipStage<Plane::XMax>(n, count, in, resultCount, out);
}
void clipYMin(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  clipStage<Plane::YMin>(n, count, in, resultCount, out);
}
void clipYMax(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  clipStage<Plane::YMax>(n, count, in, resultCount, out);
}
void clipZFar(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  clipStage<Plane::ZFar>(n, count, in, resultCount, out);
}
void clipZNear(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  clipStage<Plane::ZNear>(n, count, in, resultCount, out);
}

void clipPolygon3D(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  PoolUsed = 0;
  resultCount = 0;
  if (n < 0 || n > 12 || count < 1 || count > ClipMaxInput) return;
  in[count] = in[0];

  // Most primitives lie wholly inside the volume or wholly beyond one of its
  // planes; the stages would pass the first through unchanged and reduce the
  // second to nothing, so settle both from the vertices' outcodes.
  unsigned all = 0x3F, any = 0;
  for (int j = 0; j < count; ++j) {
    const unsigned code = outsideCode(*in[j]);
    all &= code;
    any |= code;
  }
  if (all != 0) return;
  if (any == 0) {
    if (out != in)
      for (int j = 0; j <= count; ++j) out[j] = in[j];
    resultCount = count;
    return;
  }

  // A convex polygon gains at most one vertex per stage; the caller's output
  // list holds count + 7 entries, the temporary list 40.
  StageLimit = count + 6 < ClipListSize - 1 ? count + 6 : ClipListSize - 1;
  int c = count;
  clipStage<Plane::XMin>(n, c, in, c, TempList);
  if (c > 0) clipStage<Plane::XMax>(n, c, TempList, c, out);
  if (c > 0) clipStage<Plane::YMin>(n, c, out, c, TempList);
  if (c > 0) clipStage<Plane::YMax>(n, c, TempList, c, out);
  if (c > 0) clipStage<Plane::ZFar>(n, c, out, c, TempList);
  if (c > 0) clipStage<Plane::ZNear>(n, c, TempList, c, out);
  StageLimit = ClipListSize - 1;
  resultCount = c;
}

bool insideClipVolume(const ClipVertex &v) {
  const float x = v.v[0], y = v.v[1], z = v.v[2], w = v.v[3];
  return w >= 0.0f && -w <= x && x <= w && -w <= y && y <= w && -w <= z && z <= 0.0f;
}

namespace {

// x, y and 1/w, shared by every conversion.
inline void screenPosition(const float *v, ScreenVertex &out) {
  const float k = 1.0f / v[3];
  out.x = static_cast<float>((static_cast<double>(v[0] * k) * (ScreenCenterX - 0.1) + BoardSnapBias) +
                             ScreenCenterX);
  out.y = static_cast<float>((static_cast<double>(v[1] * k) * (ScreenCenterY - 0.1) + BoardSnapBias) +
                             ScreenCenterY);
  out.oow = static_cast<float>(k * 1.5267175572519083e-05);
}

// The fields the conversions leave alone, given fixed values in the records the
// drawers build so that the board never sees stale stack contents.
inline void fillUnusedFields(ScreenVertex &out) {
  out.z = 0.0f;
  out.ooz = 0.0f;
  out.tmuvtx[0].oow = out.oow;
  out.tmuvtx[1].sow = out.tmuvtx[0].sow;
  out.tmuvtx[1].tow = out.tmuvtx[0].tow;
  out.tmuvtx[1].oow = out.oow;
}

} // namespace

void clipToScreen(const float *v, ScreenVertex &out) {
  screenPosition(v, out);
  out.r = v[4];
  out.g = v[5];
  out.b = v[6];
  out.a = v[7];
  out.tmuvtx[0].sow = v[8] * out.oow;
  out.tmuvtx[0].tow = v[9] * out.oow;
}

void clipToScreenXY(const float *v, ScreenVertex &out) { screenPosition(v, out); }

void clipToScreenRGB(const float *v, ScreenVertex &out) {
  screenPosition(v, out);
  out.r = v[4];
  out.g = v[5];
  out.b = v[6];
}

void clipToScreenRGBUV(const float *v, ScreenVertex &out) {
  screenPosition(v, out);
  out.r = v[4];
  out.g = v[5];
  out.b = v[6];
  out.tmuvtx[0].sow = v[7] * out.oow;
  out.tmuvtx[0].tow = v[8] * out.oow;
}

namespace {

// The screen record of a vertex whose first n floats are set (the caller's,
// or the clipper's at a cut): the floats past n read as zero, so the board
// never sees what nobody wrote.
void screenVertexOf(int n, const ClipVertex &v, ScreenVertex &out) {
  float given[10] = {};
  for (int k = 0; k < n && k < 10; ++k) given[k] = v.v[k];
  clipToScreen(given, out);
  fillUnusedFields(out);
}

void emitPolygonOf(int n, int count, ClipVertex *list[]) {
  if (count < 3 || count > ClipListSize - 1) return;
  int indices[ClipListSize];
  ScreenVertex vertices[ClipListSize - 1];
  for (int i = 0; i < count; ++i) {
    indices[i] = i;
    screenVertexOf(n, *list[i], vertices[i]);
  }
  indices[count] = 0;
  BoardDraw.drawPolygon(count, indices, vertices);
}

void emitLineOf(int n, bool antialiased, int count, ClipVertex *list[]) {
  if (count < 2) return;
  ScreenVertex a, b;
  screenVertexOf(n, *list[0], a);
  screenVertexOf(n, *list[1], b);
  if (antialiased)
    BoardDraw.aaDrawLine(&a, &b);
  else
    BoardDraw.drawLine(&a, &b);
}

} // namespace

void emitPolygon(int count, ClipVertex *list[]) { emitPolygonOf(10, count, list); }

void emitLine(bool antialiased, int count, ClipVertex *list[]) { emitLineOf(10, antialiased, count, list); }

void drawPolygon3D(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  clipPolygon3D(n, count, in, resultCount, out);
  emitPolygonOf(n, resultCount, out);
}

void drawLine3D(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  clipPolygon3D(n, count, in, resultCount, out);
  emitLineOf(n, false, resultCount, out);
}

void drawLineAA3D(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]) {
  clipPolygon3D(n, count, in, resultCount, out);
  emitLineOf(n, true, resultCount, out);
}

bool drawPointAA(const ClipVertex &v) {
  if (!insideClipVolume(v)) return false;
  ScreenVertex p;
  clipToScreen(v.v, p);
  fillUnusedFields(p);
  BoardDraw.aaDrawPoint(&p);
  return true;
}
