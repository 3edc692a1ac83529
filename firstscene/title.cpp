#include "firstscene/title.h"

#include <algorithm>
#include <cmath>

#include "math/camera.h"
#include "scene/sprite.h"

namespace {
ObjectKindList<Title> Titles;
bool TitleSaverFlag = false;
} // namespace

Title *Title::create(int lifeSpan, bool saverMode) {
  Title *o = allocateObject<Title>();
  if (!o) return nullptr;
  o->size = 50.0f;
  o->maxSpeed = 65.0f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  o->flickerFloor = 1.0f;
  TitleSaverFlag = saverMode;
  o->position = saverMode ? Vector3{0.0f, 0.0f, 200.0f} : Vector3{0.0f, 20.0f, 200.0f};
  o->acceleration = Vector3{0.0f, 0.0f, 0.0f};
  o->color = Rgb{255.0f, 255.0f, 255.0f};
  o->alpha = 0.0f;
  o->lifeSpan = static_cast<float>(lifeSpan);
  Titles.push(o);
  return o;
}

void Title::setRenderState() { setGlowState(TextureId); }

void Title::draw(Title &o) {
  if (o.size < 0.01f) return;
  float hw = o.size * CameraScaleX;
  float hh = o.size * 0.35f * CameraScaleY;
  // The top 180 rows of the image, row 0 on the upper edge.
  drawClipQuad(o.position, hw, hh, QuadTexture{0.0f, 255.0f, 180.0f, 0.0f}, o.color, o.alpha);
}

void Title::update(Title &o) {
  moveParticle(o);

  // Fly-in, judged by the age of the previous frame.
  float zEnd = TitleSaverFlag ? -20.0f : -40.0f;
  if (o.age >= FadeSeconds) {
    o.position.z = zEnd;
  } else {
    float u = std::min(o.age / FadeSeconds, 1.0f);
    float e = static_cast<float>(1.0 - std::pow(1.0 - u, 3.0));
    o.position.z = 200.0f - (200.0f - zEnd) * e;
    o.alpha = PeakAlpha * e;
  }

  // Fade-out over the last FadeSeconds of the life.
  float fadeStart = static_cast<float>(static_cast<int>(o.lifeSpan - FadeSeconds));
  o.age += FrameDelta;
  if (o.age > fadeStart) {
    float d = std::min(o.age - fadeStart, FadeSeconds);
    float e = std::max(1.0f - d / FadeSeconds, 0.0f);
    o.alpha = static_cast<float>(PeakAlpha * std::pow(static_cast<double>(e), 3.0));
  }
  if (o.age > o.lifeSpan) o.dead = 1;
}

void Title::step() {
  setRenderState();
  stepKind(Titles, draw, update, true);
}

void Title::clearKind() { Titles.clearKind(); }

bool Title::empty() { return Titles.empty(); }

ObjectKindList<Title> &Title::list() { return Titles; }
