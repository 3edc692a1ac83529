#include <gtest/gtest.h>

#include <cmath>

#include "math/camera.h"
#include "math/clip.h"

namespace {

struct Clip {
  float v[4];
  float x() const { return v[0] / v[3]; }
  float y() const { return v[1] / v[3]; }
  float z() const { return v[2] / v[3]; }
};

Clip project(Vector3 p) {
  Clip c;
  projectToClip(p, c.v);
  return c;
}

// eye at the origin looking down +z, zoom 1, near 1, far 100.
void placeWorkedExample(Vector3 up = {0, 1, 0}) {
  setCamera(Vector3{0, 0, 0}, Vector3{0, 0, 1}, up, 1.0f, 1.0f, 100.0f);
  updateCamera();
}

TEST(Camera, WorkedExampleDepthAndPerspective) {
  placeWorkedExample();
  Clip nearPoint = project({0, 0, 1});
  EXPECT_NEAR(nearPoint.v[2], 0.0f, 1e-6f);
  Clip farPoint = project({0, 0, 100});
  EXPECT_NEAR(farPoint.z(), -1.0f, 1e-6f);
  EXPECT_NEAR(farPoint.v[3], 1.0f, 1e-6f);
  Clip middle = project({0, 0, 50});
  EXPECT_LT(middle.z(), 0.0f);
  EXPECT_GT(middle.z(), -1.0f);
  EXPECT_NEAR(project({1, 0, 1}).x(), 0.375f, 1e-6f);
  EXPECT_NEAR(project({0, 1, 1}).y(), 0.5f, 1e-6f);
  // The centre of projection lies zoom units behind the eye.
  EXPECT_NEAR(project({0, 0, -1}).v[3], 0.0f, 1e-7f);

  EXPECT_FLOAT_EQ(CameraScaleX, 0.75f / 101.0f);
  EXPECT_FLOAT_EQ(CameraScaleY, 1.0f / 101.0f);
  EXPECT_FLOAT_EQ(CameraScaleZ, -1.0f / 101.0f);
}

TEST(Camera, DepthLimitsBoundTheClipVolume) {
  placeWorkedExample();
  auto inside = [](Vector3 p) {
    ClipVertex v{};
    projectToClip(p, v.v);
    return insideClipVolume(v);
  };
  EXPECT_TRUE(inside({0, 0, 1.001f}));
  EXPECT_FALSE(inside({0, 0, 0.99f}));
  EXPECT_TRUE(inside({0, 0, 99.9f}));
  EXPECT_FALSE(inside({0, 0, 100.2f}));
  // Horizontal half field of view has tangent 4/(3·zoom) at the centre of projection.
  EXPECT_TRUE(inside({3.3f, 0, 1.5f}));
  EXPECT_FALSE(inside({3.4f, 0, 1.5f}));
  EXPECT_TRUE(inside({0, 2.4f, 1.5f}));
  EXPECT_FALSE(inside({0, 2.6f, 1.5f}));
}

TEST(Camera, UpIsStoredNormalisedAndItsTiltShrinksTheImage) {
  placeWorkedExample({0, 2, 0});
  Clip a = project({1, 1, 5});
  Vector3 eye, target, up;
  getCameraView(eye, target, up);
  EXPECT_EQ(up.y, 1.0f);
  placeWorkedExample({0, 1, 0});
  Clip b = project({1, 1, 5});
  EXPECT_EQ(a.v[0], b.v[0]);
  EXPECT_EQ(a.v[1], b.v[1]);

  const float h = 1.0f / std::sqrt(2.0f);
  placeWorkedExample({0, h, h});
  Clip c = project({1, 1, 5});
  EXPECT_NEAR(c.x(), b.x() * h, 1e-6f);
  EXPECT_NEAR(c.y(), b.y() * h, 1e-6f);
}

TEST(Camera, MatricesChangeOnlyOnUpdate) {
  placeWorkedExample();
  EXPECT_FALSE(cameraChanged());
  Clip before = project({1, 2, 10});
  setCamera(Vector3{5, 5, 5}, Vector3{0, 0, 0}, Vector3{0, 1, 0}, 0.6f, 5.0f, 4000.0f);
  EXPECT_TRUE(cameraChanged());
  Clip stale = project({1, 2, 10});
  EXPECT_EQ(stale.v[0], before.v[0]);
  EXPECT_EQ(stale.v[3], before.v[3]);
  updateCamera();
  EXPECT_FALSE(cameraChanged());
  EXPECT_NE(project({1, 2, 10}).v[3], before.v[3]);

  // setCameraView keeps the lens.
  setCameraView(Vector3{0, 0, 0}, Vector3{0, 0, 1}, Vector3{0, 1, 0});
  EXPECT_TRUE(cameraChanged());
  updateCamera();
  EXPECT_EQ(CurrentCamera.zoom, 0.6f);
  EXPECT_EQ(CurrentCamera.farZ, 4000.0f);
}

TEST(Camera, OrbitingCameraCentresTargetAndSizesBillboards) {
  Vector3 eye{300, 120, -400}, target{10, -20, 30};
  setCamera(eye, target, Vector3{0, 1, 0}, 0.6f, 5.0f, 4000.0f);
  updateCamera();
  Clip t = project(target);
  EXPECT_NEAR(t.x(), 0.0f, 1e-5f);
  EXPECT_NEAR(t.y(), 0.0f, 1e-5f);
  EXPECT_LT(t.z(), 0.0f);

  // The view pipeline pieces agree with the one-step projection.
  Vector3 p{50, 60, 70}, rel, view;
  cameraRelative(p, rel);
  EXPECT_EQ(rel.x, p.x - eye.x);
  transformToView(p, view);
  float viaView[4];
  viewToClip(view, viaView);
  Clip direct = project(p);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(viaView[i], direct.v[i], 1e-4f);

  // A billboard corner offset in clip space by h·CameraScale matches a world
  // offset of h along the camera's right and up axes, whatever the depth.
  setCamera(Vector3{0, 0, -100}, Vector3{0, 0, 0}, Vector3{0, 1, 0}, 0.8f, 10.0f, 4000.0f);
  updateCamera();
  Clip centre = project({3, 4, 20});
  Clip corner = project({3 + 2.5f, 4 + 2.5f, 20});
  EXPECT_NEAR(corner.v[0], centre.v[0] + 2.5f * CameraScaleX, 1e-6f);
  EXPECT_NEAR(corner.v[1], centre.v[1] + 2.5f * CameraScaleY, 1e-6f);
}

TEST(Camera, ViewProjectionMayBePostMultipliedUntilTheNextUpdate) {
  placeWorkedExample();
  Clip plain = project({0, 0, 10});
  Matrix4 turn, turned;
  matrix4RotationY(90.0f, turn); // world turned: +x goes to −z
  matrix4Multiply(ViewProjection, turn, turned);
  ViewProjection = turned;
  Clip rotated = project({-10, 0, 0}); // lands where (0, 0, 10) was
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(rotated.v[i], plain.v[i], 1e-6f);
  updateCamera();
  EXPECT_NE(project({-10, 0, 0}).v[3], plain.v[3]);
}

} // namespace
