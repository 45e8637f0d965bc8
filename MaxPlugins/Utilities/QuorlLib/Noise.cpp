// Lattice value noise.
//
// Rounding matters to the last bit here: single(e) steps are cast to float
// where they happen, everything else is double, and nothing may be fused
// (the build compiles with -ffp-contract=off).
#include "Noise.h"

#include <cmath>
#include <cstring>

int16_t NoiseLattice::lattice[kCells][kCells][kCells][kLayers];
int16_t NoiseLattice::nextX[kCells];
int16_t NoiseLattice::nextY[kCells];
int16_t NoiseLattice::nextZ[kCells];
int16_t NoiseLattice::nextW[kLayers];
int NoiseLattice::needsFill = 1;
int16_t NoiseLattice::layer0[kRun][kRun][kRun];

NoiseLattice theNoiseLattice;

NoiseLattice::NoiseLattice() {
  if (needsFill == 0) return;
  MsvcRand rng(kSeed);
  // Filled backwards: the first draw lands in [42][42][42][12], the last in
  // [0][0][0][0].
  for (int x = kCells - 1; x >= 0; --x)
    for (int y = kCells - 1; y >= 0; --y)
      for (int z = kCells - 1; z >= 0; --z) {
        for (int w = kLayers - 1; w >= 0; --w) lattice[x][y][z][w] = static_cast<int16_t>(rng.Next());
        layer0[z][y][x] = lattice[x][y][z][0];  // the copy for the fast paths, while it is at hand
      }
  for (int i = 0; i < kCells; ++i) {
    int16_t n = static_cast<int16_t>(i + 1 < kCells ? i + 1 : 0);
    nextX[i] = nextY[i] = nextZ[i] = n;
  }
  for (int i = 0; i < kLayers; ++i) nextW[i] = static_cast<int16_t>(i + 1 < kLayers ? i + 1 : 0);
  // The copy's 44th entry along each axis repeats the first.
  for (int z = 0; z < kCells; ++z) {
    for (int y = 0; y < kCells; ++y) layer0[z][y][kCells] = layer0[z][y][0];
    std::memcpy(layer0[z][kCells], layer0[z][0], sizeof layer0[z][0]);
  }
  std::memcpy(layer0[kCells], layer0[0], sizeof layer0[0]);
  needsFill = 0;
}

LatticeCoord ReduceLatticeCoord(float v, int period, const int16_t* next) {
  // The offset of 10000 moves the usual range away from 0; the absolute value
  // mirrors everything below -10000.
  float s = static_cast<float>(std::fabs(static_cast<double>(v) + 10000.0));
  LatticeCoord c;
  if (s < 2147483648.0f) {
    int32_t n = static_cast<int32_t>(s);
    c.c0 = n % period;
    c.f = s - static_cast<float>(n);
  } else {
    // Past 2^31 every float is a whole number, so the fraction is 0 and the
    // cell is the exact remainder; NaN and infinity read cell 0.
    c.c0 = std::isfinite(s) ? static_cast<int>(std::fmod(static_cast<double>(s), period)) : 0;
    c.f = 0.0f;
  }
  c.c1 = next[c.c0];
  c.t = LatticeSmoothstep(c.f);
  return c;
}

namespace {

inline double Lerp(double a, double b, double t) { return a + (b - a) * t; }
// Between two lattice values the difference is formed exactly as an integer.
inline double LerpL(int a, int b, float t) { return a + static_cast<double>(b - a) * t; }

}  // namespace

float NoiseLattice::Noise2(Point2 p) const {
  LatticeCoord x = ReduceLatticeCoord(p.x, kCells, nextX);
  LatticeCoord y = ReduceLatticeCoord(p.y, kCells, nextY);
  auto L = [](int i, int j) { return static_cast<int>(lattice[i][j][0][0]); };
  // Along y first, then x.
  float a = static_cast<float>(LerpL(L(x.c0, y.c0), L(x.c0, y.c1), y.t));
  double b = LerpL(L(x.c1, y.c0), L(x.c1, y.c1), y.t);
  return static_cast<float>(Lerp(a, b, x.t) / 32767.0);
}

float NoiseLattice::Noise3(Point3 p) const {
  LatticeCoord x = ReduceLatticeCoord(p.x, kCells, nextX);
  LatticeCoord y = ReduceLatticeCoord(p.y, kCells, nextY);
  LatticeCoord z = ReduceLatticeCoord(p.z, kCells, nextZ);
  auto L = [](int i, int j, int k) { return static_cast<int>(lattice[i][j][k][0]); };
  // Along x, then y, then z; a, b, c and e are rounded, d and g are not.
  float a = static_cast<float>(LerpL(L(x.c0, y.c0, z.c0), L(x.c1, y.c0, z.c0), x.t));
  float b = static_cast<float>(LerpL(L(x.c0, y.c0, z.c1), L(x.c1, y.c0, z.c1), x.t));
  float c = static_cast<float>(LerpL(L(x.c0, y.c1, z.c1), L(x.c1, y.c1, z.c1), x.t));
  double d = LerpL(L(x.c0, y.c1, z.c0), L(x.c1, y.c1, z.c0), x.t);
  float e = static_cast<float>(Lerp(a, d, y.t));
  double g = Lerp(b, c, y.t);
  return static_cast<float>(Lerp(e, g, z.t) / 32767.0);
}

float NoiseLattice::Noise4(Point3 p, float w) const {
  // The field jumps at w = 0: there it is the three-dimensional noise. NaN
  // counts as zero too.
  if (w == 0.0f || std::isnan(w)) return Noise3(p);
  LatticeCoord x = ReduceLatticeCoord(p.x, kCells, nextX);
  LatticeCoord y = ReduceLatticeCoord(p.y, kCells, nextY);
  LatticeCoord z = ReduceLatticeCoord(p.z, kCells, nextZ);
  LatticeCoord ww = ReduceLatticeCoord(w, kLayers, nextW);
  const float fw = ww.f;  // linear along w, no smoothstep
  auto A = [&](int i, int j, int k) {
    return static_cast<float>(LerpL(lattice[i][j][k][ww.c0], lattice[i][j][k][ww.c1], fw));
  };
  float a000 = A(x.c0, y.c0, z.c0), a001 = A(x.c0, y.c0, z.c1);
  float a010 = A(x.c0, y.c1, z.c0), a011 = A(x.c0, y.c1, z.c1);
  float a100 = A(x.c1, y.c0, z.c0), a101 = A(x.c1, y.c0, z.c1);
  float a110 = A(x.c1, y.c1, z.c0), a111 = A(x.c1, y.c1, z.c1);
  float b00 = static_cast<float>(Lerp(a000, a001, z.t));
  float b01 = static_cast<float>(Lerp(a010, a011, z.t));
  float b10 = static_cast<float>(Lerp(a100, a101, z.t));
  float b11 = static_cast<float>(Lerp(a110, a111, z.t));
  float c0 = static_cast<float>(Lerp(b00, b01, y.t));
  double c1 = Lerp(b10, b11, y.t);
  return static_cast<float>(Lerp(c0, c1, x.t) / 32767.0);
}
