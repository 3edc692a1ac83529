// The accretion disk around the empty centre, and the shock ring a remnant
// sets off when it reaches the centre.
#pragma once

#include <cstdint>

#include "math/vector.h"
#include "scene/kindlist.h"
#include "scene/star.h"

// Largest radius of a shock-ring particle since the last ring ended; 0 when
// no ring is out. Disk particles inside it whiten and shrink away.
extern float RingRadius;

// A particle of matter spiralling into the centre.
struct StarType4 : Star {
  float orbitRadius = 0.0f; // distance from the centre

  StarType4(); // counts the live particles
  ~StarType4();
  StarType4(const StarType4 &) = delete;
  StarType4 &operator=(const StarType4 &) = delete;

  // A particle at (x, y, z) linked in; null when memory is exhausted.
  static StarType4 *create(float x, float y, float z);
  static ObjectKindList<StarType4> &list();
  static int32_t liveCount();
  // Disk particles swallowed since the last burst from the centre.
  static int32_t swallowCount();
  static void setSwallowCount(int32_t count);
  static void step();
  static void clearKind();
};

// A particle of the shock ring, moving out in the horizontal plane.
struct StarType6 : Star {
  float fade = 1.0f;   // colour factor applied every frame
  float radius = 0.0f; // distance from the centre, measured every frame

  // Starts at p and moves out at 250 times p per second.
  static StarType6 *create(const Vector3 &p);
  static ObjectKindList<StarType6> &list();
  static void step();
  static void clearKind();
};

// A spark thrown inward from the shock ring.
struct StarType7 : Star {
  // Starts at point moving at −1.5 times vector, coloured orange times brightness.
  static StarType7 *create(const Vector3 &point, const Vector3 &vector, float brightness);
  static ObjectKindList<StarType7> &list();
  static void step();
  static void clearKind();
};

void orbitDiskParticle(StarType4 &o);
void ageDiskParticle(StarType4 &o);
// Two rings of 64 sparks of one random colour from the centre.
void burstFromCentre();
void expandRing(StarType6 &o);
void scatterRingSparks(StarType6 &o);
