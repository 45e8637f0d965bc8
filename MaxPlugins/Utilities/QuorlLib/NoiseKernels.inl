// The fast lattice noise and the perturbation built on it, bit for bit the
// reference's results (NoiseLattice's functions, Perturb's own loop).
//
// NoisePaths.cpp includes this once per instruction set, inside a namespace of
// its own and with that set's target options in force; it includes nothing
// itself. QUORL_FMA is 1 where fused multiply-adds may be used (only where
// they are shown below to round exactly as the reference does), QUORL_AVX2
// where 256-bit vectors may.
//
// Why the results are the same:
// - The offset sum. |v + 10000| rounds to the same float whether the sum is
//   formed in single precision or in double and then rounded (checked for
//   every float). Scaling by 4096 is exact, so a fused v * 4096 + 40960000 is
//   the same sum, scaled.
// - The fast domain. Where s = |v + 10000| lies in [2048, 2^19), a float has
//   at most 12 fractional bits: m = s * 4096 is a whole number below 2^31,
//   its cell number m >> 12 and its fraction (m & 4095) / 4096, both exact.
//   A coordinate outside it (NaN and infinity included) sends the call to
//   the reference. Cell numbers are reduced with a multiplication, not a
//   division.
// - Weights. The smoothstep of each 12-bit fraction comes from a table made
//   with the reference's own function. Each weight is a multiple of 2^-36,
//   so lo + (hi - lo) * t between two lattice values is exact in double (51
//   bits at most): a fused multiply-add of it rounds as the reference does.
// - Lattice reads. qnoise2 and qnoise3 read NoiseLattice::layer0, where a
//   cell and its neighbour along x are one 32-bit word; qnoise4 reads the
//   lattice itself, whose w neighbours are adjacent too (QUORL_AVX2: the
//   eight corners then go through one vector).
// - The final division by 32767 becomes a multiplication by the reciprocal
//   wherever the product is sure to round to the same float (Over32767).

namespace {

constexpr int32_t kFixedMin = 2048 * 4096;  // the least m of the fast domain

// m = |v + 10000| * 4096, truncated; 0x80000000 beyond 2^31 and for NaN.
inline int32_t Fixed(float v) {
#if QUORL_FMA
  __m128 s = _mm_fmadd_ss(_mm_set_ss(v), _mm_set_ss(4096.0f), _mm_set_ss(40960000.0f));
#else
  __m128 s = _mm_mul_ss(_mm_add_ss(_mm_set_ss(v), _mm_set_ss(10000.0f)), _mm_set_ss(4096.0f));
#endif
  return _mm_cvttss_si32(_mm_andnot_ps(_mm_set_ss(-0.0f), s));
}

inline bool InFastDomain(int32_t a, int32_t b) { return std::min(a, b) >= kFixedMin; }

struct Axis {
  uint32_t cell;  // modulo the period
  uint32_t frac;  // the fraction, in 4096ths
};

template <uint32_t Period>
inline Axis Split(int32_t m) {
  const uint32_t u = static_cast<uint32_t>(m);
  return {(u >> 12) % Period, u & 4095u};
}

inline float Weight(const Axis& a) { return NoiseLattice::weight12[a.frac]; }

// Two neighbouring lattice values read as one word: the first in the low half.
inline uint32_t Pair(const int16_t* at) {
  uint32_t v;
  std::memcpy(&v, at, sizeof v);
  return v;
}
inline int Low(uint32_t pair) { return static_cast<int>(pair & 0xFFFF); }
inline int High(uint32_t pair) { return static_cast<int>(pair >> 16); }

inline double Lerp(double a, double b, double t) { return a + (b - a) * t; }

// a + (b - a) * t between two lattice values (exact in double here).
inline double LerpLattice(int a, int b, float t) { return a + static_cast<double>(b - a) * t; }

// The same rounded to single precision.
inline double LerpLatticeRounded(int a, int b, float t) {
#if QUORL_FMA
  return __builtin_fmaf(static_cast<float>(b - a), t, static_cast<float>(a));
#else
  return static_cast<float>(LerpLattice(a, b, t));
#endif
}

// v rounded to single precision and kept in double, as the two conversions
// would round it (to nearest, ties to even), but sooner, on its bits: adding
// 2^28 - 1 plus the lowest bit kept carries into the kept bits exactly when
// rounding up is due; then the 29 bits below are cleared. Right for 0 and for
// every magnitude in the range of normal floats, [2^-126, 2^128); the values
// rounded on the fast paths lie in [0, 32767] and, unless 0, above 2^-100.
inline double Rounded(double v) {
  __m128i bits = _mm_castpd_si128(_mm_set_sd(v));
  const __m128i lowestKept = _mm_and_si128(_mm_srli_epi64(bits, 29), _mm_set_epi64x(0, 1));
  bits = _mm_add_epi64(bits, _mm_add_epi64(lowestKept, _mm_set_epi64x(0, 0x0FFFFFFF)));
  bits = _mm_and_si128(bits, _mm_set_epi64x(0, ~int64_t{0x1FFFFFFF}));
  return _mm_cvtsd_f64(_mm_castsi128_pd(bits));
}

#if QUORL_AVX2
// The same for four values at once.
inline __m256d Rounded(__m256d v) {
  __m256i bits = _mm256_castpd_si256(v);
  const __m256i lowestKept = _mm256_and_si256(_mm256_srli_epi64(bits, 29), _mm256_set1_epi64x(1));
  bits = _mm256_add_epi64(bits, _mm256_add_epi64(lowestKept, _mm256_set1_epi64x(0x0FFFFFFF)));
  return _mm256_castsi256_pd(_mm256_and_si256(bits, _mm256_set1_epi64x(~int64_t{0x1FFFFFFF})));
}
#endif

// r / 32767 in double, rounded to single precision. The product with the
// rounded reciprocal lies within two units in the last place of that
// quotient, so the two round to the same float unless a value halfway
// between two floats lies that close: the rare product within 16 units of
// one (its low 29 bits near 0x10000000), or one below the range of normal
// floats, is divided after all. r is never negative or NaN here.
inline float Over32767(double r) {
  const double q = r * (1.0 / 32767.0);
  const uint64_t bits = std::bit_cast<uint64_t>(q);
  const bool nearHalfway = (bits & 0x1FFFFFFF) - (0x10000000 - 16) < 32;
  const bool belowNormalFloats = bits - 1 < (uint64_t{1023 - 126} << 52) - 1;  // 0 < q < 2^-126
  if (nearHalfway || belowNormalFloats) [[unlikely]]
    return static_cast<float>(r / 32767.0);
  return static_cast<float>(q);
}

// ---- The noise ----------------------------------------------------------------

constexpr int kRowY = NoiseLattice::kRun;                       // layer0's step along y
constexpr int kRowZ = NoiseLattice::kRun * NoiseLattice::kRun;  // and along z

// The first two coordinates of a point passed by value, read from the one
// register they arrive in (member by member, the compiler stores the point
// first, which costs a round trip through memory).
template <typename Point>
inline void FirstTwo(const Point& p, float& x, float& y) {
  double xy;
  std::memcpy(&xy, &p, sizeof xy);
  const __m128 v = _mm_castpd_ps(_mm_set_sd(xy));
  x = _mm_cvtss_f32(v);
  y = _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
}

inline float Noise2(Point2 p) {
  float px, py;
  FirstTwo(p, px, py);
  const int32_t mx = Fixed(px), my = Fixed(py);
  if (!InFastDomain(mx, my)) [[unlikely]]
    return theNoiseLattice.Noise2(p);
  const Axis x = Split<43>(mx), y = Split<43>(my);
  const int16_t* c = &NoiseLattice::layer0[0][y.cell][x.cell];
  const uint32_t y0 = Pair(c), y1 = Pair(c + kRowY);  // (x0, x1) at y0, and at y1
  const float ty = Weight(y);
  // Along y first, then x.
  const double a = LerpLatticeRounded(Low(y0), Low(y1), ty);
  const double b = LerpLattice(High(y0), High(y1), ty);
  return Over32767(Lerp(a, b, Weight(x)));
}

[[gnu::always_inline]] inline float Noise3At(float px, float py, float pz) {
  const int32_t mx = Fixed(px), my = Fixed(py), mz = Fixed(pz);
  if (!InFastDomain(std::min(mx, my), mz)) [[unlikely]]
    return theNoiseLattice.Noise3(Point3(px, py, pz));
  const Axis x = Split<43>(mx), y = Split<43>(my), z = Split<43>(mz);
  const int16_t* c = &NoiseLattice::layer0[z.cell][y.cell][x.cell];
  const uint32_t p00 = Pair(c), p01 = Pair(c + kRowZ), p11 = Pair(c + kRowZ + kRowY), p10 = Pair(c + kRowY);
  const float tx = Weight(x);
  // Along x, then y, then z; a, b, c and e are rounded, d and g are not.
  const double a = LerpLatticeRounded(Low(p00), High(p00), tx);
  const double b = LerpLatticeRounded(Low(p01), High(p01), tx);
  const double cc = LerpLatticeRounded(Low(p11), High(p11), tx);
  const double d = LerpLattice(Low(p10), High(p10), tx);
  const double e = Rounded(Lerp(a, d, Weight(y)));
  const double g = Lerp(b, cc, Weight(y));
  return Over32767(Lerp(e, g, Weight(z)));
}

inline float Noise3(Point3 p) {
  float x, y;
  FirstTwo(p, x, y);
  return Noise3At(x, y, p.z);
}

// The four-dimensional part, for w other than zero.
[[gnu::noinline]] inline float Noise4Lattice(float px, float py, float pz, float w) {
  const int32_t mx = Fixed(px), my = Fixed(py), mz = Fixed(pz), mw = Fixed(w);
  if (!InFastDomain(std::min(mx, my), std::min(mz, mw))) [[unlikely]]
    return theNoiseLattice.Noise4(Point3(px, py, pz), w);
  const Axis x = Split<43>(mx), y = Split<43>(my), z = Split<43>(mz), ww = Split<13>(mw);
  // The lattice itself, w varying fastest: a corner's two w values sit side
  // by side except across the wrap from layer 12 to layer 0.
  constexpr uint32_t kStepZ = NoiseLattice::kLayers, kStepY = kStepZ * 43, kStepX = kStepY * 43;
  auto next = [](uint32_t cell, uint32_t period) { return cell + 1 == period ? 0 : cell + 1; };
  const uint32_t x0 = x.cell * kStepX, x1 = next(x.cell, 43) * kStepX;
  const uint32_t y0 = y.cell * kStepY, y1 = next(y.cell, 43) * kStepY;
  const uint32_t z0 = z.cell * kStepZ, z1 = next(z.cell, 43) * kStepZ;
  const uint32_t w0 = ww.cell;
  const float fw = static_cast<float>(ww.frac) * (1.0f / 4096);  // linear along w
  const int16_t* lattice = &NoiseLattice::lattice[0][0][0][0];
#if QUORL_AVX2
  if (w0 + 1 < NoiseLattice::kLayers) [[likely]] {
    // The eight corners' (w0, w0 + 1) pairs, each one 32-bit read, in lanes
    // with z varying fastest: (x0 y0 z0), (x0 y0 z1), (x0 y1 z0), ...
    auto pair = [&](uint32_t corner) { return _mm_cvtsi32_si128(static_cast<int>(Pair(lattice + corner + w0))); };
    auto two = [&](uint32_t a, uint32_t b) { return _mm_unpacklo_epi32(pair(a), pair(b)); };
    const __m128i x0s = _mm_unpacklo_epi64(two(x0 + y0 + z0, x0 + y0 + z1), two(x0 + y1 + z0, x0 + y1 + z1));
    const __m128i x1s = _mm_unpacklo_epi64(two(x1 + y0 + z0, x1 + y0 + z1), two(x1 + y1 + z0, x1 + y1 + z1));
    const __m256i pairs = _mm256_inserti128_si256(_mm256_castsi128_si256(x0s), x1s, 1);
    const __m256i lo = _mm256_and_si256(pairs, _mm256_set1_epi32(0xFFFF));
    const __m256i hi = _mm256_srli_epi32(pairs, 16);
    // lo + (hi - lo) * fw is exact, so one fused rounding is the reference's.
    const __m256 a =
        _mm256_fmadd_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(hi, lo)), _mm256_set1_ps(fw), _mm256_cvtepi32_ps(lo));
    const __m256 split = _mm256_permutevar8x32_ps(a, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    const __m256d z0s = _mm256_cvtps_pd(_mm256_castps256_ps128(split));    // a000 a010 a100 a110
    const __m256d z1s = _mm256_cvtps_pd(_mm256_extractf128_ps(split, 1));  // a001 a011 a101 a111
    // Along z (exact products, as below), each rounded to single precision.
    const __m256d bs = Rounded(_mm256_fmadd_pd(_mm256_sub_pd(z1s, z0s), _mm256_set1_pd(Weight(z)), z0s));
    // Along y: (b00, b10) towards (b01, b11); c0 rounded, c1 not.
    const __m128d bLow = _mm256_castpd256_pd128(bs), bHigh = _mm256_extractf128_pd(bs, 1);
    const __m128d y0s = _mm_unpacklo_pd(bLow, bHigh), y1s = _mm_unpackhi_pd(bLow, bHigh);
    const __m128d c = _mm_add_pd(y0s, _mm_mul_pd(_mm_sub_pd(y1s, y0s), _mm_set1_pd(Weight(y))));
    return Over32767(Lerp(Rounded(_mm_cvtsd_f64(c)), _mm_cvtsd_f64(_mm_unpackhi_pd(c, c)), Weight(x)));
  }
#endif
  const uint32_t w1 = next(w0, 13);
  auto A = [&](uint32_t corner) { return LerpLatticeRounded(lattice[corner + w0], lattice[corner + w1], fw); };
  const double a000 = A(x0 + y0 + z0), a001 = A(x0 + y0 + z1), a010 = A(x0 + y1 + z0), a011 = A(x0 + y1 + z1);
  const double a100 = A(x1 + y0 + z0), a101 = A(x1 + y0 + z1), a110 = A(x1 + y1 + z0), a111 = A(x1 + y1 + z1);
  // Along z. The A values are multiples of 2^-12 below 2^15, so their
  // difference times the weight is exact in double and may be fused.
  const double tz = Weight(z);
  auto B = [tz](double lo, double hi) {
#if QUORL_FMA
    return Rounded(__builtin_fma(hi - lo, tz, lo));
#else
    return Rounded(Lerp(lo, hi, tz));
#endif
  };
  const double b00 = B(a000, a001), b01 = B(a010, a011), b10 = B(a100, a101), b11 = B(a110, a111);
  const double ty = Weight(y);
  const double c0 = Rounded(Lerp(b00, b01, ty));
  const double c1 = Lerp(b10, b11, ty);
  return Over32767(Lerp(c0, c1, Weight(x)));
}

// The field jumps at w = 0 (NaN counts as zero): there it is qnoise3.
[[gnu::always_inline]] inline float Noise4At(float x, float y, float z, float w) {
  return w == 0.0f || std::isnan(w) ? Noise3At(x, y, z) : Noise4Lattice(x, y, z, w);
}

[[gnu::noinline]] inline float Noise4(Point3 p, float w) {
  float x, y;
  FirstTwo(p, x, y);
  return Noise4At(x, y, p.z, w);
}

// ---- The perturbation ---------------------------------------------------------

// A sample of one octave, the usual case, is evaluated in place; a sum of
// several calls out for each sample, which keeps the code small.
[[gnu::always_inline]] inline float OctaveNoise4(Point3 q, float phase, float levels) {
  if (IsOneOctave(levels)) return UnitFromNoise(Noise4At(q.x, q.y, q.z, phase));
  return OctaveSum([phase](Point3 s) { return UnitFromNoise(Noise4(s, phase)); }, q, levels);
}

inline float HostOctaveNoise4(Point3 q, float phase, float levels) {
  return OctaveSum([phase](Point3 s) { return UnitFromNoise(noise4(s, phase)); }, q, levels);
}

// Both work on a copy of the point, which can stay in registers.
inline void PerturbHitPoint(const Perturb& pt, Point3& p) {
  Point3 q = p;
  DisplaceByBothSets(pt, q, false, [](Point3 s, float phase, float levels) { return OctaveNoise4(s, phase, levels); });
  p = q;
}

inline void PPerturbHitPoint(const Perturb& pt, Point3& p) {
  Point3 q = p;
  DisplaceByBothSets(pt, q, true,
                     [](Point3 s, float phase, float levels) { return HostOctaveNoise4(s, phase, levels); });
  p = q;
}

}  // namespace
