// Rays against a model in world space, with Embree.
//
// Embree finds the nearest triangle; the hit's distance and weights are then
// computed again here, in double precision from the world-space vertices
// (WorldPoint), so that they do not depend on which of Embree's instruction
// sets the machine runs (some fuse multiply and add) nor on how its tree was
// built. Where two triangles are hit at the same distance (a ray through a
// shared edge) the one of the lower mesh, then the lower triangle, is taken,
// whatever order the traversal meets them in. So a ray gives the same hit on
// every thread, for every thread count, picture size or tile, and for every
// build of the tree. Only which triangle is nearest is Embree's judgement:
// where two lie within rounding of each other, machines whose processors
// take different instruction sets may choose differently.
//
// Build on any thread, then Intersect from any number of threads at once;
// the scene is read-only after Build. The model must outlive the scene and
// not change meanwhile.
#pragma once

#include <limits>
#include <memory>
#include <string>

#include "model.h"
#include "surface.h"

namespace plughost {

struct Ray {
  Point3 origin{0.0f, 0.0f, 0.0f};
  Point3 direction{0.0f, 0.0f, -1.0f};  // need not be unit; distances are in its lengths
  float tnear = 0.0f;
  float tfar = std::numeric_limits<float>::infinity();
};

struct RayHit {
  bool hit = false;
  SurfacePoint at;
  double t = 0.0;  // distance along the ray, in lengths of its direction
};

struct RayBuildOptions {
  int threads = 0;  // for building the tree; 0: every core
};

class RayScene {
 public:
  // Null, with a one-line error, when Embree cannot build it.
  static std::unique_ptr<RayScene> Build(const Model& model, std::string* error, const RayBuildOptions& options = {});
  ~RayScene();
  RayScene(const RayScene&) = delete;
  RayScene& operator=(const RayScene&) = delete;

  RayHit Intersect(const Ray& ray) const;

  // How the hit's weights change for the rays through the neighbouring
  // picture points (one to the right, one down): where those rays meet the
  // hit triangle's plane.
  BarycentricDifferentials Differentials(const RayHit& hit, const Ray& right, const Ray& down) const;

  const Model& model() const { return model_; }

 private:
  struct Embree;
  RayScene(const Model& model, std::unique_ptr<Embree> embree);
  const Model& model_;
  std::unique_ptr<Embree> embree_;
};

}  // namespace plughost
