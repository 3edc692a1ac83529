// Worms: large sprites drawn to the trailers, each dragging a body of 23
// segments that hang behind it like a rope, shrinking toward the tail and
// widening again at its very end.
#pragma once

#include "scene/cell.h"
#include "scene/kindlist.h"

// A worm head.
struct CellType2 : Cell {
  static constexpr int TextureId = 101;

  static CellType2 *create();
  static void setRenderState();
  static void step();
  static void clearKind();
  // The worm heads as an array, rebuilt once per frame.
  static CellType2 *const *snapshot(int &count);
  static ObjectKindList<CellType2> &list();
  static void update(CellType2 &o);
};

// A worm segment, following a head or the segment before it.
struct CellType3 : Cell {
  static constexpr int TextureId = 103;
  static constexpr int LastSpawningDepth = 23; // the body ends at depth 24

  static CellType3 *create(Cell &leader);
  static void setRenderState();
  static void step();
  static void clearKind();
  static ObjectKindList<CellType3> &list();
  static void update(CellType3 &o);
};
