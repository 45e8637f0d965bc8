// The code paths of the noise and the perturbation, and the choice between
// them when the library loads.
#include "NoisePaths.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Noise.h"
#include "QuorlLib.h"

// The fast paths use x86-64 instructions and GCC's per-function target
// options; elsewhere only the reference is built.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUORL_FAST_PATHS 1
#include <immintrin.h>
#else
#define QUORL_FAST_PATHS 0
#endif

namespace {

float ReferenceNoise2(Point2 p) { return theNoiseLattice.Noise2(p); }
float ReferenceNoise3(Point3 p) { return theNoiseLattice.Noise3(p); }
float ReferenceNoise4(Point3 p, float w) { return theNoiseLattice.Noise4(p, w); }
bool Everywhere() { return true; }

}  // namespace

#if QUORL_FAST_PATHS

// Every x86-64 processor has SSE2.
namespace sse2 {
#define QUORL_FMA 0
#define QUORL_FAST_INLINE
#include "PerturbOctaves.inl"
// the noise and the perturbation built on the octave sum:
#include "NoiseKernels.inl"
#undef QUORL_FMA
#undef QUORL_FAST_INLINE
}  // namespace sse2

// Intel's processors since Haswell (2013), AMD's since Excavator (2015).
#pragma GCC push_options
#pragma GCC target("avx2,fma,bmi,bmi2")
namespace avx2 {
#define QUORL_FMA 1
#define QUORL_AVX2 1
#define QUORL_FAST_INLINE
#include "PerturbOctaves.inl"
// the noise and the perturbation built on the octave sum:
#include "NoiseKernels.inl"
#undef QUORL_FMA
#undef QUORL_AVX2
#undef QUORL_FAST_INLINE
}  // namespace avx2
#pragma GCC pop_options

namespace {
bool Avx2RunsHere() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2");
}
}  // namespace

#endif

namespace {

constexpr NoisePath kPaths[] = {
    {"scalar", Everywhere, ReferenceNoise2, ReferenceNoise3, ReferenceNoise4, nullptr, nullptr},
#if QUORL_FAST_PATHS
    {"sse2", Everywhere, sse2::Noise2, sse2::Noise3, sse2::Noise4, sse2::PerturbHitPoint, sse2::PPerturbHitPoint},
    {"avx2", Avx2RunsHere, avx2::Noise2, avx2::Noise3, avx2::Noise4, avx2::PerturbHitPoint, avx2::PPerturbHitPoint},
#endif
};

const NoisePath* activePath = &kPaths[0];

std::string PathNames(const char* separator) {
  std::string names;
  for (const NoisePath& p : kPaths) names += (names.empty() ? "" : separator) + std::string(p.name);
  return names;
}

bool SameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

// The setting as it may be shown: printable characters only, and not too many.
std::string Shown(const char* setting) {
  std::string out;
  for (const char* c = setting; *c && out.size() < 32; ++c)
    out += std::isprint(static_cast<unsigned char>(*c)) ? *c : '?';
  return *setting && std::strlen(setting) > out.size() ? out + "..." : out;
}

// Chosen among the library's static objects, before anything can call.
struct LoadTimeChoice {
  LoadTimeChoice() {
    choice = ChooseNoisePath(std::getenv("QUORLLIB_SIMD"));
    if (!choice.complaint.empty())
      std::fprintf(stderr, "QuorlLib: %s; using %s\n", choice.complaint.c_str(), choice.path->name);
    SetActiveNoisePath(*choice.path);
  }
  NoisePathChoice choice;
};
LoadTimeChoice loadTimeChoice;

}  // namespace

std::span<const NoisePath> NoisePaths() { return kPaths; }

const NoisePath& ActiveNoisePath() { return *activePath; }

void SetActiveNoisePath(const NoisePath& path) { activePath = &path; }

NoisePathChoice ChooseNoisePath(const char* setting) {
  const NoisePath* fastest = &kPaths[0];
  for (const NoisePath& p : kPaths)
    if (p.runsHere()) fastest = &p;
  NoisePathChoice c{fastest, {}, {}};
  if (!setting || !*setting) {
    c.note = "noise path " + std::string(fastest->name) +
             " (chosen for this processor; QUORLLIB_SIMD=" + PathNames("|") + " overrides)";
    return c;
  }
  const NoisePath* named = nullptr;
  for (const NoisePath& p : kPaths)
    if (SameName(p.name, setting)) named = &p;
  if (!named) {
    c.complaint = "QUORLLIB_SIMD=" + Shown(setting) + " is not one of " + PathNames(", ");
  } else if (!named->runsHere()) {
    c.complaint = "QUORLLIB_SIMD=" + Shown(setting) + " asks for instructions this processor lacks";
  } else {
    c.path = named;
    c.note = "noise path " + std::string(named->name) + " (QUORLLIB_SIMD=" + Shown(setting) + ")";
    return c;
  }
  c.note = "noise path " + std::string(fastest->name) + " (" + c.complaint + ")";
  return c;
}

const char* LoadedNoisePathNote() { return loadTimeChoice.choice.note.c_str(); }

// ---- The exported noise ----------------------------------------------------------

float qnoise2(Point2 p) { return activePath->noise2(p); }
float qnoise3(Point3 p) { return activePath->noise3(p); }
float qnoise4(Point3 p, float w) { return activePath->noise4(p, w); }
