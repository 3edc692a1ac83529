#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numbers>

#include "math/trig.h"
#include "math/vector.h"
#include "frame/random.h"

namespace {

constexpr float Pi = std::numbers::pi_v<float>;

class TrigTables : public ::testing::Test {
protected:
  static void SetUpTestSuite() { initTrigTables(); }
};

TEST_F(TrigTables, TablesHoldTheStepOf2PiOver1023) {
  EXPECT_EQ(CosTable[0], 1.0f);
  EXPECT_EQ(SinTable[0], 0.0f);
  // Entry 1023 is the value at 2π: the cosine repeats entry 0 exactly.
  EXPECT_EQ(CosTable[1023], CosTable[0]);
  EXPECT_NEAR(SinTable[1023], 0.0f, 1e-6f);
  EXPECT_FLOAT_EQ(CosTable[341], static_cast<float>(std::cos(341 * 2.0 * std::numbers::pi / 1023)));
  EXPECT_FLOAT_EQ(SinTable[100], static_cast<float>(std::sin(100 * 2.0 * std::numbers::pi / 1023)));
}

TEST_F(TrigTables, LookupsAtTheQuarterTurnsAndTheWrap) {
  EXPECT_EQ(tableCos(0.0f), 1.0f);
  EXPECT_EQ(tableNegSin(0.0f), 0.0f);
  EXPECT_EQ(tableCos(2.0f * Pi), CosTable[1023]);

  EXPECT_EQ(tableNegSin(Pi / 2), -SinTable[255]);
  EXPECT_NEAR(tableNegSin(Pi / 2), -0.99999f, 1e-5f);
  EXPECT_LT(tableNegSin(Pi / 2), -0.9999f);
  // Only |a| matters, for both lookups.
  EXPECT_EQ(tableNegSin(-Pi / 2), tableNegSin(Pi / 2));
  EXPECT_EQ(tableCos(-1.234f), tableCos(1.234f));

  // 2π·1024/1023 reads entry 0 again, while a hair less still reads entry 1023.
  EXPECT_EQ(trigTableIndex(6.289327f), 0);
  EXPECT_EQ(tableCos(6.289327f), 1.0f);
  EXPECT_EQ(trigTableIndex(6.2893f), 1023);
}

TEST_F(TrigTables, GrowingAnglesDriftOneEntryPerTurnAndNeverLeaveTheTable) {
  // Ten true turns land ten entries short of where a 2π-periodic function would be.
  EXPECT_EQ(trigTableIndex(10 * 2.0f * Pi), 1024 - 10);
  for (float a : {1e6f, -3e9f, 1e20f, INFINITY, NAN}) {
    int i = trigTableIndex(a);
    EXPECT_GE(i, 0);
    EXPECT_LT(i, TrigTableSize);
    EXPECT_TRUE(std::isfinite(tableCos(a)));
  }
}

TEST(Vector3Ops, NormalizeKeepsTinyVectorsAndScalesOthers) {
  Vector3 tiny{0.00005f, 0.0f, 0.0f};
  EXPECT_EQ(vector3Normalize(tiny), 0.0f);
  EXPECT_EQ(tiny.x, 0.00005f);

  Vector3 v{3.0f, 4.0f, 0.0f};
  EXPECT_EQ(vector3Normalize(v), 5.0f);
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_FLOAT_EQ(v.y, 0.8f);
  EXPECT_EQ(v.z, 0.0f);

  Vector3 zero{0, 0, 0};
  EXPECT_EQ(vector3Normalize(zero), 0.0f);
  EXPECT_EQ(zero.x, 0.0f);
}

TEST(Vector3Ops, CrossFollowsTheRightHandRule) {
  Vector3 out;
  vector3Cross(Vector3{0, 1, 0}, Vector3{0, 0, 1}, out);
  EXPECT_EQ(out.x, 1.0f);
  EXPECT_EQ(out.y, 0.0f);
  EXPECT_EQ(out.z, 0.0f);
  vector3Cross(Vector3{1, 0, 0}, Vector3{0, 1, 0}, out);
  EXPECT_EQ(out.z, 1.0f);
  Vector3 a{1, 2, 3}, b{-4, 0.5f, 2};
  vector3Cross(a, b, out);
  EXPECT_NEAR(vector3Dot(out, a), 0.0f, 1e-5f);
  EXPECT_NEAR(vector3Dot(out, b), 0.0f, 1e-5f);
}

TEST(Vector3Ops, ComponentWiseOperationsMayWriteIntoAnInput) {
  Vector3 v{1, -2, 3};
  vector3Scale(2.0f, v, v);
  EXPECT_EQ(v.x, 2.0f);
  EXPECT_EQ(v.y, -4.0f);
  EXPECT_EQ(v.z, 6.0f);

  Vector3 a{1, 1, 1}, b{10, 20, 30};
  vector3MulAdd(0.5f, a, b, b); // b = 0.5·a + b
  EXPECT_EQ(b.x, 10.5f);
  EXPECT_EQ(b.z, 30.5f);
  vector3MulAdd(2.0f, a, b, a); // a = 2·a + b
  EXPECT_EQ(a.x, 12.5f);
  EXPECT_EQ(a.y, 22.5f);

  Vector3 p{5, 5, 5};
  vector3Sub(p, Vector3{1, 2, 3}, p);
  EXPECT_EQ(p.z, 2.0f);
  vector3Add(p, p, p);
  EXPECT_EQ(p.x, 8.0f);
  EXPECT_FLOAT_EQ(vector3Length(Vector3{2, 3, 6}), 7.0f);
}

TEST(Vector3Ops, RandomDirectionDrawsXThenYThenZ) {
  programSrand(1234);
  int r[4];
  for (int &x : r) x = programRand();
  Vector3 expected{1.0f - 2.0f * r[0] / 32767.0f, 1.0f - 2.0f * r[1] / 32767.0f,
                   1.0f - 2.0f * r[2] / 32767.0f};
  vector3Normalize(expected);

  programSrand(1234);
  Vector3 out;
  vector3RandomDirection(out);
  EXPECT_FLOAT_EQ(out.x, expected.x);
  EXPECT_FLOAT_EQ(out.y, expected.y);
  EXPECT_FLOAT_EQ(out.z, expected.z);
  EXPECT_NEAR(vector3Length(out), 1.0f, 1e-6f);
  EXPECT_EQ(programRand(), r[3]); // exactly three draws
}

void expectNear(const Vector3 &a, const Vector3 &b, float tol = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

TEST(Vector3Ops, OrientToDirectionIsARotationTakingZOntoD) {
  Vector3 d{0.48f, 0.6f, 0.64f}; // unit length
  Vector3 z, x, y;
  vector3OrientToDirection(Vector3{0, 0, 1}, d, z);
  expectNear(z, d);
  vector3OrientToDirection(Vector3{1, 0, 0}, d, x);
  vector3OrientToDirection(Vector3{0, 1, 0}, d, y);
  EXPECT_NEAR(vector3Length(x), 1.0f, 1e-5f);
  EXPECT_NEAR(vector3Length(y), 1.0f, 1e-5f);
  EXPECT_NEAR(vector3Dot(x, y), 0.0f, 1e-5f);
  Vector3 xy;
  vector3Cross(x, y, xy);
  expectNear(xy, d); // right-handed
  // The local x axis stays in the plane of d and the world x axis.
  Vector3 normal;
  vector3Cross(d, Vector3{1, 0, 0}, normal);
  EXPECT_NEAR(vector3Dot(x, normal), 0.0f, 1e-5f);
}

TEST(Vector3Ops, OrientToDirectionAlongTheXAxisStaysFinite) {
  for (float sign : {1.0f, -1.0f}) {
    Vector3 d{sign, 0, 0};
    Vector3 x, y, z;
    vector3OrientToDirection(Vector3{1, 0, 0}, d, x);
    vector3OrientToDirection(Vector3{0, 1, 0}, d, y);
    vector3OrientToDirection(Vector3{0, 0, 1}, d, z);
    expectNear(z, d);
    Vector3 xy;
    vector3Cross(x, y, xy);
    expectNear(xy, d);
    EXPECT_NEAR(vector3Dot(x, y), 0.0f, 1e-6f);
    EXPECT_NEAR(vector3Length(x), 1.0f, 1e-6f);
  }
  // Close to the axis the general form still applies and agrees with the limit.
  Vector3 near{std::sqrt(1.0f - 1e-6f), 0.0f, 1e-3f}, v{0.3f, -0.7f, 0.2f}, a, b;
  vector3OrientToDirection(v, near, a);
  vector3OrientToDirection(v, Vector3{1, 0, 0}, b);
  expectNear(a, b, 2e-3f);
}

TEST(Vector3Ops, IntPowerWrapsAt32Bits) {
  EXPECT_EQ(intPower(2, 10), 1024);
  EXPECT_EQ(intPower(7, 0), 1);
  EXPECT_EQ(intPower(0, 0), 1);
  EXPECT_EQ(intPower(-3, 3), -27);
  EXPECT_EQ(intPower(2, 31), INT_MIN);
  EXPECT_EQ(intPower(2, 32), 0);
  EXPECT_EQ(intPower(3, 21), static_cast<int>(10460353203ull & 0xFFFFFFFFull));
}

} // namespace
