#include "render/point_samples.h"

#include <hostside/shade_context.h>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "plugins/host_entries.h"

namespace plughost {

namespace {

// Points a thread takes at a time: enough that taking the next range costs
// nothing beside shading it, few enough that the threads end together.
constexpr size_t kPointsPerRange = 1024;

}  // namespace

int PointValueWidth(PointValue what) {
  switch (what) {
    case PointValue::kMono: return 1;
    case PointValue::kColor: return 4;
    case PointValue::kBump:
    case PointValue::kPerturbed: return 3;
  }
  return 1;
}

bool PointSampler::Prepare(Texmap* map, PointValue what, TimeValue t, std::string* error) {
  map_ = map;
  what_ = what;
  time_ = t;
  xyzGen_ = nullptr;
  perturbation_ = nullptr;
  perturb_ = nullptr;
  if (what != PointValue::kPerturbed) return true;
  // The perturbation object: one among the map's references whose class a
  // plug-in offers the point perturbation of.
  for (int i = 0; i < map->NumRefs() && !perturb_; ++i) {
    perturbation_ = map->GetReference(i);
    perturb_ = FindPerturbPoint(perturbation_);
  }
  xyzGen_ = map->GetTheXYZGen();
  if (!perturb_ || !xyzGen_) {
    if (error) *error = "needs a map with a coordinates generator and a perturbation object";
    return false;
  }
  return true;
}

void EvalPointValue(Texmap* map, ShadeContext& sc, PointValue what, float* out) {
  switch (what) {
    case PointValue::kMono: out[0] = map->EvalMono(sc); return;
    case PointValue::kColor: {
      AColor c = map->EvalColor(sc);
      out[0] = c.r;
      out[1] = c.g;
      out[2] = c.b;
      out[3] = c.a;
      return;
    }
    case PointValue::kBump: {
      Point3 b = map->EvalNormalPerturb(sc);
      out[0] = b.x;
      out[1] = b.y;
      out[2] = b.z;
      return;
    }
    case PointValue::kPerturbed: return;  // not a value of the map's own
  }
}

void PointSampler::Sample(const float p[3], const float n[3], float* out) const {
  HostShadeContext sc;
  sc.time = time_;
  sc.pObj = sc.pWorld = Point3(p[0], p[1], p[2]);
  sc.normal = Point3(n[0], n[1], n[2]);
  switch (what_) {
    case PointValue::kMono:
    case PointValue::kColor:
    case PointValue::kBump: EvalPointValue(map_, sc, what_, out); return;
    case PointValue::kPerturbed: {
      Point3 q, dq;
      xyzGen_->GetXYZ(sc, q, dq);
      perturb_(perturbation_, &q);
      out[0] = q.x;
      out[1] = q.y;
      out[2] = q.z;
      return;
    }
  }
}

void ForEachPointRange(size_t count, int threads, const std::function<void(size_t begin, size_t end)>& fn) {
  size_t ranges = (count + kPointsPerRange - 1) / kPointsPerRange;
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t r = next++; r < ranges; r = next++) fn(r * kPointsPerRange, std::min(count, (r + 1) * kPointsPerRange));
  };
  size_t wanted = std::clamp<size_t>(static_cast<size_t>(std::max(threads, 1)), 1, std::max<size_t>(ranges, 1));
  std::vector<std::thread> pool;
  for (size_t i = 1; i < wanted; ++i) {
    // The system may give fewer threads than asked: the ranges are shared by
    // whichever threads there are.
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  worker();
  for (std::thread& t : pool) t.join();
}

void SamplePoints(const PointSampler& sampler, size_t count, const float* points, const float* normals,
                  size_t normalStride, float* out, int threads) {
  size_t width = static_cast<size_t>(PointValueWidth(sampler.What()));
  ForEachPointRange(count, threads, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) sampler.Sample(points + i * 3, normals + i * normalStride, out + i * width);
  });
}

}  // namespace plughost
