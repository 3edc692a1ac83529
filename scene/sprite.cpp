#include "scene/sprite.h"

#include "math/camera.h"
#include "math/clip.h"

namespace {

void setColour(ClipVertex &v, const Rgb &color, float alpha) {
  v[4] = color.r;
  v[5] = color.g;
  v[6] = color.b;
  v[7] = alpha;
}

} // namespace

void drawClipQuad(const Vector3 &at, float hw, float hh, const QuadTexture &tex, const Rgb &color,
                  float alpha) {
  float c[4];
  projectToClip(at, c);
  ClipVertex q[4];
  const float xs[4] = {c[0] - hw, c[0] - hw, c[0] + hw, c[0] + hw};
  const float ys[4] = {c[1] - hh, c[1] + hh, c[1] + hh, c[1] - hh};
  const float ss[4] = {tex.sLeft, tex.sLeft, tex.sRight, tex.sRight};
  const float ts[4] = {tex.tLower, tex.tUpper, tex.tUpper, tex.tLower};
  for (int i = 0; i < 4; ++i) {
    q[i][0] = xs[i];
    q[i][1] = ys[i];
    q[i][2] = c[2];
    q[i][3] = c[3];
    setColour(q[i], color, alpha);
    q[i][8] = ss[i];
    q[i][9] = ts[i];
  }
  ClipVertex *list[ClipMaxInput + 8] = {&q[0], &q[1], &q[2], &q[3]};
  int result = 0;
  drawPolygon3D(10, 4, list, result, list);
}

void drawTexturedLineAA(const Vector3 &a, const Vector3 &b, float sa, float ta, float sb, float tb,
                        const Rgb &color, float alpha) {
  ClipVertex va, vb;
  projectToClip(a, va.v);
  projectToClip(b, vb.v);
  setColour(va, color, alpha);
  setColour(vb, color, alpha);
  va[8] = sa;
  va[9] = ta;
  vb[8] = sb;
  vb[9] = tb;
  ClipVertex *list[ClipMaxInput + 8] = {&va, &vb};
  int result = 0;
  drawLineAA3D(10, 2, list, result, list);
}

int drawPlainLineAA(const Vector3 &a, const Vector3 &b, const Rgb &color, float alphaA, float alphaB) {
  ClipVertex va, vb;
  projectToClip(a, va.v);
  projectToClip(b, vb.v);
  setColour(va, color, alphaA);
  setColour(vb, color, alphaB);
  ClipVertex *list[ClipMaxInput + 8] = {&va, &vb};
  int result = 0;
  drawLineAA3D(8, 2, list, result, list);
  return result;
}
