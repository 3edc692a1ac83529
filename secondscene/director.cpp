#include "secondscene/director.h"

#include <algorithm>
#include <cmath>

#include "assets/textures.h"
#include "backdrop/backdrop.h"
#include "frame/framestate.h"
#include "display/glidedisplay.h"
#include "glide/glide.h"
#include "math/camera.h"
#include "math/matrix.h"
#include "scene/author.h"
#include "secondscene/disk.h"
#include "secondscene/mainstar.h"
#include "secondscene/secondscene.h"
#include "secondscene/supernova.h"
#include "secondscene/title.h"
#include "settings/configuration.h"

bool SecondSceneSaver = true;
int32_t MainStarCapacity = 200;
int32_t NeighbourCount = 3;
float NeighbourDistance = 6.5f;
float SupernovaInterval = 60.0f;
int32_t DiskParticleCap = 100;
Vector3 RingXY[32];
Vector3 RingXZ[32];

void applySecondSceneSettings(int32_t mainStars, int32_t neighbours, int32_t neighbourDistance,
                              int32_t supernovaFrequency, int32_t diskDensity) {
  MainStarCapacity = std::clamp<int32_t>(mainStars, 0, MaxMainStarCapacity);
  NeighbourCount = std::clamp<int32_t>(neighbours, 0, MaxNeighbourCount);
  NeighbourDistance = static_cast<float>(neighbourDistance) * 0.01f;
  SupernovaInterval = static_cast<float>(supernovaFrequency);
  // Bounded before the addition, which could otherwise overflow.
  DiskParticleCap = std::clamp<int32_t>(diskDensity, -100, MaxDiskParticleCap - 100) + 100;
}

void fillRingTables() {
  for (int i = 0; i < 32; ++i) {
    double theta = i * 360.0 * (1.0 / 32.0) * 3.14159265358979323846 / 180.0;
    RingXY[i] = Vector3{static_cast<float>(std::cos(theta)), static_cast<float>(std::sin(theta)), 0.0f};
  }
  for (int i = 0; i < 32; ++i) {
    double theta = i * 360.0 * (1.0 / 32.0) * 3.14159265358979323846 / 180.0;
    RingXZ[i] = Vector3{static_cast<float>(std::cos(theta)), 0.0f, static_cast<float>(std::sin(theta))};
  }
}

void setStarRenderState() {
  selectTexture(109);
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
}

void secondOrbitCamera() {
  const float pi = 3.14159265358979323846f;
  float t = ElapsedSeconds;
  float swing = std::sin(0.05f * t);
  float elevation = (swing + 1.0f) * pi / 4.0f - pi / 4.0f;
  float azimuth = -0.01593f * t;
  float cosElevation = std::cos(elevation);
  Vector3 eye{std::cos(azimuth) * cosElevation, std::sin(elevation), std::sin(azimuth) * cosElevation};
  vector3Scale(55.0f, eye, eye);
  setCamera(eye, Vector3{0.0f, 0.0f, 0.0f}, Vector3{0.0f, 1.0f, 0.0f}, 1.5f, 2.0f, 30000.0f);
  updateCamera();
}

void secondTitleCamera() {
  setCamera(Vector3{0.0f, 0.0f, -75.0f}, Vector3{0.0f, 0.0f, 0.0f}, Vector3{0.0f, 1.0f, 0.0f}, 0.6f, 5.0f,
            4000.0f);
  updateCamera();
}

void spawnSecondScene() {
  Author::create(SecondSceneSaver);
  cTitle::create(20, SecondSceneSaver);
}

void clearSecondScene() {
  StarType1::clearKind();
  StarType2::clearKind();
  StarType3::clearKind();
  StarType4::clearKind();
  StarType5::clearKind();
  StarType6::clearKind();
  StarType7::clearKind();
  StarType8::clearKind();
  StarType9::clearKind();
  cTitle::clearKind();
  Author::clearKind();
}

void buildSecondScene(bool saver, bool motionBlur) {
  SecondSceneSaver = saver;
  {
    AstrelConfiguration settings;
    settings.load();
    applySecondSceneSettings(settings.MainStars, settings.Neighbours, settings.NeighbourDistance,
                             settings.SuperNovaeFrequency, settings.AccreationDiskDensity);
  }
  fillRingTables();
  spawnSecondScene();
  buildBackdrop(motionBlur, 0.0f, 50.0f, 255.0f, 80.0f);
}

void stepSecondScene(bool motionBlur) {
  if (!SecondSceneSaver && !cTitle::anyAlive() && static_cast<int32_t>(0.01f * ElapsedSeconds) % 2 == 1)
    cTitle::create(30, false);
  secondOrbitCamera();
  drawBackdrop(motionBlur);
  applyDitherMode();

  // The whole system turns about the vertical axis; the sky drawn above does not.
  Matrix4 turn;
  matrix4RotationY(-10.0f * ElapsedSeconds, turn);
  Matrix4 seen = ViewProjection;
  matrix4Multiply(seen, turn, ViewProjection);

  ensureMainStars();
  StarType1::step();
  StarType2::step();
  StarType3::step();
  StarType4::step();
  StarType5::step();
  StarType6::step();
  StarType7::step();
  StarType8::step();
  StarType9::step();

  secondTitleCamera();
  Author::step();
  cTitle::step();
}

void resetSecondScene() {
  clearSecondScene();
  spawnSecondScene();
  for (int i = 0; i < 3; ++i) {
    grBufferClear(0, 0, 0);
    swapBuffers();
  }
}
