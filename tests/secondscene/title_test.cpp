// The scene's title: its fades, its life and its placement.
#include <cmath>

#include "starscene_fixture.h"

namespace {

using TitleTest = StarSceneTest;

TEST_F(TitleTest, FadesInAndOutOverTwentySeconds) {
  secondTitleCamera();
  cTitle *t = cTitle::create(20, true);
  FrameDelta = 0.5f;
  auto alphaAfterAge = [&](float age) {
    while (t->age < age - 0.25f) cTitle::step();
    return t->alpha;
  };
  EXPECT_EQ(t->alpha, 0.0f);
  // The alpha a frame gives follows the age before that frame's ageing.
  EXPECT_FLOAT_EQ(alphaAfterAge(5.5f), 0.875f * PeakAlpha);
  EXPECT_GT(alphaAfterAge(10.0f), 0.99f * PeakAlpha);
  EXPECT_FLOAT_EQ(alphaAfterAge(15.0f), 0.125f * PeakAlpha);
  EXPECT_FLOAT_EQ(alphaAfterAge(20.0f), 0.0f);
  EXPECT_EQ(count<cTitle>(), 1);
  cTitle::step();
  EXPECT_EQ(count<cTitle>(), 0);
  EXPECT_GT(PolygonsDrawn, 30);
}

TEST_F(TitleTest, MotionBlurHalvesTheBrightness) {
  PeakAlpha = 127.5f;
  cTitle *t = cTitle::create(30, true);
  FrameDelta = 0.5f;
  float brightest = 0.0f;
  while (count<cTitle>() > 0) {
    cTitle::step();
    if (count<cTitle>() > 0) brightest = std::max(brightest, t->alpha);
  }
  EXPECT_LE(brightest, 127.5f);
  EXPECT_GT(brightest, 126.0f);
}

TEST_F(TitleTest, ControlPanelTitleStandsFartherAndHigherForAll) {
  cTitle *saver = cTitle::create(20, true);
  EXPECT_EQ(saver->position.y, 0.0f);
  cTitle::step();
  EXPECT_EQ(saver->position.z, -20.0f);
  cTitle *panel = cTitle::create(30, false);
  EXPECT_EQ(panel->position.y, 10.0f);
  EXPECT_EQ(panel->position.z, -20.0f);
  cTitle::step();
  EXPECT_EQ(saver->position.z, -42.0f);
  EXPECT_EQ(panel->position.z, -42.0f);
  EXPECT_EQ(panel->position.x, 7.0f);
}

} // namespace
