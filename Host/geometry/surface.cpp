#include "surface.h"

#include <cmath>

namespace plughost {

namespace {

struct Weights {
  double w0, w1, w2;
};
Weights WeightsOf(const SurfacePoint& at) {
  double b1 = at.b1, b2 = at.b2;
  return {1.0 - b1 - b2, b1, b2};
}

// The three values mixed: in double, in this order, rounded once.
Point3 Mix(const Weights& w, const Point3& a, const Point3& b, const Point3& c) {
  return Point3(w.w0 * a.x + w.w1 * b.x + w.w2 * c.x, w.w0 * a.y + w.w1 * b.y + w.w2 * c.y,
                w.w0 * a.z + w.w1 * b.z + w.w2 * c.z);
}

using Vec = SurfaceVec;
Vec MixVec(const Weights& w, const Point3& a, const Point3& b, const Point3& c) {
  return {w.w0 * a.x + w.w1 * b.x + w.w2 * c.x, w.w0 * a.y + w.w1 * b.y + w.w2 * c.y,
          w.w0 * a.z + w.w1 * b.z + w.w2 * c.z};
}
Vec Diff(const Point3& a, const Point3& b) { return {double{a.x} - b.x, double{a.y} - b.y, double{a.z} - b.z}; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(const Vec& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
bool Unit(const Vec& v, Point3* out) {
  double l = Length(v);
  if (!(l > 0.0) || !std::isfinite(l)) return false;
  *out = Point3(v.x / l, v.y / l, v.z / l);
  return true;
}
Vec ToVec(const Point3& p) { return {p.x, p.y, p.z}; }

// |e1 * d1x + e2 * d2x| + |e1 * d1y + e2 * d2y|, per axis.
Point3 Reach(const Vec& e1, const Vec& e2, const BarycentricDifferentials& d) {
  auto axis = [&](double a, double b) {
    return std::fabs(a * d.db1dx + b * d.db2dx) + std::fabs(a * d.db1dy + b * d.db2dy);
  };
  return Point3(axis(e1.x, e2.x), axis(e1.y, e2.y), axis(e1.z, e2.z));
}

}  // namespace

void SampleSurface(const Model& model, const SurfacePoint& at, const BarycentricDifferentials& d, SurfaceSample* s) {
  TriangleFrame frame;
  SampleSurface(model, at, d, s, &frame);
}

void SampleSurface(const Model& model, const SurfacePoint& at, const BarycentricDifferentials& d, SurfaceSample* s,
                   TriangleFrame* f) {
  const Mesh& m = model.meshes[at.mesh];
  const uint32_t* i = &m.indices[3 * static_cast<size_t>(at.triangle)];
  const Point3 &o0 = m.positions[i[0]], &o1 = m.positions[i[1]], &o2 = m.positions[i[2]];
  if (!f->valid || f->mesh != at.mesh || f->triangle != at.triangle) {
    f->valid = true;
    f->mesh = at.mesh;
    f->triangle = at.triangle;
    f->p0 = WorldPoint(m, o0);
    f->p1 = WorldPoint(m, o1);
    f->p2 = WorldPoint(m, o2);
    f->e1 = Diff(f->p1, f->p0);
    f->e2 = Diff(f->p2, f->p0);
    f->e1o = Diff(o1, o0);
    f->e2o = Diff(o2, o0);
    if (!Unit(Cross(f->e1, f->e2), &f->geometricNormal)) f->geometricNormal = Point3(0.0f, 0.0f, 1.0f);
    if (!Unit(Cross(f->e1o, f->e2o), &f->geometricObj)) f->geometricObj = f->geometricNormal;
    f->normals = NormalTransformOf(m.objectToWorld);
  }
  Weights w = WeightsOf(at);
  s->at = at;
  s->pObj = Mix(w, o0, o1, o2);
  s->p = Mix(w, f->p0, f->p1, f->p2);
  s->geometricNormal = f->geometricNormal;

  Vec n = MixVec(w, m.normals[i[0]], m.normals[i[1]], m.normals[i[2]]);
  if (!Unit(n, &s->normalObj)) {
    s->normalObj = f->geometricObj;
    n = ToVec(f->geometricObj);
  }
  Point3 nw = TransformNormal(f->normals, n.x, n.y, n.z);
  if (!Unit(ToVec(nw), &s->normal)) s->normal = s->geometricNormal;

  s->dp = Reach(f->e1, f->e2, d);
  s->dpObj = Reach(f->e1o, f->e2o, d);

  s->hasTangents = !m.tangents.empty();
  if (s->hasTangents) {
    const Tangent &t0 = m.tangents[i[0]], &t1 = m.tangents[i[1]], &t2 = m.tangents[i[2]];
    Point3 to = Mix(w, t0.dir, t1.dir, t2.dir);
    Point3 tw = m.objectToWorld.IsIdentity() ? to : m.objectToWorld.VectorTransform(to);
    // Made perpendicular to the shading normal, as the frame of a normal map must be.
    Vec nn = ToVec(s->normal), tv = ToVec(tw);
    double along = nn.x * tv.x + nn.y * tv.y + nn.z * tv.z;
    Vec perp{tv.x - nn.x * along, tv.y - nn.y * along, tv.z - nn.z * along};
    if (!Unit(perp, &s->tangent)) s->tangent = Point3(1.0f, 0.0f, 0.0f);
    // The sign of the vertex nearest the point (signs do not interpolate).
    float sign = w.w0 >= w.w1 && w.w0 >= w.w2 ? t0.sign : w.w1 >= w.w2 ? t1.sign : t2.sign;
    Vec b = Cross(nn, ToVec(s->tangent));
    if (!Unit(Vec{b.x * sign, b.y * sign, b.z * sign}, &s->bitangent)) s->bitangent = Point3(0.0f, 1.0f, 0.0f);
  }
}

Point3 SurfaceUVW(const Model& model, const SurfacePoint& at, int channel) {
  const Mesh& m = model.meshes[at.mesh];
  if (!m.HasChannel(channel)) return Point3(0.0f, 0.0f, 0.0f);
  const std::vector<Point3>& uv = m.uvw[static_cast<size_t>(channel - 1)];
  const uint32_t* i = &m.indices[3 * static_cast<size_t>(at.triangle)];
  return Mix(WeightsOf(at), uv[i[0]], uv[i[1]], uv[i[2]]);
}

Point3 SurfaceDUVW(const Model& model, const SurfacePoint& at, const BarycentricDifferentials& d, int channel) {
  const Mesh& m = model.meshes[at.mesh];
  if (!m.HasChannel(channel)) return Point3(0.0f, 0.0f, 0.0f);
  const std::vector<Point3>& uv = m.uvw[static_cast<size_t>(channel - 1)];
  const uint32_t* i = &m.indices[3 * static_cast<size_t>(at.triangle)];
  return Reach(Diff(uv[i[1]], uv[i[0]]), Diff(uv[i[2]], uv[i[0]]), d);
}

}  // namespace plughost
