#include "ray_scene.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace plughost {

struct RayScene::Embree {
  RTCDevice device = nullptr;
  RTCScene scene = nullptr;
  std::string lastError;
  ~Embree() {
    if (scene) rtcReleaseScene(scene);
    if (device) rtcReleaseDevice(device);
  }
};

namespace {

// The nearest hit so far, by Embree's distance, then mesh, then triangle:
// Embree offers every triangle at or before the nearest distance it holds,
// in an order that depends on its tree, and this keeps the least of them.
struct NearestContext {
  RTCIntersectContext rtc;  // first, so that Embree's pointer is this one's
  float t;
  unsigned geom, prim;
};

void KeepLeastOfEqualDistance(const RTCFilterFunctionNArguments* args) {
  if (args->N != 1) return;
  auto* c = reinterpret_cast<NearestContext*>(const_cast<RTCIntersectContext*>(args->context));
  float t = RTCRayN_tfar(args->ray, 1, 0);
  unsigned g = RTCHitN_geomID(args->hit, 1, 0), p = RTCHitN_primID(args->hit, 1, 0);
  if (t == c->t && (g > c->geom || (g == c->geom && p > c->prim))) {
    args->valid[0] = 0;
    return;
  }
  c->t = t;
  c->geom = g;
  c->prim = p;
}

void RecordError(void* user, RTCError code, const char* text) {
  auto* last = static_cast<std::string*>(user);
  if (last->empty()) *last = (text && *text) ? text : "error " + std::to_string(static_cast<int>(code));
}

struct Vec {
  double x, y, z;
};
Vec V(const Point3& p) { return {p.x, p.y, p.z}; }
Vec Sub(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Where the ray meets the triangle's plane: distance and weights, in double
// (Moeller and Trumbore). False for a ray along the plane.
bool OnPlane(const Point3& a, const Point3& b, const Point3& c, const Ray& ray, double* t, double* b1, double* b2) {
  Vec A = V(a), e1 = Sub(V(b), A), e2 = Sub(V(c), A), d = V(ray.direction);
  Vec pv = Cross(d, e2);
  double det = Dot(e1, pv);
  if (det == 0.0 || !std::isfinite(det)) return false;
  Vec tv = Sub(V(ray.origin), A), qv = Cross(tv, e1);
  *b1 = Dot(tv, pv) / det;
  *b2 = Dot(d, qv) / det;
  *t = Dot(e2, qv) / det;
  return std::isfinite(*b1) && std::isfinite(*b2) && std::isfinite(*t);
}

}  // namespace

RayScene::RayScene(const Model& model, std::unique_ptr<Embree> embree) : model_(model), embree_(std::move(embree)) {}
RayScene::~RayScene() = default;

std::unique_ptr<RayScene> RayScene::Build(const Model& model, std::string* error, const RayBuildOptions& options) {
  auto e = std::make_unique<Embree>();
  std::string config = options.threads > 0 ? "threads=" + std::to_string(options.threads) : "";
  e->device = rtcNewDevice(config.empty() ? nullptr : config.c_str());
  if (!e->device) {
    *error = "the ray-casting library did not start (error " +
             std::to_string(static_cast<int>(rtcGetDeviceError(nullptr))) + ")";
    return nullptr;
  }
  rtcSetDeviceErrorFunction(e->device, RecordError, &e->lastError);
  e->scene = rtcNewScene(e->device);
  // Robust: rays through shared edges and vertices find a triangle.
  rtcSetSceneFlags(e->scene, RTC_SCENE_FLAG_ROBUST);
  rtcSetSceneBuildQuality(e->scene, RTC_BUILD_QUALITY_MEDIUM);
  for (size_t k = 0; k < model.meshes.size() && e->lastError.empty(); ++k) {
    const Mesh& m = model.meshes[k];
    RTCGeometry g = rtcNewGeometry(e->device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto* v = static_cast<float*>(
        rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), m.VertexCount()));
    auto* idx = static_cast<unsigned*>(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                               3 * sizeof(unsigned), m.TriangleCount()));
    if (v && idx) {
      for (size_t i = 0; i < m.VertexCount(); ++i) {
        Point3 w = WorldPoint(m, m.positions[i]);
        v[3 * i] = w.x;
        v[3 * i + 1] = w.y;
        v[3 * i + 2] = w.z;
      }
      std::copy(m.indices.begin(), m.indices.end(), idx);
      rtcSetGeometryIntersectFilterFunction(g, KeepLeastOfEqualDistance);
      rtcCommitGeometry(g);
      rtcAttachGeometryByID(e->scene, g, static_cast<unsigned>(k));
    }
    rtcReleaseGeometry(g);
  }
  if (e->lastError.empty()) rtcCommitScene(e->scene);
  if (!e->lastError.empty()) {
    *error = "the ray-casting library could not build the model: " + e->lastError;
    return nullptr;
  }
  return std::unique_ptr<RayScene>(new RayScene(model, std::move(e)));
}

RayHit RayScene::Intersect(const Ray& ray) const {
  NearestContext c;
  rtcInitIntersectContext(&c.rtc);
  c.t = std::numeric_limits<float>::infinity();
  c.geom = c.prim = RTC_INVALID_GEOMETRY_ID;
  RTCRayHit rh{};
  rh.ray.org_x = ray.origin.x;
  rh.ray.org_y = ray.origin.y;
  rh.ray.org_z = ray.origin.z;
  rh.ray.dir_x = ray.direction.x;
  rh.ray.dir_y = ray.direction.y;
  rh.ray.dir_z = ray.direction.z;
  rh.ray.tnear = ray.tnear;
  rh.ray.tfar = ray.tfar;
  rh.ray.mask = ~0u;
  rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
  rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
  rtcIntersect1(embree_->scene, &c.rtc, &rh);
  RayHit h;
  if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID) return h;
  h.hit = true;
  h.at.mesh = rh.hit.geomID;
  h.at.triangle = rh.hit.primID;
  const Mesh& m = model_.meshes[h.at.mesh];
  const uint32_t* i = &m.indices[3 * static_cast<size_t>(h.at.triangle)];
  double t = rh.ray.tfar, b1 = rh.hit.u, b2 = rh.hit.v;
  OnPlane(WorldPoint(m, m.positions[i[0]]), WorldPoint(m, m.positions[i[1]]), WorldPoint(m, m.positions[i[2]]), ray, &t,
          &b1, &b2);
  // Embree's own test took the triangle; rounding may put the point a hair
  // outside it, which is brought back onto its edge.
  b1 = std::max(b1, 0.0);
  b2 = std::max(b2, 0.0);
  if (b1 + b2 > 1.0) {
    double s = b1 + b2;
    b1 /= s;
    b2 /= s;
  }
  h.t = t;
  h.at.b1 = static_cast<float>(b1);
  h.at.b2 = static_cast<float>(b2);
  return h;
}

BarycentricDifferentials RayScene::Differentials(const RayHit& hit, const Ray& right, const Ray& down) const {
  BarycentricDifferentials d;
  if (!hit.hit) return d;
  const Mesh& m = model_.meshes[hit.at.mesh];
  const uint32_t* i = &m.indices[3 * static_cast<size_t>(hit.at.triangle)];
  Point3 a = WorldPoint(m, m.positions[i[0]]), b = WorldPoint(m, m.positions[i[1]]),
         c = WorldPoint(m, m.positions[i[2]]);
  double t = 0.0, b1 = 0.0, b2 = 0.0;
  if (OnPlane(a, b, c, right, &t, &b1, &b2) && t > 0.0) {
    d.db1dx = static_cast<float>(b1 - hit.at.b1);
    d.db2dx = static_cast<float>(b2 - hit.at.b2);
  }
  if (OnPlane(a, b, c, down, &t, &b1, &b2) && t > 0.0) {
    d.db1dy = static_cast<float>(b1 - hit.at.b1);
    d.db2dy = static_cast<float>(b2 - hit.at.b2);
  }
  return d;
}

}  // namespace plughost
