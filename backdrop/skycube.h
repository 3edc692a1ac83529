// The sky cube's inner workings: the shared point table, the patch tree of each
// face, and the texture refinement. The scenes call backdrop.h; this face is
// for the backdrop's own tests and benchmarks.
#pragma once

#include <cstdint>

#include "backdrop/backgroundstar.h"
#include "math/vector.h"

constexpr float SkyRadius = 500.0f;
constexpr int PointTableSize = 8192;
constexpr int FaceTexels = 65536;           // 256 x 256
constexpr int RefineTotal = 6 * FaceTexels; // every texel of every face
constexpr int TexelsPerFrame = 128;
constexpr int LeafLevel = 4;

// One sky vertex, shared by every patch that has it as a corner.
struct Point {
  Vector3 position{0.0f, 0.0f, 0.0f};       // (0, 0, 0): an empty slot
  float clip[4] = {0.0f, 0.0f, 0.0f, 0.0f}; // the last projection
  int32_t stamp = 0;                        // the frame of that projection
};

// A patch corner: a shared point and this patch's texture coordinates there.
struct QuadCorner {
  Point *point = nullptr;
  float s = 0.0f, t = 0.0f;
};

// Up to six background stars of a leaf; empty slots are null and come last.
struct StarArrayClass {
  StarType11 *stars[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
};

// A patch of a face: level 0 is the face, level 4 the leaves.
struct Quad {
  QuadCorner corners[4]; // c0, c1, c2, c3: s runs c0 -> c3, t runs c0 -> c1
  QuadCorner centre;
  uint8_t visible = 0; // survived clipping this frame
  int32_t level = 0;
  uint8_t hasContent = 1; // its part of the face image has a non-zero texel
  Quad *children[4] = {nullptr, nullptr, nullptr, nullptr};
  Quad *parent = nullptr;
  StarArrayClass *stars = nullptr; // leaves only
};

// The point on the sky in the direction (x, y, z), stored on first use.
// Null only when the table is full.
Point *findPoint(float x, float y, float z);
// The point's clip position, projected at most once per frame.
const float *projectPoint(Point &p);

// Sets hasContent of every leaf under q from the face image (256 x 256 bytes).
void markContent(Quad &q, const uint8_t *image);
// Computes n more texels of the full face images; downloads a face when done.
void refineTexels(int n);
// Moves a patch tree's corner coordinates from the coarse image to the full one.
void rescaleTexCoords(Quad &q);

// Inspection.
Quad *backdropFace(int face);      // null before the first build
int backdropFaceTexture(int face); // board handle, -1 when none
int backdropPointsStored();
int backdropPointsProjected();         // in the current frame
int backdropRefineProgress();          // 0 .. RefineTotal
const uint8_t *backdropRefineBuffer(); // the face image being refined
