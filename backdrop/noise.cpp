#include "backdrop/noise.h"

#include <cmath>
#include <new>

#include "frame/random.h"

int16_t *NoisePermutation = nullptr;
float NoiseCoefficients[NoiseCoefficientCount];

bool initNoise() {
  programSrand(timeSeed());
  int16_t *table = new (std::nothrow) int16_t[NoisePeriod];
  if (!table) return false;
  for (int i = 0; i < NoisePeriod; ++i) table[i] = static_cast<int16_t>(i);
  for (int i = 0; i < NoisePeriod; ++i) {
    int j = programRand() % NoisePeriod;
    int16_t swap = table[i];
    table[i] = table[j];
    table[j] = swap;
  }
  delete[] NoisePermutation;
  NoisePermutation = table;
  for (int i = 0; i < NoiseCoefficientCount; ++i)
    NoiseCoefficients[i] = static_cast<float>(programRand()) / 32767.0f;
  return true;
}

double noise3(const Vector3 &p) {
  const int16_t *P = NoisePermutation;
  if (!P) return 0.0;
  const float *C = NoiseCoefficients;
  // The offset keeps every coordinate within +-1000000 positive, so truncation
  // is the floor.
  double X = static_cast<double>(p.x) + 1000000.0;
  double Y = static_cast<double>(p.y) + 1000000.0;
  double Z = static_cast<double>(p.z) + 1000000.0;
  int ix = static_cast<int>(X), iy = static_cast<int>(Y), iz = static_cast<int>(Z);
  double fx = X - ix, fy = Y - iy, fz = Z - iz;
  constexpr int Mask = NoisePeriod - 1;
  int x0 = ix & Mask, x1 = (ix + 1) & Mask;
  int y0 = iy & Mask, y1 = (iy + 1) & Mask;
  int z0 = iz & Mask, z1 = (iz + 1) & Mask;
  int px0 = P[x0], px1 = P[x1];
  int pxy00 = P[px0 ^ y0], pxy10 = P[px1 ^ y0], pxy01 = P[px0 ^ y1], pxy11 = P[px1 ^ y1];
  double gx0 = 1.0 - fx, gy0 = 1.0 - fy, gz0 = 1.0 - fz;
  double dx1 = fx - 1.0, dy1 = fy - 1.0, dz1 = fz - 1.0;

  auto corner = [&](int pxy, int zi, double dx, double dy, double dz, double w) {
    int k = P[pxy ^ zi] & 255;
    double v = 0.5 * C[k] + C[k + 1] * dx + C[k + 2] * dy + C[k + 3] * dz;
    return w * v;
  };
  double sum = 0.0;
  sum += corner(pxy00, z0, fx, fy, fz, gx0 * gy0 * gz0);
  sum += corner(pxy10, z0, dx1, fy, fz, fx * gy0 * gz0);
  sum += corner(pxy01, z0, fx, dy1, fz, gx0 * fy * gz0);
  sum += corner(pxy11, z0, dx1, dy1, fz, fx * fy * gz0);
  sum += corner(pxy00, z1, fx, fy, dz1, gx0 * gy0 * fz);
  sum += corner(pxy10, z1, dx1, fy, dz1, fx * gy0 * fz);
  sum += corner(pxy01, z1, fx, dy1, dz1, gx0 * fy * fz);
  sum += corner(pxy11, z1, dx1, dy1, dz1, fx * fy * fz);
  return sum;
}

double fractalNoise(const Vector3 &p, int octaves) {
  double sum = 0.0, amplitude = 1.0;
  Vector3 q = p;
  for (int i = 0; i < octaves; ++i) {
    sum += noise3(q) * amplitude;
    vector3Scale(2.0f, q, q);
    amplitude = 0.5 * amplitude;
  }
  return sum;
}

int texelIntensity(const Vector3 &p) {
  double n = fractalNoise(p, 11);
  double b = (std::cos(8.0 * n) + 1.0) * 0.5;
  double x = b - 0.6666666667;
  if (x < 0.0) x = 0.0;
  x = 3.0 * x;
  double u = programRand() / 32767.0;
  return static_cast<int>(u + 254.0 * x) & 255;
}

double starMask(const Vector3 &p) {
  Vector3 q = p;
  vector3Normalize(q);
  vector3Scale(0.8f, q, q);
  double n = fractalNoise(q, 8);
  double b = (std::cos(8.0 * n) + 1.0) * 0.5;
  double m = b - 0.75;
  return m < 0.0 ? 0.0 : m;
}
