// Clipping in homogeneous clip space and the drawing of polygons, lines and
// points through the board.
//
// A primitive is a closed list of pointers to ClipVertex records: a list of
// count vertices holds count + 1 pointers, the last repeating the first. The
// clipper cuts it against −w ≤ x ≤ w, −w ≤ y ≤ w, −w ≤ z ≤ 0, interpolating the
// first n floats of every vertex at the cuts, and the drawers convert what is
// left to screen records and make one board call.
#pragma once

#include "glide/glide.h"

// Clip-space x, y, z, w, then colour r, g, b, alpha (0..255), texture s, t (texels).
struct ClipVertex {
  float v[12];
  float &operator[](int i) { return v[i]; }
  float operator[](int i) const { return v[i]; }
};

// The board's vertex record.
typedef GrVertex ScreenVertex;

// Vertices made at the cuts live in a pool that every clipping call reuses, so
// pointers into it stay valid only until the next clipping call.
constexpr int ClipPoolSize = 40;
// Longest list the clipper handles (the temporary list's length).
constexpr int ClipListSize = 40;
// Each stage adds at most one vertex to a convex polygon, so the output list
// needs count + 7 slots. Inputs of more than 33 vertices, float counts outside
// 0..12, and polygons whose clipping would outgrow the pool or the lists are
// refused: resultCount 0, nothing drawn.
constexpr int ClipMaxInput = 33;

// Runs the six stages (x min, x max, y min, y max, far, near). in and out may be
// the same array. resultCount 0 means nothing is visible.
void clipPolygon3D(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);
// Clips, then draws the result as one polygon.
void drawPolygon3D(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);
// Clips a two-vertex line, then draws the visible segment.
void drawLine3D(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);
// The same with the board's anti-aliased line.
void drawLineAA3D(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);
// One anti-aliased point when the vertex lies in the view volume.
bool drawPointAA(const ClipVertex &v);
// w ≥ 0 and −w ≤ x ≤ w and −w ≤ y ≤ w and −w ≤ z ≤ 0.
bool insideClipVolume(const ClipVertex &v);

// Draws entries 0..count−1 as one polygon; nothing when count < 3 (or above 39).
void emitPolygon(int count, ClipVertex *list[]);
// Draws the segment between entries 0 and 1; nothing when count < 2.
void emitLine(bool antialiased, int count, ClipVertex *list[]);

// Screen position from clip space: x = ((x/w)·(cx − 0.1) + BoardSnapBias) + cx,
// the same for y with cy; the bias snaps to 1/16 pixel and stays in the
// coordinates handed to the board. 1/w is scaled by 1/65500.
// clipToScreen reads 10 floats (x y z w r g b a s t) and writes x, y, 1/w, r, g,
// b, a and unit 0's s/w, t/w; the variants read fewer and write less.
void clipToScreen(const float *v, ScreenVertex &out);
// 4 floats (x y z w): x, y, 1/w only.
void clipToScreenXY(const float *v, ScreenVertex &out);
// 7 floats (x y z w r g b): also r, g, b.
void clipToScreenRGB(const float *v, ScreenVertex &out);
// 9 floats (x y z w r g b s t): also r, g, b and s/w, t/w.
void clipToScreenRGBUV(const float *v, ScreenVertex &out);
inline void clipToScreen(const ClipVertex &v, ScreenVertex &out) { clipToScreen(v.v, out); }

// The single stages: closed list in, closed list out (distinct arrays).
void clipXMin(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);
void clipXMax(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);
void clipYMin(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);
void clipYMax(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);
void clipZFar(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);
void clipZNear(int n, int count, ClipVertex *in[], int &resultCount, ClipVertex *out[]);

// The board's four draw calls as the drawers reach them; the defaults are the
// board's own functions. Tests may point them elsewhere to see what is drawn.
struct BoardDrawCalls {
  void (*drawPolygon)(int nverts, const int ilist[], const GrVertex vlist[]);
  void (*drawLine)(const GrVertex *a, const GrVertex *b);
  void (*aaDrawLine)(const GrVertex *a, const GrVertex *b);
  void (*aaDrawPoint)(const GrVertex *p);
};
extern BoardDrawCalls BoardDraw;
// Puts the board's own functions back.
void resetBoardDrawCalls();
