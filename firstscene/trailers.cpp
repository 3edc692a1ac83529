#include "firstscene/trailers.h"

#include "firstscene/worms.h"

namespace {
ObjectKindList<CellType1> Trailers;
KindSnapshot<CellType1> TrailerSnapshot;
ObjectKindList<CellType4> Puffs;
} // namespace

CellType1 *CellType1::create() {
  CellType1 *o = allocateObject<CellType1>();
  if (!o) return nullptr;
  o->kind = 1;
  o->size = 17.0f;
  o->maxSpeed = 100.0f;
  o->color = Rgb{255.0f, 255.0f, 135.0f};
  o->alpha = PeakAlpha;
  o->lifeSpan = 1e8f;
  o->spawnChance = 0.8f;
  o->flicker = 0.9f;
  o->flickerAmplitude = 0.2f;
  o->flickerFloor = 0.6f;
  randomPositionInCube(400.0f, *o);
  o->velocity = Vector3{0.0f, 0.0f, 0.0f};
  Trailers.push(o);
  return o;
}

void CellType1::setRenderState() { setGlowState(TextureId); }

void CellType1::update(CellType1 &o) {
  moveParticle(o);

  vector3Scale(-1.0f, o.position, o.acceleration);
  int count = 0;
  CellType1 *const *trailers = snapshot(count);
  steerToNearest(o, trailers, count, -10000.0f, 1.0f);
  CellType2 *const *worms = CellType2::snapshot(count);
  steerToNearest(o, worms, count, -35000.0f, 2.0f);

  if (randomUniform() < o.spawnChance) CellType4::create(o);

  ageToLifeSpan(o);
}

void CellType1::step() {
  setRenderState();
  stepKind(
      Trailers, [](CellType1 &o) { drawSprite(o); }, update, false);
}

void CellType1::clearKind() {
  Trailers.clearKind();
  TrailerSnapshot.invalidate();
}

CellType1 *const *CellType1::snapshot(int &count) { return TrailerSnapshot.take(Trailers, count); }

ObjectKindList<CellType1> &CellType1::list() { return Trailers; }

CellType4 *CellType4::create(const Cell &trailer) {
  CellType4 *o = allocateObject<CellType4>();
  if (!o) return nullptr;
  o->kind = 4;
  o->size = 7.0f;
  o->maxSpeed = 64.0f;
  o->lifeSpan = 2.5f;
  o->flicker = 0.9f;
  o->flickerAmplitude = 0.0f;
  o->flickerFloor = 0.6f;
  randomBrightColor(*o);
  o->color.r *= 0.5f;
  o->color.g *= 0.5f;
  o->color.b *= 0.5f;
  o->position = trailer.position;
  o->velocity = trailer.velocity;
  Puffs.push(o);
  return o;
}

void CellType4::setRenderState() { setGlowState(TextureId); }

void CellType4::update(CellType4 &o) {
  moveParticle(o);
  // Damping and darkening are applied once per frame.
  vector3Scale(0.95f, o.velocity, o.velocity);
  o.age += FrameDelta;
  if (o.age > o.lifeSpan) o.dead = 1;
  if (o.age > 0.5f * o.lifeSpan) {
    o.flickerAmplitude = 0.25f;
    o.color.r *= 0.96f;
    o.color.g *= 0.96f;
    o.color.b *= 0.96f;
  }
}

void CellType4::step() {
  setRenderState();
  stepKind(
      Puffs, [](CellType4 &o) { drawSprite(o); }, update, true);
}

void CellType4::clearKind() { Puffs.clearKind(); }

ObjectKindList<CellType4> &CellType4::list() { return Puffs; }
