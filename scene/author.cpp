#include "scene/author.h"

#include <algorithm>
#include <cmath>

#include "glide/glide.h"
#include "math/camera.h"
#include "scene/sprite.h"

namespace {
ObjectKindList<Author> Authors;
bool AuthorSaverFlag = false;
} // namespace

Author *Author::create(bool saverMode) {
  Author *o = allocateObject<Author>();
  if (!o) return nullptr;
  AuthorSaverFlag = saverMode;
  if (saverMode) {
    o->size = 25.0f;
    o->position = Vector3{0.0f, -68.0f, -30.0f};
  } else {
    o->size = 60.0f;
    o->position = Vector3{0.0f, -60.0f, -30.0f};
  }
  o->maxSpeed = 65.0f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.0f;
  o->flickerFloor = 1.0f;
  o->acceleration = Vector3{0.0f, 0.0f, 0.0f};
  o->color = Rgb{255.0f, 255.0f, 255.0f};
  o->alpha = 0.0f;
  Authors.push(o);
  return o;
}

void Author::setRenderState() {
  setGlowState(TextureId);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ONE, GR_BLEND_ZERO);
}

void Author::draw(Author &o) {
  if (o.size < 0.01f) return;
  float hw = o.size * CameraScaleX;
  // The image is twice as wide as high; its height is a whole quarter of the size.
  float hh = static_cast<float>(static_cast<int>(o.size * 0.25f)) * CameraScaleY;
  drawClipQuad(o.position, hw, hh, QuadTexture{0.0f, 255.0f, 128.0f, 0.0f}, o.color, o.alpha);
}

void Author::update(Author &o) {
  o.age += FrameDelta;
  if (AuthorSaverFlag && o.age > FadeInSeconds) {
    o.color.r *= 0.925f;
    o.color.g *= 0.95f;
    o.color.b *= 0.975f;
    if (o.color.r < 1.0f) o.dead = 1;
  }
  if (o.age < FadeInSeconds) {
    float u = std::min(o.age / FadeInSeconds, 1.0f);
    o.alpha = static_cast<float>(PeakAlpha * (1.0 - std::pow(1.0 - u, 3.0)));
  }
}

void Author::step() {
  setRenderState();
  stepKind(Authors, draw, update, true);
}

void Author::clearKind() { Authors.clearKind(); }

ObjectKindList<Author> &Author::list() { return Authors; }

bool Author::saverFlag() { return AuthorSaverFlag; }
