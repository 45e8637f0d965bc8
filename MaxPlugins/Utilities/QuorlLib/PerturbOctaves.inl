// The octave sum and the displacement of a point by one noise set, shared by
// Perturb's own code (Perturb.cpp) and the fast paths (NoisePaths.cpp, which
// includes this once per instruction set). It includes nothing itself: the
// includer has <bit>, <cmath>, <cstdint> and QuorlLib.h in scope. The fast
// paths define QUORL_FMA as 1 where fused multiply-adds may be used, and
// QUORL_FAST_INLINE to have the whole displacement compiled as one function,
// with the point in registers from the first axis to the last.
//
// Sums, scales and the rest of the octave count are floats, each step is
// evaluated in double and rounded once where it is stored, and nothing may be
// fused unless it is shown to round the same (the build compiles with
// -ffp-contract=off).

#ifndef QUORL_FMA
#define QUORL_FMA 0
#endif
#ifdef QUORL_FAST_INLINE
#define QUORL_INLINE [[gnu::always_inline]] inline
#define QUORL_UNROLL_AXES _Pragma("GCC unroll 3")
#else
#define QUORL_INLINE inline
#define QUORL_UNROLL_AXES
#endif

namespace {

// Each octave's scale is the previous one plus 1.085 times it (a factor of
// 2.085); the final divisor 2.17 sets up the normalisation of the sum.
constexpr float kScaleStep = 1.085f;
constexpr float kFinalDivisor = 2.17f;

// Octave counts of 121 and more are taken as 120. The scale of octave 121
// (2.085^121) overflows single precision and turns the normalisation into
// inf / inf, and a count past 2^24 no longer decreases when 1 is taken off, so
// the loop would never end. Below 121 nothing changes; and from about 26
// octaves on neither the lattice sum nor its normalisation moves in single
// precision any more, so the cap loses nothing there either.
constexpr float kFirstCappedLevels = 121.0f;
constexpr float kMaxLevels = 120.0f;

// Exactly one level (the bits of 1.0) is one sample, not normalised.
inline bool IsOneOctave(float levels) { return std::bit_cast<uint32_t>(levels) == std::bit_cast<uint32_t>(1.0f); }

// The fractal sum of unit(q) over octaves, normalised back to about the range
// of one sample; levels may be fractional.
template <typename UnitFn>
QUORL_INLINE float OctaveSum(UnitFn unit, Point3 q, float levels) {
  if (IsOneOctave(levels)) return unit(q);
  if (levels >= kFirstCappedLevels) levels = kMaxLevels;  // NaN passes: no octave, sum 0
  float sum = 0.0f;
  float scale = 1.0f;
  float rest = levels;
  while (rest >= 1.0f) {
    sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(unit(q * scale)) / scale);
    scale = static_cast<float>(static_cast<double>(scale) + static_cast<double>(scale) * kScaleStep);
    rest = static_cast<float>(static_cast<double>(rest) - 1.0);
  }
  if (rest > 0.0f) {
    // A fractional octave: its weighted sample, then a blend of the
    // normalisation for the whole octaves and for one octave more.
    const double r = rest;
    sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(unit(q * scale)) * r / scale);
    scale = static_cast<float>(static_cast<double>(scale) / kFinalDivisor);
    const double s = scale;
    sum = static_cast<float>(static_cast<double>(sum) *
                             ((1.0 - r) * s / (2.0 * s - 1.0) + r * 2.0 * s / (4.0 * s - 1.0)));
  } else {
    scale = static_cast<float>(static_cast<double>(scale) / kFinalDivisor);
    const double s = scale;
    sum = static_cast<float>(static_cast<double>(sum) * s / (2.0 * s - 1.0));
  }
  return sum;
}

// (n + 1) / 2 for a noise value n in [-1, 1], formed in double and rounded.
// In single precision n + 1 rounds to the same float (the double sum is
// exact, or within 2^-29 of 1 where no float lies halfway), and halving is
// exact, so single-precision arithmetic gives the same bits.
inline float UnitFromNoise(float n) {
#if QUORL_FMA
  return std::fmaf(n, 0.5f, 0.5f);
#else
  return (n + 1.0f) * 0.5f;
#endif
}

// p + v * size, summed in double (the product is exact) and rounded to single
// precision. A fused multiply-add rounds the exact sum once instead, which
// gives the same float unless the double sum landed exactly halfway between
// two floats, or lies outside the range of normal floats: those rare sums are
// rounded as the reference rounds them. The check is off the critical path.
inline float AddScaled(float p, float v, float size) {
  const double sum = static_cast<double>(p) + static_cast<double>(v) * size;
#if QUORL_FMA
  const uint64_t bits = std::bit_cast<uint64_t>(sum);
  const uint64_t exponent = (bits >> 52) & 0x7FF;
  const bool normalFloat = exponent >= 1023 - 126 && exponent <= 1023 + 127;
  if (normalFloat && (bits & 0x1FFFFFFF) != 0x10000000) [[likely]]
    return std::fmaf(v, size, p);
#endif
  return static_cast<float>(sum);
}

struct NoiseSet {
  float size, freq, high, low, lev, phase;
};

// Where each axis samples its noise: the point plus the axis's offset, so that
// the three axes and the two sets see unrelated parts of the field. The
// primary x axis samples the point itself.
const Point3 kPrimaryOffsets[3] = {Point3(0.0f, 0.0f, 0.0f), Point3(-6.2f, 7.7f, 11.1f), Point3(24.3f, -53.6f, 6.8f)};
const Point3 kSecondaryOffsets[3] = {Point3(52.8f, 19.6f, -4.3f), Point3(46.0f, -58.1f, 8.2f),
                                     Point3(-12.9f, -23.8f, 12.4f)};

// A size that compares equal to 0 (either sign, or not a number, as an
// unordered compare reads) switches the set off.
inline bool SetIsOff(float size) { return size == 0.0f || std::isnan(size); }

// Displaces p axis by axis; each axis samples the point as displaced so far.
template <typename OctaveFn>
QUORL_INLINE void DisplaceBySet(Point3& p, const NoiseSet& set, const Point3 (&offsets)[3], bool offsetX, bool clamped,
                                OctaveFn octave) {
  if (SetIsOff(set.size)) return;
  QUORL_UNROLL_AXES
  for (int axis = 0; axis < 3; ++axis) {
    const Point3 source = (axis == 0 && !offsetX) ? p : p + offsets[axis];
    float v = octave(source * set.freq, set.phase, set.lev);
    if (clamped) v = clamp(v, set.low, set.high);
    p[axis] = AddScaled(p[axis], v, set.size);
  }
}

// Perturb's displacement of p: the primary set, then the secondary, unless
// the perturbation is off. `clamped` limits each sample to its set's clamps.
template <typename OctaveFn>
QUORL_INLINE void DisplaceByBothSets(const Perturb& pt, Point3& p, bool clamped, OctaveFn octave) {
  if (pt.pertOn == 0) return;
  DisplaceBySet(p, {pt.p1Size, pt.p1Freq, pt.p1High, pt.p1Low, pt.p1Lev, pt.p1Phase}, kPrimaryOffsets, false, clamped,
                octave);
  DisplaceBySet(p, {pt.p2Size, pt.p2Freq, pt.p2High, pt.p2Low, pt.p2Lev, pt.p2Phase}, kSecondaryOffsets, true, clamped,
                octave);
}

}  // namespace

#undef QUORL_INLINE
#undef QUORL_UNROLL_AXES
