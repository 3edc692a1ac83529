// Camera-facing quads and clip-space lines: the shapes the scene objects draw.
#pragma once

#include "math/vector.h"
#include "scene/particle.h"

// Texture corners of a quad: s on its left and right edges, t on its lower
// (clip y − hh) and upper (clip y + hh) edges.
struct QuadTexture {
  float sLeft, sRight, tLower, tUpper;
};

// A quad of half-extents hw, hh (clip units) around the clip position of the
// world point `at`, drawn as one textured polygon with the vertex order
// lower-left, upper-left, upper-right, lower-right.
void drawClipQuad(const Vector3 &at, float hw, float hh, const QuadTexture &tex, const Rgb &color,
                  float alpha);

// A textured line from a to b (both vertices in the same colour and alpha),
// antialiased; texture coordinates (sa, ta) at a and (sb, tb) at b.
void drawTexturedLineAA(const Vector3 &a, const Vector3 &b, float sa, float ta, float sb, float tb,
                        const Rgb &color, float alpha);

// An untextured antialiased line from a to b with its own alpha at each end.
// Returns how many vertices survived clipping (below 2: nothing was visible).
int drawPlainLineAA(const Vector3 &a, const Vector3 &b, const Rgb &color, float alphaA, float alphaB);
