// A map's values at points of the caller's own (plughost sample, the Python
// module) rather than at the pixels of a view.
//
// Each point is shaded alone, with a shading context of its own: the point as
// both the object-space and the world point, the given shading normal, the
// time, texture coordinates (0, 0, 0). So a value depends only on the point,
// its normal and the time, never on the other points or the thread count.
//
// Contract: the map is brought up to date for the time (Update) on the
// user-interface thread before PointSampler::Prepare; from then until the
// last Sample returns nothing may edit the map or anything it references.
// Sample only evaluates (it allocates nothing, locks nothing and writes into
// no object), so it runs on any number of threads at once.
#pragma once

#include <hostside/host_entries.h>
#include <imtl.h>

#include <cstddef>
#include <functional>
#include <string>

namespace plughost {

// What a point gives: the coverage (EvalMono), the premultiplied colour
// (EvalColor: r, g, b, a), the bump (EvalNormalPerturb), or the coordinates
// generator's point moved by the map's perturbation object, without the map's
// own scaling.
enum class PointValue { kMono, kColor, kBump, kPerturbed };

// The floats each point gives: 1, 4, 3 and 3.
int PointValueWidth(PointValue what);

// The map's own value at a shading context, for kMono, kColor and kBump:
// PointValueWidth floats at out. Allocates and locks nothing.
void EvalPointValue(Texmap* map, ShadeContext& sc, PointValue what, float* out);

class PointSampler {
 public:
  // For a map up to date for t. False with the reason where the map cannot
  // give the value (a perturbed point needs a coordinates generator and a
  // perturbation object among the map's references).
  bool Prepare(Texmap* map, PointValue what, TimeValue t, std::string* error);

  // The value at point p with shading normal n, PointValueWidth floats at out.
  void Sample(const float p[3], const float n[3], float* out) const;

  PointValue What() const { return what_; }

 private:
  Texmap* map_ = nullptr;
  PointValue what_ = PointValue::kMono;
  TimeValue time_ = 0;
  XYZGen* xyzGen_ = nullptr;  // for kPerturbed
  ReferenceTarget* perturbation_ = nullptr;
  HostPerturbPointFn perturb_ = nullptr;
};

// Runs fn(begin, end) over consecutive ranges that cover [0, count), on up
// to `threads` threads (the calling one among them; fewer where the system
// gives fewer), and returns once every range is done. The ranges are of a
// fixed size, so which thread takes which range changes nothing that fn
// writes per index.
void ForEachPointRange(size_t count, int threads, const std::function<void(size_t begin, size_t end)>& fn);

// Every point's value: `points` holds count x 3 floats, `normals` as many,
// or 3 when normalStride is 0 (one normal for every point); `out` receives
// count x PointValueWidth floats.
void SamplePoints(const PointSampler& sampler, size_t count, const float* points, const float* normals,
                  size_t normalStride, float* out, int threads);

}  // namespace plughost
