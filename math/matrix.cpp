#include "math/matrix.h"

#include <cmath>
#include <cstdio>
#include <numbers>

void matrix4Identity(Matrix4 &out) {
  for (int i = 0; i < 16; ++i) out.m[i] = 0.0f;
  out.m[0] = out.m[5] = out.m[10] = out.m[15] = 1.0f;
}

void matrix4Translation(const Vector3 &t, Matrix4 &out) {
  matrix4Identity(out);
  out.m[3] = t.x;
  out.m[7] = t.y;
  out.m[11] = t.z;
}

void matrix4Scaling(const Vector3 &s, Matrix4 &out) {
  matrix4Identity(out);
  out.m[0] = s.x;
  out.m[5] = s.y;
  out.m[10] = s.z;
}

// Cosine and sine of an angle in degrees, from the library (not the tables).
static void degreesCosSin(float degrees, float &c, float &s) {
  double radians = degrees * std::numbers::pi * (1.0 / 180.0);
  c = static_cast<float>(std::cos(radians));
  s = static_cast<float>(std::sin(radians));
}

void matrix4RotationX(float degrees, Matrix4 &out) {
  float c, s;
  degreesCosSin(degrees, c, s);
  matrix4Identity(out);
  out.m[5] = c;
  out.m[6] = -s;
  out.m[9] = s;
  out.m[10] = c;
}

void matrix4RotationY(float degrees, Matrix4 &out) {
  float c, s;
  degreesCosSin(degrees, c, s);
  matrix4Identity(out);
  out.m[0] = c;
  out.m[2] = s;
  out.m[8] = -s;
  out.m[10] = c;
}

void matrix4RotationZ(float degrees, Matrix4 &out) {
  float c, s;
  degreesCosSin(degrees, c, s);
  matrix4Identity(out);
  out.m[0] = c;
  out.m[1] = -s;
  out.m[4] = s;
  out.m[5] = c;
}

void matrix4ShearX(float a, float b, Matrix4 &out) {
  matrix4Identity(out);
  out.m[4] = a;
  out.m[8] = b;
}

void matrix4ShearY(float a, float b, Matrix4 &out) {
  matrix4Identity(out);
  out.m[1] = a;
  out.m[9] = b;
}

void matrix4ShearZ(float a, float b, Matrix4 &out) {
  matrix4Identity(out);
  out.m[2] = a;
  out.m[6] = b;
}

void matrix4Multiply(const Matrix4 &a, const Matrix4 &b, Matrix4 &out) {
  for (int r = 3; r >= 0; --r) {
    for (int c = 3; c >= 0; --c) {
      out.m[4 * r + c] = a.m[4 * r + 0] * b.m[c] + a.m[4 * r + 1] * b.m[4 + c] + a.m[4 * r + 2] * b.m[8 + c] +
                         a.m[4 * r + 3] * b.m[12 + c];
    }
  }
}

void matrix4Add(const Matrix4 &a, const Matrix4 &b, Matrix4 &out) {
  for (int i = 0; i < 16; ++i) out.m[i] = a.m[i] + b.m[i];
}

void matrix4Subtract(const Matrix4 &a, const Matrix4 &b, Matrix4 &out) {
  for (int i = 0; i < 16; ++i) out.m[i] = a.m[i] - b.m[i];
}

void matrix4Transpose(const Matrix4 &m, Matrix4 &out) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out.m[4 * r + c] = m.m[4 * c + r];
}

void matrix4RigidInverse(const Matrix4 &m, Matrix4 &out) {
  matrix4Identity(out);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) out(r, c) = m(c, r);
    out(r, 3) = -(m(0, r) * m(0, 3) + m(1, r) * m(1, 3) + m(2, r) * m(2, 3));
  }
}

bool matrix4AffineInverse(const Matrix4 &m, Matrix4 &out) {
  const double a00 = m(0, 0), a01 = m(0, 1), a02 = m(0, 2);
  const double a10 = m(1, 0), a11 = m(1, 1), a12 = m(1, 2);
  const double a20 = m(2, 0), a21 = m(2, 1), a22 = m(2, 2);

  // The determinant's six terms, split by sign so that the singularity test is
  // relative to the size of the terms rather than to an absolute threshold.
  const double terms[6] = {a00 * a11 * a22,  a01 * a12 * a20,  a02 * a10 * a21,
                           -a02 * a11 * a20, -a01 * a10 * a22, -a00 * a12 * a21};
  double pos = 0.0, neg = 0.0;
  for (double term : terms) {
    if (term >= 0.0)
      pos += term;
    else
      neg += term;
  }
  const double det = pos + neg;
  if (det == 0.0 || std::fabs(det / (pos - neg)) < 1e-15) {
    std::fputs(" Singular Matrix, cannot invert.\n", stderr);
    return false;
  }
  const double r = 1.0 / det;

  out(0, 0) = static_cast<float>((a11 * a22 - a12 * a21) * r);
  out(0, 1) = static_cast<float>(-(a01 * a22 - a02 * a21) * r);
  out(0, 2) = static_cast<float>((a01 * a12 - a02 * a11) * r);
  out(1, 0) = static_cast<float>(-(a10 * a22 - a12 * a20) * r);
  out(1, 1) = static_cast<float>((a00 * a22 - a02 * a20) * r);
  out(1, 2) = static_cast<float>(-(a00 * a12 - a02 * a10) * r);
  out(2, 0) = static_cast<float>((a10 * a21 - a11 * a20) * r);
  out(2, 1) = static_cast<float>(-(a00 * a21 - a01 * a20) * r);
  out(2, 2) = static_cast<float>((a00 * a11 - a01 * a10) * r);
  out(3, 0) = out(3, 1) = out(3, 2) = 0.0f;
  const float tx = m(0, 3), ty = m(1, 3), tz = m(2, 3);
  for (int i = 0; i < 3; ++i) out(i, 3) = -(tx * out(i, 0) + ty * out(i, 1) + tz * out(i, 2));
  out(3, 3) = 1.0f;
  return true;
}

void matrix4Print(const char *title, const Matrix4 &m) {
  std::fprintf(stderr, "%s\n", title);
  for (int r = 0; r < 4; ++r) {
    std::fprintf(stderr, "%8.6g\t%8.6g\t%8.6g\t%8.6g\n", m(r, 0), m(r, 1), m(r, 2), m(r, 3));
  }
}

void matrix4TransformPoint(const Vector3 &p, const Matrix4 &m, Vector3 &out) {
  out.x = m.m[0] * p.x + m.m[1] * p.y + m.m[2] * p.z + m.m[3];
  out.y = m.m[4] * p.x + m.m[5] * p.y + m.m[6] * p.z + m.m[7];
  out.z = m.m[8] * p.x + m.m[9] * p.y + m.m[10] * p.z + m.m[11];
}

void matrix4TransformPoint4(const Vector3 &p, const Matrix4 &m, float out[4]) {
  out[0] = m.m[0] * p.x + m.m[1] * p.y + m.m[2] * p.z + m.m[3];
  out[1] = m.m[4] * p.x + m.m[5] * p.y + m.m[6] * p.z + m.m[7];
  out[2] = m.m[8] * p.x + m.m[9] * p.y + m.m[10] * p.z + m.m[11];
  out[3] = m.m[12] * p.x + m.m[13] * p.y + m.m[14] * p.z + m.m[15];
}

void matrix4TransformVector(const Vector3 &v, const Matrix4 &m, Vector3 &out) {
  out.x = m.m[0] * v.x + m.m[1] * v.y + m.m[2] * v.z;
  out.y = m.m[4] * v.x + m.m[5] * v.y + m.m[6] * v.z;
  out.z = m.m[8] * v.x + m.m[9] * v.y + m.m[10] * v.z;
}

void matrix4TransformVectorTransposed(const Vector3 &v, const Matrix4 &m, Vector3 &out) {
  out.x = m.m[0] * v.x + m.m[4] * v.y + m.m[8] * v.z;
  out.y = m.m[1] * v.x + m.m[5] * v.y + m.m[9] * v.z;
  out.z = m.m[2] * v.x + m.m[6] * v.y + m.m[10] * v.z;
}

void matrix4InverseTransformPoint(const Vector3 &p, const Matrix4 &m, Vector3 &out) {
  const float t[3] = {m(0, 3), m(1, 3), m(2, 3)};
  float result[3];
  for (int i = 0; i < 3; ++i) {
    result[i] =
        (m(0, i) * p.x + m(1, i) * p.y + m(2, i) * p.z) - (m(0, i) * t[0] + m(1, i) * t[1] + m(2, i) * t[2]);
  }
  out.x = result[0];
  out.y = result[1];
  out.z = result[2];
}
