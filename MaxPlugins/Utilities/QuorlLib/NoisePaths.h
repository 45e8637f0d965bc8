// The noise and the perturbation as several code paths with the same results
// to the last bit (internal to the library).
//
// The reference path ("scalar") is the plain code: NoiseLattice's functions
// and Perturb's own octave loop. The fast paths are one source
// (NoiseKernels.inl) compiled for several instruction sets. When the library
// loads, the fastest path this processor runs is chosen, unless the
// environment variable QUORLLIB_SIMD names another; the exported qnoise2,
// qnoise3, qnoise4, PerturbHitPoint and PPerturbHitPoint then go through it.
// Every path allocates nothing and writes nothing, so all are re-entrant.
#pragma once

#include <point2.h>
#include <point3.h>

#include <span>
#include <string>

class Perturb;

struct NoisePath {
  const char* name;  // as QUORLLIB_SIMD names it
  bool (*runsHere)();
  float (*noise2)(Point2 p);
  float (*noise3)(Point3 p);
  float (*noise4)(Point3 p, float w);
  // Null on the reference path, whose displacement is Perturb's own code.
  void (*perturbHitPoint)(const Perturb& perturb, Point3& p);
  void (*pPerturbHitPoint)(const Perturb& perturb, Point3& p);
};

// Every path compiled into the library: the reference first, then the fast
// ones from the fewest demands on the processor to the most.
std::span<const NoisePath> NoisePaths();

// The path the exported functions take.
const NoisePath& ActiveNoisePath();
// Makes `path` the active one (at load; tests also switch between paths).
void SetActiveNoisePath(const NoisePath& path);

struct NoisePathChoice {
  const NoisePath* path;
  std::string note;       // one line naming the path and why it was taken
  std::string complaint;  // empty, or why the setting could not be followed
};
// The path for a setting of QUORLLIB_SIMD (null or empty when unset): the
// named one when this processor runs it, otherwise the fastest it runs.
NoisePathChoice ChooseNoisePath(const char* setting);

// The note of the choice made at load, for the module's note to the host.
const char* LoadedNoisePathNote();
