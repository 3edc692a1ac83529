// The accretion disk: the spiral in, swallowing and bursts; the shock ring.
#include <cmath>

#include "starscene_fixture.h"

namespace {

using DiskTest = StarSceneTest;

TEST_F(DiskTest, ParticlesSpiralInAndFlatten) {
  StarType4 *o = StarType4::create(20.0f, 20.0f, std::sqrt(34.0f * 34.0f - 800.0f));
  EXPECT_NEAR(o->orbitRadius, 34.0f, 1e-4f);
  for (int i = 1; i <= 100; ++i) {
    float ageBefore = o->age;
    StarType4::step();
    ASSERT_EQ(StarType4::list().head, o);
    EXPECT_NEAR(vector3Length(o->position), 34.0f * (1.0f - ageBefore / 15.0f), 1e-3f);
  }
  EXPECT_LT(std::fabs(o->position.y), 0.01f * vector3Length(o->position));
  // Out here it has grown to its largest size and warmed up.
  EXPECT_FLOAT_EQ(o->size, 2.4f);
  EXPECT_EQ(o->color.r, 150.0f);
  EXPECT_EQ(o->color.g, 100.0f);
}

TEST_F(DiskTest, ParticlesLiveFifteenSecondsAtMost) {
  StarType4::create(34.0f, 0.0f, 0.0f);
  int frames = 0;
  while (StarType4::liveCount() > 0 && frames < 2000) {
    StarType4::step();
    ++frames;
  }
  EXPECT_LE(frames, 15 * 60 + 1);
  EXPECT_GT(frames, 14 * 60); // the last tenth of a unit is where it can be swallowed
}

TEST_F(DiskTest, EveryTwelfthSwallowSetsOffABurst) {
  StarType4::setSwallowCount(10);
  int swallowed = 0;
  while (swallowed < 2) {
    StarType4 *o = StarType4::create(0.3f, 0.0f, 0.0f);
    while (!o->dead) ageDiskParticle(*o);
    if (StarType4::swallowCount() == 11 || StarType4::swallowCount() == 0) ++swallowed;
    StarType4::list().purgeDead();
    if (swallowed == 1) {
      EXPECT_EQ(count<StarType3>(), 0);
    }
  }
  EXPECT_EQ(StarType4::swallowCount(), 0);
  ASSERT_EQ(count<StarType3>(), 64);
  // Two rings of one colour from the centre, at 25 and 8 units per second.
  StarType3 *first = StarType3::list().head;
  int fast = 0, slow = 0;
  for (StarType3 *s = first; s; s = ObjectKindList<StarType3>::following(s)) {
    EXPECT_EQ(s->color.r, first->color.r);
    EXPECT_EQ(s->color.b, first->color.b);
    EXPECT_EQ(vector3Length(s->position), 0.0f);
    float speed = vector3Length(s->velocity);
    fast += std::fabs(speed - 25.0f) < 1e-3f;
    slow += std::fabs(speed - 8.0f) < 1e-3f;
  }
  EXPECT_EQ(fast, 32);
  EXPECT_EQ(slow, 32);
}

TEST_F(DiskTest, InsideTheShockRingParticlesWhitenAndShrinkAway) {
  StarType4 *inside = StarType4::create(5.0f, 0.0f, 0.0f);
  StarType4 *outside = StarType4::create(30.0f, 0.0f, 0.0f);
  RingRadius = 10.0f;
  ageDiskParticle(*inside);
  ageDiskParticle(*outside);
  EXPECT_FLOAT_EQ(inside->size, 0.8f * 0.95f);
  EXPECT_EQ(inside->color.r, 5.0f);
  EXPECT_EQ(inside->color.b, 155.0f);
  EXPECT_FLOAT_EQ(outside->size, 0.8f * 1.02f);
  int frames = 1;
  while (!inside->dead) {
    ageDiskParticle(*inside);
    ++frames;
  }
  EXPECT_LT(inside->size, 0.25f);
  EXPECT_EQ(frames, 24); // 0.8·0.95^23 < 0.25, seen in the next ageing
}

TEST_F(DiskTest, RingExpandsToThirtyThreeInAboutThirteenSeconds) {
  for (int i = 0; i < 32; ++i) {
    Vector3 p;
    vector3Scale(0.01f, RingXZ[i], p);
    StarType6::create(p);
  }
  int frames = 0;
  float widest = 0.0f;
  while (count<StarType6>() > 0 && frames < 2000) {
    StarType6::step();
    ++frames;
    widest = std::max(widest, RingRadius);
    if (count<StarType6>() > 0) {
      EXPECT_NEAR(RingRadius, StarType6::list().head->radius, 0.05f);
    }
    StarType7::clearKind();
  }
  EXPECT_NEAR(widest, 33.0f, 0.1f);
  EXPECT_NEAR(frames / 60.0f, 13.2f, 0.2f);
  EXPECT_EQ(RingRadius, 0.0f);
}

TEST_F(DiskTest, RingSparksStartOnTheCircleAndFlyInward) {
  StarType6 *ring = StarType6::create(Vector3{0.2f, 0.0f, 0.0f});
  ring->radius = 20.0f;
  for (int i = 0; i < 50; ++i) scatterRingSparks(*ring);
  int sparks = count<StarType7>();
  EXPECT_GT(sparks, 10);
  EXPECT_LT(sparks, 40);
  for (StarType7 *s = StarType7::list().head; s; s = ObjectKindList<StarType7>::following(s)) {
    float horizontal = std::hypot(s->position.x, s->position.z);
    EXPECT_NEAR(horizontal, 20.0f, 0.01f);
    EXPECT_LE(std::fabs(s->position.y), 0.6f);
    EXPECT_FLOAT_EQ(s->velocity.x, -1.5f * ring->velocity.x);
    float brightness = (1.0f - 20.0f / 33.0f) * 0.7f + 0.3f;
    EXPECT_FLOAT_EQ(s->color.r, brightness * 255.0f);
  }
}

} // namespace
