#include "bake/texture_bake.h"

#include <algorithm>
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

namespace {

// Rows of a tile shaded and handed on together.
constexpr int kBakeBandRows = 16;

// A texel's footprint in weights depends on its triangle alone: worked out
// again only when the triangle changes.
struct TexelFootprint {
  bool valid = false;
  uint32_t mesh = 0, triangle = 0;
  BarycentricDifferentials d;
};

void ShadeTexel(Texmap* map, const Model& model, const BakeLayoutOptions& layout, const BakeTexel& texel,
                BakeValue what, TimeValue t, ModelShadeContext& sc, TexelFootprint& footprint, float* px) {
  // Object space for the bump: its vector is then the model's own, and the
  // normal a map reads turns with the model as its coordinates do.
  const NormalSpace space = what == BakeValue::kBump ? NormalSpace::Object : NormalSpace::World;
  if (!footprint.valid || footprint.mesh != texel.at.mesh || footprint.triangle != texel.at.triangle)
    footprint = {true, texel.at.mesh, texel.at.triangle, TexelDifferentials(model, layout, texel.at)};
  sc.Set(model, texel.at, footprint.d, t, space);
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

}  // namespace

bool ShadeBakeTileInBands(Texmap* map, const Model& model, const BakeLayoutOptions& layout, const BakeTile& tile,
                          BakeValue what, TimeValue t, const RenderBandSink& sink) {
  const int width = tile.region.Width(), height = tile.region.Height();
  const HostLayerShape layer = BakeShape(what, width, height).layers[0];
  const size_t channels = layer.channels.size();
  auto newBand = [&] {
    HostPicture band;
    band.width = width;
    band.height = kBakeBandRows;
    band.AddLayer(layer.name, layer.channels);
    return band;
  };
  auto shade = [&](int y, int count, HostPicture* band) {
    float* samples = band->layers[0].floats.data();
    std::fill_n(samples, static_cast<size_t>(count) * static_cast<size_t>(width) * channels, 0.0f);
    ModelShadeContext sc;
    TexelFootprint footprint;
    const size_t first = static_cast<size_t>(y) * static_cast<size_t>(width);
    for (size_t i = 0; i < static_cast<size_t>(count) * static_cast<size_t>(width); ++i) {
      const BakeTexel& texel = tile.texels[first + i];
      if (texel.source == kNoTexel) continue;  // left at zero
      ShadeTexel(map, model, layout, texel, what, t, sc, footprint, samples + i * channels);
    }
    return true;
  };
  return ShadeInBands(height, kBakeBandRows, layout.threads, newBand, shade, sink);
}

void ShadeBakeTile(Texmap* map, const Model& model, const BakeLayoutOptions& layout, const BakeTile& tile,
                   BakeValue what, TimeValue t, HostPicture* out) {
  const int width = tile.region.Width(), height = tile.region.Height();
  HostPictureShape shape = BakeShape(what, width, height);
  *out = HostPicture{};
  out->width = width;
  out->height = height;
  HostPictureLayer& layer = out->AddLayer(shape.layers[0].name, shape.layers[0].channels);
  const size_t row = static_cast<size_t>(width) * layer.channels.size();
  ShadeBakeTileInBands(map, model, layout, tile, what, t, [&](const HostPicture& band, int y, int count) {
    std::copy_n(band.layers[0].floats.data(), static_cast<size_t>(count) * row,
                layer.floats.data() + static_cast<size_t>(y) * row);
    return true;
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
