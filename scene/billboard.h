// Shared by the Cell and Star billboards: the flicker walk, the sprite quad
// and the bright random colour, written once for both records.
#pragma once

#include <algorithm>

#include "frame/framestate.h"
#include "math/camera.h"
#include "scene/particle.h"
#include "scene/sprite.h"

namespace sceneobjects {

// Random walk of a sprite's brightness, bounded by 1 above and the floor below.
template <class T> void stepFlicker(T &o) {
  o.flicker = o.flicker + randomSymmetric() * o.flickerAmplitude;
  o.flicker = std::min(o.flicker, 1.0f);
  if (o.flicker < o.flickerFloor) o.flicker = o.flickerFloor;
}

template <class T> void drawFlickeringSprite(T &o, const QuadTexture &tex) {
  if (o.size < 0.01f) return;
  float hw = o.size * CameraScaleX;
  float hh = o.size * CameraScaleY;
  stepFlicker(o);
  drawClipQuad(o.position, hw, hh, tex, o.color, o.alpha * o.flicker);
}

template <class T> void brightColor(T &o) {
  float r = randomUniform() * 255.0f;
  float g = randomUniform() * 255.0f;
  float b = randomUniform() * 255.0f;
  float m = std::max(r, std::max(g, b));
  if (m > 0.0f) {
    float f = 255.0f / m;
    o.color = Rgb{r * f, g * f, b * f};
  } else {
    // Three zero draws: white rather than a division by zero.
    o.color = Rgb{255.0f, 255.0f, 255.0f};
  }
  o.alpha = PeakAlpha;
}

} // namespace sceneobjects
