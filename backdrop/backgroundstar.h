// The sky's background stars. They are drawn through the patches they were
// scattered into, never stepped: no step walks their list.
#pragma once

#include "math/vector.h"
#include "scene/kindlist.h"
#include "scene/star.h"

struct StarType11 : Star {
  static constexpr int Kind = 273;

  // A faint point star at p (one in ten a larger sprite), linked into the
  // list. Null when memory is exhausted.
  static StarType11 *create(const Vector3 &p);
  // A sprite when larger than one unit, otherwise one anti-aliased point.
  // The caller sets the star render state.
  static void draw(StarType11 &o);
  static void clearKind();
  static ObjectKindList<StarType11> &list();
};
