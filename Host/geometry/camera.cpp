#include "camera.h"

#include <algorithm>
#include <cmath>

namespace plughost {

Camera FrameBounds(const Bounds& bounds, double aspect) {
  Point3 centre = bounds.empty ? Point3(0.0f, 0.0f, 0.0f) : bounds.Centre();
  Point3 half = bounds.empty ? Point3(0.0f, 0.0f, 0.0f) : (bounds.max - bounds.min) * 0.5f;
  if (!(half.x > 0.0f || half.y > 0.0f || half.z > 0.0f)) half = Point3(1.0f, 1.0f, 1.0f);  // a point: a unit around it
  constexpr double kAround = 0.7853981633974483, kAbove = 0.5235987755982988;               // 45 and 30 degrees
  // t: from the centre towards the camera; u: up; r: right.
  double t[3] = {std::sin(kAround) * std::cos(kAbove), std::sin(kAbove), std::cos(kAround) * std::cos(kAbove)};
  double u[3] = {-t[1] * t[0], 1.0 - t[1] * t[1], -t[1] * t[2]};
  double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
  for (double& c : u) c /= ul;
  double r[3] = {u[1] * t[2] - u[2] * t[1], u[2] * t[0] - u[0] * t[2], u[0] * t[1] - u[1] * t[0]};
  // Far enough that every corner of the box lies inside the picture, with a
  // twentieth of the angle to spare.
  double tanV = std::tan(kFramingFov * 0.5) * 0.95, tanH = tanV * (aspect > 0.0 ? aspect : 1.0);
  double distance = 0.0;
  for (int corner = 0; corner < 8; ++corner) {
    double c[3] = {(corner & 1) ? half.x : -half.x, (corner & 2) ? half.y : -half.y, (corner & 4) ? half.z : -half.z};
    auto dot = [&](const double* a) { return a[0] * c[0] + a[1] * c[1] + a[2] * c[2]; };
    distance = std::max({distance, dot(t) + std::fabs(dot(u)) / tanV, dot(t) + std::fabs(dot(r)) / tanH});
  }
  Camera cam;
  cam.position = Point3(centre.x + t[0] * distance, centre.y + t[1] * distance, centre.z + t[2] * distance);
  cam.direction = Point3(-t[0], -t[1], -t[2]);
  cam.up = Point3(u[0], u[1], u[2]);
  cam.verticalFov = kFramingFov;
  cam.aspect = 0.0f;
  return cam;
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
