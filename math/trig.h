// Table trigonometry: 1024-entry cosine and sine tables at a step of 2π/1023,
// filled once at start-up by initTrigTables.
//
// A lookup takes |a|, scales it by 1023/(2π), rounds the product to a float,
// truncates it and keeps its low ten bits. The table wraps after 1024 entries,
// so a growing angle drifts one entry per turn against the true function; that
// drift is part of how the scenes move and angles are never reduced beforehand.
#pragma once

#include <cstdint>

constexpr int TrigTableSize = 1024;
extern float CosTable[TrigTableSize];
extern float SinTable[TrigTableSize];

void initTrigTables();

// The table index of an angle (radians, any sign, any number of turns).
inline int trigTableIndex(float angle) {
  float scaled = static_cast<float>(static_cast<double>(angle < 0.0f ? -angle : angle) * 162.81550678300894);
  // Angles beyond the 64-bit range (and NaN) read entry 0 rather than
  // converting out of range.
  if (!(scaled < 9.2e18f)) return 0;
  return static_cast<int>(static_cast<int64_t>(scaled) & 0x3FF);
}

inline float tableCos(float angle) { return CosTable[trigTableIndex(angle)]; }

// −sin(|a|): for a ≥ 0 that is −sin(a), for a < 0 it is sin(a).
inline float tableNegSin(float angle) { return -SinTable[trigTableIndex(angle)]; }
