// The director: settings, ring tables, the title schedule, reset, and a
// minute of the whole scene.
#include <cmath>

#include "starscene_fixture.h"

namespace {

using DirectorTest = StarSceneTest;

TEST_F(DirectorTest, SettingsAreCopiedAndBounded) {
  applySecondSceneSettings(200, 3, 650, 60, 0);
  EXPECT_EQ(MainStarCapacity, 200);
  EXPECT_EQ(NeighbourCount, 3);
  EXPECT_FLOAT_EQ(NeighbourDistance, 6.5f);
  EXPECT_EQ(SupernovaInterval, 60.0f);
  EXPECT_EQ(DiskParticleCap, 100);
  applySecondSceneSettings(500, 5, 100, 20, 200); // the control panel's extremes
  EXPECT_EQ(MainStarCapacity, 500);
  EXPECT_FLOAT_EQ(NeighbourDistance, 1.0f);
  EXPECT_EQ(DiskParticleCap, 300);
  // Hand-edited values that would exhaust memory (or overflow) are bounded.
  applySecondSceneSettings(2000000000, 100000, 650, 60, 2147483647);
  EXPECT_EQ(MainStarCapacity, MaxMainStarCapacity);
  EXPECT_EQ(NeighbourCount, MaxNeighbourCount);
  EXPECT_EQ(DiskParticleCap, MaxDiskParticleCap);
  applySecondSceneSettings(-5, -1, 650, 60, -2147483647 - 1);
  EXPECT_EQ(MainStarCapacity, 0);
  EXPECT_EQ(NeighbourCount, 0);
  EXPECT_EQ(DiskParticleCap, 0);
  // Stars made with no capacity still live; they just never have neighbours.
  frame();
  EXPECT_EQ(StarType1::liveCount(), 60);
  for (int i = 0; i < 5; ++i) frame();
  EXPECT_EQ(LinesDrawn, 0);
}

TEST_F(DirectorTest, RingTablesAreUnitCirclesInTheirPlanes) {
  for (int i = 0; i < 32; ++i) {
    EXPECT_NEAR(vector3Length(RingXY[i]), 1.0f, 1e-6f);
    EXPECT_EQ(RingXY[i].z, 0.0f);
    EXPECT_EQ(RingXZ[i].y, 0.0f);
    EXPECT_EQ(RingXY[i].x, RingXZ[i].x);
    EXPECT_EQ(RingXY[i].y, RingXZ[i].z);
  }
  EXPECT_NEAR(RingXY[8].y, 1.0f, 1e-7f);
  EXPECT_NEAR(RingXZ[4].z, std::sqrt(0.5f), 1e-7f);
}

TEST_F(DirectorTest, TitleReturnsOnlyInTheControlPanelDuringOddHundreds) {
  ElapsedSeconds = 150.0f;
  frame();
  EXPECT_EQ(count<cTitle>(), 0); // the saver shows its first title only

  SecondSceneSaver = false;
  ElapsedSeconds = 250.0f;
  frame();
  EXPECT_EQ(count<cTitle>(), 0);
  ElapsedSeconds = 150.0f;
  frame();
  ASSERT_EQ(count<cTitle>(), 1);
  EXPECT_EQ(cTitle::list().head->lifeSpan, 30.0f);
  frame();
  EXPECT_EQ(count<cTitle>(), 1); // not while one is alive
}

TEST_F(DirectorTest, ResetStartsOverButKeepsTheSceneWideValues) {
  spawnSecondScene();
  for (int i = 0; i < 30; ++i) frame();
  StarType4::create(10, 0, 0);
  StarType4::setSwallowCount(5);
  RingRadius = 7.0f;
  StarType1::setLastMarkTime(42.0f);
  resetSecondScene();
  EXPECT_EQ(StarType1::liveCount(), 0);
  EXPECT_EQ(StarType4::liveCount(), 0);
  EXPECT_EQ(count<cTitle>(), 1);
  EXPECT_EQ(Author::list().count(), 1);
  EXPECT_EQ(StarType4::swallowCount(), 5);
  EXPECT_EQ(RingRadius, 7.0f);
  EXPECT_EQ(StarType1::lastMarkTime(), 42.0f);
  PolygonsDrawn = 0;
  frame();
  EXPECT_EQ(StarType1::liveCount(), 60);
  EXPECT_GT(PolygonsDrawn, 2);
}

TEST_F(DirectorTest, AMinuteOfTheSceneRunsItsWholeCycle) {
  // A short supernova interval: one of the first stars is marked.
  applySecondSceneSettings(200, 3, 650, 20, 0);
  ElapsedSeconds = 100.0f;
  spawnSecondScene();
  int novae = 0, remnants = 0, rings = 0, disk = 0, streams = 0;
  bool arraysSound = true;
  for (int i = 0; i < 3600; ++i) {
    frame();
    novae = std::max(novae, count<StarType5>());
    remnants = std::max(remnants, count<StarType8>());
    rings = std::max(rings, count<StarType6>());
    disk = std::max(disk, StarType4::liveCount());
    streams = std::max(streams, count<StarType2>());
    arraysSound = arraysSound && neighbourArraysPointToLiveStars();
  }
  EXPECT_TRUE(arraysSound);
  EXPECT_GE(novae, 1);
  EXPECT_GE(remnants, 1);
  EXPECT_GE(rings, 32); // a ring is 32 particles; two may be out at once
  EXPECT_GT(disk, 0);
  EXPECT_LE(disk, DiskParticleCap);
  EXPECT_GT(streams, 0);
  EXPECT_EQ(StarType4::liveCount(), count<StarType4>());
  EXPECT_EQ(StarType1::liveCount(), count<StarType1>());
  // The saver's title is gone after its 20 seconds.
  EXPECT_EQ(count<cTitle>(), 0);
}

} // namespace
