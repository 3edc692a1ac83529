// The credit banner both scenes show at the start: it eases in over ten
// seconds; in the full-screen saver it then darkens toward blue and dies, in
// the control panel it stays.
#pragma once

#include "scene/cell.h"
#include "scene/kindlist.h"

struct Author : Cell {
  static constexpr float FadeInSeconds = 10.0f;
  static constexpr int TextureId = 105;

  // Makes a banner and links it in; the saver flag of the last banner made
  // decides for every banner alive. Null when memory is exhausted.
  static Author *create(bool saverMode);
  static void setRenderState();
  // Draws every banner, updates every banner, deletes the dead.
  static void step();
  static void clearKind();

  static ObjectKindList<Author> &list();
  static bool saverFlag();

  // One banner's draw and update (the step calls these for each).
  static void draw(Author &o);
  static void update(Author &o);
};
