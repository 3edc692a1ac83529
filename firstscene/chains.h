// Motion shared by the ring members and tubifex heads, and by their tails.
#pragma once

#include <algorithm>

#include "scene/cell.h"

// A head's move: the Euler step, then the follow (at min(2·age, 8)), then the
// speed clamp, so a member pulled back to its leader keeps its clamped speed.
inline void moveChainHead(Cell &o) {
  vector3MulAdd(FrameDelta, o.velocity, o.position, o.position);
  vector3MulAdd(FrameDelta, o.acceleration, o.velocity, o.velocity);
  followLeader(o, std::min(2.0f * o.age, 8.0f));
  clampSpeed(o);
}

// A tail segment's update: trail the leader at half the segment's age, be
// pulled toward the own follower, grow the tail by one segment until it
// reaches lastSpawningDepth + 1, age.
template <class T> void updateTailSegment(T &o, int lastSpawningDepth) {
  moveParticle(o);
  followLeader(o, 0.5f * o.age);

  o.acceleration = Vector3{0.0f, 0.0f, 0.0f};
  if (o.childCount != 0 && o.children[0]) {
    Vector3 toChild;
    vector3Sub(o.children[0]->position, o.position, toChild);
    vector3Scale(0.2f, toChild, o.acceleration);
  }

  if (o.childCount == 0 && o.depth <= lastSpawningDepth) {
    o.children[0] = T::create(o);
    o.childCount = 1;
  }
  ageToLifeSpan(o);
}

// A tail segment's place: near its leader, scattered by a tenth of a unit.
inline void placeNearLeader(Cell &o, const Cell &leader) {
  float x = randomSymmetric();
  float y = randomSymmetric();
  float z = randomSymmetric();
  Vector3 offset{x, y, z};
  vector3MulAdd(0.1f, offset, leader.position, o.position);
}
