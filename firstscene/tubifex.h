// Tubifex: small green heads near (200, 0, 0) that swarm together and flee the
// trailers, each dragging a long red tail of lines that fades toward its end.
#pragma once

#include "scene/cell.h"
#include "scene/kindlist.h"

// A tubifex head.
struct CellType10 : Cell {
  static constexpr int TextureId = 102;

  static CellType10 *create();
  static void setRenderState();
  static void step();
  static void clearKind();
  // The heads as an array, rebuilt once per frame.
  static CellType10 *const *snapshot(int &count);
  static ObjectKindList<CellType10> &list();
  static void update(CellType10 &o);
};

// A tubifex tail segment: an untextured line to its leader, each segment at 0.9
// of its leader's alpha.
struct CellType11 : Cell {
  static constexpr int LastSpawningDepth = 24; // tails end at depth 25

  static CellType11 *create(Cell &leader);
  static void setRenderState();
  static void step();
  static void clearKind();
  static ObjectKindList<CellType11> &list();
  static void draw(CellType11 &o);
  static void update(CellType11 &o);
};
