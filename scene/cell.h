// The first scene's object record (also the credit banner's) and its
// per-object operations: the sprite billboard, ageing and chain following.
#pragma once

#include <cstdint>

#include "frame/framestate.h"
#include "scene/particle.h"

struct Cell : Particle {
  int32_t kind = 0;  // 1..11 for CellType1..CellType11
  float size = 8.0f; // half-extent of the billboard in world units
  float age = 0.0f;  // seconds lived, as the class advances it
  Rgb color{0.0f, 0.0f, 0.0f};
  float alpha = PeakAlpha;
  float lifeSpan = 1e8f;
  Cell *leader = nullptr;                                   // the object this one follows in a chain or ring
  Cell *next = nullptr;                                     // link of the class's live list
  int32_t depth = 1;                                        // position in a chain; a head is 1
  Cell *children[4] = {nullptr, nullptr, nullptr, nullptr}; // only [0] is used
  uint8_t dead = 0;                                         // 1: deleted at the class's next purge
  float spawnChance = 0.0f; // per-frame chance of a trail puff (trailers only)
  float flicker = 1.0f;     // brightness multiplier, random-walked by drawSprite
  float flickerAmplitude = 0.2f;
  float flickerFloor = 0.6f;
  int32_t childCount = 0; // followers spawned (0 or 1)
};

// Nothing when size < 0.01. Otherwise one flicker step, then a camera-facing
// textured quad of half-side size around the position (texture 0..255 both ways).
void drawSprite(Cell &o);

// age += FrameDelta while age < lifeSpan.
void ageToLifeSpan(Cell &o);

// Puts o at distance from its leader along their current direction (a random
// direction when they coincide). Nothing without a leader. Velocity untouched.
void followLeader(Cell &o, float distance);

// A random hue at full brightness (largest channel 255) and alpha PeakAlpha.
void randomBrightColor(Cell &o);

// The render state most glowing classes use: the texture times the vertex colour,
// weighted by the vertex alpha and added to the frame.
void setGlowState(int textureId);
