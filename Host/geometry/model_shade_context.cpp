#include "model_shade_context.h"

namespace plughost {

void ModelShadeContext::Set(const Model& model, const SurfacePoint& at, const BarycentricDifferentials& d, TimeValue t,
                            NormalSpace space) {
  if (model_ != &model) frame_.valid = false;
  model_ = &model;
  SampleSurface(model, at, d, &sample_, &frame_);
  d_ = d;
  time = t;
  pWorld = sample_.p;
  pObj = sample_.pObj;
  normal = space == NormalSpace::Object ? sample_.normalObj : sample_.normal;
  uvw = SurfaceUVW(model, at, 1);
  ResetGBufferID();
}

Point3 ModelShadeContext::UVW(int channel) {
  return model_ ? SurfaceUVW(*model_, sample_.at, channel) : Point3(0.0f, 0.0f, 0.0f);
}

Point3 ModelShadeContext::DUVW(int channel) {
  return model_ ? SurfaceDUVW(*model_, sample_.at, d_, channel) : Point3(0.0f, 0.0f, 0.0f);
}

}  // namespace plughost
