#include "scene/particle.h"

#include "frame/framestate.h"

void moveParticle(Particle &o) {
  vector3MulAdd(FrameDelta, o.velocity, o.position, o.position);
  vector3MulAdd(FrameDelta, o.acceleration, o.velocity, o.velocity);
  clampSpeed(o);
}

void clampSpeed(Particle &o) {
  float length = vector3Length(o.velocity);
  if (length > o.maxSpeed) vector3Scale(o.maxSpeed / length, o.velocity, o.velocity);
}

float distanceSquared(const Particle &a, const Particle &b) {
  if (&a == &b) return 1e8f;
  float dx = a.position.x - b.position.x;
  float dy = a.position.y - b.position.y;
  float dz = a.position.z - b.position.z;
  return dx * dx + dy * dy + dz * dz;
}

void randomPositionInCube(float r, Particle &o) {
  float x = randomSymmetric();
  float y = randomSymmetric();
  float z = randomSymmetric();
  o.position = Vector3{r * x, r * y, r * z};
}
