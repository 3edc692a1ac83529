// Three-component float vectors and the small helpers the scenes build motion from.
//
// Argument order everywhere: scalar first, then the inputs, the output last.
// The component-wise operations (scale, add, sub, mulAdd) may write into one of
// their inputs; cross and orientToDirection need an output distinct from both.
#pragma once

struct Vector3 {
  float x, y, z;
};

// out = s·v
void vector3Scale(float s, const Vector3 &v, Vector3 &out);
// out = a + b
void vector3Add(const Vector3 &a, const Vector3 &b, Vector3 &out);
// out = a − b
void vector3Sub(const Vector3 &a, const Vector3 &b, Vector3 &out);
// out = s·a + b
void vector3MulAdd(float s, const Vector3 &a, const Vector3 &b, Vector3 &out);
float vector3Dot(const Vector3 &a, const Vector3 &b);
// out = a × b; out must not be a or b.
void vector3Cross(const Vector3 &a, const Vector3 &b, Vector3 &out);
float vector3Length(const Vector3 &v);
// Scales v to unit length and returns its former length. A vector whose squared
// length is below 1e-8 is left as it is and 0 is returned.
float vector3Normalize(Vector3 &v);
// Three fresh draws of programRand() (x, y, z in that order), each mapped to
// [−1, 1], then normalised: biased toward the cube's corners, not uniform.
void vector3RandomDirection(Vector3 &out);
// out = R·v for the rotation R that turns the +z axis onto the unit direction d
// and keeps the local x axis in the plane of d and the world x axis. A direction
// along the x axis gets the rotation (x, y, z) -> (d.x·z, y, −d.x·x).
// out must not be v or d.
void vector3OrientToDirection(const Vector3 &v, const Vector3 &d, Vector3 &out);
// base multiplied exponent times into 1, with 32-bit wrap-around; exponent 0 gives 1.
int intPower(int base, int exponent);
