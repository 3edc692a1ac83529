// Meteors swinging through the scene on a stiff spring, drawn to the worms,
// each throwing off two orange sparks per frame that turn red and die.
#pragma once

#include "scene/cell.h"
#include "scene/kindlist.h"

// A meteor.
struct CellType8 : Cell {
  static constexpr int TextureId = 103;

  static CellType8 *create();
  static void setRenderState();
  static void step();
  static void clearKind();
  // The meteors as an array, rebuilt once per frame.
  static CellType8 *const *snapshot(int &count);
  static ObjectKindList<CellType8> &list();
  static void update(CellType8 &o);
};

// A spark: starts 0.01 from its meteor and bursts away at speed 15 into the
// half-space toward −z, plus a tenth of the meteor's velocity; lives 1.8 s.
struct CellType9 : Cell {
  static constexpr int TextureId = 101;

  static CellType9 *create(Cell &meteor);
  static void setRenderState();
  static void step();
  static void clearKind();
  static ObjectKindList<CellType9> &list();
  static void update(CellType9 &o);
};
