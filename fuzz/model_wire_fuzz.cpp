// The import helper's answer as the host reads it: any bytes either decode to
// a model that keeps model.h's contract or are refused with one line; a model
// that decodes encodes to bytes that decode to it again, and lays out for a
// bake without fault.
#include <geometry/bake_layout.h>
#include <geometry/model_wire.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace plughost;

namespace {

bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

void CheckContract(const Model& m) {
  if (m.meshes.empty()) std::abort();
  for (const Mesh& mesh : m.meshes) {
    if (mesh.TriangleCount() == 0 || mesh.indices.size() % 3 != 0) std::abort();
    if (mesh.normals.size() != mesh.VertexCount()) std::abort();
    for (uint32_t i : mesh.indices)
      if (i >= mesh.VertexCount()) std::abort();
    for (const Point3& p : mesh.positions)
      if (!Finite(p) || !Finite(WorldPoint(mesh, p))) std::abort();
    for (const auto& uv : mesh.uvw)
      if (uv.size() != mesh.VertexCount()) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ImportBudget budget;
  budget.maxTriangles = 1 << 16;  // keeps each run small; the checks are the same
  budget.maxModelBytes = 16 << 20;
  budget.maxMeshes = 64;
  MemorySource source(data, size);
  Model model;
  std::string error;
  if (!DecodeModel(source, budget, &model, &error)) {
    if (error.empty() || error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  CheckContract(model);
  StringSink again;
  if (!EncodeModel(model, again)) std::abort();
  MemorySource reread(again.bytes.data(), again.bytes.size());
  Model second;
  if (!DecodeModel(reread, budget, &second, &error) || second.TriangleCount() != model.TriangleCount()) std::abort();
  BakeLayoutOptions layout;
  layout.width = layout.height = 8;
  layout.margin = 2;
  layout.threads = 1;
  std::vector<int> tiles;
  if (!FindUdimTiles(model, layout, &tiles, &error)) return 0;
  BakeTile tile;
  if (!LayOutBakeTile(model, layout, tiles.front(), {}, &tile, &error) || tile.texels.size() != 64) std::abort();
  return 0;
}
