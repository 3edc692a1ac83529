#include "math/vector.h"

#include <cmath>
#include <cstdint>

#include "frame/random.h"

void vector3Scale(float s, const Vector3 &v, Vector3 &out) {
  out.x = s * v.x;
  out.y = s * v.y;
  out.z = s * v.z;
}

void vector3Add(const Vector3 &a, const Vector3 &b, Vector3 &out) {
  out.x = a.x + b.x;
  out.y = a.y + b.y;
  out.z = a.z + b.z;
}

void vector3Sub(const Vector3 &a, const Vector3 &b, Vector3 &out) {
  out.x = a.x - b.x;
  out.y = a.y - b.y;
  out.z = a.z - b.z;
}

void vector3MulAdd(float s, const Vector3 &a, const Vector3 &b, Vector3 &out) {
  out.x = s * a.x + b.x;
  out.y = s * a.y + b.y;
  out.z = s * a.z + b.z;
}

float vector3Dot(const Vector3 &a, const Vector3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void vector3Cross(const Vector3 &a, const Vector3 &b, Vector3 &out) {
  out.x = a.y * b.z - b.y * a.z;
  out.y = b.x * a.z - a.x * b.z;
  out.z = a.x * b.y - b.x * a.y;
}

float vector3Length(const Vector3 &v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

float vector3Normalize(Vector3 &v) {
  float q = v.x * v.x + v.y * v.y + v.z * v.z;
  if (static_cast<double>(q) < 1e-8) return 0.0f;
  float len = std::sqrt(q);
  float k = 1.0f / len;
  v.x *= k;
  v.y *= k;
  v.z *= k;
  return len;
}

static float randomSymmetric() {
  return static_cast<float>(1.0 - 2.0 * static_cast<double>(programRand()) / 32767.0);
}

void vector3RandomDirection(Vector3 &out) {
  // One draw per statement keeps the x, y, z order of the draws.
  out.x = randomSymmetric();
  out.y = randomSymmetric();
  out.z = randomSymmetric();
  vector3Normalize(out);
}

void vector3OrientToDirection(const Vector3 &v, const Vector3 &d, Vector3 &out) {
  float e = std::sqrt(d.y * d.y + d.z * d.z);
  float k = 1.0f / e;
  if (!std::isfinite(k)) {
    // d lies along the x axis: the general form divides by zero. Use the
    // rotation it tends to as d approaches the x axis from the z side:
    // local z -> d, local y stays, local x -> (0, 0, −d.x).
    out.x = d.x * v.z;
    out.y = v.y;
    out.z = -d.x * v.x;
    return;
  }
  out.x = e * v.x + d.x * v.z;
  out.y = (-d.x * d.y * v.x + d.z * v.y) * k + d.y * v.z;
  out.z = (-d.x * d.z * v.x - d.y * v.y) * k + d.z * v.z;
}

int intPower(int base, int exponent) {
  uint32_t result = 1;
  for (int i = 0; i < exponent; ++i) result *= static_cast<uint32_t>(base);
  return static_cast<int>(result);
}
