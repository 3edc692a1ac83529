#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "backdrop/noise.h"
#include "frame/random.h"

namespace {

class NoiseTest : public ::testing::Test {
protected:
  void SetUp() override {
    setFixedSeed(1234);
    ASSERT_TRUE(initNoise());
  }
  void TearDown() override { clearFixedSeed(); }
};

// Directions spread over the sphere, drawn from a generator of the test's own.
std::vector<Vector3> sampleDirections(int count) {
  std::vector<Vector3> out;
  unsigned state = 99;
  auto next = [&] {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f * 2.0f - 1.0f;
  };
  while (static_cast<int>(out.size()) < count) {
    Vector3 v{next(), next(), next()};
    if (vector3Normalize(v) > 0.1f) out.push_back(v);
  }
  return out;
}

TEST_F(NoiseTest, TablesFollowTheSeed) {
  std::vector<int16_t> permutation(NoisePermutation, NoisePermutation + NoisePeriod);
  std::vector<float> coefficients(NoiseCoefficients, NoiseCoefficients + NoiseCoefficientCount);
  int nextDraw = programRand();

  // The permutation holds every lattice index once; the coefficients are uniform numbers.
  std::vector<int16_t> sorted = permutation;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i < NoisePeriod; ++i) ASSERT_EQ(sorted[i], i);
  for (float c : coefficients) {
    EXPECT_GE(c, 0.0f);
    EXPECT_LE(c, 1.0f);
  }

  // The same seed gives the same tables, and leaves the generator where it left it.
  ASSERT_TRUE(initNoise());
  EXPECT_TRUE(std::equal(permutation.begin(), permutation.end(), NoisePermutation));
  EXPECT_TRUE(std::equal(coefficients.begin(), coefficients.end(), NoiseCoefficients));
  EXPECT_EQ(programRand(), nextDraw);

  // Another seed, another sky.
  setFixedSeed(4321);
  ASSERT_TRUE(initNoise());
  EXPECT_FALSE(std::equal(permutation.begin(), permutation.end(), NoisePermutation));
}

TEST_F(NoiseTest, LatticePointsTakeHalfOneCoefficient) {
  const Vector3 points[] = {{0, 0, 0}, {3, -7, 12}, {-1, -1, -1}, {4095, 2, 1000}, {17, 0, -300}};
  for (const Vector3 &p : points) {
    double twice = 2.0 * noise3(p);
    bool found = false;
    for (int k = 0; k < 256 && !found; ++k) found = twice == static_cast<double>(NoiseCoefficients[k]);
    EXPECT_TRUE(found) << p.x << " " << p.y << " " << p.z;
  }
}

TEST_F(NoiseTest, RepeatsEvery4096AlongEachAxis) {
  const Vector3 points[] = {{0.25f, 0.5f, 0.75f}, {-10.5f, 3.25f, 100.125f}, {7.75f, -2.5f, 0.0f}};
  for (const Vector3 &p : points) {
    double value = noise3(p);
    EXPECT_EQ(noise3({p.x + 4096.0f, p.y, p.z}), value);
    EXPECT_EQ(noise3({p.x, p.y + 4096.0f, p.z}), value);
    EXPECT_EQ(noise3({p.x, p.y, p.z - 4096.0f}), value);
  }
  // Nearby but not a period away, the value changes.
  EXPECT_NE(noise3({0.25f, 0.5f, 0.75f}), noise3({1.25f, 0.5f, 0.75f}));
}

TEST_F(NoiseTest, IsContinuousAcrossLatticePlanes) {
  for (int k = -3; k <= 3; ++k) {
    for (float other : {0.1f, 0.4f, 0.9f}) {
      const float below = static_cast<float>(k) - 1e-4f, above = static_cast<float>(k) + 1e-4f;
      EXPECT_NEAR(noise3({below, other, other}), noise3({above, other, other}), 1e-2);
      EXPECT_NEAR(noise3({other, below, other}), noise3({other, above, other}), 1e-2);
      EXPECT_NEAR(noise3({other, other, below}), noise3({other, other, above}), 1e-2);
    }
  }
}

TEST_F(NoiseTest, OctavesDoubleTheFrequencyAndHalveTheAmplitude) {
  const Vector3 p{0.3f, -0.6f, 0.7f};
  EXPECT_EQ(fractalNoise(p, 0), 0.0);
  EXPECT_EQ(fractalNoise(p, 1), noise3(p));
  double expected = noise3(p) + 0.5 * noise3({0.6f, -1.2f, 1.4f}) + 0.25 * noise3({1.2f, -2.4f, 2.8f});
  EXPECT_DOUBLE_EQ(fractalNoise(p, 3), expected);
}

TEST_F(NoiseTest, TexelIntensityGlowsOnlyInTheVeins) {
  int black = 0;
  auto directions = sampleDirections(3000);
  for (const Vector3 &p : directions) {
    double b = (std::cos(8.0 * fractalNoise(p, 11)) + 1.0) * 0.5;
    int value = texelIntensity(p);
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 255);
    if (b <= 0.6666666667) {
      EXPECT_LE(value, 1) << "dark band must stay black but for the dither";
    } else {
      int base = static_cast<int>(254.0 * (3.0 * (b - 0.6666666667)));
      EXPECT_GE(value, base);
      EXPECT_LE(value, base + 1);
    }
    if (value == 0) ++black;
  }
  // About two thirds of the sky is black.
  EXPECT_GT(black, 3000 * 4 / 10);
  EXPECT_LT(black, 3000 * 9 / 10);
}

TEST_F(NoiseTest, TexelIntensityDrawsOneNumberAndStarMaskNone) {
  const Vector3 p{0.0f, 0.6f, 0.8f};
  programSrand(77);
  programRand();
  int afterOne = programRand();
  programSrand(77);
  texelIntensity(p);
  starMask(p);
  EXPECT_EQ(programRand(), afterOne);
}

TEST_F(NoiseTest, StarMaskIsBoundedAndIgnoresLength) {
  bool anyStarry = false;
  for (const Vector3 &p : sampleDirections(2000)) {
    double m = starMask(p);
    ASSERT_GE(m, 0.0);
    ASSERT_LE(m, 0.25);
    EXPECT_NEAR(starMask({p.x * 500.0f, p.y * 500.0f, p.z * 500.0f}), m, 1e-4);
    if (m >= 0.01) anyStarry = true;
  }
  EXPECT_TRUE(anyStarry);
}

} // namespace
