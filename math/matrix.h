// 4×4 float matrices: stored row by row (entry 4·r + c is row r, column c),
// acting on column vectors standing to their right (p' = M·p), translation in
// column 3. matrix4Multiply(A, B) gives A·B, which applies B first.
//
// Every builder first sets the whole output to the identity. Rotation angles are
// in degrees and turn counter-clockwise seen from the positive end of the axis.
// Products, the transpose, the inverses and the transforms need an output
// distinct from every input.
#pragma once

#include "math/vector.h"

struct Matrix4 {
  float m[16];
  float &operator()(int row, int col) { return m[4 * row + col]; }
  float operator()(int row, int col) const { return m[4 * row + col]; }
};

void matrix4Identity(Matrix4 &out);
void matrix4Translation(const Vector3 &t, Matrix4 &out);
void matrix4Scaling(const Vector3 &s, Matrix4 &out);
void matrix4RotationX(float degrees, Matrix4 &out);
void matrix4RotationY(float degrees, Matrix4 &out);
void matrix4RotationZ(float degrees, Matrix4 &out);
// y' = y + a·x, z' = z + b·x
void matrix4ShearX(float a, float b, Matrix4 &out);
// x' = x + a·y, z' = z + b·y
void matrix4ShearY(float a, float b, Matrix4 &out);
// x' = x + a·z, y' = y + b·z
void matrix4ShearZ(float a, float b, Matrix4 &out);

// out = A·B
void matrix4Multiply(const Matrix4 &a, const Matrix4 &b, Matrix4 &out);
void matrix4Add(const Matrix4 &a, const Matrix4 &b, Matrix4 &out);
void matrix4Subtract(const Matrix4 &a, const Matrix4 &b, Matrix4 &out);
void matrix4Transpose(const Matrix4 &m, Matrix4 &out);
// Inverse of a rotation-plus-translation; exact only when the upper-left 3×3 is orthonormal.
void matrix4RigidInverse(const Matrix4 &m, Matrix4 &out);
// Inverse of an affine matrix (the bottom row is never read). A singular or badly
// conditioned matrix prints " Singular Matrix, cannot invert." on the standard
// error stream, leaves out untouched and returns false.
bool matrix4AffineInverse(const Matrix4 &m, Matrix4 &out);
// The title and the four rows on the standard error stream.
void matrix4Print(const char *title, const Matrix4 &m);

// out = upper three rows of M·(p, 1)
void matrix4TransformPoint(const Vector3 &p, const Matrix4 &m, Vector3 &out);
// out = M·(p, 1), all four rows (out[3] is the homogeneous w)
void matrix4TransformPoint4(const Vector3 &p, const Matrix4 &m, float out[4]);
// out = upper-left 3×3 of M times v (no translation)
void matrix4TransformVector(const Vector3 &v, const Matrix4 &m, Vector3 &out);
// out = transpose of the upper-left 3×3 of M times v
void matrix4TransformVectorTransposed(const Vector3 &v, const Matrix4 &m, Vector3 &out);
// The inverse of a rigid M applied to the point p.
void matrix4InverseTransformPoint(const Vector3 &p, const Matrix4 &m, Vector3 &out);
