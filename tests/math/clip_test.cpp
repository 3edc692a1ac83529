#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "display/glidedisplay.h"
#include "glide/extension.h"
#include "math/clip.h"

namespace {

// What the drawers hand to the board.
struct DrawCall {
  enum Kind { Polygon, Line, AALine, AAPoint } kind;
  std::vector<int> indices;
  std::vector<GrVertex> vertices;
};
std::vector<DrawCall> Calls;

void recordPolygon(int n, const int ilist[], const GrVertex vlist[]) {
  DrawCall c{DrawCall::Polygon, {}, {}};
  for (int i = 0; i < n; ++i) {
    c.indices.push_back(ilist[i]);
    c.vertices.push_back(vlist[ilist[i]]);
  }
  Calls.push_back(c);
}
void recordLine(const GrVertex *a, const GrVertex *b) { Calls.push_back({DrawCall::Line, {}, {*a, *b}}); }
void recordAALine(const GrVertex *a, const GrVertex *b) { Calls.push_back({DrawCall::AALine, {}, {*a, *b}}); }
void recordAAPoint(const GrVertex *p) { Calls.push_back({DrawCall::AAPoint, {}, {*p}}); }

class Clipping : public ::testing::Test {
protected:
  void SetUp() override {
    setRenderSize(640, 480);
    Calls.clear();
    BoardDraw = {recordPolygon, recordLine, recordAALine, recordAAPoint};
  }
  void TearDown() override { resetBoardDrawCalls(); }

  // A vertex with distinct, easily interpolated attributes.
  static ClipVertex vertex(float x, float y, float z, float w, float shade = 0.0f) {
    ClipVertex v{};
    float values[12] = {x, y, z, w, shade, shade + 1, shade + 2, 255.0f - shade, shade * 2, shade * 3};
    for (int i = 0; i < 12; ++i) v[i] = values[i];
    return v;
  }
};

constexpr float Bias = BoardSnapBias;

TEST_F(Clipping, QuadInsidePassesUnchangedAndDrawsOnce) {
  ClipVertex q[4] = {vertex(-0.5f, -0.5f, -0.5f, 1, 10), vertex(0.5f, -0.5f, -0.5f, 1, 20),
                     vertex(0.5f, 0.5f, -0.5f, 1, 30), vertex(-0.5f, 0.5f, -0.5f, 1, 40)};
  ClipVertex *list[12] = {&q[0], &q[1], &q[2], &q[3]};
  int count = -1;
  drawPolygon3D(10, 4, list, count, list);
  ASSERT_EQ(count, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list[i], &q[i]);
  EXPECT_EQ(list[4], &q[0]); // closed
  ClipVertex *separate[12];
  clipPolygon3D(10, 4, list, count, separate);
  ASSERT_EQ(count, 4);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(separate[i], &q[i % 4]);

  ASSERT_EQ(Calls.size(), 1u);
  const DrawCall &c = Calls[0];
  EXPECT_EQ(c.kind, DrawCall::Polygon);
  EXPECT_EQ(c.indices, (std::vector<int>{0, 1, 2, 3}));
  // Positions come on the 1/16-pixel grid.
  EXPECT_EQ(c.vertices[0].x - Bias, 160.0625f);
  EXPECT_EQ(c.vertices[2].y - Bias, 359.9375f);
  EXPECT_EQ(c.vertices[1].r, 20.0f);
  EXPECT_EQ(c.vertices[1].b, 22.0f);
  EXPECT_EQ(c.vertices[1].a, 235.0f);
  EXPECT_FLOAT_EQ(c.vertices[3].tmuvtx[0].sow, 80.0f / 65500.0f);
  EXPECT_FLOAT_EQ(c.vertices[3].tmuvtx[0].tow, 120.0f / 65500.0f);
}

TEST_F(Clipping, EverythingBehindTheViewerDrawsNothing) {
  ClipVertex q[4] = {vertex(-0.5f, -0.5f, 0.5f, -1), vertex(0.5f, -0.5f, 0.5f, -1),
                     vertex(0.5f, 0.5f, 0.5f, -1), vertex(-0.5f, 0.5f, 0.5f, -1)};
  ClipVertex *list[12] = {&q[0], &q[1], &q[2], &q[3]};
  int count = -1;
  drawPolygon3D(10, 4, list, count, list);
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(drawPointAA(q[0]));
  EXPECT_TRUE(Calls.empty());
}

TEST_F(Clipping, TriangleAcrossTheRightPlaneBecomesAQuad) {
  // Vertex 1 lies beyond x = w; the cuts are a quarter and a third of the way back.
  ClipVertex t[3] = {vertex(0.0f, -0.5f, -0.5f, 1, 0), vertex(2.0f, 0.0f, -0.5f, 1, 100),
                     vertex(0.5f, 0.5f, -0.5f, 1, 40)};
  ClipVertex *in[4] = {&t[0], &t[1], &t[2]};
  ClipVertex *out[10];
  int count = 0;
  clipPolygon3D(10, 3, in, count, out);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(out[0], &t[0]);
  EXPECT_EQ(out[3], &t[2]);
  EXPECT_EQ(out[4], &t[0]);
  // Edge 0→1 cut at t = 0.5; edge 1→2 cut where 2 − 1.5·t = 1, t = 2/3.
  const ClipVertex &a = *out[1];
  const ClipVertex &b = *out[2];
  EXPECT_NEAR(a[0], a[3], 1e-6f);
  EXPECT_NEAR(b[0], b[3], 1e-6f);
  EXPECT_NEAR(a[1], -0.25f, 1e-6f);
  EXPECT_NEAR(a[4], 50.0f, 1e-4f);
  EXPECT_NEAR(a[7], 205.0f, 1e-4f);
  EXPECT_NEAR(a[9], 150.0f, 1e-4f);
  EXPECT_NEAR(b[1], 1.0f / 3.0f, 1e-6f);
  EXPECT_NEAR(b[4], 100.0f - 60.0f * 2.0f / 3.0f, 1e-4f);
  EXPECT_NEAR(b[8], 200.0f - 120.0f * 2.0f / 3.0f, 1e-4f);
}

TEST_F(Clipping, VerticesOnAPlaneAreKeptOnceWithoutExtraCuts) {
  // On x = w, then outside, then inside: the on-plane start of the outgoing
  // edge yields a copy of itself (t = 0).
  ClipVertex t[3] = {vertex(1, 0, -0.5f, 1, 0), vertex(3, 0.5f, -0.5f, 1, 0), vertex(0, 0.5f, -0.5f, 1, 0)};
  ClipVertex *in[4] = {&t[0], &t[1], &t[2]};
  ClipVertex *out[10];
  int count = 0;
  clipPolygon3D(4, 3, in, count, out);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(out[0], &t[0]);
  EXPECT_NE(out[1], &t[0]);
  EXPECT_EQ((*out[1])[0], 1.0f);
  EXPECT_EQ((*out[1])[1], 0.0f);
  EXPECT_EQ(out[3], &t[2]);

  // Reversed order: the edge from outside ends on the plane, so no cut there.
  ClipVertex *rev[4] = {&t[2], &t[1], &t[0]};
  clipPolygon3D(4, 3, rev, count, out);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(out[0], &t[2]);
  EXPECT_EQ(out[2], &t[0]);

  // A triangle touching the volume only at one corner on the plane leaves that
  // corner and its copy: too few for a polygon, nothing is drawn.
  ClipVertex u[3] = {vertex(1, 0, -0.5f, 1), vertex(2, 0.5f, -0.5f, 1), vertex(2, -0.5f, -0.5f, 1)};
  ClipVertex *touch[10] = {&u[0], &u[1], &u[2]};
  drawPolygon3D(4, 3, touch, count, touch);
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(Calls.empty());
}

TEST_F(Clipping, LinesAreCutAtTheNearPlaneAndAtBothEnds) {
  ClipVertex l[2] = {vertex(0.2f, 0.1f, -0.5f, 1, 0), vertex(0.2f, 0.1f, 0.5f, 1, 100)};
  ClipVertex *list[9] = {&l[0], &l[1]};
  int count = 0;
  drawLine3D(8, 2, list, count, list);
  // The closed two-vertex list is cut on the way out and on the way back; the
  // first two entries are the visible segment.
  ASSERT_EQ(count, 3);
  ASSERT_EQ(Calls.size(), 1u);
  EXPECT_EQ(Calls[0].kind, DrawCall::Line);
  EXPECT_EQ(list[0], &l[0]);
  EXPECT_NEAR((*list[1])[2], 0.0f, 1e-7f);
  EXPECT_NEAR(Calls[0].vertices[1].r, 50.0f, 1e-4f);

  // Both endpoints beyond the same side: nothing.
  ClipVertex off[2] = {vertex(-3, 0, -0.5f, 1), vertex(-2, 0.5f, -0.5f, 1)};
  ClipVertex *offList[9] = {&off[0], &off[1]};
  drawLineAA3D(8, 2, offList, count, offList);
  EXPECT_LT(count, 2);
  EXPECT_EQ(Calls.size(), 1u);

  // Right across the volume: cut at x = −w and x = w.
  ClipVertex across[2] = {vertex(-3, 0, -0.5f, 1, 0), vertex(3, 0, -0.5f, 1, 60)};
  ClipVertex *acrossList[9] = {&across[0], &across[1]};
  drawLineAA3D(10, 2, acrossList, count, acrossList);
  ASSERT_GE(count, 2);
  ASSERT_EQ(Calls.size(), 2u);
  EXPECT_EQ(Calls[1].kind, DrawCall::AALine);
  float x0 = (*acrossList[0])[0], x1 = (*acrossList[1])[0];
  EXPECT_NEAR(std::fmin(x0, x1), -1.0f, 1e-6f);
  EXPECT_NEAR(std::fmax(x0, x1), 1.0f, 1e-6f);
  EXPECT_NEAR(Calls[1].vertices[0].r + Calls[1].vertices[1].r, 60.0f, 1e-3f);
}

// A line of colour only (8 floats) reaches the board with s/w and t/w of zero
// at both ends, whatever the rest of the caller's records hold, cut or not.
TEST_F(Clipping, FloatsPastTheGivenCountReachTheBoardAsZero) {
  for (bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "cut" : "whole");
    ClipVertex l[2] = {vertex(0.2f, 0.1f, -0.5f, 1, 10), vertex(cut ? 3.0f : 0.3f, 0.1f, -0.5f, 1, 20)};
    l[0][8] = l[1][8] = 7.0e30f;
    l[0][9] = l[1][9] = std::nanf("");
    ClipVertex *list[9] = {&l[0], &l[1]};
    int count = 0;
    Calls.clear();
    drawLineAA3D(8, 2, list, count, list);
    ASSERT_EQ(Calls.size(), 1u);
    for (const GrVertex &v : Calls[0].vertices) {
      EXPECT_EQ(v.tmuvtx[0].sow, 0.0f);
      EXPECT_EQ(v.tmuvtx[0].tow, 0.0f);
      EXPECT_EQ(v.tmuvtx[1].sow, 0.0f);
    }
    EXPECT_EQ(Calls[0].vertices[0].a, 245.0f); // the alpha is among the 8
  }
}

TEST_F(Clipping, ScreenCoordinatesKeepTheSnapBias) {
  GrVertex out{};
  float centre[10] = {0, 0, -0.3f, 1, 1, 2, 3, 4, 5, 6};
  clipToScreen(centre, out);
  EXPECT_EQ(out.x, Bias + 320.0f);
  EXPECT_EQ(out.y, Bias + 240.0f);
  EXPECT_EQ(out.oow, static_cast<float>(1.0 / 65500.0));
  EXPECT_EQ(out.a, 4.0f);

  float corner[10] = {1, 1, -0.3f, 1, 0, 0, 0, 0, 0, 0};
  clipToScreen(corner, out);
  EXPECT_EQ(out.x, Bias + 639.875f); // 639.9 on the 1/16 grid
  EXPECT_EQ(out.y, Bias + 479.875f);
  EXPECT_EQ(out.oow, static_cast<float>(1.0 / 65500.0));

  // A farther vertex (w = 2): positions divide by w, 1/w halves, s/w and t/w follow.
  float far[10] = {1, -1, -1, 2, 0, 0, 0, 0, 128, 64};
  clipToScreen(far, out);
  EXPECT_EQ(out.x, Bias + 320.0f + 159.9375f);
  EXPECT_EQ(out.y, Bias + 240.0f - 119.9375f);
  EXPECT_FLOAT_EQ(out.oow, 0.5f / 65500.0f);
  EXPECT_FLOAT_EQ(out.tmuvtx[0].sow, 64.0f / 65500.0f);
  EXPECT_FLOAT_EQ(out.tmuvtx[0].tow, 32.0f / 65500.0f);
}

TEST_F(Clipping, ConversionVariantsCopyOnlyTheirAttributes) {
  GrVertex out;
  for (float &f : reinterpret_cast<float(&)[15]>(out)) f = -7.0f;
  float xy[4] = {0, 0, 0, 1};
  clipToScreenXY(xy, out);
  EXPECT_EQ(out.r, -7.0f);
  EXPECT_EQ(out.tmuvtx[0].sow, -7.0f);
  EXPECT_EQ(out.x, Bias + 320.0f);

  float rgb[7] = {0, 0, 0, 1, 10, 20, 30};
  clipToScreenRGB(rgb, out);
  EXPECT_EQ(out.g, 20.0f);
  EXPECT_EQ(out.a, -7.0f);

  float rgbuv[9] = {0, 0, 0, 1, 10, 20, 30, 100, 200};
  clipToScreenRGBUV(rgbuv, out);
  EXPECT_EQ(out.b, 30.0f);
  EXPECT_EQ(out.a, -7.0f);
  EXPECT_FLOAT_EQ(out.tmuvtx[0].sow, 100.0f / 65500.0f);
  EXPECT_FLOAT_EQ(out.tmuvtx[0].tow, 200.0f / 65500.0f);
  EXPECT_EQ(out.z, -7.0f);
}

TEST_F(Clipping, InsideTestIncludesBothDepthLimits) {
  EXPECT_TRUE(insideClipVolume(vertex(0, 0, 0, 1)));
  EXPECT_TRUE(insideClipVolume(vertex(1, -1, -1, 1)));
  EXPECT_FALSE(insideClipVolume(vertex(0, 0, 1e-6f, 1)));
  EXPECT_FALSE(insideClipVolume(vertex(0, 0, -1.001f, 1)));
  EXPECT_FALSE(insideClipVolume(vertex(1.01f, 0, -0.5f, 1)));

  EXPECT_TRUE(drawPointAA(vertex(0.5f, 0.5f, -0.5f, 1, 9)));
  ASSERT_EQ(Calls.size(), 1u);
  EXPECT_EQ(Calls[0].kind, DrawCall::AAPoint);
  EXPECT_EQ(Calls[0].vertices[0].r, 9.0f);
}

TEST_F(Clipping, OversizedOrRunawayPolygonsAreRefused) {
  // A zigzag of 32 vertices crossing x = w on every edge would need more cut
  // vertices and list entries than the clipper keeps.
  ClipVertex zig[32];
  ClipVertex *list[40 + 8];
  for (int i = 0; i < 32; ++i) {
    float y = -0.9f + 1.8f * i / 31.0f;
    zig[i] = vertex(i % 2 ? 3.0f : 0.0f, y, -0.5f, 1);
    list[i] = &zig[i];
  }
  ClipVertex canary{};
  for (int i = 32; i < 48; ++i) list[i] = &canary;
  int count = -1;
  drawPolygon3D(10, 32, list, count, list);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(Calls.empty());
  for (int i = 32 + 7; i < 48; ++i) EXPECT_EQ(list[i], &canary);

  // Too many vertices in, or too many floats per vertex.
  ClipVertex many[34];
  ClipVertex *manyList[48];
  for (int i = 0; i < 34; ++i) {
    many[i] = vertex(0.5f * std::cos(i * 0.18f), 0.5f * std::sin(i * 0.18f), -0.5f, 1);
    manyList[i] = &many[i];
  }
  drawPolygon3D(10, 34, manyList, count, manyList);
  EXPECT_EQ(count, 0);
  drawPolygon3D(13, 4, manyList, count, manyList);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(Calls.empty());

  // A convex 33-gon crossing every plane still clips and draws.
  for (int i = 0; i < 33; ++i) {
    float a = i * 6.2831853f / 33;
    many[i] = vertex(1.5f * std::cos(a), 1.5f * std::sin(a), -0.5f, 1);
    manyList[i] = &many[i];
  }
  drawPolygon3D(10, 33, manyList, count, manyList);
  EXPECT_GT(count, 3);
  EXPECT_EQ(Calls.size(), 1u);
}

TEST_F(Clipping, SingleStagesReadAndWriteClosedLists) {
  ClipVertex t[3] = {vertex(0, 0, -0.5f, 1), vertex(0, 0, -3, 1), vertex(0.5f, 0, -0.5f, 1)};
  ClipVertex *in[4] = {&t[0], &t[1], &t[2], &t[0]};
  ClipVertex *out[8];
  int count = 0;
  clipZFar(4, 3, in, count, out);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(out[4], out[0]);
  EXPECT_NEAR((*out[1])[2], -1.0f, 1e-6f);
  EXPECT_NEAR((*out[2])[2], -1.0f, 1e-6f);
  clipXMax(4, 3, in, count, out);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(out[3], &t[0]);
}

} // namespace
