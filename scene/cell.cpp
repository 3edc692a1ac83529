#include "scene/cell.h"

#include "assets/textures.h"
#include "glide/glide.h"
#include "scene/billboard.h"

void drawSprite(Cell &o) { sceneobjects::drawFlickeringSprite(o, QuadTexture{0.0f, 255.0f, 0.0f, 255.0f}); }

void ageToLifeSpan(Cell &o) {
  if (o.age < o.lifeSpan) o.age += FrameDelta;
}

void followLeader(Cell &o, float distance) {
  if (!o.leader) return;
  Vector3 d;
  vector3Sub(o.position, o.leader->position, d);
  float length = vector3Normalize(d);
  if (length < 1e-8f) vector3RandomDirection(d);
  vector3MulAdd(distance, d, o.leader->position, o.position);
}

void randomBrightColor(Cell &o) { sceneobjects::brightColor(o); }

void setGlowState(int textureId) {
  selectTexture(textureId);
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  guColorCombineFunction(GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB);
  guAlphaSource(GR_ALPHASOURCE_ITERATED_ALPHA);
  grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ZERO);
}
