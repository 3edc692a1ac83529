#include "firstscene/firstscene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "backdrop/backdrop.h"
#include "frame/framestate.h"
#include "display/glidedisplay.h"
#include "firstscene/debris.h"
#include "firstscene/director.h"
#include "firstscene/meteors.h"
#include "firstscene/spinners.h"
#include "firstscene/title.h"
#include "firstscene/trailers.h"
#include "firstscene/tubifex.h"
#include "firstscene/worms.h"
#include "math/camera.h"
#include "scene/author.h"
#include "settings/configuration.h"

namespace {

FirstSceneSettings Settings;
DirectorCamera CameraRecord{};
DirectorCamera ObjectCamera{};

void placeCamera() {
  setCamera(CameraRecord.eye, CameraRecord.target, CameraRecord.up, CameraRecord.zoom, CameraRecord.nearZ,
            CameraRecord.farZ);
  updateCamera();
}

int bounded(int value, int most) { return std::clamp(value, 0, most); }

template <class Create> void spawnMany(int count, Create create) {
  for (int i = 0; i < count; ++i) create();
}

} // namespace

FirstSceneSettings boundFirstSceneSettings(const FirstSceneSettings &s) {
  FirstSceneSettings b = s;
  b.trailers = bounded(s.trailers, MaxSteeringObjects);
  b.worms = bounded(s.worms, MaxSteeringObjects);
  b.spinners = bounded(s.spinners, MaxSpinnerRings);
  b.meteors = bounded(s.meteors, MaxSteeringObjects);
  b.tubifex = bounded(s.tubifex, MaxSteeringObjects);
  b.debris = bounded(s.debris, MaxDebris);
  return b;
}

const FirstSceneSettings &firstSceneSettings() { return Settings; }

const DirectorCamera &firstSceneCamera() { return CameraRecord; }

const DirectorCamera &firstSceneObjectCamera() { return ObjectCamera; }

void staticCamera() {
  CameraRecord =
      DirectorCamera{{0.0f, 0.0f, -110.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, 0.8f, 10.0f, 4000.0f};
  placeCamera();
}

void titleCamera() {
  CameraRecord =
      DirectorCamera{{0.0f, 0.0f, -75.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, 0.6f, 1.0f, 500.0f};
  placeCamera();
}

void orbitCamera() {
  constexpr float quarterPi = static_cast<float>(std::numbers::pi / 4.0);
  float t = ElapsedSeconds;
  CameraRecord.up = Vector3{0.0f, 1.0f, 0.0f};
  CameraRecord.zoom = 1.6f;
  CameraRecord.nearZ = 2.0f;
  CameraRecord.farZ = 30000.0f;

  // Elevation swings between −45° and +45°; the azimuth turns steadily.
  float swing = static_cast<float>(std::sin(static_cast<double>(0.05f * t)));
  float elevation = (swing + 1.0f) * quarterPi - quarterPi;
  float azimuth = -0.0593f * t;
  float cosElevation = static_cast<float>(std::cos(static_cast<double>(elevation)));
  Vector3 eye{static_cast<float>(std::cos(static_cast<double>(azimuth))) * cosElevation,
              static_cast<float>(std::sin(static_cast<double>(elevation))),
              static_cast<float>(std::sin(static_cast<double>(azimuth))) * cosElevation};
  vector3Scale(55.0f, eye, CameraRecord.eye);
  CameraRecord.target = Vector3{0.0f, 0.0f, 0.0f};
  placeCamera();
}

void spawnFirstScene() {
  Title::create(15, Settings.saver);
  spawnMany(Settings.trailers, CellType1::create);
  spawnMany(Settings.worms, CellType2::create);
  spawnMany(Settings.spinners, [] { CellType5::create(nullptr); });
  spawnMany(Settings.debris, CellType6::create);
  spawnMany(Settings.meteors, CellType8::create);
  spawnMany(Settings.tubifex, CellType10::create);
  Author::create(Settings.saver);
}

void clearFirstScene() {
  CellType1::clearKind();
  CellType2::clearKind();
  CellType3::clearKind();
  CellType4::clearKind();
  CellType5::clearKind();
  CellType6::clearKind();
  CellType7::clearKind();
  CellType8::clearKind();
  CellType9::clearKind();
  CellType10::clearKind();
  CellType11::clearKind();
  Title::clearKind();
  Author::clearKind();
}

void buildFirstSceneFrom(const FirstSceneSettings &settings, bool motionBlur) {
  Settings = boundFirstSceneSettings(settings);
  staticCamera();
  spawnFirstScene();
  // A red tint for this scene's sky.
  if (Settings.backdrop) buildBackdrop(motionBlur, 255.0f, 0.0f, 16.0f, 64.0f);
}

void buildFirstScene(bool saver, bool motionBlur) {
  LumenveilConfiguration config;
  config.load();
  FirstSceneSettings s;
  s.saver = saver;
  s.timeFactor = config.TimeFactor;
  s.trailers = config.Trailers;
  s.meteors = config.Meteors;
  s.worms = config.Worms;
  s.spinners = config.Spinners;
  s.tubifex = config.Tubifex;
  s.debris = config.Debris;
  s.staticCamera = config.StaticCamera;
  s.backdrop = config.MebulaBackdrop;
  buildFirstSceneFrom(s, motionBlur);
}

void stepFirstScene(bool motionBlur) {
  // In the control panel the title card returns during every other hundred seconds.
  if (!Settings.saver && Title::empty() && static_cast<int>(ElapsedSeconds * 0.01f) % 2 == 1)
    Title::create(30, false);

  // The objects run at the scene's speed; the cameras and the title timer keep
  // the clock's.
  FrameDelta = static_cast<float>(Settings.timeFactor * 0.01 * FrameDelta);

  orbitCamera();
  if (Settings.backdrop) drawBackdrop(motionBlur);
  applyDitherMode();

  // The objects are seen from three times as far out, or from the fixed eye.
  vector3Scale(3.0f, CameraRecord.eye, CameraRecord.eye);
  placeCamera();
  if (Settings.staticCamera) staticCamera();
  ObjectCamera = CameraRecord;

  CellType6::step();
  CellType1::step();
  CellType2::step();
  CellType3::step();
  CellType4::step();
  CellType5::step();
  CellType7::step();
  CellType8::step();
  CellType9::step();
  CellType10::step();
  CellType11::step();

  titleCamera();
  Title::step();
  Author::step();
}

void resetFirstScene() {
  clearFirstScene();
  spawnFirstScene();
  // Every buffer of the swap chain starts black.
  for (int i = 0; i < 3; ++i) {
    grBufferClear(0, 0, 0);
    swapBuffers();
  }
}
