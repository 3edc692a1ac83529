// Trailers: bright sprites held near the centre by a spring, keeping apart from
// each other and from the worms, each leaving a stream of short-lived puffs.
#pragma once

#include "scene/cell.h"
#include "scene/kindlist.h"

struct CellType1 : Cell {
  static constexpr int TextureId = 102;

  static CellType1 *create();
  static void setRenderState();
  static void step();
  static void clearKind();
  // The trailers as an array, rebuilt once per frame.
  static CellType1 *const *snapshot(int &count);
  static ObjectKindList<CellType1> &list();
  static void update(CellType1 &o);
};

// A trail puff: leaves its trailer with the trailer's velocity, slows down,
// then flickers and darkens until it dies at 2.5 seconds.
struct CellType4 : Cell {
  static constexpr int TextureId = 101;

  static CellType4 *create(const Cell &trailer);
  static void setRenderState();
  static void step();
  static void clearKind();
  static ObjectKindList<CellType4> &list();
  static void update(CellType4 &o);
};
