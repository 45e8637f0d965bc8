#include "camera.h"

#include <algorithm>
#include <cmath>

namespace plughost {

Camera FrameBounds(const Bounds& bounds, double aspect) {
  Point3 centre = bounds.empty ? Point3(0.0f, 0.0f, 0.0f) : bounds.Centre();
  double radius = bounds.empty ? 0.0 : bounds.Radius();
  if (!(radius > 0.0)) radius = 1.0;  // a point, or nothing: a unit's worth around it
  constexpr double kAround = 0.7853981633974483, kAbove = 0.5235987755982988;  // 45 and 30 degrees
  double tx = std::sin(kAround) * std::cos(kAbove), ty = std::sin(kAbove), tz = std::cos(kAround) * std::cos(kAbove);
  double halfV = kFramingFov * 0.5;
  double halfH = std::atan(std::tan(halfV) * (aspect > 0.0 ? aspect : 1.0));
  double distance = radius / std::sin(std::min(halfV, halfH));
  Camera c;
  c.position = Point3(centre.x + tx * distance, centre.y + ty * distance, centre.z + tz * distance);
  c.direction = Point3(-tx, -ty, -tz);
  // World y, made perpendicular to the direction.
  c.up = Point3(-ty * tx, 1.0 - ty * ty, -ty * tz).Normalize();
  c.verticalFov = kFramingFov;
  c.aspect = 0.0f;
  return c;
}

Camera CameraForModel(const Model& model, double aspect) {
  return model.camera ? *model.camera : FrameBounds(model.bounds, aspect);
}

Ray CameraRay(const Camera& c, int width, int height, double x, double y) {
  double tanV = std::tan(double{c.verticalFov} * 0.5);
  double tanH = tanV * width / height;
  double sx = (2.0 * x / width - 1.0) * tanH, sy = (1.0 - 2.0 * y / height) * tanV;
  const Point3 &d = c.direction, &u = c.up;
  // right = direction ^ up, in double
  double rx = double{d.y} * u.z - double{d.z} * u.y, ry = double{d.z} * u.x - double{d.x} * u.z,
         rz = double{d.x} * u.y - double{d.y} * u.x;
  Ray r;
  r.origin = c.position;
  r.direction = Point3(d.x + rx * sx + u.x * sy, d.y + ry * sx + u.y * sy, d.z + rz * sx + u.z * sy);
  return r;
}

}  // namespace plughost
