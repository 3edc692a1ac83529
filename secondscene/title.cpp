#include "secondscene/title.h"

#include <algorithm>
#include <cmath>

#include "assets/textures.h"
#include "frame/framestate.h"
#include "glide/glide.h"
#include "math/camera.h"
#include "math/clip.h"
#include "secondscene/starlist.h"

namespace {
ObjectKindList<cTitle> Titles;
bool TitleSaver = true;
constexpr float FadeTime = 10.0f;
} // namespace

cTitle *cTitle::create(int life, bool saver) {
  cTitle *o = allocateObject<cTitle>();
  if (!o) return nullptr;
  o->size = 60.0f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  o->flickerFloor = 1.0f;
  o->maxSpeed = 0.0f; // at rest: velocity and acceleration stay zero
  TitleSaver = saver;
  o->position = saver ? Vector3{7.0f, 0.0f, -20.0f} : Vector3{7.0f, 10.0f, -20.0f};
  o->acceleration = Vector3{0.0f, 0.0f, 0.0f};
  o->color = Rgb{255.0f, 255.0f, 255.0f};
  o->alpha = 0.0f;
  o->lifeSpan = static_cast<float>(life);
  Titles.push(o);
  return o;
}

ObjectKindList<cTitle> &cTitle::list() { return Titles; }
bool cTitle::anyAlive() { return !Titles.empty(); }
bool cTitle::saverFlag() { return TitleSaver; }

void cTitle::setRenderState() {
  selectTexture(110);
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
}

void drawTitle(cTitle &o) {
  if (o.size < 0.01f) return;
  float hw = o.size * CameraScaleX;
  float hh = o.size * 0.415f * CameraScaleY;
  float c[4];
  projectToClip(o.position, c);
  ClipVertex v[4];
  const float corner[4][4] = {
      {-hw, -hh, 0.5f, 255.5f}, {-hw, hh, 0.5f, 0.5f}, {hw, hh, 255.5f, 0.5f}, {hw, -hh, 255.5f, 255.5f}};
  // The clipper may grow the list by one vertex per plane.
  ClipVertex *list[4 + 7];
  for (int i = 0; i < 4; ++i) {
    v[i][0] = c[0] + corner[i][0];
    v[i][1] = c[1] + corner[i][1];
    v[i][2] = c[2];
    v[i][3] = c[3];
    v[i][4] = o.color.r;
    v[i][5] = o.color.g;
    v[i][6] = o.color.b;
    v[i][7] = o.alpha;
    v[i][8] = corner[i][2];
    v[i][9] = corner[i][3];
    list[i] = &v[i];
  }
  int count = 0;
  drawPolygon3D(10, 4, list, count, list);
}

void fadeInTitle(cTitle &o) {
  float depth = TitleSaver ? -20.0f : -42.0f;
  o.position.z = depth;
  if (o.age < FadeTime) {
    float u = std::min(o.age / FadeTime, 1.0f);
    o.alpha = PeakAlpha * (1.0f - static_cast<float>(std::pow(1.0f - u, 3.0f)));
  }
}

void fadeOutTitle(cTitle &o) {
  int fadeStart = static_cast<int>(o.lifeSpan - FadeTime);
  o.age += FrameDelta;
  if (o.age > static_cast<float>(fadeStart)) {
    float d = std::min(o.age - static_cast<float>(fadeStart), FadeTime);
    o.alpha = PeakAlpha * static_cast<float>(std::pow(1.0f - d / FadeTime, 3.0f));
  }
  if (o.age > o.lifeSpan) o.dead = 1;
}

void cTitle::step() {
  setRenderState();
  for (cTitle *o = Titles.head; o; o = nextStar(o)) drawTitle(*o);
  for (cTitle *o = Titles.head; o; o = nextStar(o)) {
    moveParticle(*o);
    fadeInTitle(*o);
    fadeOutTitle(*o);
  }
  Titles.purgeDead();
}

void cTitle::clearKind() { Titles.clearKind(); }
