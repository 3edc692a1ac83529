// Supernovae, their sparks, and the remnant that falls back into the centre
// trailing sparks of its own.
#pragma once

#include "scene/kindlist.h"
#include "scene/star.h"

// A supernova: grows where its main star died, throws sparks, then bursts.
struct StarType5 : Star {
  // The creator sets colour, alpha and position. Null when memory is exhausted.
  static StarType5 *create();
  static ObjectKindList<StarType5> &list();
  static void step();
  static void clearKind();
};

// A spark: of a supernova, or of the disk's bursts from the centre.
struct StarType3 : Star {
  // The creator sets position, velocity, colour and alpha.
  static StarType3 *create();
  static ObjectKindList<StarType3> &list();
  static void step();
  static void clearKind();
};

// A remnant: drifts out from where its supernova burst, then falls into the centre.
struct StarType8 : Star {
  float scale = 1.02f; // applied to the position every frame

  static StarType8 *create(const Star &supernova);
  static ObjectKindList<StarType8> &list();
  static void step();
  static void clearKind();
};

// A spark of a remnant's trail.
struct StarType9 : Star {
  static StarType9 *create(const Star &remnant);
  static ObjectKindList<StarType9> &list();
  static void step();
  static void clearKind();
};

// Ages a supernova: growth, sparks in its last moments, then the burst into a
// remnant and four main stars.
void ageSupernova(StarType5 &o);
// Cuts the life of every main star near the supernova.
void supernovaShock(const StarType5 &o);
