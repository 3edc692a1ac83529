// Main stars (held on a sphere of radius 34, linked to their nearest
// neighbours) and the violet streams they send to them late in life.
#pragma once

#include <cstdint>

#include "scene/kindlist.h"
#include "scene/star.h"

struct StarType1;

// One candidate neighbour of a main star: null when empty.
struct NeighbourEntry {
  StarType1 *star;
  float distanceSquared;
};

struct StarType1 : Star {
  NeighbourEntry *neighbours = nullptr; // owned; nearest first after a rebuild
  float life = 0.0f;                    // seconds left
  int32_t neighbourSlots = 0;           // entries of neighbours: the capacity at birth

  StarType1(); // counts the live stars
  ~StarType1();
  StarType1(const StarType1 &) = delete;
  StarType1 &operator=(const StarType1 &) = delete;

  // A new main star linked in at the head; null when memory is exhausted.
  static StarType1 *create();
  static ObjectKindList<StarType1> &list();
  static int32_t liveCount();
  // ElapsedSeconds when a star was last marked to die as a supernova.
  static float lastMarkTime();
  static void setLastMarkTime(float t);
  static void step();
  static void clearKind();
};

// Creates 60 main stars when none is alive.
void ensureMainStars();
// Moves o toward or away from its neighbours, then back onto the sphere.
void attractToNeighbours(StarType1 &o);
// Counts down o's life: streams, swelling, shrinking and death.
void ageMainStar(StarType1 &o);
// A star with more than 30 s left gives 30 s to a new star beside it.
void splitMainStar(StarType1 &o);
// Refills o's array with every star, nearest first.
void rebuildNeighbours(StarType1 &o);
// Clears every array entry that points to dying.
void forgetStar(const StarType1 &dying);
// Clears every array entry that points to a star marked dead (forgetStar for
// all of them at once).
void forgetDeadStars();
// The star's sprite and a dark blue line to each neighbour.
void drawMainStar(StarType1 &o);

extern int32_t NeighbourCount;

// Calls f(neighbour) for the first NeighbourCount non-null entries of o.
template <class F> void forEachNeighbour(const StarType1 &o, F f) {
  if (NeighbourCount <= 0) return;
  int32_t taken = 0;
  for (int32_t i = 0; i < o.neighbourSlots; ++i) {
    StarType1 *n = o.neighbours[i].star;
    if (!n) continue;
    f(*n);
    if (++taken >= NeighbourCount) return;
  }
}

// A stream particle: flies from a star toward one of its neighbours.
struct StarType2 : Star {
  static StarType2 *create();
  static ObjectKindList<StarType2> &list();
  static void step();
  static void clearKind();
};
