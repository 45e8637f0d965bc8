// The lattice behind qnoise2, qnoise3 and qnoise4 (internal to the library).
#pragma once

#include <point2.h>
#include <point3.h>

#include <array>
#include <cstdint>

// The generator behind rand() of Microsoft's C runtime. The lattice is defined
// by its sequence, so it is reproduced here rather than taken from the
// platform, whose rand() draws other numbers.
class MsvcRand {
 public:
  explicit MsvcRand(uint32_t seed) : state_(seed) {}
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }

 private:
  uint32_t state_;
};

// 3f^2 - 2f^3, with the square rounded once and the cube taken from the
// unrounded square.
constexpr float LatticeSmoothstep(float f) {
  double fd = f;
  float f2 = static_cast<float>(fd * fd);
  float f3 = static_cast<float>(fd * fd * fd);
  return static_cast<float>(static_cast<double>(f2) + f2 + f2 - f3 - f3);
}

// One process-wide object owns the data, which is static storage filled by the
// constructor once. After the fill everything is read-only, so evaluation is
// re-entrant and lock-free.
class NoiseLattice {
 public:
  static constexpr int kCells = 43;   // period along x, y and z
  static constexpr int kLayers = 13;  // period along w
  static constexpr uint32_t kSeed = 1999;

  NoiseLattice();

  float Noise2(Point2 p) const;
  float Noise3(Point3 p) const;
  float Noise4(Point3 p, float w) const;

  static int16_t lattice[kCells][kCells][kCells][kLayers];
  static int16_t nextX[kCells];
  static int16_t nextY[kCells];
  static int16_t nextZ[kCells];
  static int16_t nextW[kLayers];
  static int needsFill;

  // A copy for the fast paths' reads (NoisePaths.h), made during the fill.
  // layer0[z][y][x] is lattice[x][y][z][0] with every axis run on to 44
  // entries, the 44th repeating the first, so that a cell's neighbour is
  // always the next entry: a pair along x is one 32-bit read, and all that
  // qnoise3 and qnoise2 read lies in 170 KB rather than spread over 2 MB.
  static constexpr int kRun = kCells + 1;
  static int16_t layer0[kRun][kRun][kRun];
  // The smoothstep weight of every fraction with at most 12 bits, i / 4096,
  // as LatticeSmoothstep gives it, worked out by the compiler (which rounds
  // each step as the processor does) rather than at every load.
  static constexpr int kWeights = 4096;
  static constexpr std::array<float, kWeights> weight12 = [] {
    std::array<float, kWeights> w{};
    for (int i = 0; i < kWeights; ++i) w[i] = LatticeSmoothstep(static_cast<float>(i) / kWeights);
    return w;
  }();
};

// One reduced coordinate: the two neighbouring cells and the weight between.
struct LatticeCoord {
  int c0, c1;
  float f;  // fraction in the cell, 0 <= f < 1
  float t;  // smoothstep of f
};
LatticeCoord ReduceLatticeCoord(float v, int period, const int16_t* next);

extern NoiseLattice theNoiseLattice;
