// The host's smooth noise (noise4): value noise on a four-dimensional lattice.
//
// Each lattice corner holds a pseudo-random value in [-1, 1]; between corners
// the values are blended along x, then y, z and w with the quintic fade
// 6t^5 - 15t^4 + 10t^3, so the field and its first two derivatives are
// continuous. A blend of values in [-1, 1] stays in [-1, 1].
//
// Everything is evaluated in double and rounded to single precision once at
// the end; nothing allocates or keeps state, so any number of threads may
// call it at once.
#include <cmath>
#include <cstdint>

#include "hostutil.h"
#include "point3.h"

namespace {

// The lattice repeats every 256 units on each axis, so a cell number fits in
// 8 bits and the four of a corner make one 32-bit key.
constexpr double kPeriod = 256.0;
constexpr uint32_t kCellMask = 255;

double CornerValue(uint32_t i, uint32_t j, uint32_t k, uint32_t l) {
  uint32_t h = i | (j << 8) | (k << 16) | (l << 24);
  // An integer mixer with full avalanche: neighbouring keys give unrelated
  // values.
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  // The top 24 bits, spread evenly over [-1, 1].
  return static_cast<double>(h >> 8) * (2.0 / 16777215.0) - 1.0;
}

struct AxisCell {
  uint32_t c0, c1;  // the cell and its neighbour, wrapping at 256
  double t;         // faded position inside the cell
};

AxisCell Reduce(float v) {
  // The remainder is exact in double, so even huge coordinates find their
  // cell; infinities and NaN have none and read as 0.
  double x = std::isfinite(v) ? std::fmod(static_cast<double>(v), kPeriod) : 0.0;
  if (x < 0.0) x += kPeriod;  // [0, 256]: a tiny negative value may round up to 256, which wraps to cell 0
  double cell = std::floor(x);
  double f = x - cell;
  uint32_t c0 = static_cast<uint32_t>(cell) & kCellMask;
  return {c0, (c0 + 1) & kCellMask, f * f * f * (f * (f * 6.0 - 15.0) + 10.0)};
}

double Lerp(double a, double b, double t) { return a + (b - a) * t; }

}  // namespace

float noise4(Point3 p, float phase) {
  const AxisCell x = Reduce(p.x), y = Reduce(p.y), z = Reduce(p.z), w = Reduce(phase);
  auto alongX = [&](uint32_t j, uint32_t k, uint32_t l) {
    return Lerp(CornerValue(x.c0, j, k, l), CornerValue(x.c1, j, k, l), x.t);
  };
  auto alongY = [&](uint32_t k, uint32_t l) { return Lerp(alongX(y.c0, k, l), alongX(y.c1, k, l), y.t); };
  auto alongZ = [&](uint32_t l) { return Lerp(alongY(z.c0, l), alongY(z.c1, l), z.t); };
  double v = Lerp(alongZ(w.c0), alongZ(w.c1), w.t);
  // Rounding in the blends could step a hair outside the corner values.
  v = v < -1.0 ? -1.0 : (v > 1.0 ? 1.0 : v);
  return static_cast<float>(v);
}
