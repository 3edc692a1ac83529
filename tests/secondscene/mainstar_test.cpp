// Main stars: birth, neighbours, ageing phases, death, splitting and streams.
#include <cmath>

#include "starscene_fixture.h"

namespace {

using MainStarTest = StarSceneTest;

TEST_F(MainStarTest, FirstStepMakesSixtyStarsOnTheSphere) {
  frame();
  ASSERT_EQ(StarType1::liveCount(), 60);
  ASSERT_EQ(count<StarType1>(), 60);
  for (StarType1 *s = StarType1::list().head; s; s = ObjectKindList<StarType1>::following(s)) {
    EXPECT_NEAR(vector3Length(s->position), 34.0f, 1e-3f);
    EXPECT_FLOAT_EQ(s->size, 1.6f);
    EXPECT_EQ(s->color.r, 255.0f);
    EXPECT_GE(s->color.g, 100.0f);
    EXPECT_LE(s->color.g, 200.0f);
    EXPECT_GE(s->color.b, 0.0f);
    EXPECT_LE(s->color.b, 50.0f);
    EXPECT_GE(s->life, 20.0f - 2 * FrameDelta);
    EXPECT_LE(s->life, 30.0f);
  }
  // The stars are drawn in the frame that made them: their class steps after them.
  EXPECT_GT(PolygonsDrawn, 0);

  // Whenever none is alive, the next step makes sixty again.
  StarType1::clearKind();
  EXPECT_EQ(StarType1::liveCount(), 0);
  frame();
  EXPECT_EQ(StarType1::liveCount(), 60);
}

TEST_F(MainStarTest, RebuildSortsEveryStarNearestFirstWithItselfLast) {
  StarType1 *o = starAt({34, 0, 0}, 25);
  starAt({30, 0, 0}, 25);
  starAt({0, 34, 0}, 25);
  starAt({33, 1, 0}, 25);
  rebuildNeighbours(*o);
  float previous = -1.0f;
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(o->neighbours[i].star, nullptr);
    EXPECT_GE(o->neighbours[i].distanceSquared, previous);
    previous = o->neighbours[i].distanceSquared;
  }
  EXPECT_FLOAT_EQ(o->neighbours[0].distanceSquared, 2.0f);
  EXPECT_EQ(o->neighbours[3].star, o);
  EXPECT_EQ(o->neighbours[4].star, nullptr);

  // An array holds as many entries as the capacity at the star's birth: stars
  // beyond it in list order are simply not candidates.
  applySecondSceneSettings(3, 3, 650, 60, 0);
  StarType1 *small = starAt({-34, 0, 0}, 25);
  ASSERT_EQ(small->neighbourSlots, 3);
  rebuildNeighbours(*small);
  EXPECT_NE(small->neighbours[2].star, nullptr);
}

TEST_F(MainStarTest, AttractionKeepsTheSpacingAndTheSphere) {
  StarType1 *o = starAt({34, 0, 0}, 25);
  StarType1 *far = starAt({24, 0, 24.2899f}, 25);
  StarType1 *near = starAt({34, 1, 0}, 25);
  // A star without neighbours is only put back onto the sphere.
  o->position = {10, 0, 0};
  attractToNeighbours(*o);
  EXPECT_NEAR(o->position.x, 34.0f, 1e-4f);

  rebuildNeighbours(*near);
  rebuildNeighbours(*far);
  float before = std::sqrt(distanceSquared(*near, *o));
  attractToNeighbours(*near); // o at distance 1 pushes it away
  EXPECT_GT(std::sqrt(distanceSquared(*near, *o)), before);
  EXPECT_NEAR(vector3Length(near->position), 34.0f, 1e-3f);
  before = std::sqrt(distanceSquared(*far, *o));
  attractToNeighbours(*far); // the nearest is o, 34 away, which pulls
  EXPECT_LT(std::sqrt(distanceSquared(*far, *o)), before);
  EXPECT_NEAR(vector3Length(far->position), 34.0f, 1e-3f);
}

TEST_F(MainStarTest, StreamsThenSwellingThenShrinking) {
  applySecondSceneSettings(200, 2, 650, 60, 0);
  StarType1 *o = starAt({34, 0, 0}, 7.0f);
  StarType1 *a = starAt({30, 10, 0}, 25);
  StarType1 *b = starAt({30, -10, 0}, 25);
  rebuildNeighbours(*o);
  FrameDelta = 1e-6f;
  // At 7 s left a star sends streams now and then but does not grow.
  for (int i = 0; i < 200 && count<StarType2>() == 0; ++i) ageMainStar(*o);
  ASSERT_EQ(count<StarType2>(), 2); // one per neighbour
  EXPECT_FLOAT_EQ(o->size, 1.6f);
  for (StarType2 *s = StarType2::list().head; s; s = ObjectKindList<StarType2>::following(s)) {
    EXPECT_EQ(s->position.x, o->position.x);
    Vector3 target;
    vector3Add(s->position, s->velocity, target);
    bool toA = target.y == a->position.y, toB = target.y == b->position.y;
    EXPECT_TRUE(toA || toB);
  }

  // At 5 s it swells by 2.5 % a frame up to 6.5 and reddens.
  o->life = 5.0f;
  float g = o->color.g;
  ageMainStar(*o);
  EXPECT_FLOAT_EQ(o->size, 1.6f * 1.025f);
  EXPECT_FLOAT_EQ(o->color.g, g * 0.975f);
  for (int i = 0; i < 200; ++i) ageMainStar(*o);
  EXPECT_FLOAT_EQ(o->size, 6.5f);

  // Below 3.5 s it shrinks and whitens, red and green capped at 240.
  o->life = 3.0f;
  for (int i = 0; i < 100; ++i) ageMainStar(*o);
  EXPECT_LT(o->size, 6.5f * 0.1f);
  EXPECT_EQ(o->color.r, 240.0f);
  EXPECT_EQ(o->color.g, 240.0f);
  EXPECT_FALSE(o->dead);
}

TEST_F(MainStarTest, UnmarkedDeathGivesLifeAndDropsADiskParticle) {
  StarType1 *o = starAt({34, 0, 0}, 0.001f);
  StarType1 *longLived = starAt({33, 2, 0}, 10.0f);
  StarType1 *shortLived = starAt({33, -2, 0}, 6.0f);
  rebuildNeighbours(*o);
  ageMainStar(*o);
  EXPECT_TRUE(o->dead);
  EXPECT_FLOAT_EQ(longLived->life, 25.0f);
  EXPECT_FLOAT_EQ(shortLived->life, 6.0f);
  ASSERT_EQ(StarType4::liveCount(), 1);
  EXPECT_EQ(StarType4::list().head->position.x, 34.0f);
  EXPECT_EQ(count<StarType5>(), 0);

  // With the disk full a star dies without a particle.
  for (int i = 1; i < DiskParticleCap; ++i) StarType4::create(0, 0, 20);
  StarType1 *another = starAt({-34, 0, 0}, 0.001f);
  ageMainStar(*another);
  EXPECT_TRUE(another->dead);
  EXPECT_EQ(StarType4::liveCount(), DiskParticleCap);
}

TEST_F(MainStarTest, MarkedDeathBecomesASupernovaAndGivesNothing) {
  StarType1 *o = starAt({34, 0, 0}, 0.001f);
  o->marked = 1;
  o->color = Rgb{255, 123, 45};
  StarType1 *neighbour = starAt({33, 2, 0}, 10.0f);
  rebuildNeighbours(*o);
  ageMainStar(*o);
  EXPECT_TRUE(o->dead);
  ASSERT_EQ(count<StarType5>(), 1);
  StarType5 *nova = StarType5::list().head;
  // Its colour as it was in its last frame, whitened once more.
  EXPECT_EQ(nova->color.g, 128.0f);
  EXPECT_EQ(nova->color.b, 48.0f);
  EXPECT_EQ(nova->position.x, 34.0f);
  EXPECT_FLOAT_EQ(neighbour->life, 10.0f);
  EXPECT_EQ(StarType4::liveCount(), 0);
}

TEST_F(MainStarTest, AtMostOneMarkPerInterval) {
  ElapsedSeconds = 100.0f;
  int marked = 0;
  for (int i = 0; i < 200; ++i) marked += StarType1::create()->marked;
  EXPECT_EQ(marked, 1);
  EXPECT_EQ(StarType1::lastMarkTime(), 100.0f);
  ElapsedSeconds = 150.0f; // within the 60 s interval of the last mark
  for (int i = 0; i < 200; ++i) marked += StarType1::create()->marked;
  EXPECT_EQ(marked, 1);
}

TEST_F(MainStarTest, LongLifeSplitsWhileThereIsRoom) {
  StarType1 *o = starAt({34, 0, 0}, 31.0f);
  splitMainStar(*o);
  EXPECT_FLOAT_EQ(o->life, 1.0f);
  ASSERT_EQ(StarType1::liveCount(), 2);
  StarType1 *child = StarType1::list().head;
  EXPECT_FLOAT_EQ(child->position.x, 34.01f);
  EXPECT_EQ(child->position.y, 0.0f);
  EXPECT_GE(child->life, 20.0f);
  EXPECT_LE(child->life, 30.0f);

  // No split once the count reaches the capacity less five.
  applySecondSceneSettings(7, 3, 650, 60, 0);
  o->life = 31.0f;
  splitMainStar(*o);
  EXPECT_FLOAT_EQ(o->life, 31.0f);
  EXPECT_EQ(StarType1::liveCount(), 2);
}

TEST_F(MainStarTest, NoArrayKeepsADeadStar) {
  StarType1 *a = starAt({34, 0, 0}, 25);
  StarType1 *b = starAt({33, 2, 0}, 25);
  StarType1 *dying = starAt({33, -2, 0}, 0.001f);
  rebuildNeighbours(*a);
  rebuildNeighbours(*b);
  // A leftover of an earlier, longer rebuild counts too.
  a->neighbours[10] = NeighbourEntry{dying, 1.0f};
  StarType1::step();
  EXPECT_EQ(StarType1::liveCount(), 2);
  EXPECT_TRUE(neighbourArraysPointToLiveStars());
  EXPECT_EQ(a->neighbours[10].star, nullptr);
}

TEST_F(MainStarTest, NoNeighboursMeansNoLinesStreamsOrGifts) {
  applySecondSceneSettings(200, 0, 650, 60, 0);
  for (int i = 0; i < 600; ++i) frame();
  EXPECT_EQ(LinesDrawn, 0);
  EXPECT_EQ(count<StarType2>(), 0);
  // Without gifts no life grows past 30, so no star ever splits off.
  EXPECT_LE(StarType1::liveCount(), 60);
}

TEST_F(MainStarTest, NeighboursAreLinked) {
  for (int i = 0; i < 120; ++i) frame();
  int lines = LinesDrawn;
  LinesDrawn = 0;
  frame();
  // Every star draws up to three lines once its neighbours are known (some fall
  // outside the view).
  EXPECT_GT(LinesDrawn, 60);
  EXPECT_LE(LinesDrawn, 3 * StarType1::liveCount());
  EXPECT_GT(lines, 0);
}

} // namespace
