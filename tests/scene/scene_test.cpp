// The object framework: motion, steering, lists, snapshots, sprites, banner.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "math/camera.h"
#include "math/clip.h"
#include "math/trig.h"
#include "frame/random.h"
#include "scene/author.h"
#include "scene/cell.h"
#include "scene/kindlist.h"
#include "scene/star.h"

namespace {

std::vector<std::vector<GrVertex>> Polygons;

void recordPolygon(int n, const int ilist[], const GrVertex vlist[]) {
  std::vector<GrVertex> p;
  for (int i = 0; i < n; ++i) p.push_back(vlist[ilist[i]]);
  Polygons.push_back(p);
}
void ignoreLine(const GrVertex *, const GrVertex *) {}
void ignorePoint(const GrVertex *) {}

class SceneTest : public ::testing::Test {
protected:
  void SetUp() override {
    initTrigTables();
    programSrand(7);
    PeakAlpha = 255.0f;
    FrameDelta = 0.1f;
    ElapsedSeconds = 1.0f;
    setRenderSize(640, 480);
    setCamera({0, 0, -100}, {0, 0, 0}, {0, 1, 0}, 1.0f, 1.0f, 1000.0f);
    updateCamera();
    BoardDraw.drawPolygon = recordPolygon;
    BoardDraw.drawLine = ignoreLine;
    BoardDraw.aaDrawLine = ignoreLine;
    BoardDraw.aaDrawPoint = ignorePoint;
    Polygons.clear();
  }
  void TearDown() override {
    resetBoardDrawCalls();
    Author::clearKind();
  }
};

struct Item {
  int name = 0;
  Item *next = nullptr;
  uint8_t dead = 0;
};

TEST_F(SceneTest, MoveIsOneEulerStepThenTheSpeedClamp) {
  Particle p;
  p.position = {1, 2, 3};
  p.velocity = {10, 0, 0};
  p.acceleration = {0, 100, 0};
  p.maxSpeed = 1e8f;
  moveParticle(p);
  // The position moves with the old velocity, then the velocity takes the acceleration.
  EXPECT_FLOAT_EQ(p.position.x, 2.0f);
  EXPECT_FLOAT_EQ(p.position.y, 2.0f);
  EXPECT_FLOAT_EQ(p.velocity.y, 10.0f);

  p.velocity = {30, 40, 0};
  p.acceleration = {0, 0, 0};
  p.maxSpeed = 10.0f;
  moveParticle(p);
  EXPECT_NEAR(vector3Length(p.velocity), 10.0f, 1e-4f);
  EXPECT_NEAR(p.velocity.x / p.velocity.y, 0.75f, 1e-5f);

  // A speed equal to the limit is left exactly as it is.
  p.velocity = {3, 4, 0};
  p.maxSpeed = 5.0f;
  clampSpeed(p);
  EXPECT_EQ(p.velocity.x, 3.0f);
  EXPECT_EQ(p.velocity.y, 4.0f);
}

TEST_F(SceneTest, DistanceSquaredOfAnObjectToItselfIsLarge) {
  Particle a, b;
  a.position = {1, 2, 3};
  b.position = {4, 6, 3};
  EXPECT_FLOAT_EQ(distanceSquared(a, b), 25.0f);
  EXPECT_FLOAT_EQ(distanceSquared(a, a), 1e8f);
}

TEST_F(SceneTest, SteeringFollowsOnlyTheNearestOtherMember) {
  Cell o, near, far;
  o.position = {0, 0, 0};
  near.position = {2, 0, 0};
  far.position = {0, 50, 0};
  Cell *set[] = {&far, &o, &near};

  // Nothing to steer by: an empty set, or the object alone.
  steerToNearest(o, set, 0, 100.0f, 1.0f);
  Cell *self[] = {&o};
  steerToNearest(o, self, 1, 100.0f, 1.0f);
  EXPECT_EQ(o.acceleration.x, 0.0f);
  EXPECT_EQ(o.acceleration.y, 0.0f);

  // Weight 1/(2^2 + 1) toward the near member; the far one does not act at all.
  steerToNearest(o, set, 3, 100.0f, 2.0f);
  EXPECT_FLOAT_EQ(o.acceleration.x, 20.0f);
  EXPECT_EQ(o.acceleration.y, 0.0f);

  // A negative strength pushes away, and adds to what is there.
  steerToNearest(o, set, 3, -100.0f, 2.0f);
  EXPECT_NEAR(o.acceleration.x, 0.0f, 1e-5f);

  // A member exactly on the object has weight 1 and acts along the zero difference.
  Cell on;
  on.position = o.position;
  Cell *coincident[] = {&near, &on};
  o.acceleration = {1, 1, 1};
  steerToNearest(o, coincident, 2, 100.0f, 1.0f);
  EXPECT_FLOAT_EQ(o.acceleration.x, 1.0f);
  EXPECT_FLOAT_EQ(o.acceleration.y, 1.0f);
}

TEST_F(SceneTest, FollowingKeepsTheDistanceToTheLeader) {
  Cell leader, o;
  leader.position = {10, 0, 0};
  o.position = {10, 3, 4};
  o.velocity = {1, 2, 3};

  followLeader(o, 2.0f); // no leader yet: nothing
  EXPECT_EQ(o.position.y, 3.0f);

  o.leader = &leader;
  followLeader(o, 2.0f);
  EXPECT_NEAR(o.position.y, 1.2f, 1e-5f);
  EXPECT_NEAR(o.position.z, 1.6f, 1e-5f);
  EXPECT_EQ(o.velocity.z, 3.0f);

  // On top of the leader: a random direction, still at the distance.
  o.position = leader.position;
  followLeader(o, 2.0f);
  Vector3 d;
  vector3Sub(o.position, leader.position, d);
  EXPECT_NEAR(vector3Length(d), 2.0f, 1e-4f);
}

TEST_F(SceneTest, BrightColoursPeakAt255) {
  PeakAlpha = 127.5f;
  for (int i = 0; i < 200; ++i) {
    Cell o;
    randomBrightColor(o);
    float m = std::max(o.color.r, std::max(o.color.g, o.color.b));
    EXPECT_NEAR(m, 255.0f, 1e-3f);
    EXPECT_GE(std::min(o.color.r, std::min(o.color.g, o.color.b)), 0.0f);
    EXPECT_EQ(o.alpha, 127.5f);
  }
}

TEST_F(SceneTest, RandomPositionsStayInTheCube) {
  Cell o;
  for (int i = 0; i < 200; ++i) {
    randomPositionInCube(40.0f, o);
    EXPECT_LE(std::fabs(o.position.x), 40.0f);
    EXPECT_LE(std::fabs(o.position.y), 40.0f);
    EXPECT_LE(std::fabs(o.position.z), 40.0f);
  }
}

TEST_F(SceneTest, PurgeKeepsTheLivingInReverseOrder) {
  ObjectKindList<Item> list;
  Item *a = new Item{1};
  Item *b = new Item{2};
  Item *c = new Item{3};
  list.push(c);
  list.push(b);
  list.push(a); // head first: A, B, C
  list.purgeDead();
  std::vector<int> names;
  for (Item *i = list.head; i; i = i->next) names.push_back(i->name);
  EXPECT_EQ(names, (std::vector<int>{3, 2, 1}));

  b->dead = 1;
  list.purgeDead();
  names.clear();
  for (Item *i = list.head; i; i = i->next) names.push_back(i->name);
  EXPECT_EQ(names, (std::vector<int>{1, 3}));

  list.clearKind();
  EXPECT_TRUE(list.empty());
  list.purgeDead(); // an empty list stays empty
  EXPECT_TRUE(list.empty());
}

TEST_F(SceneTest, StepDrawsThenUpdatesAndLeavesNewcomersForTheNextFrame) {
  ObjectKindList<Item> list;
  list.push(new Item{1});
  list.push(new Item{2});
  std::vector<int> order;
  stepKind(
      list, [&](Item &i) { order.push_back(10 + i.name); },
      [&](Item &i) {
        order.push_back(20 + i.name);
        if (i.name == 2) list.push(new Item{3}); // made while the list is walked
        if (i.name == 1) i.dead = 1;
      },
      true);
  EXPECT_EQ(order, (std::vector<int>{12, 11, 22, 21}));
  std::vector<int> names;
  for (Item *i = list.head; i; i = i->next) names.push_back(i->name);
  EXPECT_EQ(names, (std::vector<int>{2, 3}));
  list.clearKind();
}

TEST_F(SceneTest, SnapshotIsTakenOncePerClockValueAndHolds2048AtMost) {
  ObjectKindList<Item> list;
  KindSnapshot<Item> snapshot;
  list.push(new Item{1});
  int count = 0;
  Item *const *items = snapshot.take(list, count);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(items[0]->name, 1);

  list.push(new Item{2});
  snapshot.take(list, count);
  EXPECT_EQ(count, 1); // same frame: the old array

  ElapsedSeconds += 0.1f;
  items = snapshot.take(list, count);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(items[0]->name, 2); // list order

  for (int i = 0; i < 2100; ++i) list.push(new Item{100 + i});
  ElapsedSeconds += 0.1f;
  snapshot.take(list, count);
  EXPECT_EQ(count, KindSnapshot<Item>::Capacity);

  // After the list is emptied an invalidated snapshot is empty at once.
  list.clearKind();
  snapshot.invalidate();
  snapshot.take(list, count);
  EXPECT_EQ(count, 0);
}

TEST_F(SceneTest, SpritesFaceTheCameraAndFlicker) {
  Cell o;
  o.position = {0, 0, 0};
  o.size = 10.0f;
  o.color = {200, 100, 50};
  o.alpha = 200.0f;
  o.flicker = 1.0f;
  o.flickerAmplitude = 0.0f;
  o.flickerFloor = 1.0f;
  drawSprite(o);
  ASSERT_EQ(Polygons.size(), 1u);
  const std::vector<GrVertex> &q = Polygons[0];
  ASSERT_EQ(q.size(), 4u);
  // V0 lower left, V1 upper left, V2 upper right, V3 lower right.
  EXPECT_LT(q[0].x, q[2].x);
  EXPECT_LT(q[0].y, q[1].y);
  EXPECT_EQ(q[0].x, q[1].x);
  EXPECT_EQ(q[1].y, q[2].y);
  // A world square of half-side 10 at distance 100 (+ zoom 1): 0.75·10/101 of
  // the half width, 10/101 of the half height.
  float halfWidth = (q[2].x - q[0].x) * 0.5f;
  float halfHeight = (q[1].y - q[0].y) * 0.5f;
  EXPECT_NEAR(halfWidth, 0.75f * 10.0f / 101.0f * (320.0f - 0.1f), 0.1f);
  EXPECT_NEAR(halfHeight, 10.0f / 101.0f * (240.0f - 0.1f), 0.1f);
  EXPECT_EQ(q[0].r, 200.0f);
  EXPECT_EQ(q[3].a, 200.0f); // amplitude 0, floor 1: the plain alpha
  EXPECT_EQ(o.flicker, 1.0f);
  EXPECT_NEAR(q[1].tmuvtx[0].tow / q[1].oow, 255.0f, 1e-2f);
  EXPECT_NEAR(q[3].tmuvtx[0].sow / q[3].oow, 255.0f, 1e-2f);

  // A walking flicker stays between its floor and 1 and weights the alpha.
  o.flickerAmplitude = 0.3f;
  o.flickerFloor = 0.5f;
  for (int i = 0; i < 100; ++i) {
    drawSprite(o);
    EXPECT_GE(o.flicker, 0.5f);
    EXPECT_LE(o.flicker, 1.0f);
    EXPECT_FLOAT_EQ(Polygons.back()[0].a, 200.0f * o.flicker);
  }

  // Too small to draw: no quad, no flicker step.
  Polygons.clear();
  o.size = 0.005f;
  float before = o.flicker;
  drawSprite(o);
  EXPECT_TRUE(Polygons.empty());
  EXPECT_EQ(o.flicker, before);
}

TEST_F(SceneTest, StarSpritesUseTheInsetTexture) {
  Star s;
  s.size = 5.0f;
  s.flickerAmplitude = 0.0f;
  drawSprite(s);
  ASSERT_EQ(Polygons.size(), 1u);
  EXPECT_NEAR(Polygons[0][0].tmuvtx[0].sow / Polygons[0][0].oow, 24.5f, 1e-2f);
  EXPECT_NEAR(Polygons[0][2].tmuvtx[0].tow / Polygons[0][2].oow, 231.5f, 1e-2f);
}

TEST_F(SceneTest, ControlPanelBannerEasesInAndStays) {
  FrameDelta = 0.25f;
  Author *a = Author::create(false);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->size, 60.0f);
  EXPECT_EQ(a->alpha, 0.0f);
  float last = 0.0f;
  for (int frame = 0; frame < 400; ++frame) {
    Author::step();
    ASSERT_FALSE(Author::list().empty());
    if (a->age < 10.0f) {
      EXPECT_GT(a->alpha, last);
      last = a->alpha;
    }
  }
  // The alpha of the last frame before age 10 (u = 0.975), just under the peak.
  EXPECT_FLOAT_EQ(a->alpha, static_cast<float>(255.0 * (1.0 - std::pow(0.025, 3.0))));
  EXPECT_EQ(a->color.r, 255.0f);
}

TEST_F(SceneTest, SaverBannerDarkensAfterTenSecondsAndDies) {
  FrameDelta = 0.5f;
  Author *a = Author::create(true);
  EXPECT_EQ(a->size, 25.0f);
  EXPECT_EQ(a->position.y, -68.0f);
  int frames = 0;
  float red = 255.0f;
  while (!Author::list().empty() && frames < 1000) {
    bool fading = a->age + FrameDelta > 10.0f;
    Author::step();
    ++frames;
    if (Author::list().empty()) break;
    if (fading) {
      EXPECT_LT(a->color.r, red);
      EXPECT_GE(a->color.r, 1.0f);
      EXPECT_GT(a->color.b, a->color.r); // toward blue
    } else {
      EXPECT_EQ(a->color.r, 255.0f);
    }
    red = a->color.r;
  }
  // 20 frames to age 10, then 255 · 0.925^n < 1 first at n = 72.
  EXPECT_EQ(frames, 20 + 72);
}

TEST_F(SceneTest, TheLastBannerMadeDecidesForAll) {
  FrameDelta = 1.0f;
  Author::create(false);
  Author::create(true);
  for (int i = 0; i < 200; ++i) Author::step();
  EXPECT_TRUE(Author::list().empty());

  Author::create(true);
  Author::create(false);
  for (int i = 0; i < 200; ++i) Author::step();
  EXPECT_EQ(Author::list().count(), 2);
}

} // namespace
