// The star-field scene's director: its settings, ring tables, cameras and the
// fixed order in which it steps its object classes each frame.
#pragma once

#include <cstdint>

#include "math/vector.h"

// Settings copied from the registry by buildSecondScene (bounded, see there).
extern bool SecondSceneSaver;    // handed to the title and the banner
extern int32_t MainStarCapacity; // "MainStars": entries of every neighbour array
extern int32_t NeighbourCount;   // "Neighbours": neighbours a star links to
extern float NeighbourDistance;  // "NeighbourDistance" / 100, world units
extern float SupernovaInterval;  // "SuperNovaeFrequency", seconds between marks
extern int32_t DiskParticleCap;  // "AccreationDiskDensity" + 100

// Unit circles of 32 points: in the x-y plane and in the x-z plane.
extern Vector3 RingXY[32];
extern Vector3 RingXZ[32];

// Largest values the registry may set. The control panel stays far below
// (at most 500 stars and a cap of 300); larger hand-edited values would make
// the neighbour arrays (capacity squared entries) exhaust memory.
constexpr int32_t MaxMainStarCapacity = 1000;
constexpr int32_t MaxDiskParticleCap = 5000;
// Every star draws a line to each of its neighbours: with a hand-edited count
// in the thousands a frame draws a million lines and the saver stops
// answering. The control panel offers at most 5.
constexpr int32_t MaxNeighbourCount = 20;

// Copies and bounds the five scene settings (as stored in the registry).
void applySecondSceneSettings(int32_t mainStars, int32_t neighbours, int32_t neighbourDistance,
                              int32_t supernovaFrequency, int32_t diskDensity);
void fillRingTables();

// The render state every star class draws with: texture 109, texel times
// vertex colour, added to the frame weighted by the vertex alpha.
void setStarRenderState();

void secondOrbitCamera();
void secondTitleCamera();
void spawnSecondScene();
void clearSecondScene();
