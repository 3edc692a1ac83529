// Lattice noise for the nebula sky: a 4096-periodic integer grid with hashed
// random coefficients, interpolated linearly and summed over octaves.
#pragma once

#include <cstdint>

#include "math/vector.h"

constexpr int NoisePeriod = 4096;
constexpr int NoiseCoefficientCount = 267;

// A random permutation of 0..4095 on the heap (null until the first initNoise).
extern int16_t *NoisePermutation;
// Each uniform in [0, 1]; entries 0..258 are reachable.
extern float NoiseCoefficients[NoiseCoefficientCount];

// Reseeds the program's generator with the time (or the run's fixed seed) and
// rebuilds both tables. Frees the previous permutation. False when it could not
// be allocated (the old tables stay).
bool initNoise();

// The noise at p; 0 before the tables exist.
double noise3(const Vector3 &p);

// The sum of noise3 over octaves, each at twice the frequency and half the
// amplitude of the one before.
double fractalNoise(const Vector3 &p, int octaves);

// The brightness 0..255 of the sky at the unit direction p: thin bright veins
// over black. Draws one random number for its dither.
int texelIntensity(const Vector3 &p);

// How strongly background stars gather at p (any length): 0..0.25.
double starMask(const Vector3 &p);
