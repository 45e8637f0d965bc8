// The host's shading context for one sample, filled in by the renderer or a
// test.
#pragma once

#include "../imtl.h"

class HOSTSDK_API HostShadeContext : public ShadeContext {
 public:
  TimeValue CurTime() override { return time; }
  Point3 P() override { return pWorld; }
  Point3 PObj() override { return pObj; }
  Point3 Normal() override { return normal; }
  Point3 UVW(int) override { return uvw; }
  void ResetGBufferID() { gbufId = 0; }

  TimeValue time = 0;
  Point3 pObj{0.0f, 0.0f, 0.0f};
  Point3 pWorld{0.0f, 0.0f, 0.0f};
  Point3 normal{0.0f, 0.0f, 1.0f};
  Point3 uvw{0.0f, 0.0f, 0.0f};
};
