#include "firstscene/meteors.h"

#include <numbers>

#include "firstscene/worms.h"
#include "math/trig.h"

namespace {
ObjectKindList<CellType8> Meteors;
KindSnapshot<CellType8> MeteorSnapshot;
ObjectKindList<CellType9> Sparks;
} // namespace

CellType8 *CellType8::create() {
  CellType8 *o = allocateObject<CellType8>();
  if (!o) return nullptr;
  o->kind = 8;
  o->size = 8.0f;
  o->maxSpeed = 60.0f;
  o->color = Rgb{255.0f, 220.0f, 255.0f};
  o->alpha = PeakAlpha;
  o->lifeSpan = 1e8f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  o->flickerFloor = 1.0f;
  randomPositionInCube(930.0f, *o);
  Meteors.push(o);
  return o;
}

void CellType8::setRenderState() { setGlowState(TextureId); }

void CellType8::update(CellType8 &o) {
  moveParticle(o);

  vector3Scale(-0.92f, o.position, o.acceleration);
  int count = 0;
  CellType2 *const *worms = CellType2::snapshot(count);
  steerToNearest(o, worms, count, 4000.0f, 1.0f);
  CellType8 *const *meteors = snapshot(count);
  steerToNearest(o, meteors, count, -34000.0f, 2.0f);

  CellType9::create(o);
  CellType9::create(o);
}

void CellType8::step() {
  setRenderState();
  stepKind(
      Meteors, [](CellType8 &o) { drawSprite(o); }, update, false);
}

void CellType8::clearKind() {
  Meteors.clearKind();
  MeteorSnapshot.invalidate();
}

CellType8 *const *CellType8::snapshot(int &count) { return MeteorSnapshot.take(Meteors, count); }

ObjectKindList<CellType8> &CellType8::list() { return Meteors; }

CellType9 *CellType9::create(Cell &meteor) {
  CellType9 *o = allocateObject<CellType9>();
  if (!o) return nullptr;
  o->kind = 9;
  o->size = 4.0f;
  o->maxSpeed = 65.0f;
  o->color = Rgb{250.0f, 155.0f, 10.0f};
  o->alpha = PeakAlpha;
  o->lifeSpan = 1.8f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.3f;
  o->flickerFloor = 0.5f;
  o->leader = &meteor;

  constexpr double pi = std::numbers::pi;
  float theta = static_cast<float>(randomUniform() * 2.0 * pi);
  float phi = static_cast<float>(randomUniform() * pi);
  float rho = tableCos(phi) * 0.01f;

  o->velocity = Vector3{0.0f, 0.0f, 0.0f};
  const Vector3 &m = meteor.position;
  o->position =
      Vector3{tableCos(theta) * rho + m.x, tableNegSin(theta) * rho + m.y, tableNegSin(phi) * 0.01f + m.z};

  vector3Scale(0.1f, meteor.velocity, o->velocity);
  Vector3 away;
  vector3Sub(o->position, meteor.position, away);
  vector3MulAdd(1500.0f, away, o->velocity, o->velocity);

  Sparks.push(o);
  return o;
}

void CellType9::setRenderState() { setGlowState(TextureId); }

void CellType9::update(CellType9 &o) {
  moveParticle(o);
  // The colour decays once per frame: green first, red once green is low.
  o.age += FrameDelta;
  o.color.g *= 0.85f;
  if (o.color.g < 15.0f) o.color.r *= 0.95f;
  if (o.age > o.lifeSpan) o.dead = 1;
}

void CellType9::step() {
  setRenderState();
  stepKind(
      Sparks, [](CellType9 &o) { drawSprite(o); }, update, true);
}

void CellType9::clearKind() { Sparks.clearKind(); }

ObjectKindList<CellType9> &CellType9::list() { return Sparks; }
