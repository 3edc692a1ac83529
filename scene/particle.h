// The kinematic base of every scene object, and the motion and force helpers
// the object classes of both scenes are built from.
#pragma once

#include <cmath>

#include "math/vector.h"
#include "frame/random.h"

// Colour on the board's 0..255 scale.
struct Rgb {
  float r, g, b;
};

struct Particle {
  Vector3 position{0.0f, 0.0f, 0.0f};
  Vector3 velocity{0.0f, 0.0f, 0.0f};     // world units per second
  Vector3 acceleration{0.0f, 0.0f, 0.0f}; // world units per second squared
  float maxSpeed = 1e8f;                  // bound on |velocity|, applied after every move
};

// A uniform number in [0, 1]: one draw of the program's generator over 32767.
inline float randomUniform() { return static_cast<float>(programRand()) / 32767.0f; }

// A symmetric number in [−1, 1]: 1 − 2·draw/32767.
inline float randomSymmetric() { return 1.0f - 2.0f * static_cast<float>(programRand()) / 32767.0f; }

// One explicit Euler step with the current FrameDelta (position from the old
// velocity, then velocity from the acceleration), then clampSpeed.
void moveParticle(Particle &o);

// Scales the velocity down to maxSpeed when it is longer; equal lengths stay.
void clampSpeed(Particle &o);

// Squared distance of the positions; 1e8 when a and b are the same object.
float distanceSquared(const Particle &a, const Particle &b);

// position = (r·s, r·s, r·s), three symmetric draws for x, y, z in turn.
void randomPositionInCube(float r, Particle &o);

// Adds to o's acceleration a pull (positive strength) or push (negative) toward
// the one member of set with the greatest weight 1/(L^exponent + 1), L being its
// distance. o itself is skipped; of equal weights the first in the set wins.
// A member sitting exactly on o acts along the raw (zero) difference.
template <class T>
void steerToNearest(Particle &o, T *const *set, int count, float strength, float exponent) {
  float best = -1e8f;
  Vector3 direction{0.0f, 0.0f, 0.0f};
  for (int i = 0; i < count; ++i) {
    const Particle *member = set[i];
    if (member == &o) continue;
    Vector3 d;
    vector3Sub(member->position, o.position, d);
    float length = vector3Normalize(d);
    float w = static_cast<float>(
        1.0 / (std::pow(static_cast<double>(length), static_cast<double>(exponent)) + 1.0));
    if (w > best) {
      best = w;
      direction = d;
    }
  }
  if (best > 1e-8f) vector3MulAdd(strength * best, direction, o.acceleration, o.acceleration);
}
