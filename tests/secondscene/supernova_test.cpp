// Supernovae, their shock and burst, and the remnant's fall into the centre.
#include <cmath>

#include "starscene_fixture.h"

namespace {

using SupernovaTest = StarSceneTest;

StarType5 *novaAt(Vector3 p) {
  StarType5 *o = StarType5::create();
  o->position = p;
  o->color = Rgb{255, 150, 20};
  return o;
}

TEST_F(SupernovaTest, GrowsByTwoFactorsAFrameUpToSixteen) {
  StarType5 *o = novaAt({34, 0, 0});
  int frames = 0;
  while (o->size < 16.0f && frames < 1000) {
    ageSupernova(*o);
    ++frames;
  }
  EXPECT_GE(frames, 177);
  EXPECT_LE(frames, 179);
  ageSupernova(*o);
  EXPECT_EQ(o->size, 16.0f);
}

TEST_F(SupernovaTest, SparksOnlyInTheLastMoments) {
  StarType5 *o = novaAt({34, 0, 0});
  FrameDelta = 0.1f;
  while (o->age + FrameDelta < 6.35f) ageSupernova(*o);
  EXPECT_EQ(count<StarType3>(), 0);
  int frames = 0;
  while (!o->dead) {
    ageSupernova(*o);
    ++frames;
    if (o->age > 6.45f && !o->dead) {
      ASSERT_EQ(count<StarType3>(), frames - 1); // the first frame past 6.4 s starts them
    }
  }
  // Sparks fly at 5 in a random full-brightness colour.
  StarType3 *spark = StarType3::list().head;
  EXPECT_NEAR(vector3Length(spark->velocity), 5.0f, 1e-3f);
  EXPECT_FLOAT_EQ(std::max(spark->color.r, std::max(spark->color.g, spark->color.b)), 255.0f);
}

TEST_F(SupernovaTest, ShockCutsTheLivesOfNearbyStars) {
  StarType5 *o = novaAt({34, 0, 0});
  StarType1 *atPlace = starAt({34, 0, 0}, 20.0f);
  StarType1 *twenty = starAt({14, 0, 0}, 20.0f);
  StarType1 *dyingAnyway = starAt({24, 0, 0}, 3.0f);
  StarType1 *outside = starAt({-6, 0, 0}, 20.0f); // 40 away: beyond 6 × 6.5
  supernovaShock(*o);
  EXPECT_FLOAT_EQ(atPlace->life, 6.0f);
  EXPECT_FLOAT_EQ(twenty->life, 0.0025f * 400.0f + 6.0f);
  EXPECT_FLOAT_EQ(dyingAnyway->life, 3.0f);
  EXPECT_FLOAT_EQ(outside->life, 20.0f);
}

TEST_F(SupernovaTest, BurstsIntoARemnantAndFourStarsWhateverTheCapacity) {
  applySecondSceneSettings(100, 3, 650, 60, 0);
  for (int i = 0; i < 100; ++i) starAt({0, -34, 0}, 25.0f);
  StarType1 *neighbour = starAt({34, 1, 0}, 20.0f);
  StarType5 *o = novaAt({34, 0, 0});
  o->age = 7.99f;
  FrameDelta = 0.1f;
  ageSupernova(*o);
  EXPECT_TRUE(o->dead);
  EXPECT_FLOAT_EQ(neighbour->life, 0.0025f * 1.0f + 6.0f);
  ASSERT_EQ(count<StarType8>(), 1);
  EXPECT_EQ(StarType8::list().head->position.x, 34.0f);
  EXPECT_EQ(StarType1::liveCount(), 105);
  StarType1 *s = StarType1::list().head;
  for (int i = 0; i < 4; ++i, s = ObjectKindList<StarType1>::following(s)) {
    Vector3 d;
    vector3Sub(s->position, o->position, d);
    EXPECT_NEAR(vector3Length(d), 2.0f, 1e-4f);
    EXPECT_GE(s->life, 20.0f); // born after the shock
  }
}

TEST_F(SupernovaTest, RemnantSwellsOutFallsInAndSetsOffTheRing) {
  Star source;
  source.position = {34, 0, 0};
  StarType8::create(source);
  float largest = 0.0f;
  int frames = 0;
  while (count<StarType8>() > 0 && frames < 2000) {
    StarType8::step();
    ++frames;
    if (StarType8::list().head) largest = std::max(largest, vector3Length(StarType8::list().head->position));
    // Two trail sparks a frame, each 0.01 from the remnant, leaving at speed 5.
    if (frames == 1) {
      ASSERT_EQ(count<StarType9>(), 2);
      StarType9 *spark = StarType9::list().head;
      EXPECT_NEAR(vector3Length(spark->velocity), 5.0f, 0.05f);
    }
    StarType9::clearKind();
  }
  EXPECT_NEAR(largest, 240.0f, 10.0f);
  EXPECT_NEAR(frames, 550, 30);
  ASSERT_EQ(count<StarType6>(), 32);
  for (StarType6 *r = StarType6::list().head; r; r = ObjectKindList<StarType6>::following(r)) {
    EXPECT_NEAR(vector3Length(r->position), 0.01f, 1e-6f);
    EXPECT_EQ(r->position.y, 0.0f);
  }
}

TEST_F(SupernovaTest, SparksSpeedUpButAreHeldToTheirLimit) {
  StarType3 *spark = StarType3::create();
  spark->position = {0, 0, 0};
  spark->velocity = {25, 0, 0};
  spark->alpha = 255.0f;
  FrameDelta = 0.01f;
  StarType3::step();
  float x = spark->position.x;
  for (int i = 0; i < 20; ++i) {
    StarType3::step();
    // From the second move on a frame covers at most 10·1.1 units per second.
    EXPECT_LE(spark->position.x - x, 11.0f * FrameDelta * 1.0001f);
    x = spark->position.x;
  }
}

} // namespace
