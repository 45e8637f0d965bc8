#include "model.h"

#include <bit>
#include <cmath>
#include <unordered_map>

namespace plughost {

namespace {

struct Vec {
  double x, y, z;
};
Vec ToVec(const Point3& p) { return {p.x, p.y, p.z}; }
Vec Sub(const Vec& a, const Vec& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Scale(const Vec& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
Vec Add(const Vec& a, const Vec& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
double Len(const Vec& a) { return std::sqrt(Dot(a, a)); }
Point3 UnitOr(const Vec& v, const Point3& fallback) {
  double l = Len(v);
  return l > 0.0 ? Point3(v.x / l, v.y / l, v.z / l) : fallback;
}

// A position's bits, with -0 taken as +0, as a key: vertices at one place.
struct PositionKey {
  uint32_t x, y, z;
  bool operator==(const PositionKey&) const = default;
};
struct PositionHash {
  size_t operator()(const PositionKey& k) const {
    uint64_t h = k.x * 0x9E3779B97F4A7C15ull;
    h ^= (h >> 29) + k.y * 0xBF58476D1CE4E5B9ull;
    h ^= (h >> 31) + k.z * 0x94D049BB133111EBull;
    return static_cast<size_t>(h ^ (h >> 32));
  }
};
uint32_t KeyBits(float f) { return std::bit_cast<uint32_t>(f == 0.0f ? 0.0f : f); }

}  // namespace

void Bounds::Add(const Point3& p) {
  if (empty) {
    min = max = p;
    empty = false;
    return;
  }
  for (int a = 0; a < 3; ++a) {
    min[a] = std::fmin(min[a], p[a]);
    max[a] = std::fmax(max[a], p[a]);
  }
}

Point3 Bounds::Centre() const {
  return Point3((double{min.x} + max.x) * 0.5, (double{min.y} + max.y) * 0.5, (double{min.z} + max.z) * 0.5);
}

size_t Model::TriangleCount() const {
  size_t n = 0;
  for (const Mesh& m : meshes) n += m.TriangleCount();
  return n;
}

Point3 WorldPoint(const Mesh& mesh, const Point3& p) {
  const Matrix3& t = mesh.objectToWorld;
  if (t.IsIdentity()) return p;
  const Point3 &r0 = t.GetRow(0), &r1 = t.GetRow(1), &r2 = t.GetRow(2), &r3 = t.GetRow(3);
  double x = p.x, y = p.y, z = p.z;
  return Point3(x * r0.x + y * r1.x + z * r2.x + r3.x, x * r0.y + y * r1.y + z * r2.y + r3.y,
                x * r0.z + y * r1.z + z * r2.z + r3.z);
}

NormalTransform NormalTransformOf(const Matrix3& t) {
  NormalTransform n{};
  n.identity = t.IsIdentity();
  Vec r0 = ToVec(t.GetRow(0)), r1 = ToVec(t.GetRow(1)), r2 = ToVec(t.GetRow(2));
  // The rows of det(A) * inverse(A) transposed; the determinant's sign keeps
  // a mirrored normal pointing out of the surface.
  Vec c[3] = {Cross(r1, r2), Cross(r2, r0), Cross(r0, r1)};
  double sign = Dot(r0, c[0]) < 0.0 ? -1.0 : 1.0;
  for (int i = 0; i < 3; ++i) {
    n.m[i][0] = c[i].x * sign;
    n.m[i][1] = c[i].y * sign;
    n.m[i][2] = c[i].z * sign;
  }
  return n;
}

Point3 TransformNormal(const NormalTransform& t, double x, double y, double z) {
  if (t.identity) return Point3(x, y, z);
  return Point3(x * t.m[0][0] + y * t.m[1][0] + z * t.m[2][0], x * t.m[0][1] + y * t.m[1][1] + z * t.m[2][1],
                x * t.m[0][2] + y * t.m[1][2] + z * t.m[2][2]);
}

void MakeSmoothNormals(Mesh& mesh) {
  size_t nv = mesh.positions.size();
  std::unordered_map<PositionKey, uint32_t, PositionHash> groups;
  groups.reserve(nv);
  std::vector<uint32_t> groupOf(nv);
  for (size_t v = 0; v < nv; ++v) {
    const Point3& p = mesh.positions[v];
    auto [it, added] =
        groups.emplace(PositionKey{KeyBits(p.x), KeyBits(p.y), KeyBits(p.z)}, static_cast<uint32_t>(groups.size()));
    groupOf[v] = it->second;
  }
  std::vector<Vec> sum(groups.size(), Vec{0.0, 0.0, 0.0});
  for (size_t t = 0; t < mesh.TriangleCount(); ++t) {
    const uint32_t* i = &mesh.indices[3 * t];
    Vec p[3] = {ToVec(mesh.positions[i[0]]), ToVec(mesh.positions[i[1]]), ToVec(mesh.positions[i[2]])};
    Vec n = Cross(Sub(p[1], p[0]), Sub(p[2], p[0]));
    double area2 = Len(n);
    if (!(area2 > 0.0)) continue;
    n = Scale(n, 1.0 / area2);
    for (int k = 0; k < 3; ++k) {
      Vec a = Sub(p[(k + 1) % 3], p[k]), b = Sub(p[(k + 2) % 3], p[k]);
      double angle = std::atan2(Len(Cross(a, b)), Dot(a, b));
      sum[groupOf[i[k]]] = Add(sum[groupOf[i[k]]], Scale(n, angle));
    }
  }
  mesh.normals.resize(nv);
  for (size_t v = 0; v < nv; ++v) mesh.normals[v] = UnitOr(sum[groupOf[v]], Point3(0.0f, 0.0f, 1.0f));
  mesh.normalsFromFile = false;
}

bool MakeTangents(Mesh& mesh, int channel, std::string* error) {
  if (!mesh.HasChannel(channel)) {
    *error = "mesh '" + mesh.name + "' has no map channel " + std::to_string(channel) + " to make tangents from";
    return false;
  }
  const std::vector<Point3>& uv = mesh.uvw[static_cast<size_t>(channel - 1)];
  size_t nv = mesh.positions.size();
  std::vector<Vec> sumT(nv, Vec{0.0, 0.0, 0.0}), sumB(nv, Vec{0.0, 0.0, 0.0});
  for (size_t t = 0; t < mesh.TriangleCount(); ++t) {
    const uint32_t* i = &mesh.indices[3 * t];
    Vec p0 = ToVec(mesh.positions[i[0]]);
    Vec e1 = Sub(ToVec(mesh.positions[i[1]]), p0), e2 = Sub(ToVec(mesh.positions[i[2]]), p0);
    double du1 = double{uv[i[1]].x} - uv[i[0]].x, dv1 = double{uv[i[1]].y} - uv[i[0]].y;
    double du2 = double{uv[i[2]].x} - uv[i[0]].x, dv2 = double{uv[i[2]].y} - uv[i[0]].y;
    double r = du1 * dv2 - du2 * dv1;
    if (r == 0.0) continue;
    // dP/du and dP/dv across the triangle, each made unit, then weighted by
    // the triangle's area.
    Vec tu = Scale(Sub(Scale(e1, dv2), Scale(e2, dv1)), 1.0 / r);
    Vec tv = Scale(Sub(Scale(e2, du1), Scale(e1, du2)), 1.0 / r);
    double area = Len(Cross(e1, e2)) * 0.5, lu = Len(tu), lv = Len(tv);
    if (!(lu > 0.0) || !(lv > 0.0)) continue;
    tu = Scale(tu, area / lu);
    tv = Scale(tv, area / lv);
    for (int k = 0; k < 3; ++k) {
      sumT[i[k]] = Add(sumT[i[k]], tu);
      sumB[i[k]] = Add(sumB[i[k]], tv);
    }
  }
  mesh.tangents.resize(nv);
  for (size_t v = 0; v < nv; ++v) {
    Vec n = ToVec(mesh.normals[v]);
    Vec t = Sub(sumT[v], Scale(n, Dot(n, sumT[v])));
    if (!(Len(t) > 1e-9 * Len(sumT[v]))) {
      // No UV direction here: any unit vector perpendicular to the normal,
      // from the axis it leans on least.
      Vec axis = std::fabs(n.x) <= std::fabs(n.y) && std::fabs(n.x) <= std::fabs(n.z) ? Vec{1.0, 0.0, 0.0}
                 : std::fabs(n.y) <= std::fabs(n.z)                                   ? Vec{0.0, 1.0, 0.0}
                                                                                      : Vec{0.0, 0.0, 1.0};
      t = Sub(axis, Scale(n, Dot(n, axis)));
    }
    mesh.tangents[v].dir = UnitOr(t, Point3(1.0f, 0.0f, 0.0f));
    mesh.tangents[v].sign = Dot(Cross(n, t), sumB[v]) < 0.0 ? -1.0f : 1.0f;
  }
  mesh.tangentChannel = channel;
  return true;
}

Bounds WorldBounds(const Model& model) {
  Bounds b;
  for (const Mesh& m : model.meshes)
    for (const Point3& p : m.positions) b.Add(WorldPoint(m, p));
  return b;
}

}  // namespace plughost
