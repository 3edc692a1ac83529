// A star-field scene without a window: fixed seed and frame step, and the
// board's draw calls counted instead of drawn.
#pragma once

#include <gtest/gtest.h>

#include <set>

#include "display/frameloop.h"
#include "display/glidedisplay.h"
#include "math/camera.h"
#include "math/clip.h"
#include "math/trig.h"
#include "math/vector.h"
#include "frame/random.h"
#include "scene/author.h"
#include "secondscene/director.h"
#include "secondscene/disk.h"
#include "secondscene/mainstar.h"
#include "secondscene/secondscene.h"
#include "secondscene/supernova.h"
#include "secondscene/title.h"

inline int PolygonsDrawn = 0;
inline int LinesDrawn = 0;

inline void countPolygon(int, const int[], const GrVertex[]) { ++PolygonsDrawn; }
inline void countLine(const GrVertex *, const GrVertex *) { ++LinesDrawn; }
inline void ignorePoint(const GrVertex *) {}

class StarSceneTest : public ::testing::Test {
protected:
  void SetUp() override {
    initTrigTables();
    programSrand(1);
    PeakAlpha = 255.0f;
    FrameDelta = 1.0f / 60.0f;
    ElapsedSeconds = 1.0f;
    setRenderSize(800, 600);
    applySecondSceneSettings(200, 3, 650, 60, 0);
    fillRingTables();
    SecondSceneSaver = true;
    StarType1::setLastMarkTime(0.0f);
    StarType4::setSwallowCount(0);
    RingRadius = 0.0f;
    BoardDraw.drawPolygon = countPolygon;
    BoardDraw.drawLine = countLine;
    BoardDraw.aaDrawLine = countLine;
    BoardDraw.aaDrawPoint = ignorePoint;
    PolygonsDrawn = 0;
    LinesDrawn = 0;
    secondOrbitCamera();
  }
  void TearDown() override {
    clearSecondScene();
    resetBoardDrawCalls();
  }

  // One frame of the whole scene, the clock advanced first as the frame loop does.
  void frame() {
    ElapsedSeconds += FrameDelta;
    stepSecondScene(false);
  }

  // A main star at p with the given life and an empty neighbour array.
  static StarType1 *starAt(Vector3 p, float life) {
    StarType1 *s = StarType1::create();
    s->position = p;
    s->life = life;
    s->marked = 0;
    return s;
  }

  template <class T> static int count() { return T::list().count(); }

  // True when every non-null neighbour entry of every main star is a live main star.
  static bool neighbourArraysPointToLiveStars() {
    std::set<const StarType1 *> live;
    for (StarType1 *s = StarType1::list().head; s; s = ObjectKindList<StarType1>::following(s))
      live.insert(s);
    for (StarType1 *s = StarType1::list().head; s; s = ObjectKindList<StarType1>::following(s))
      for (int i = 0; i < s->neighbourSlots; ++i)
        if (s->neighbours[i].star && !live.count(s->neighbours[i].star)) return false;
    return true;
  }
};
