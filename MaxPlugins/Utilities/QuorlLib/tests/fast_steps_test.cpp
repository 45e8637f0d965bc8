// The steps of the fast paths that stand in for a step of the reference,
// tried where they could part from it: next to the values halfway between two
// floats, which random points reach about once in 2^28 samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "Noise.h"
#include "QuorlLib.h"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>

// The fast paths' source, compiled here as NoisePaths.cpp compiles it: once
// without fused multiply-adds and once with them.
namespace plain {
#define QUORL_FMA 0
#define QUORL_FAST_INLINE
#include "PerturbOctaves.inl"
// the noise and the perturbation built on the octave sum:
#include "NoiseKernels.inl"
#undef QUORL_FMA
#undef QUORL_FAST_INLINE
}  // namespace plain

#pragma GCC push_options
#pragma GCC target("avx2,fma,bmi,bmi2")
namespace fused {
#define QUORL_FMA 1
#define QUORL_FAST_INLINE
#include "PerturbOctaves.inl"
// the noise and the perturbation built on the octave sum:
#include "NoiseKernels.inl"
#undef QUORL_FMA
#undef QUORL_FAST_INLINE

float NaiveAddScaled(float p, float v, float size) { return std::fmaf(v, size, p); }
}  // namespace fused
#pragma GCC pop_options

namespace {

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }
uint64_t Bits(double d) { return std::bit_cast<uint64_t>(d); }
double Ulp(float f) { return std::nextafter(f, INFINITY) - f; }

bool FmaRuns() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2");
}

TEST(FastSteps, RoundingToSinglePrecisionInTheIntegerUnit) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 200000; ++i) {
    // Any magnitude of normal floats, and the doubles next to a halfway value.
    float f = std::ldexp(std::uniform_real_distribution<float>(1.0f, 2.0f)(rng), static_cast<int>(rng() % 250) - 125);
    double v = i % 2 ? f + Ulp(f) / 2 : std::bit_cast<double>(rng() >> 12 | uint64_t{1023 + 3} << 52);
    v = std::bit_cast<double>(Bits(v) + static_cast<int>(rng() % 9) - 4);
    ASSERT_EQ(Bits(plain::Rounded(v)), Bits(static_cast<double>(static_cast<float>(v)))) << v;
  }
  EXPECT_EQ(Bits(plain::Rounded(0.0)), 0u);
}

TEST(FastSteps, DivisionBy32767NextToHalfwayValues) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  int naiveWouldDiffer = 0;
  for (int i = 0; i < 100000; ++i) {
    // r with r / 32767 at, or a few units from, a value halfway between
    // two floats.
    const float m = std::ldexp(unit(rng), -static_cast<int>(rng() % 40));
    const double r0 = (m + Ulp(m) / 2) * 32767.0;
    for (int k : {-20, -17, -16, -15, -3, -2, -1, 0, 1, 2, 3, 15, 16, 17, 20}) {
      const double r = std::bit_cast<double>(Bits(r0) + k);
      const float expected = static_cast<float>(r / 32767.0);
      ASSERT_EQ(Bits(plain::Over32767(r)), Bits(expected)) << r;
      naiveWouldDiffer += Bits(static_cast<float>(r * (1.0 / 32767.0))) != Bits(expected);
    }
  }
  EXPECT_GT(naiveWouldDiffer, 0);  // rare even here: the fallback is what keeps them equal
  for (double r : {0.0, 32767.0, 1e-40, 1e-300, 0x1p-100})
    EXPECT_EQ(Bits(plain::Over32767(r)), Bits(static_cast<float>(r / 32767.0))) << r;
}

TEST(FastSteps, FusedDisplacementWhereTheDoubleSumFallsHalfway) {
  if (!FmaRuns()) GTEST_SKIP() << "no fused multiply-add here";
  std::mt19937 rng(29);
  std::uniform_real_distribution<float> unit(0.5f, 1.0f);
  int halfway = 0, naiveWouldDiffer = 0;
  for (int i = 0; i < 20000; ++i) {
    // p + v * size within half a double unit of a halfway value M, so that
    // the double sum lands on M: v * size must come within 2^-29 of M - p.
    const float p = std::ldexp(unit(rng), static_cast<int>(rng() % 60) - 30) * (i % 2 ? 1.0f : -1.0f);
    const double gap = (2 * static_cast<int>(rng() % 8) + 1) * Ulp(p) / 2 * (i % 4 < 2 ? 1 : -1);
    const float v = unit(rng);
    const float size = static_cast<float>(gap / v);
    const double sum = static_cast<double>(p) + static_cast<double>(v) * size;
    const float expected = static_cast<float>(sum);
    ASSERT_EQ(Bits(fused::AddScaled(p, v, size)), Bits(expected)) << p << " " << v << " " << size;
    ASSERT_EQ(Bits(plain::AddScaled(p, v, size)), Bits(expected));
    if ((Bits(sum) & 0x1FFFFFFF) == 0x10000000) ++halfway;
    naiveWouldDiffer += Bits(fused::NaiveAddScaled(p, v, size)) != Bits(expected);
  }
  EXPECT_GT(halfway, 100);
  EXPECT_GT(naiveWouldDiffer, 10);  // the check is what keeps them equal
  // Sums outside the normal floats.
  for (float p : {0.0f, -0.0f, 1e-40f, 3e38f, INFINITY, NAN})
    for (float size : {0.5f, -0.5f, 1e38f, 1e-39f})
      EXPECT_EQ(Bits(fused::AddScaled(p, 0.75f, size)), Bits(static_cast<float>(static_cast<double>(p) + 0.75 * size)))
          << p << " " << size;
}

}  // namespace

#endif
