#include "backdrop/backgroundstar.h"

#include "math/camera.h"
#include "math/clip.h"
#include "scene/billboard.h"

namespace {
ObjectKindList<StarType11> BackgroundStars;
} // namespace

StarType11 *StarType11::create(const Vector3 &p) {
  StarType11 *o = allocateObject<StarType11>();
  if (!o) return nullptr;
  o->kind = Kind;
  o->maxSpeed = 60.0f;
  if (randomUniform() < 0.1f)
    o->size = 2.0f + 5.0f * randomUniform();
  else
    o->size = 0.5f;
  o->flicker = 1.0f;
  o->flickerAmplitude = 0.1f;
  o->flickerFloor = 0.5f;
  o->color.r = 155.0f + 100.0f * randomUniform();
  o->color.g = 155.0f + 100.0f * randomUniform();
  o->color.b = 155.0f + 100.0f * randomUniform();
  o->position = p;
  BackgroundStars.push(o);
  return o;
}

void StarType11::draw(StarType11 &o) {
  if (o.size > 1.0f) {
    drawSprite(o);
    return;
  }
  float c[4];
  projectToClip(o.position, c);
  sceneobjects::stepFlicker(o);
  ClipVertex v{{c[0], c[1], c[2], c[3], o.color.r, o.color.g, o.color.b, o.alpha * o.flicker, 128.0f, 128.0f,
                0.0f, 0.0f}};
  drawPointAA(v);
}

void StarType11::clearKind() { BackgroundStars.clearKind(); }

ObjectKindList<StarType11> &StarType11::list() { return BackgroundStars; }
