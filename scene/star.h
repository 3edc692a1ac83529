// The second scene's object record and its billboard.
#pragma once

#include <cstdint>

#include "frame/framestate.h"
#include "scene/particle.h"

struct Star : Particle {
  int32_t kind = 0;
  float size = 8.0f; // half-extent of the billboard
  float age = 0.0f;  // seconds lived
  Rgb color{0.0f, 0.0f, 0.0f};
  float alpha = PeakAlpha;
  float lifeSpan = 0.0f; // set by the class
  Star *next = nullptr;  // link of the class's live list
  uint8_t marked = 0;    // per-class flag
  uint8_t dead = 0;      // 1: deleted at the class's next purge
  float flicker = 1.0f;
  float flickerAmplitude = 0.2f;
  float flickerFloor = 0.6f;
};

// As the Cell sprite, with the texture inset by 24.5 texels on every side.
void drawSprite(Star &o);

// age += FrameDelta while age < lifeSpan.
void ageToLifeSpan(Star &o);

// A random hue at full brightness (largest channel 255) and alpha PeakAlpha.
void randomBrightColor(Star &o);
