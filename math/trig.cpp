#include "math/trig.h"

#include <cmath>
#include <numbers>

float CosTable[TrigTableSize];
float SinTable[TrigTableSize];

void initTrigTables() {
  for (int i = 0; i < TrigTableSize; ++i) {
    double angle = i * 2.0 * std::numbers::pi * (1.0 / 1023.0);
    CosTable[i] = static_cast<float>(std::cos(angle));
    SinTable[i] = static_cast<float>(std::sin(angle));
  }
}
