#include "secondscene/disk.h"

#include <algorithm>
#include <cmath>

#include "frame/framestate.h"
#include "math/trig.h"
#include "math/vector.h"
#include "secondscene/director.h"
#include "secondscene/starlist.h"
#include "secondscene/supernova.h"

float RingRadius = 0.0f;

namespace {
ObjectKindList<StarType4> DiskParticles;
int32_t DiskParticleCount = 0;
int32_t SwallowCount = 0;
ObjectKindList<StarType6> RingParticles;
ObjectKindList<StarType7> RingSparks;
constexpr float Pi = 3.14159265358979323846f;
} // namespace

StarType4::StarType4() { ++DiskParticleCount; }

StarType4::~StarType4() { --DiskParticleCount; }

StarType4 *StarType4::create(float x, float y, float z) {
  StarType4 *o = allocateObject<StarType4>();
  if (!o) return nullptr;
  o->kind = 0x104;
  o->size = 0.8f;
  o->maxSpeed = 10.0f;
  o->lifeSpan = 15.0f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  o->flickerFloor = 1.0f;
  o->color.r = 0.0f;
  o->color.g = 0.0f;
  o->color.b = 150.0f;
  o->position = Vector3{x, y, z};
  o->orbitRadius = vector3Length(o->position);
  DiskParticles.push(o);
  return o;
}

ObjectKindList<StarType4> &StarType4::list() { return DiskParticles; }
int32_t StarType4::liveCount() { return DiskParticleCount; }
int32_t StarType4::swallowCount() { return SwallowCount; }
void StarType4::setSwallowCount(int32_t count) { SwallowCount = count; }

void orbitDiskParticle(StarType4 &o) {
  Vector3 tangent{-o.position.z, 0.0f, o.position.x};
  vector3Normalize(tangent);
  float along = o.age / o.lifeSpan;
  float stride = 12.0f * FrameDelta * (0.5f * along + 1.0f);
  o.position.x += stride * tangent.x;
  o.position.z += stride * tangent.z;
  o.position.y *= 0.95f;
  o.orbitRadius = (1.0f - along) * 34.0f;
  Vector3 direction = o.position;
  vector3Normalize(direction);
  vector3Scale(o.orbitRadius, direction, o.position);
}

void ageDiskParticle(StarType4 &o) {
  o.age += FrameDelta;
  if (o.age > o.lifeSpan || o.size < 0.25f) o.dead = 1;
  if (o.orbitRadius < RingRadius) {
    o.size *= 0.95f;
    o.color.r = std::min(o.color.r + 5.0f, 255.0f);
    o.color.g = std::min(o.color.g + 5.0f, 255.0f);
    o.color.b = std::min(o.color.b + 5.0f, 255.0f);
    return;
  }
  if (o.orbitRadius > 8.0f)
    o.size = std::min(o.size * 1.02f, 2.4f);
  else
    o.size = std::max(o.size * 0.95f, 0.8f);
  o.color.r = std::min(o.color.r + 1.5f, 255.0f);
  o.color.g = std::min(o.color.g + 1.0f, 215.0f);
  if (o.orbitRadius < 0.5f && randomUniform() < 0.1f) {
    ++SwallowCount;
    o.dead = 1;
    if (SwallowCount == 12) {
      SwallowCount = 0;
      burstFromCentre();
    }
  }
}

namespace {
void throwCentreSpark(const Star &colour, float speed, const Vector3 &direction) {
  StarType3 *spark = StarType3::create();
  if (!spark) return;
  spark->position = Vector3{0.0f, 0.0f, 0.0f};
  spark->color = colour.color;
  spark->alpha = colour.alpha;
  vector3Scale(speed, direction, spark->velocity);
}
} // namespace

// The ring is turned into the plane across a random axis (one along the x
// axis still gets a plane: vector3OrientToDirection handles it).
void burstFromCentre() {
  Star colour;
  randomBrightColor(colour);
  Vector3 axis;
  vector3RandomDirection(axis);
  for (int i = 0; i < 32; ++i) {
    Vector3 v;
    vector3OrientToDirection(RingXY[i], axis, v);
    throwCentreSpark(colour, 25.0f, v);
    throwCentreSpark(colour, 8.0f, v);
  }
}

void StarType4::step() {
  setStarRenderState();
  for (StarType4 *o = DiskParticles.head; o; o = nextStar(o)) drawSprite(*o);
  for (StarType4 *o = DiskParticles.head; o; o = nextStar(o)) {
    orbitDiskParticle(*o);
    ageDiskParticle(*o);
  }
  DiskParticles.purgeDead();
}

void StarType4::clearKind() { DiskParticles.clearKind(); }

StarType6 *StarType6::create(const Vector3 &p) {
  StarType6 *o = allocateObject<StarType6>();
  if (!o) return nullptr;
  o->kind = 0x106;
  o->size = 1.0f;
  o->maxSpeed = 160.0f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.1f;
  o->flickerFloor = 0.7f;
  o->color.r = 255.0f;
  o->color.g = 250.0f;
  o->color.b = 245.0f;
  o->position = p;
  vector3Scale(250.0f, p, o->velocity);
  o->fade = 1.0f;
  o->radius = 0.0f;
  RingParticles.push(o);
  return o;
}

ObjectKindList<StarType6> &StarType6::list() { return RingParticles; }

void expandRing(StarType6 &o) {
  o.radius = vector3Length(o.position);
  RingRadius = std::max(RingRadius, o.radius);
  o.color.r *= o.fade;
  o.color.g *= o.fade;
  o.color.b *= o.fade;
  o.fade *= 0.9997f;
  if (o.radius < 12.0f) {
    o.size = 0.16f * o.radius + 0.8f;
  } else if (o.radius > 33.0f) {
    o.dead = 1;
    RingRadius = 0.0f;
  } else {
    o.size *= 0.91f;
  }
}

void scatterRingSparks(StarType6 &o) {
  if (randomUniform() >= 0.5f) return;
  float theta = randomUniform() * 2.0f * Pi;
  float x = tableCos(theta) * o.radius;
  float y = randomSymmetric() * 0.03f * o.radius;
  float z = tableNegSin(theta) * o.radius;
  StarType7::create(Vector3{x, y, z}, o.velocity, (1.0f - o.radius / 33.0f) * 0.7f + 0.3f);
}

void StarType6::step() {
  setStarRenderState();
  for (StarType6 *o = RingParticles.head; o; o = nextStar(o)) drawSprite(*o);
  for (StarType6 *o = RingParticles.head; o; o = nextStar(o)) {
    moveParticle(*o);
    expandRing(*o);
    scatterRingSparks(*o);
  }
  RingParticles.purgeDead();
}

void StarType6::clearKind() { RingParticles.clearKind(); }

StarType7 *StarType7::create(const Vector3 &point, const Vector3 &vector, float brightness) {
  StarType7 *o = allocateObject<StarType7>();
  if (!o) return nullptr;
  o->kind = 0x107;
  o->size = 0.78f;
  o->maxSpeed = 65.0f;
  o->lifeSpan = 1.0f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.3f;
  o->flickerFloor = 0.5f;
  o->color.r = brightness * 255.0f;
  o->color.g = brightness * 150.0f;
  o->color.b = brightness * 10.0f;
  o->position = point;
  vector3Scale(-1.5f, vector, o->velocity);
  RingSparks.push(o);
  return o;
}

ObjectKindList<StarType7> &StarType7::list() { return RingSparks; }

void StarType7::step() {
  setStarRenderState();
  for (StarType7 *o = RingSparks.head; o; o = nextStar(o)) drawSprite(*o);
  for (StarType7 *o = RingSparks.head; o; o = nextStar(o)) {
    moveParticle(*o);
    o->age += FrameDelta;
    if (o->age > o->lifeSpan) o->dead = 1;
    o->color.g *= 0.9f;
    if (o->color.g < 10.0f) o->color.r *= 0.9f;
  }
  RingSparks.purgeDead();
}

void StarType7::clearKind() { RingSparks.clearKind(); }
