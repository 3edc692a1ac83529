#include "scene/star.h"

#include "scene/billboard.h"

void drawSprite(Star &o) { sceneobjects::drawFlickeringSprite(o, QuadTexture{24.5f, 231.5f, 24.5f, 231.5f}); }

void ageToLifeSpan(Star &o) {
  if (o.age < o.lifeSpan) o.age += FrameDelta;
}

void randomBrightColor(Star &o) { sceneobjects::brightColor(o); }
