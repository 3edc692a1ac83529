// Debris: grey streaks drifting under a slowly turning wind, each drawn from
// where it is to where it was at the last draw; a streak that leaves the view
// is put back near the centre.
#pragma once

#include "scene/cell.h"
#include "scene/kindlist.h"

struct CellType6 : Cell {
  Vector3 previousPosition{0.0f, 0.0f, 0.0f}; // the position at the last draw

  static CellType6 *create();
  static void setRenderState();
  static void step();
  static void clearKind();
  static ObjectKindList<CellType6> &list();
  static void draw(CellType6 &o);
  static void update(CellType6 &o);
};
