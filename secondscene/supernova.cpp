#include "secondscene/supernova.h"

#include <algorithm>

#include "frame/framestate.h"
#include "math/trig.h"
#include "math/vector.h"
#include "secondscene/director.h"
#include "secondscene/disk.h"
#include "secondscene/mainstar.h"
#include "secondscene/starlist.h"

namespace {
ObjectKindList<StarType5> Supernovae;
ObjectKindList<StarType3> Sparks;
ObjectKindList<StarType8> Remnants;
ObjectKindList<StarType9> RemnantSparks;
constexpr float Pi = 3.14159265358979323846f;
} // namespace

StarType5 *StarType5::create() {
  StarType5 *o = allocateObject<StarType5>();
  if (!o) return nullptr;
  o->kind = 0x105;
  o->size = 0.08f;
  o->maxSpeed = 100.0f;
  o->lifeSpan = 8.0f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 1.0f;
  o->flickerFloor = 0.0f;
  Supernovae.push(o);
  return o;
}

ObjectKindList<StarType5> &StarType5::list() { return Supernovae; }

void ageSupernova(StarType5 &o) {
  o.age += FrameDelta;
  // Two factors of 1.015 a frame until the first one passes 16.
  float grown = o.size * 1.015f;
  o.size = grown;
  if (grown > 16.0f)
    o.size = 16.0f;
  else
    o.size = grown * 1.015f;
  if (o.age > 0.8f * o.lifeSpan) {
    StarType3 *spark = StarType3::create();
    if (spark) {
      spark->position = o.position;
      Vector3 direction;
      vector3RandomDirection(direction);
      vector3Scale(5.0f, direction, spark->velocity);
      randomBrightColor(*spark);
    }
  }
  if (o.age > o.lifeSpan) {
    supernovaShock(o);
    o.dead = 1;
    StarType8::create(o);
    // Four new stars close by, whatever the capacity.
    for (int i = 0; i < 4; ++i) {
      StarType1 *star = StarType1::create();
      if (!star) continue;
      Vector3 q = star->position;
      vector3Normalize(q);
      vector3MulAdd(2.0f, q, o.position, star->position);
    }
  }
}

void supernovaShock(const StarType5 &o) {
  float reach = 6.0f * NeighbourDistance;
  float reachSquared = reach * reach;
  for (StarType1 *m = StarType1::list().head; m; m = nextStar(m)) {
    float d2 = distanceSquared(o, *m);
    if (d2 < reachSquared) m->life = std::min(m->life, 0.0025f * d2 + 6.0f);
  }
}

void StarType5::step() {
  setStarRenderState();
  for (StarType5 *o = Supernovae.head; o; o = nextStar(o)) drawSprite(*o);
  for (StarType5 *o = Supernovae.head; o; o = nextStar(o)) ageSupernova(*o);
  Supernovae.purgeDead();
}

void StarType5::clearKind() { Supernovae.clearKind(); }

StarType3 *StarType3::create() {
  StarType3 *o = allocateObject<StarType3>();
  if (!o) return nullptr;
  o->kind = 0x103;
  o->size = 0.6f;
  o->maxSpeed = 10.0f;
  o->lifeSpan = 1.5f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.4f;
  o->flickerFloor = 0.6f;
  Sparks.push(o);
  return o;
}

ObjectKindList<StarType3> &StarType3::list() { return Sparks; }

void StarType3::step() {
  setStarRenderState();
  for (StarType3 *o = Sparks.head; o; o = nextStar(o)) drawSprite(*o);
  for (StarType3 *o = Sparks.head; o; o = nextStar(o)) {
    moveParticle(*o);
    o->age += FrameDelta;
    if (o->age > o->lifeSpan) o->dead = 1;
    if (o->age > 0.5f * o->lifeSpan) o->alpha *= 0.9f;
    // The next move cuts the speed back to maxSpeed.
    vector3Scale(1.1f, o->velocity, o->velocity);
  }
  Sparks.purgeDead();
}

void StarType3::clearKind() { Sparks.clearKind(); }

StarType8 *StarType8::create(const Star &supernova) {
  StarType8 *o = allocateObject<StarType8>();
  if (!o) return nullptr;
  o->kind = 0x108;
  o->size = 1.0f;
  o->maxSpeed = 60.0f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  o->flickerFloor = 1.0f;
  o->color = Rgb{255.0f, 220.0f, 255.0f};
  o->position = supernova.position;
  o->scale = 1.02f;
  Remnants.push(o);
  return o;
}

ObjectKindList<StarType8> &StarType8::list() { return Remnants; }

void StarType8::step() {
  setStarRenderState();
  for (StarType8 *o = Remnants.head; o; o = nextStar(o)) drawSprite(*o);
  for (StarType8 *o = Remnants.head; o; o = nextStar(o)) {
    if (vector3Length(o->position) < 0.5f) {
      o->dead = 1;
      for (int i = 0; i < 32; ++i) {
        Vector3 p;
        vector3Scale(0.01f, RingXZ[i], p);
        StarType6::create(p);
      }
    }
    // The scale starts above 1 and shrinks: out first, then back in.
    o->position.x *= o->scale;
    o->position.y *= o->scale;
    o->position.z *= o->scale;
    o->scale *= 0.9999f;
    StarType9::create(*o);
    StarType9::create(*o);
  }
  Remnants.purgeDead();
}

void StarType8::clearKind() { Remnants.clearKind(); }

StarType9 *StarType9::create(const Star &remnant) {
  StarType9 *o = allocateObject<StarType9>();
  if (!o) return nullptr;
  o->kind = 0x109;
  o->size = 0.68f;
  o->maxSpeed = 65.0f;
  o->lifeSpan = 1.2f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.3f;
  o->flickerFloor = 0.5f;
  o->color = Rgb{250.0f, 155.0f, 10.0f};
  // A random point 0.01 from the remnant, left at speed 5 straight outward.
  float theta1 = randomUniform() * 2.0f * Pi;
  float theta2 = randomUniform() * Pi;
  float rho = tableCos(theta2) * 0.01f;
  const Vector3 &m = remnant.position;
  o->velocity = Vector3{0.0f, 0.0f, 0.0f};
  o->position = Vector3{tableCos(theta1) * rho + m.x, tableNegSin(theta1) * rho + m.y,
                        tableNegSin(theta2) * 0.01f + m.z};
  vector3Scale(0.1f, remnant.velocity, o->velocity);
  Vector3 offset;
  vector3Sub(o->position, m, offset);
  vector3MulAdd(500.0f, offset, o->velocity, o->velocity);
  RemnantSparks.push(o);
  return o;
}

ObjectKindList<StarType9> &StarType9::list() { return RemnantSparks; }

void StarType9::step() {
  setStarRenderState();
  for (StarType9 *o = RemnantSparks.head; o; o = nextStar(o)) drawSprite(*o);
  for (StarType9 *o = RemnantSparks.head; o; o = nextStar(o)) {
    moveParticle(*o);
    o->age += FrameDelta;
    if (o->age > o->lifeSpan) o->dead = 1;
    o->color.g *= 0.9f;
    if (o->color.g < 10.0f) o->color.r *= 0.9f;
  }
  RemnantSparks.purgeDead();
}

void StarType9::clearKind() { RemnantSparks.clearKind(); }
