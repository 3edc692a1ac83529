#include "firstscene/debris.h"

#include "glide/glide.h"
#include "math/trig.h"
#include "scene/sprite.h"

namespace {
ObjectKindList<CellType6> Debris;
} // namespace

CellType6 *CellType6::create() {
  CellType6 *o = allocateObject<CellType6>();
  if (!o) return nullptr;
  o->kind = 6;
  o->size = 8.0f;
  o->maxSpeed = 40.0f;
  o->color = Rgb{200.0f, 200.0f, 200.0f};
  o->alpha = PeakAlpha;
  o->lifeSpan = 1e8f;
  randomPositionInCube(300.0f, *o);
  o->previousPosition = o->position;
  Debris.push(o);
  return o;
}

void CellType6::setRenderState() {
  // Untextured lines in the vertex colour; the alpha source stays iterated.
  guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
}

void CellType6::draw(CellType6 &o) {
  int visible = drawPlainLineAA(o.position, o.previousPosition, o.color, o.alpha, o.alpha * 0.5f);
  if (visible < 2) randomPositionInCube(200.0f, o);
  o.previousPosition = o.position;
}

void CellType6::update(CellType6 &o) {
  moveParticle(o);
  float t = ElapsedSeconds;
  float ax = 5000.0f * tableNegSin(t * 0.41233f);
  float ay = 5000.0f * tableCos(-t * 0.29432f);
  o.acceleration = Vector3{ax, ay, -8000.0f};
}

void CellType6::step() {
  setRenderState();
  stepKind(Debris, draw, update, false);
}

void CellType6::clearKind() { Debris.clearKind(); }

ObjectKindList<CellType6> &CellType6::list() { return Debris; }
