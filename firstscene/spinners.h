// Spinners: rings of six members, each grown one per frame from a root and
// closed when the sixth is made, tumbling around the trailers. Every member
// trails a tail of glowing blue lines.
#pragma once

#include "scene/cell.h"
#include "scene/kindlist.h"

// A ring member; a root has no leader until the ring closes.
struct CellType5 : Cell {
  static constexpr int TextureId = 102;
  static constexpr int RingSize = 6;

  // leader null makes a ring root.
  static CellType5 *create(Cell *leader);
  static void setRenderState();
  static void step();
  static void clearKind();
  // The ring members as an array, rebuilt once per frame.
  static CellType5 *const *snapshot(int &count);
  static ObjectKindList<CellType5> &list();
  static void update(CellType5 &o);
};

// A spinner tail segment, drawn as a textured line to its leader.
struct CellType7 : Cell {
  static constexpr int TextureId = 101;
  static constexpr int LastSpawningDepth = 14; // tails end at depth 15

  static CellType7 *create(Cell &leader);
  static void setRenderState();
  static void step();
  static void clearKind();
  static ObjectKindList<CellType7> &list();
  static void draw(CellType7 &o);
  static void update(CellType7 &o);
};
