#include "bake/texture_bake.h"

#include <filesystem>

#include "geometry/model_shade_context.h"
#include "render/point_samples.h"

namespace plughost {

bool ParseBakeValue(const std::string& text, BakeValue* out) {
  if (text == "color" || text == "colour")
    *out = BakeValue::kColor;
  else if (text == "mono")
    *out = BakeValue::kMono;
  else if (text == "bump")
    *out = BakeValue::kBump;
  else if (text == "normal")
    *out = BakeValue::kNormal;
  else
    return false;
  return true;
}

HostPictureShape BakeShape(BakeValue what, int width, int height) {
  HostPictureShape shape;
  shape.width = width;
  shape.height = height;
  switch (what) {
    case BakeValue::kColor: shape.layers.push_back({"", {"R", "G", "B", "A"}}); break;
    case BakeValue::kMono: shape.layers.push_back({"", {"Y"}}); break;
    case BakeValue::kBump: shape.layers.push_back({"bump", {"X", "Y", "Z"}}); break;
    case BakeValue::kNormal: shape.layers.push_back({"", {"R", "G", "B"}}); break;
  }
  return shape;
}

bool PrepareBakeModel(Model* model, BakeValue what, int channel, std::string* error) {
  if (what != BakeValue::kNormal) return true;
  for (Mesh& mesh : model->meshes) {
    if (mesh.tangentChannel == channel && !mesh.tangents.empty()) continue;
    if (!MakeTangents(mesh, channel, error)) return false;
  }
  return true;
}

void ShadeBakeTile(Texmap* map, const Model& model, const BakeLayoutOptions& layout, const BakeTile& tile,
                   BakeValue what, TimeValue t, HostPicture* out) {
  const int width = tile.region.Width(), height = tile.region.Height();
  HostPictureShape shape = BakeShape(what, width, height);
  *out = HostPicture{};
  out->width = width;
  out->height = height;
  HostPictureLayer& layer = out->AddLayer(shape.layers[0].name, shape.layers[0].channels);
  const size_t channels = layer.channels.size();
  float* samples = layer.floats.data();
  // Object space: the bump's vector is then the model's own, and the normal
  // a map reads turns with the model as its coordinates do.
  const NormalSpace space = what == BakeValue::kBump ? NormalSpace::Object : NormalSpace::World;
  ForEachPointRange(tile.texels.size(), layout.threads, [&](size_t begin, size_t end) {
    ModelShadeContext sc;
    for (size_t i = begin; i < end; ++i) {
      const BakeTexel& texel = tile.texels[i];
      float* px = samples + i * channels;
      if (texel.source == kNoTexel) continue;  // left at zero
      sc.Set(model, texel.at, TexelDifferentials(model, layout, texel.at), t, space);
      switch (what) {
        case BakeValue::kColor: EvalPointValue(map, sc, PointValue::kColor, px); break;
        case BakeValue::kMono: EvalPointValue(map, sc, PointValue::kMono, px); break;
        case BakeValue::kBump: EvalPointValue(map, sc, PointValue::kBump, px); break;
        case BakeValue::kNormal: {
          const SurfaceSample& s = sc.Sample();
          Point3 n = Normalize(s.normal + map->EvalNormalPerturb(sc));
          px[0] = 0.5f + 0.5f * (n % s.tangent);
          px[1] = 0.5f + 0.5f * (n % s.bitangent);
          px[2] = 0.5f + 0.5f * (n % s.normal);
          break;
        }
      }
    }
  });
}

std::string BakeTileFileName(const std::string& pattern, int udim, bool severalTiles) {
  const std::string token = "<UDIM>", number = std::to_string(udim);
  std::string name = pattern;
  bool replaced = false;
  for (size_t at = name.find(token); at != std::string::npos; at = name.find(token, at + number.size())) {
    name.replace(at, token.size(), number);
    replaced = true;
  }
  if (replaced || !severalTiles) return name;
  std::filesystem::path p(name);
  std::string ext = p.extension().string();
  return name.substr(0, name.size() - ext.size()) + "." + number + ext;
}

}  // namespace plughost
