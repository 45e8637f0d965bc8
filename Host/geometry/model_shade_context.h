// The host's shading context at a point of a model, for a ray-cast pixel or
// a bake texel.
//
// It answers what a map asks of a sample there: P (world) and PObj (object
// space), the shading normal, UVW of any map channel, DP and DPObj from the
// footprint, DUVW, and the time. The host's coordinates generator then
// does the rest: its Object XYZ reads PObj, so a texture stays on the model
// when the model's transform changes; its World XYZ reads P, so the model
// moves through it.
//
// Set computes the sample at the point (SampleSurface) and keeps a pointer
// to the model, which must outlive the context; it allocates nothing, takes no lock and writes only the
// context, so it runs on the shading road, one context per render thread.
// Set also clears the G-buffer id a map may have set on the previous sample.
#pragma once

#include <hostside/shade_context.h>

#include "model.h"
#include "surface.h"

namespace plughost {

// Which normal Normal() answers: the world-space one (the renderer lights
// with it), or the object-space one, which stays with the model as its
// transform turns it.
enum class NormalSpace { World, Object };

class ModelShadeContext : public HostShadeContext {
 public:
  void Set(const Model& model, const SurfacePoint& at, const BarycentricDifferentials& d, TimeValue t,
           NormalSpace space = NormalSpace::World);

  Point3 UVW(int channel) override;
  Point3 DUVW(int channel) override;
  Point3 DP() override { return sample_.dp; }
  Point3 DPObj() override { return sample_.dpObj; }

  const SurfaceSample& Sample() const { return sample_; }

 private:
  const Model* model_ = nullptr;
  SurfaceSample sample_;
  TriangleFrame frame_;  // the last sample's triangle
  BarycentricDifferentials d_;
};

}  // namespace plughost
