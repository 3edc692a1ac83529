#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <vector>

#include "backdrop/backdrop.h"
#include "backdrop/noise.h"
#include "backdrop/skycube.h"
#include "glide/glide.h"
#include "glide/trace.h"
#include "math/camera.h"
#include "math/clip.h"
#include "frame/random.h"

namespace {

// What reached the board during one draw.
int SkyPolygons = 0;   // polygons in the backdrop's own vertex colour
int OtherPolygons = 0; // star sprites
int StarPoints = 0;
constexpr float TintR = 1.0f, TintG = 2.0f, TintB = 3.0f, TintA = 4.0f;

void countPolygon(int, const int[], const GrVertex vlist[]) {
  if (vlist[0].r == TintR && vlist[0].g == TintG && vlist[0].b == TintB)
    ++SkyPolygons;
  else
    ++OtherPolygons;
}
void countPoint(const GrVertex *) { ++StarPoints; }

void resetCounts() { SkyPolygons = OtherPolygons = StarPoints = 0; }

void forEachQuad(Quad *q, const std::function<void(Quad &)> &visit) {
  if (!q) return;
  visit(*q);
  for (Quad *child : q->children) forEachQuad(child, visit);
}

std::vector<Quad *> leavesOf(Quad *face) {
  std::vector<Quad *> leaves;
  forEachQuad(face, [&](Quad &q) {
    if (q.level == LeafLevel) leaves.push_back(&q);
  });
  return leaves;
}

float length(const Vector3 &v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

class SkyCubeTest : public ::testing::Test {
protected:
  void SetUp() override {
    static bool open = false;
    if (!open) {
      grGlideInit();
      grSstSelect(0);
      open = grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
                          GR_ORIGIN_LOWER_LEFT, 2, 0);
    }
    setFixedSeed(7);
    BoardDraw.drawPolygon = countPolygon;
    BoardDraw.aaDrawPoint = countPoint;
    resetCounts();
  }
  void TearDown() override {
    resetBoardDrawCalls();
    clearFixedSeed();
  }

  // The view the first scene draws the sky from: radius 55, wide lens.
  static void lookFrom(const Vector3 &eye) {
    setCamera(eye, Vector3{0, 0, 0}, Vector3{0, 1, 0}, 1.6f, 2.0f, 30000.0f);
    updateCamera();
  }
};

TEST_F(SkyCubeTest, PointsAreFoundByDirection) {
  Point *a = findPoint(1.0f, 2.0f, 3.0f);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(findPoint(2.0f, 4.0f, 6.0f), a);
  EXPECT_EQ(findPoint(0.25f, 0.5f, 0.75f), a);
  EXPECT_NEAR(length(a->position), 500.0f, 1e-3f);

  Point *corner = findPoint(-1.0f, -1.0f, -1.0f);
  EXPECT_NEAR(corner->position.x, -288.675f, 1e-2f);
  EXPECT_NEAR(corner->position.y, -288.675f, 1e-2f);
  EXPECT_NEAR(corner->position.z, -288.675f, 1e-2f);
  EXPECT_NE(corner, a);

  // The midpoint of two directions is the direction of their sum.
  Point *mid = findPoint(-1.0f + 1.0f, -1.0f + 1.0f, -1.0f - 1.0f);
  EXPECT_NEAR(mid->position.z, -500.0f, 1e-3f);
  EXPECT_EQ(findPoint(0.0f, 0.0f, 0.0f), nullptr);
}

TEST_F(SkyCubeTest, BuildSplitsEachFaceIntoSharedPatches) {
  buildBackdrop(false, TintR, TintG, TintB, TintA);
  std::set<Point *> corners;
  int leafStars = 0;
  for (int f = 0; f < 6; ++f) {
    Quad *face = backdropFace(f);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->level, 0);
    EXPECT_EQ(face->corners[0].s, 0.5f);
    EXPECT_EQ(face->corners[0].t, 0.5f);
    EXPECT_EQ(face->corners[1].t, 63.5f);
    EXPECT_EQ(face->corners[2].s, 63.5f);
    EXPECT_EQ(face->corners[3].t, 0.5f);
    int perLevel[5] = {0, 0, 0, 0, 0};
    forEachQuad(face, [&](Quad &q) {
      ++perLevel[q.level];
      for (const QuadCorner &c : q.corners) {
        corners.insert(c.point);
        EXPECT_NEAR(length(c.point->position), 500.0f, 1e-2f);
      }
      for (Quad *child : q.children)
        if (child) {
          EXPECT_EQ(child->parent, &q);
        }
      if (q.level < LeafLevel) {
        EXPECT_EQ(q.stars, nullptr);
        return;
      }
      // Leaves keep the face's orientation and hold two to six stars, packed.
      EXPECT_LT(q.corners[0].s, q.corners[3].s);
      EXPECT_LT(q.corners[0].t, q.corners[1].t);
      ASSERT_NE(q.stars, nullptr);
      int n = 0;
      while (n < 6 && q.stars->stars[n]) ++n;
      for (int k = n; k < 6; ++k) EXPECT_EQ(q.stars->stars[k], nullptr);
      EXPECT_GE(n, 2);
      leafStars += n;
      for (int k = 0; k < n; ++k) {
        const StarType11 &s = *q.stars->stars[k];
        EXPECT_EQ(s.kind, StarType11::Kind);
        EXPECT_NEAR(length(s.position), 500.0f, 1e-2f);
        EXPECT_TRUE(s.size == 0.5f || (s.size >= 2.0f && s.size <= 7.0f));
        EXPECT_GE(s.color.g, 155.0f);
      }
    });
    EXPECT_EQ(perLevel[1], 4);
    EXPECT_EQ(perLevel[2], 16);
    EXPECT_EQ(perLevel[3], 64);
    EXPECT_EQ(perLevel[4], 256);
  }
  // 17 x 17 corners per face, edges shared: 6 * 16 * 16 + 2 distinct corners.
  EXPECT_EQ(corners.size(), 1538u);
  // Faces 0 and 1 share the cube edge from corner 0 to corner 1.
  EXPECT_EQ(backdropFace(0)->corners[0].point, backdropFace(1)->corners[0].point);
  EXPECT_EQ(backdropFace(0)->corners[1].point, backdropFace(1)->corners[1].point);
  EXPECT_EQ(StarType11::list().count(), leafStars);
  EXPECT_LE(backdropPointsStored(), PointTableSize / 2);

  // A second build replaces the first rather than adding to it, and reuses
  // the face textures.
  int textures[6];
  for (int f = 0; f < 6; ++f) textures[f] = backdropFaceTexture(f);
  int stored = backdropPointsStored();
  buildBackdrop(false, TintR, TintG, TintB, TintA);
  EXPECT_EQ(StarType11::list().count(), leafStars);
  EXPECT_EQ(backdropPointsStored(), stored);
  for (int f = 0; f < 6; ++f) EXPECT_EQ(backdropFaceTexture(f), textures[f]);
}

TEST_F(SkyCubeTest, BuildIsRepeatableForOneSeed) {
  buildBackdrop(false, TintR, TintG, TintB, TintA);
  std::vector<Vector3> first;
  for (StarType11 *s = StarType11::list().head; s; s = ObjectKindList<StarType11>::following(s))
    first.push_back(s->position);
  int afterBuild = programRand();
  buildBackdrop(false, TintR, TintG, TintB, TintA);
  std::vector<Vector3> second;
  for (StarType11 *s = StarType11::list().head; s; s = ObjectKindList<StarType11>::following(s))
    second.push_back(s->position);
  ASSERT_EQ(first.size(), second.size());
  EXPECT_EQ(0, std::memcmp(first.data(), second.data(), first.size() * sizeof(Vector3)));
  EXPECT_EQ(programRand(), afterBuild);
}

TEST_F(SkyCubeTest, DrawsVisibleLeavesWithContentAndTheirStars) {
  buildBackdrop(false, TintR, TintG, TintB, TintA);
  lookFrom(Vector3{0.0f, 0.0f, -55.0f});
  drawBackdrop(false);
  EXPECT_GT(SkyPolygons, 10);
  EXPECT_GT(StarPoints + OtherPolygons, 10);
  // Every patch tested this frame (a face, or a child of a visible patch) has
  // its corners projected, but each shared point only once.
  std::set<Point *> tested;
  for (int f = 0; f < 6; ++f)
    forEachQuad(backdropFace(f), [&](Quad &q) {
      if (!q.parent || q.parent->visible)
        for (const QuadCorner &c : q.corners) tested.insert(c.point);
    });
  EXPECT_EQ(backdropPointsProjected(), static_cast<int>(tested.size()));
  EXPECT_LT(backdropPointsProjected(), 1538);
  // Patches behind the camera are marked hidden, with all their descendants.
  int visibleLeaves = 0, hiddenLeaves = 0;
  for (int f = 0; f < 6; ++f)
    for (Quad *leaf : leavesOf(backdropFace(f))) {
      (leaf->visible ? visibleLeaves : hiddenLeaves)++;
      if (leaf->visible) {
        for (Quad *up = leaf->parent; up; up = up->parent) EXPECT_EQ(up->visible, 1);
      }
    }
  EXPECT_GT(visibleLeaves, 0);
  EXPECT_GT(hiddenLeaves, visibleLeaves);
  int drawnStars = StarPoints + OtherPolygons;

  // A leaf whose image is all black is skipped; its stars still shine.
  static uint8_t black[FaceTexels];
  for (int f = 0; f < 6; ++f) markContent(*backdropFace(f), black);
  resetCounts();
  drawBackdrop(false);
  EXPECT_EQ(SkyPolygons, 0);
  EXPECT_EQ(StarPoints + OtherPolygons, drawnStars);
}

TEST_F(SkyCubeTest, MotionBlurDrawsOnlyTheStars) {
  buildBackdrop(true, TintR, TintG, TintB, TintA);
  lookFrom(Vector3{30.0f, 20.0f, 40.0f});
  drawBackdrop(true);
  EXPECT_EQ(SkyPolygons, 0);
  EXPECT_GT(StarPoints + OtherPolygons, 10);
  // The patches were still tested for visibility.
  int visibleLeaves = 0;
  for (int f = 0; f < 6; ++f)
    for (Quad *leaf : leavesOf(backdropFace(f))) visibleLeaves += leaf->visible;
  EXPECT_GT(visibleLeaves, 0);
}

// The board calls that open one frame of the sky.
std::vector<std::string> traceOneFrame(bool motionBlur) {
  const std::string path = ::testing::TempDir() + "backdrop_trace.txt";
  std::string error;
  EXPECT_TRUE(boardStartTrace(path.c_str(), error)) << error;
  drawBackdrop(motionBlur);
  EXPECT_TRUE(boardStopTrace(error)) << error;
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line) && lines.size() < 3;) lines.push_back(line);
  std::remove(path.c_str());
  return lines;
}

TEST_F(SkyCubeTest, MotionBlurTurnsDitheringOffAndAddsTheSky) {
  buildBackdrop(false, TintR, TintG, TintB, TintA);
  lookFrom(Vector3{0.0f, 0.0f, -55.0f});
  std::vector<std::string> plain = traceOneFrame(false);
  ASSERT_EQ(plain.size(), 3u);
  EXPECT_EQ(plain[0], "grDitherMode 2");
  EXPECT_EQ(plain[2], "grAlphaBlendFunction 1 0 0 0");
  std::vector<std::string> blurred = traceOneFrame(true);
  ASSERT_EQ(blurred.size(), 3u);
  EXPECT_EQ(blurred[0], "grDitherMode 0");
  EXPECT_EQ(blurred[2], "grAlphaBlendFunction 1 4 0 0");
}

TEST_F(SkyCubeTest, RefinementSharpensFaceByFaceThenStops) {
  buildBackdrop(false, TintR, TintG, TintB, TintA);
  EXPECT_EQ(backdropRefineProgress(), 0);
  lookFrom(Vector3{0.0f, 55.0f, 0.0f});
  drawBackdrop(false);
  drawBackdrop(false);
  EXPECT_EQ(backdropRefineProgress(), 2 * TexelsPerFrame);

  for (int frame = 2; frame < 512; ++frame) refineTexels(TexelsPerFrame);
  EXPECT_EQ(backdropRefineProgress(), FaceTexels);
  std::vector<uint8_t> face0(backdropRefineBuffer(), backdropRefineBuffer() + FaceTexels);
  // Face 0 now addresses the whole image; face 1 still its coarse corner.
  EXPECT_FLOAT_EQ(backdropFace(0)->corners[2].s, 255.5f);
  EXPECT_FLOAT_EQ(backdropFace(0)->corners[1].t, 255.5f);
  EXPECT_EQ(backdropFace(1)->corners[2].s, 63.5f);

  for (int frame = 0; frame < 512; ++frame) refineTexels(TexelsPerFrame);
  EXPECT_EQ(backdropRefineProgress(), 2 * FaceTexels);
  const uint8_t *face1 = backdropRefineBuffer();
  // The two faces meet without a seam: their shared edge is column 0 of both.
  for (int row = 0; row < 256; ++row) EXPECT_LE(std::abs(face0[row * 256] - face1[row * 256]), 1) << row;

  for (int frame = 1024; frame < 3072; ++frame) refineTexels(TexelsPerFrame);
  EXPECT_EQ(backdropRefineProgress(), RefineTotal);
  refineTexels(TexelsPerFrame);
  drawBackdrop(false);
  EXPECT_EQ(backdropRefineProgress(), RefineTotal);

  // The last face's leaves know from the fine image whether they hold anything.
  const uint8_t *face5 = backdropRefineBuffer();
  int empty = 0;
  for (Quad *leaf : leavesOf(backdropFace(5))) {
    bool any = false;
    for (int i = static_cast<int>(leaf->corners[0].s); i < leaf->corners[3].s; ++i)
      for (int j = static_cast<int>(leaf->corners[0].t); j < leaf->corners[1].t; ++j)
        any = any || face5[j * 256 + i] != 0;
    EXPECT_EQ(leaf->hasContent, any ? 1 : 0);
    empty += !any;
  }
  EXPECT_LT(empty, 256);
}

} // namespace
