// The first scene run headless with a fixed seed and a fixed frame step.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "firstscene/debris.h"
#include "firstscene/director.h"
#include "firstscene/firstscene.h"
#include "firstscene/meteors.h"
#include "firstscene/spinners.h"
#include "firstscene/title.h"
#include "firstscene/trailers.h"
#include "firstscene/tubifex.h"
#include "firstscene/worms.h"
#include "math/camera.h"
#include "math/clip.h"
#include "math/trig.h"
#include "frame/random.h"
#include "scene/author.h"

namespace {

int PolygonsDrawn = 0;
int LinesDrawn = 0;

void countPolygon(int, const int[], const GrVertex[]) { ++PolygonsDrawn; }
void countLine(const GrVertex *, const GrVertex *) { ++LinesDrawn; }
void ignorePoint(const GrVertex *) {}

FirstSceneSettings emptyScene() {
  FirstSceneSettings s;
  s.saver = true;
  s.trailers = s.worms = s.spinners = s.meteors = s.tubifex = s.debris = 0;
  s.timeFactor = 100;
  s.staticCamera = 1;
  s.backdrop = 0;
  return s;
}

class FirstSceneTest : public ::testing::Test {
protected:
  void SetUp() override {
    initTrigTables();
    programSrand(1);
    PeakAlpha = 255.0f;
    ElapsedSeconds = 0.0f;
    FrameDelta = 0.0f;
    setRenderSize(640, 480);
    BoardDraw.drawPolygon = countPolygon;
    BoardDraw.drawLine = countLine;
    BoardDraw.aaDrawLine = countLine;
    BoardDraw.aaDrawPoint = ignorePoint;
    PolygonsDrawn = LinesDrawn = 0;
  }
  void TearDown() override {
    clearFirstScene();
    resetBoardDrawCalls();
  }

  // One frame of the frame loop: the clock step, then the scene step.
  void frame(float dt) {
    ElapsedSeconds += dt;
    FrameDelta = dt;
    stepFirstScene(false);
  }
  void frames(int n, float dt) {
    for (int i = 0; i < n; ++i) frame(dt);
  }
};

template <class T> std::vector<T *> members(ObjectKindList<T> &list) {
  std::vector<T *> all;
  for (T *o = list.head; o; o = ObjectKindList<T>::following(o)) all.push_back(o);
  return all;
}

TEST_F(FirstSceneTest, AWormGrowsABodyOf23SegmentsOnePerFrame) {
  FirstSceneSettings s = emptyScene();
  s.worms = 1;
  buildFirstSceneFrom(s, false);
  frame(1.0f / 30);
  EXPECT_EQ(CellType3::list().count(), 2); // the first segment grows its follower at once
  frames(22, 1.0f / 30);

  std::vector<CellType3 *> body = members(CellType3::list());
  ASSERT_EQ(body.size(), 23u);
  std::map<int, CellType3 *> byDepth;
  for (CellType3 *o : body) byDepth[o->depth] = o;
  ASSERT_EQ(byDepth.size(), 23u);
  EXPECT_EQ(byDepth.begin()->first, 2);
  EXPECT_EQ(byDepth.rbegin()->first, 24);

  const float sizes[] = {18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 6, 6, 6, 6, 6, 6, 6, 6, 8, 11};
  for (int d = 2; d <= 24; ++d) {
    CellType3 *o = byDepth[d];
    EXPECT_EQ(o->size, sizes[d - 2]) << "depth " << d;
    // Each follows the one before; the whole body wears the first segment's colour.
    if (d == 2) {
      EXPECT_EQ(o->leader->kind, 2);
    } else {
      EXPECT_EQ(o->leader, byDepth[d - 1]);
    }
    EXPECT_EQ(o->color.r, byDepth[2]->color.r);
    EXPECT_EQ(o->color.b, byDepth[2]->color.b);
  }
  frames(10, 1.0f / 30);
  EXPECT_EQ(CellType3::list().count(), 23);
}

TEST_F(FirstSceneTest, SpinnerRingClosesAfterSixFramesAndGrowsItsTails) {
  FirstSceneSettings s = emptyScene();
  s.spinners = 1;
  buildFirstSceneFrom(s, false);
  frames(5, 1.0f / 30);
  std::vector<CellType5 *> ring = members(CellType5::list());
  ASSERT_EQ(ring.size(), 6u);
  CellType5 *root = ring.back(); // the oldest member
  EXPECT_EQ(root->depth, 1);
  EXPECT_EQ(root->leader, nullptr); // still open

  frame(1.0f / 30);
  ring = members(CellType5::list());
  ASSERT_EQ(ring.size(), 6u);
  std::map<int, CellType5 *> byDepth;
  for (CellType5 *o : ring) byDepth[o->depth] = o;
  ASSERT_EQ(byDepth.size(), 6u);
  EXPECT_EQ(byDepth[1]->leader, byDepth[6]);
  for (int d = 2; d <= 6; ++d) EXPECT_EQ(byDepth[d]->leader, byDepth[d - 1]);

  frames(20, 1.0f / 30);
  EXPECT_EQ(CellType5::list().count(), 6);
  std::vector<CellType7 *> tails = members(CellType7::list());
  EXPECT_EQ(tails.size(), 69u);
  // Every member of depth d trails 15 − d segments, the deepest at depth 15.
  std::map<int, int> perMember;
  for (CellType7 *t : tails) {
    EXPECT_LE(t->depth, 15);
    Cell *head = t->leader;
    while (head->kind == 7) head = head->leader;
    ++perMember[head->depth];
  }
  for (int d = 1; d <= 6; ++d) EXPECT_EQ(perMember[d], 15 - d) << "member depth " << d;
}

TEST_F(FirstSceneTest, TubifexTailFadesGeometricallyOver24Segments) {
  FirstSceneSettings s = emptyScene();
  s.tubifex = 1;
  buildFirstSceneFrom(s, false);
  CellType10 *head = CellType10::list().head;
  EXPECT_NEAR(head->position.x, 200.0f, 5.0f);
  frames(30, 1.0f / 30);

  std::vector<CellType11 *> tail = members(CellType11::list());
  ASSERT_EQ(tail.size(), 24u);
  std::map<int, CellType11 *> byDepth;
  for (CellType11 *o : tail) byDepth[o->depth] = o;
  EXPECT_EQ(byDepth.begin()->first, 2);
  EXPECT_EQ(byDepth.rbegin()->first, 25);
  for (auto &[d, o] : byDepth) EXPECT_NEAR(o->alpha, 255.0f * std::pow(0.9f, d - 1), 1e-3f) << "depth " << d;
  EXPECT_NEAR(byDepth[25]->alpha / 255.0f, 0.08f, 0.005f);

  // The link from the head to the first segment is not drawn; the next one is.
  Vector3 look = byDepth[3]->position;
  setCamera({look.x, look.y, look.z - 50}, look, {0, 1, 0}, 1.0f, 1.0f, 1000.0f);
  updateCamera();
  LinesDrawn = 0;
  CellType11::draw(*byDepth[2]);
  EXPECT_EQ(LinesDrawn, 0);
  CellType11::draw(*byDepth[3]);
  EXPECT_EQ(LinesDrawn, 1);
}

TEST_F(FirstSceneTest, SparksBurstFromTheirMeteorAwayFromPositiveZ) {
  CellType8 *meteor = CellType8::create();
  ASSERT_NE(meteor, nullptr);
  meteor->position = {40, -20, 10};
  meteor->velocity = {20, 0, -10};
  for (int i = 0; i < 400; ++i) {
    CellType9 *spark = CellType9::create(*meteor);
    ASSERT_NE(spark, nullptr);
    EXPECT_EQ(spark->leader, meteor);
    Vector3 offset, own;
    vector3Sub(spark->position, meteor->position, offset);
    EXPECT_NEAR(vector3Length(offset), 0.01f, 2e-4f);
    Vector3 inherited{2, 0, -1};
    vector3Sub(spark->velocity, inherited, own);
    EXPECT_NEAR(vector3Length(own), 15.0f, 0.2f);
    EXPECT_LE(own.z, 1e-3f);
  }
}

TEST_F(FirstSceneTest, SparkTurnsRedInItsFifteenthUpdateAndDiesAfter18Seconds) {
  FrameDelta = 0.05f;
  CellType8 *meteor = CellType8::create();
  CellType9 *spark = CellType9::create(*meteor);
  for (int update = 1; update <= 14; ++update) {
    CellType9::update(*spark);
    EXPECT_EQ(spark->color.r, 250.0f) << "update " << update;
  }
  CellType9::update(*spark);
  EXPECT_FLOAT_EQ(spark->color.r, 250.0f * 0.95f);

  // Through the class step: alive at 1.8 s of age, deleted after.
  CellType9::clearKind();
  spark = CellType9::create(*meteor);
  FrameDelta = 0.25f;
  for (int i = 0; i < 7; ++i) CellType9::step();
  EXPECT_EQ(CellType9::list().count(), 1); // age 1.75
  CellType9::step();
  EXPECT_TRUE(CellType9::list().empty()); // age 2.0 > 1.8
}

TEST_F(FirstSceneTest, PuffsSteadyThenDarkenAndDieAfterTwoAndAHalfSeconds) {
  CellType1 *trailer = CellType1::create();
  trailer->velocity = {10, 0, 0};
  CellType4 *puff = CellType4::create(*trailer);
  EXPECT_EQ(puff->position.x, trailer->position.x);
  EXPECT_EQ(puff->velocity.x, 10.0f);
  EXPECT_NEAR(std::max(puff->color.r, std::max(puff->color.g, puff->color.b)), 127.5f, 1e-3f);
  Rgb start = puff->color;

  FrameDelta = 0.25f;
  for (int i = 0; i < 5; ++i) CellType4::update(*puff); // age 1.25: half the life
  EXPECT_EQ(puff->color.r, start.r);
  EXPECT_EQ(puff->flickerAmplitude, 0.0f);
  EXPECT_NEAR(puff->velocity.x, 10.0f * std::pow(0.95f, 5), 1e-4f);
  CellType4::update(*puff); // 1.5
  EXPECT_EQ(puff->flickerAmplitude, 0.25f);
  EXPECT_FLOAT_EQ(puff->color.r, start.r * 0.96f);
  for (int i = 0; i < 4; ++i) CellType4::update(*puff); // 2.5: not yet dead
  EXPECT_EQ(puff->dead, 0);
  CellType4::update(*puff);
  EXPECT_EQ(puff->dead, 1);

  CellType4::step();
  EXPECT_EQ(CellType4::list().count(), 0);
}

TEST_F(FirstSceneTest, PuffsLiveTwoAndAHalfSecondsOfScaledTime) {
  FirstSceneSettings s = emptyScene();
  s.trailers = 1;
  s.timeFactor = 50;
  buildFirstSceneFrom(s, false);
  frames(300, 0.05f); // 15 s of clock, 7.5 s of scene time
  int puffs = 0;
  for (CellType4 *p : members(CellType4::list())) {
    ++puffs;
    EXPECT_LE(p->age, 2.5f + 0.025f);
  }
  // About 0.8 per frame over the last 5 s of clock (100 frames).
  EXPECT_GT(puffs, 60);
  EXPECT_LT(puffs, 101);
}

TEST_F(FirstSceneTest, DebrisLeavingTheViewIsPutBackNearTheCentre) {
  staticCamera();
  CellType6 *d = CellType6::create();
  EXPECT_EQ(d->previousPosition.x, d->position.x);
  d->position = {0, 0, -5000}; // behind the eye at z −110
  d->previousPosition = {0, 0, -4990};
  CellType6::draw(*d);
  EXPECT_EQ(LinesDrawn, 0);
  EXPECT_LE(std::fabs(d->position.x), 200.0f);
  EXPECT_LE(std::fabs(d->position.y), 200.0f);
  EXPECT_LE(std::fabs(d->position.z), 200.0f);
  EXPECT_EQ(d->previousPosition.z, d->position.z); // the next streak has zero length

  // A streak in view stays where it is and is drawn.
  d->position = {0, 0, 0};
  d->previousPosition = {1, 1, 0};
  CellType6::draw(*d);
  EXPECT_EQ(LinesDrawn, 1);
  EXPECT_EQ(d->position.z, 0.0f);
  EXPECT_EQ(d->previousPosition.x, 0.0f);

  // The wind never lets a streak exceed its speed limit.
  FrameDelta = 0.1f;
  for (int i = 0; i < 50; ++i) {
    ElapsedSeconds += 0.1f;
    CellType6::update(*d);
    EXPECT_LE(vector3Length(d->velocity), 40.0f * 1.0001f);
  }
  EXPECT_EQ(d->acceleration.z, -8000.0f);
}

// Age, z and alpha of a card after each frame at a fixed step.
struct CardFrame {
  float age, z, alpha;
};

std::vector<CardFrame> runCard(int lifeSpan, bool saver, float dt) {
  std::vector<CardFrame> seen;
  Title::create(lifeSpan, saver);
  FrameDelta = dt;
  for (int i = 0; i < 1000 && !Title::empty(); ++i) {
    Title *card = Title::list().head;
    Title::update(*card);
    seen.push_back({card->age, card->position.z, card->alpha});
    Title::list().purgeDead();
  }
  return seen;
}

TEST_F(FirstSceneTest, TitleCardFliesInHoldsAndFadesOut) {
  std::vector<CardFrame> saver = runCard(15, true, 0.25f);
  // Dies in the first frame with age > 15.
  ASSERT_EQ(saver.size(), 61u);
  EXPECT_FLOAT_EQ(saver[0].z, 200.0f);
  EXPECT_FLOAT_EQ(saver[0].alpha, 0.0f);
  // Fly-in eases out: z falls and alpha rises, fastest at first.
  EXPECT_LT(saver[1].z, saver[0].z);
  EXPECT_GT(saver[1].z - saver[2].z, saver[18].z - saver[19].z);
  float lastFlyIn = saver[19].alpha; // computed from age 4.75
  EXPECT_FLOAT_EQ(lastFlyIn, static_cast<float>(255.0 * (1.0 - std::pow(0.05, 3.0))));
  // Age 5 reached: at the end of the flight, alpha kept until the fade.
  for (int i = 20; i < 40; ++i) {
    EXPECT_EQ(saver[i].z, -20.0f);
    EXPECT_EQ(saver[i].alpha, lastFlyIn);
  }
  // Fade-out from age 10: alpha falls as the cube of the remaining fraction.
  EXPECT_FLOAT_EQ(saver[40].alpha, 255.0f * std::pow(0.95f, 3.0f));
  EXPECT_FLOAT_EQ(saver[59].alpha, 0.0f);

  std::vector<CardFrame> panel = runCard(30, false, 0.25f);
  ASSERT_EQ(panel.size(), 121u);
  EXPECT_EQ(panel[30].z, -40.0f);
  EXPECT_EQ(panel[99].alpha, panel[30].alpha); // still holding at age 25
  EXPECT_LT(panel[100].alpha, panel[99].alpha);
}

TEST_F(FirstSceneTest, ShortTitleCardFadesFromTheFirstFrame) {
  std::vector<CardFrame> card = runCard(5, true, 0.25f);
  EXPECT_FLOAT_EQ(card[0].alpha, 255.0f * std::pow(0.95f, 3.0f));
  Title::create(30, false);
  EXPECT_EQ(Title::list().head->position.y, 20.0f);
}

TEST_F(FirstSceneTest, ControlPanelBringsTheTitleBackDuringEveryOtherHundredSeconds) {
  FirstSceneSettings s = emptyScene();
  s.saver = false;
  buildFirstSceneFrom(s, false);
  std::vector<float> madeAt;
  Title *last = Title::list().head;
  int most = 0;
  for (int i = 0; i < 700; ++i) {
    frame(0.5f);
    most = std::max(most, Title::list().count());
    Title *now = Title::list().head;
    if (now && now != last) madeAt.push_back(ElapsedSeconds);
    last = now;
  }
  EXPECT_EQ(most, 1);
  ASSERT_GE(madeAt.size(), 2u);
  EXPECT_FLOAT_EQ(madeAt[0], 100.0f);
  bool sawThreeHundred = false;
  for (float t : madeAt) {
    EXPECT_FALSE(t >= 200.0f && t < 300.0f) << "made at " << t;
    if (t >= 300.0f) sawThreeHundred = true;
  }
  EXPECT_GE(madeAt.size(), 4u); // 100, ~131, ~162, ~193
  EXPECT_TRUE(sawThreeHundred);
}

TEST_F(FirstSceneTest, SaverShowsOnlyOneTitle) {
  buildFirstSceneFrom(emptyScene(), false);
  frames(400, 1.0f);
  EXPECT_TRUE(Title::empty());
}

TEST_F(FirstSceneTest, EmptySceneDrawsOnlyTheTitleAndTheBanner) {
  buildFirstSceneFrom(emptyScene(), false);
  for (int i = 0; i < 5; ++i) {
    PolygonsDrawn = LinesDrawn = 0;
    frame(1.0f / 30);
    EXPECT_EQ(PolygonsDrawn, 2);
    EXPECT_EQ(LinesDrawn, 0);
  }
  EXPECT_EQ(Title::list().count(), 1);
  EXPECT_EQ(Author::list().count(), 1);
}

// The orbit at ElapsedSeconds t, radius r.
Vector3 orbitEye(float t, float r) {
  double a = std::sin(0.05 * t) * std::numbers::pi / 4;
  double c = -0.0593 * t;
  return Vector3{static_cast<float>(r * std::cos(c) * std::cos(a)), static_cast<float>(r * std::sin(a)),
                 static_cast<float>(r * std::sin(c) * std::cos(a))};
}

TEST_F(FirstSceneTest, TimeFactorSlowsTheObjectsButNotTheCamera) {
  FirstSceneSettings s = emptyScene();
  s.trailers = 3;
  s.worms = 1;
  s.staticCamera = 0;

  buildFirstSceneFrom(s, false);
  frames(60, 1.0f / 60);
  std::vector<Vector3> full;
  for (CellType1 *t : members(CellType1::list())) full.push_back(t->position);
  float fullAge = Author::list().head->age;
  clearFirstScene();

  // Half the speed over twice the clock time: the same path.
  programSrand(1);
  ElapsedSeconds = 0.0f;
  s.timeFactor = 50;
  buildFirstSceneFrom(s, false);
  frames(60, 1.0f / 30);
  std::vector<Vector3> half;
  for (CellType1 *t : members(CellType1::list())) half.push_back(t->position);
  ASSERT_EQ(half.size(), full.size());
  for (size_t i = 0; i < full.size(); ++i) {
    EXPECT_NEAR(half[i].x, full[i].x, 1e-2f);
    EXPECT_NEAR(half[i].y, full[i].y, 1e-2f);
    EXPECT_NEAR(half[i].z, full[i].z, 1e-2f);
  }
  EXPECT_NEAR(Author::list().head->age, fullAge, 1e-4f);
  EXPECT_NEAR(FrameDelta, 1.0f / 60, 1e-7f);

  // The objects' camera keeps the clock: three times the radius-55 orbit.
  Vector3 expected = orbitEye(ElapsedSeconds, 165.0f);
  const DirectorCamera &seen = firstSceneObjectCamera();
  EXPECT_NEAR(seen.eye.x, expected.x, 1e-2f);
  EXPECT_NEAR(seen.eye.y, expected.y, 1e-2f);
  EXPECT_NEAR(seen.eye.z, expected.z, 1e-2f);
  EXPECT_EQ(seen.zoom, 1.6f);
  // The title camera is what stays set at the end of a frame.
  EXPECT_EQ(firstSceneCamera().eye.z, -75.0f);
}

TEST_F(FirstSceneTest, StaticCameraHoldsTheObjectsView) {
  buildFirstSceneFrom(emptyScene(), false);
  frames(10, 0.5f);
  const DirectorCamera &seen = firstSceneObjectCamera();
  EXPECT_EQ(seen.eye.x, 0.0f);
  EXPECT_EQ(seen.eye.z, -110.0f);
  EXPECT_EQ(seen.zoom, 0.8f);
}

TEST_F(FirstSceneTest, ResetRespawnsWithTheBuildsCounts) {
  FirstSceneSettings s = emptyScene();
  s.trailers = 2;
  s.worms = 1;
  s.debris = 5;
  buildFirstSceneFrom(s, false);
  frames(30, 1.0f / 30);
  EXPECT_GT(CellType4::list().count(), 0);
  resetFirstScene();
  EXPECT_EQ(CellType1::list().count(), 2);
  EXPECT_EQ(CellType2::list().count(), 1);
  EXPECT_EQ(CellType6::list().count(), 5);
  EXPECT_EQ(CellType3::list().count(), 0);
  EXPECT_EQ(CellType4::list().count(), 0);
  EXPECT_EQ(Title::list().count(), 1);
  EXPECT_EQ(Author::list().count(), 1);
  // Stepping right after a reset, within the same clock value, reads no stale snapshot.
  stepFirstScene(false);
  EXPECT_EQ(CellType3::list().count(), 2);
}

TEST_F(FirstSceneTest, HandEditedCountsAreBounded) {
  FirstSceneSettings s;
  s.trailers = 15;
  s.worms = 5;
  s.spinners = 5;
  s.meteors = 5;
  s.tubifex = 24;
  s.debris = 2000;
  FirstSceneSettings b = boundFirstSceneSettings(s);
  // Every value the control panel offers is kept.
  EXPECT_EQ(b.trailers, 15);
  EXPECT_EQ(b.spinners, 5);
  EXPECT_EQ(b.tubifex, 24);
  EXPECT_EQ(b.debris, 2000);

  s.trailers = 1000000;
  s.spinners = 1000;
  s.debris = -5;
  s.worms = -1;
  b = boundFirstSceneSettings(s);
  EXPECT_EQ(b.trailers, MaxSteeringObjects);
  EXPECT_LE(b.spinners * 6, 2048);
  EXPECT_EQ(b.debris, 0);
  EXPECT_EQ(b.worms, 0);
}

} // namespace
