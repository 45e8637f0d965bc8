#include "model_wire.h"

#include <cmath>
#include <cstring>

namespace plughost {

namespace {

constexpr char kMagic[8] = {'P', 'H', 'M', 'O', 'D', 'E', 'L', 1};
constexpr uint32_t kEndMarker = 0x21444E45;
constexpr uint32_t kMaxNameBytes = 1024;
constexpr uint32_t kMaxMessageBytes = 4096;
constexpr uint8_t kMaxChannels = 8;  // as many UV sets as the importer keeps
constexpr uint8_t kHasNormals = 1, kHasTangents = 2;

static_assert(sizeof(Point3) == 12 && sizeof(Tangent) == 16, "arrays travel as they lie in memory");

// ---- Writing ----------------------------------------------------------------

class Writer {
 public:
  explicit Writer(ByteSink& sink) : sink_(sink) {}
  void Raw(const void* p, size_t n) { ok_ = ok_ && (n == 0 || sink_.Write(p, n)); }
  void U8(uint8_t v) { Raw(&v, 1); }
  void U32(uint32_t v) { Raw(&v, 4); }
  void F32(float v) { Raw(&v, 4); }
  void P3(const Point3& p) { Raw(&p, sizeof p); }
  void Text(const std::string& s) {
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(s.size(), kMaxNameBytes));
    U32(n);
    Raw(s.data(), n);
  }
  template <typename T>
  void Array(const std::vector<T>& v) {
    Raw(v.data(), v.size() * sizeof(T));
  }
  bool ok() const { return ok_; }

 private:
  ByteSink& sink_;
  bool ok_ = true;
};

// ---- Reading ----------------------------------------------------------------

class Reader {
 public:
  Reader(ByteSource& source, std::string* error) : s_(source), error_(error) {}
  bool Raw(void* p, size_t n) { return n == 0 || s_.Read(p, n, error_); }
  bool U8(uint8_t* v) { return Raw(v, 1); }
  bool U32(uint32_t* v) { return Raw(v, 4); }
  bool F32(float* v) { return Raw(v, 4); }
  bool Text(std::string* out, uint32_t max, const char* what) {
    uint32_t n = 0;
    if (!U32(&n)) return false;
    if (n > max)
      return Fail(std::string(what) + " of " + std::to_string(n) + " bytes, more than " + std::to_string(max));
    out->resize(n);
    return Raw(out->data(), n);
  }
  bool Fail(const std::string& why) {
    *error_ = why;
    return false;
  }

 private:
  ByteSource& s_;
  std::string* error_;
};

bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

void MakePrintable(std::string& s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
}

std::string MeshLabel(size_t index, const Mesh& m) {
  return "mesh " + std::to_string(index) + (m.name.empty() ? std::string() : " ('" + m.name + "')");
}

bool ReadCamera(Reader& r, Camera* cam) {
  float f[11];
  for (float& v : f)
    if (!r.F32(&v)) return false;
  for (float v : f)
    if (!std::isfinite(v)) return r.Fail("its camera has a number that is not finite");
  Point3 pos(f[0], f[1], f[2]), dir(f[3], f[4], f[5]), up(f[6], f[7], f[8]);
  dir = dir.Normalize();
  // up made perpendicular to the direction
  up = (up - dir * (up % dir)).Normalize();
  if (dir == Point3::Origin || up == Point3::Origin) return r.Fail("its camera has no direction, or up along it");
  if (!(f[9] > 0.0f && f[9] < 3.14159f)) return r.Fail("its camera's angle of view is not between 0 and 180 degrees");
  if (f[10] < 0.0f) return r.Fail("its camera's aspect ratio is negative");
  *cam = Camera{pos, dir, up, f[9], f[10]};
  return true;
}

// The checks of model.h's contract on one mesh, which also makes its normals
// where it has none.
bool CheckMesh(size_t index, Mesh& m, Bounds* bounds, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = MeshLabel(index, m) + ": " + why;
    return false;
  };
  for (int row = 0; row < 4; ++row)
    if (!Finite(m.objectToWorld.GetRow(row))) return fail("its transform has a number that is not finite");
  size_t nv = m.positions.size();
  for (size_t k = 0; k < m.indices.size(); ++k)
    if (m.indices[k] >= nv)
      return fail("triangle " + std::to_string(k / 3) + " names vertex " + std::to_string(m.indices[k]) + " of " +
                  std::to_string(nv));
  auto finite = [&](const std::vector<Point3>& v, const char* what) {
    for (size_t k = 0; k < v.size(); ++k)
      if (!Finite(v[k])) return fail(std::string(what) + " of vertex " + std::to_string(k) + " is not a finite number");
    return true;
  };
  if (!finite(m.positions, "the position") || !finite(m.normals, "the normal")) return false;
  for (size_t c = 0; c < m.uvw.size(); ++c)
    if (!finite(m.uvw[c], ("the UVW of map channel " + std::to_string(c + 1)).c_str())) return false;
  for (size_t k = 0; k < m.tangents.size(); ++k) {
    if (!Finite(m.tangents[k].dir) || (m.tangents[k].sign != 1.0f && m.tangents[k].sign != -1.0f))
      return fail("the tangent of vertex " + std::to_string(k) + " is not a finite direction with a sign of 1 or -1");
  }
  for (size_t k = 0; k < nv; ++k) {
    Point3 w = WorldPoint(m, m.positions[k]);
    if (!Finite(w)) return fail("its transform takes vertex " + std::to_string(k) + " beyond the largest number");
    bounds->Add(w);
  }
  if (m.normals.empty()) MakeSmoothNormals(m);
  return true;
}

bool ReadMesh(Reader& r, size_t index, const ImportBudget& budget, uint64_t* triangles, uint64_t* bytes, Mesh* m) {
  if (!r.Text(&m->name, kMaxNameBytes, "a mesh name") || !r.Text(&m->node, kMaxNameBytes, "a node name")) return false;
  MakePrintable(m->name);
  MakePrintable(m->node);
  float t[12];
  for (float& v : t)
    if (!r.F32(&v)) return false;
  m->objectToWorld =
      Matrix3(Point3(t[0], t[1], t[2]), Point3(t[3], t[4], t[5]), Point3(t[6], t[7], t[8]), Point3(t[9], t[10], t[11]));
  uint32_t nv = 0, nt = 0;
  uint8_t channels = 0, flags = 0;
  if (!r.U32(&nv) || !r.U32(&nt) || !r.U8(&channels) || !r.U8(&flags)) return false;
  std::string label = MeshLabel(index, *m);
  if (nt == 0) return r.Fail(label + ": it has no triangles");
  if (channels > kMaxChannels)
    return r.Fail(label + ": " + std::to_string(channels) + " map channels, more than " + std::to_string(kMaxChannels));
  if (flags & ~(kHasNormals | kHasTangents)) return r.Fail(label + ": unknown flags " + std::to_string(flags));
  // The budget, before anything is allocated for this mesh.
  *triangles += nt;
  if (*triangles > budget.maxTriangles)
    return r.Fail("it has more than " + std::to_string(budget.maxTriangles) + " triangles, the limit");
  uint64_t perVertex = 12 + ((flags & kHasNormals) ? 12 : 0) + ((flags & kHasTangents) ? 16 : 0) + 12ull * channels;
  *bytes += sizeof(Mesh) + m->name.size() + m->node.size() + perVertex * nv + 12ull * nt;
  if (*bytes > budget.maxModelBytes)
    return r.Fail("its triangles take more than " + std::to_string(budget.maxModelBytes) + " bytes, the limit");

  m->positions.resize(nv);
  if (!r.Raw(m->positions.data(), nv * sizeof(Point3))) return false;
  if (flags & kHasNormals) {
    m->normals.resize(nv);
    if (!r.Raw(m->normals.data(), nv * sizeof(Point3))) return false;
    m->normalsFromFile = true;
  }
  if (flags & kHasTangents) {
    m->tangents.resize(nv);
    if (!r.Raw(m->tangents.data(), nv * sizeof(Tangent))) return false;
  }
  m->uvw.resize(channels);
  for (auto& uv : m->uvw) {
    uv.resize(nv);
    if (!r.Raw(uv.data(), nv * sizeof(Point3))) return false;
  }
  m->indices.resize(3ull * nt);
  if (!r.Raw(m->indices.data(), m->indices.size() * sizeof(uint32_t))) return false;
  // A file's tangents follow its first UV set; with none they mean nothing.
  if (!m->tangents.empty()) {
    m->tangentChannel = channels > 0 ? 1 : 0;
    if (channels == 0) m->tangents.clear();
  }
  return true;
}

}  // namespace

bool MemorySource::Read(void* dst, size_t n, std::string* error) {
  if (n > left_) {
    *error = "it stops early";
    return false;
  }
  std::memcpy(dst, p_, n);
  p_ += n;
  left_ -= n;
  return true;
}

bool EncodeModel(const Model& model, ByteSink& sink) {
  Writer w(sink);
  w.Raw(kMagic, sizeof kMagic);
  w.U8('M');
  w.U32(static_cast<uint32_t>(model.meshes.size()));
  w.U8(model.camera ? 1 : 0);
  if (model.camera) {
    const Camera& c = *model.camera;
    w.P3(c.position);
    w.P3(c.direction);
    w.P3(c.up);
    w.F32(c.verticalFov);
    w.F32(c.aspect);
  }
  for (const Mesh& m : model.meshes) {
    w.Text(m.name);
    w.Text(m.node);
    for (int row = 0; row < 4; ++row) w.P3(m.objectToWorld.GetRow(row));
    bool normals = m.normalsFromFile && m.normals.size() == m.positions.size();
    bool tangents = !m.tangents.empty() && m.tangents.size() == m.positions.size();
    w.U32(static_cast<uint32_t>(m.positions.size()));
    w.U32(static_cast<uint32_t>(m.TriangleCount()));
    w.U8(static_cast<uint8_t>(m.uvw.size()));
    w.U8(static_cast<uint8_t>((normals ? kHasNormals : 0) | (tangents ? kHasTangents : 0)));
    w.Array(m.positions);
    if (normals) w.Array(m.normals);
    if (tangents) w.Array(m.tangents);
    for (const auto& uv : m.uvw) w.Array(uv);
    w.Raw(m.indices.data(), m.TriangleCount() * 3 * sizeof(uint32_t));
  }
  w.U32(kEndMarker);
  return w.ok();
}

bool EncodeError(const std::string& message, ByteSink& sink) {
  Writer w(sink);
  w.Raw(kMagic, sizeof kMagic);
  w.U8('E');
  uint32_t n = static_cast<uint32_t>(std::min<size_t>(message.size(), kMaxMessageBytes));
  w.U32(n);
  w.Raw(message.data(), n);
  return w.ok();
}

bool DecodeModel(ByteSource& source, const ImportBudget& budget, Model* model, std::string* error) {
  Reader r(source, error);
  char magic[sizeof kMagic];
  uint8_t kind = 0;
  if (!r.Raw(magic, sizeof magic) || !r.U8(&kind)) return false;
  if (std::memcmp(magic, kMagic, sizeof magic) != 0) return r.Fail("the importer's answer does not begin as it must");
  if (kind == 'E') {
    std::string message;
    if (!r.Text(&message, kMaxMessageBytes, "a message")) return false;
    MakePrintable(message);
    return r.Fail(message.empty() ? "the importer refused it" : message);
  }
  if (kind != 'M') return r.Fail("the importer's answer is of an unknown kind");

  Model m;
  uint32_t meshes = 0;
  uint8_t hasCamera = 0;
  if (!r.U32(&meshes) || !r.U8(&hasCamera)) return false;
  if (meshes == 0) return r.Fail("it holds no triangles");
  if (meshes > budget.maxMeshes)
    return r.Fail("it has " + std::to_string(meshes) + " meshes, more than the limit of " +
                  std::to_string(budget.maxMeshes));
  if (hasCamera > 1) return r.Fail("the importer's answer is damaged (camera flag)");
  if (hasCamera) {
    Camera cam;
    if (!ReadCamera(r, &cam)) return false;
    m.camera = cam;
  }
  uint64_t triangles = 0, bytes = 0;
  for (uint32_t i = 0; i < meshes; ++i) {
    Mesh mesh;
    if (!ReadMesh(r, i, budget, &triangles, &bytes, &mesh)) return false;
    m.meshes.push_back(std::move(mesh));
  }
  uint32_t end = 0;
  if (!r.U32(&end)) return false;
  if (end != kEndMarker || source.More()) return r.Fail("the importer's answer does not end as it must");
  for (size_t i = 0; i < m.meshes.size(); ++i)
    if (!CheckMesh(i, m.meshes[i], &m.bounds, error)) return false;
  *model = std::move(m);
  return true;
}

}  // namespace plughost
