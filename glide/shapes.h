// Shapes: convex polygons walked edge by edge into spans, row by row, on the
// calling thread or recorded for the drawing threads; upright glow sprites
// drawn a batch of rows at a time.
#pragma once

#include <cstdint>

#include "glide/pipeline.h"
#include "glide/setup.h"

// Rasterises the convex polygon v[0..n-1], counter-clockwise with y up, with
// its planes and their iterators anchored at (xr, yr).
void rasterConvex(const Pipe &p, const FixedVertex *v, int n, const Planes &pl, const Iterators &its,
                  int64_t xr, int64_t yr);

// One triangle with its planes, anchored at (xr, yr), either winding.
void rasterTriangle(const Pipe &p, FixedVertex a, FixedVertex b, FixedVertex c, const Planes &pl, int64_t xr,
                    int64_t yr);
