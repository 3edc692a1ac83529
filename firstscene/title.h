// The title card: flies in from the depth while it fades in, holds, and fades
// out at the end of its life. Seen from the title camera.
#pragma once

#include "scene/cell.h"
#include "scene/kindlist.h"

struct Title : Cell {
  static constexpr int TextureId = 104;
  static constexpr float FadeSeconds = 5.0f;

  // A card living lifeSpan seconds. The saver flag of the last card made
  // decides for every card alive (where it ends its flight).
  static Title *create(int lifeSpan, bool saverMode);
  static void setRenderState();
  static void step();
  static void clearKind();
  static bool empty();
  static ObjectKindList<Title> &list();
  static void draw(Title &o);
  static void update(Title &o);
};
