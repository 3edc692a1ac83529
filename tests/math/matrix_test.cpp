#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "math/matrix.h"

namespace {

void expectPoint(const Matrix4 &m, Vector3 p, Vector3 expected, float tol = 1e-6f) {
  Vector3 out;
  matrix4TransformPoint(p, m, out);
  EXPECT_NEAR(out.x, expected.x, tol);
  EXPECT_NEAR(out.y, expected.y, tol);
  EXPECT_NEAR(out.z, expected.z, tol);
}

void expectIdentity(const Matrix4 &m, float tol) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(m(r, c), r == c ? 1.0f : 0.0f, tol) << r << "," << c;
}

// A general affine matrix: rotation, non-uniform scaling, shear and translation.
Matrix4 generalAffine() {
  Matrix4 r, s, sh, t, a, b, out;
  matrix4RotationX(25.0f, r);
  matrix4Scaling(Vector3{2.0f, 0.5f, 3.0f}, s);
  matrix4ShearY(0.3f, -0.2f, sh);
  matrix4Translation(Vector3{4.0f, -5.0f, 6.0f}, t);
  matrix4Multiply(r, s, a);
  matrix4Multiply(a, sh, b);
  matrix4Multiply(t, b, out);
  return out;
}

TEST(Matrix4Build, RotationsTurnCounterClockwiseAboutTheirAxis) {
  Matrix4 m;
  matrix4RotationZ(90.0f, m);
  expectPoint(m, {1, 0, 0}, {0, 1, 0});
  matrix4RotationX(90.0f, m);
  expectPoint(m, {0, 1, 0}, {0, 0, 1});
  matrix4RotationY(90.0f, m);
  expectPoint(m, {0, 0, 1}, {1, 0, 0});
  // Rotations about one axis compose by adding their angles.
  Matrix4 a, b, ab, direct;
  matrix4RotationZ(30.0f, a);
  matrix4RotationZ(-75.0f, b);
  matrix4Multiply(a, b, ab);
  matrix4RotationZ(-45.0f, direct);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(ab.m[i], direct.m[i], 1e-6f);
}

TEST(Matrix4Build, ShearsAddTheNamedAxisIntoTheOthers) {
  Matrix4 m;
  matrix4ShearX(2.0f, 3.0f, m);
  expectPoint(m, {1, 1, 1}, {1, 3, 4});
  matrix4ShearY(2.0f, 3.0f, m);
  expectPoint(m, {1, 1, 1}, {3, 1, 4});
  matrix4ShearZ(2.0f, 3.0f, m);
  expectPoint(m, {1, 1, 1}, {3, 4, 1});
}

TEST(Matrix4Arith, ProductAppliesTheRightFactorFirst) {
  Matrix4 t, s, ts, st;
  matrix4Translation(Vector3{1, 2, 3}, t);
  matrix4Scaling(Vector3{2, 3, 4}, s);
  matrix4Multiply(t, s, ts);
  expectPoint(ts, {1, 1, 1}, {3, 5, 7}); // scaled, then moved
  matrix4Multiply(s, t, st);
  expectPoint(st, {1, 1, 1}, {4, 9, 16}); // moved, then scaled
}

TEST(Matrix4Arith, TransformsAgreeWithTransposeAndInverse) {
  Matrix4 m = generalAffine(), mt;
  matrix4Transpose(m, mt);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(mt(r, c), m(c, r));

  Vector3 v{0.5f, -1.5f, 2.0f}, a, b;
  matrix4TransformVectorTransposed(v, m, a);
  matrix4TransformVector(v, mt, b);
  EXPECT_FLOAT_EQ(a.x, b.x);
  EXPECT_FLOAT_EQ(a.y, b.y);
  EXPECT_FLOAT_EQ(a.z, b.z);

  // A direction ignores the translation, the four-float point carries w = 1.
  Vector3 p{1, 2, 3}, point, dir;
  float p4[4];
  matrix4TransformPoint(p, m, point);
  matrix4TransformVector(p, m, dir);
  matrix4TransformPoint4(p, m, p4);
  EXPECT_FLOAT_EQ(point.x - dir.x, m(0, 3));
  EXPECT_FLOAT_EQ(point.z - dir.z, m(2, 3));
  EXPECT_EQ(p4[0], point.x);
  EXPECT_EQ(p4[3], 1.0f);

  Matrix4 sum, diff;
  matrix4Add(m, mt, sum);
  matrix4Subtract(sum, mt, diff);
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(diff.m[i], m.m[i], 1e-6f);
}

TEST(Matrix4Inverse, RigidInverseUndoesARotationAndTranslation) {
  Matrix4 r, t, m, inv, product;
  matrix4RotationY(40.0f, r);
  matrix4Translation(Vector3{3, -1, 7}, t);
  matrix4Multiply(t, r, m);
  matrix4RigidInverse(m, inv);
  matrix4Multiply(m, inv, product);
  expectIdentity(product, 1e-6f);

  Vector3 p{2, 5, -4}, moved, back;
  matrix4TransformPoint(p, m, moved);
  matrix4InverseTransformPoint(moved, m, back);
  EXPECT_NEAR(back.x, p.x, 1e-5f);
  EXPECT_NEAR(back.y, p.y, 1e-5f);
  EXPECT_NEAR(back.z, p.z, 1e-5f);
}

TEST(Matrix4Inverse, AffineInverseOfTranslationAndGeneralMatrix) {
  Matrix4 t, inv;
  matrix4Translation(Vector3{1, 2, 3}, t);
  ASSERT_TRUE(matrix4AffineInverse(t, inv));
  Matrix4 expected;
  matrix4Translation(Vector3{-1, -2, -3}, expected);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(inv.m[i], expected.m[i]);

  Matrix4 m = generalAffine(), product;
  ASSERT_TRUE(matrix4AffineInverse(m, inv));
  matrix4Multiply(m, inv, product);
  expectIdentity(product, 1e-5f);

  // The bottom row is never read.
  Matrix4 skewed = m, inv2;
  skewed(3, 0) = 9.0f;
  skewed(3, 3) = -4.0f;
  ASSERT_TRUE(matrix4AffineInverse(skewed, inv2));
  EXPECT_EQ(std::memcmp(inv.m, inv2.m, sizeof inv.m), 0);
}

TEST(Matrix4Inverse, SingularityTestIsRelativeToTheTerms) {
  Matrix4 tiny, inv;
  matrix4Scaling(Vector3{1e-6f, 1e-6f, 1e-6f}, tiny);
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(matrix4AffineInverse(tiny, inv));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_NEAR(inv(0, 0), 1e6f, 1.0f);
  EXPECT_NEAR(inv(2, 2), 1e6f, 1.0f);
}

TEST(Matrix4Inverse, SingularMatrixIsReportedOnceAndLeavesTheOutputAlone) {
  Matrix4 m = generalAffine();
  m(1, 0) = m(1, 1) = m(1, 2) = 0.0f; // a zero row in the 3×3 part
  Matrix4 out;
  for (int i = 0; i < 16; ++i) out.m[i] = 42.0f + i;
  const Matrix4 before = out;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(matrix4AffineInverse(m, out));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), " Singular Matrix, cannot invert.\n");
  EXPECT_EQ(std::memcmp(out.m, before.m, sizeof out.m), 0);

  // Two rows nearly parallel: the determinant cancels to far below its terms.
  Matrix4 p;
  matrix4Identity(p);
  p(0, 0) = 1.0f;
  p(0, 1) = 2.0f;
  p(0, 2) = 3.0f;
  p(1, 0) = 2.0f;
  p(1, 1) = 4.0f;
  p(1, 2) = 6.0f;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(matrix4AffineInverse(p, out));
  ::testing::internal::GetCapturedStderr();
}

TEST(Matrix4Print, TitleThenFourTabSeparatedRows) {
  Matrix4 m;
  matrix4Identity(m);
  m(1, 3) = -2.5f;
  ::testing::internal::CaptureStderr();
  matrix4Print("M", m);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "M\n"
                                                      "       1\t       0\t       0\t       0\n"
                                                      "       0\t       1\t       0\t    -2.5\n"
                                                      "       0\t       0\t       1\t       0\n"
                                                      "       0\t       0\t       0\t       1\n");
}

} // namespace
