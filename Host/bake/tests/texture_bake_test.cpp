// Bakes of the texture, checked against points worked out here from the test
// plane's own UV layout and against plughost sample's evaluation there.
#include "bake/texture_bake.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "geometry/model_import.h"
#include "plugins/plugin_loader.h"
#include "render/point_samples.h"
#include "scene/texture_source.h"

namespace plughost {

namespace {

const std::filesystem::path kModels = GEOMETRY_TEST_MODELS;

uint32_t Bits(float v) {
  uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

class TextureBakeTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { LoadPlugins({DefaultPluginFolder()}, nullptr); }

  void Open(std::vector<std::string> sets) {
    TextureSource source;
    source.sets = std::move(sets);
    ASSERT_TRUE(OpenTexture(source, &texture, &error)) << error;
    Interval valid = FOREVER;
    texture.map->Update(0, valid);
  }
  HostPicture Bake(const Model& model, BakeValue what, int threads) {
    layout.threads = threads;
    BakeTile tile;
    EXPECT_TRUE(LayOutBakeTile(model, layout, 1001, {}, &tile, &error)) << error;
    HostPicture picture;
    ShadeBakeTile(texture.map, model, layout, tile, what, 0, &picture);
    return picture;
  }

  OpenedTexture texture;
  BakeLayoutOptions layout{.width = 64, .height = 64, .channel = 1, .margin = 4, .threads = 1};
  std::string error;
};

}  // namespace

// The plane's UVs are (x + 1) / 2, (y + 1) / 2 over its 2 x 2 square, and
// every texel centre of a power-of-two grid is a point whose coordinates are
// exact: the bake must hold plughost sample's value at that object point, to
// the bit, whatever the thread count.
TEST_F(TextureBakeTest, ThePlaneHoldsTheSampledValueAtEveryTexelsObjectPoint) {
  Model plane;
  ASSERT_TRUE(ImportModel(kModels / "plane.obj", ImportBudget{}, &plane, &error)) << error;
  Open({"size=0.25"});
  HostPicture mono = Bake(plane, BakeValue::kMono, 1);
  HostPicture color = Bake(plane, BakeValue::kColor, 3);
  ASSERT_EQ(mono.width, 64);
  PointSampler monoAt, colorAt;
  ASSERT_TRUE(monoAt.Prepare(texture.map, PointValue::kMono, 0, &error));
  ASSERT_TRUE(colorAt.Prepare(texture.map, PointValue::kColor, 0, &error));
  const float n[3] = {0.0f, 0.0f, 1.0f};
  int differing = 0;
  float lowest = 1.0f, highest = 0.0f;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const float u = (x + 0.5f) / 64.0f, v = 1.0f - (y + 0.5f) / 64.0f;
      const float p[3] = {2.0f * u - 1.0f, 2.0f * v - 1.0f, 0.0f};
      float want[4];
      monoAt.Sample(p, n, want);
      const size_t i = static_cast<size_t>(y) * 64 + x;
      differing += Bits(mono.layers[0].floats[i]) != Bits(want[0]);
      lowest = std::min(lowest, want[0]);
      highest = std::max(highest, want[0]);
      colorAt.Sample(p, n, want);
      for (int c = 0; c < 4; ++c) differing += Bits(color.layers[0].floats[i * 4 + c]) != Bits(want[c]);
    }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_LT(lowest, highest) << "the texture varies across the plane";
  HostPicture again = Bake(plane, BakeValue::kMono, 4);
  EXPECT_EQ(again.layers[0].floats, mono.layers[0].floats);
}

// Object XYZ reads the object point, so a bake stays with the model when its
// node moves; World XYZ reads the world point, so the model moves through it.
TEST_F(TextureBakeTest, MovingTheNodeChangesOnlyAWorldSpaceBake) {
  Model plane;
  ASSERT_TRUE(ImportModel(kModels / "plane.glb", ImportBudget{}, &plane, &error)) << error;
  Model moved = plane;
  for (Mesh& m : moved.meshes) m.objectToWorld.SetTrans(m.objectToWorld.GetTrans() + Point3(3.5f, -2.0f, 7.25f));
  Open({"size=0.25"});
  EXPECT_EQ(Bake(moved, BakeValue::kMono, 2).layers[0].floats, Bake(plane, BakeValue::kMono, 2).layers[0].floats);
  Open({"size=0.25", "coordinate source=1"});
  EXPECT_NE(Bake(moved, BakeValue::kMono, 2).layers[0].floats, Bake(plane, BakeValue::kMono, 2).layers[0].floats);
}

// Texels outside every island but within the margin repeat the island's
// value; beyond it they stay zero, colour and alpha alike.
TEST_F(TextureBakeTest, PaddingRepeatsTheIslandAndTheRestIsClear) {
  Model island;
  ASSERT_TRUE(ImportModel(kModels / "plane.obj", ImportBudget{}, &island, &error)) << error;
  for (Point3& uv : island.meshes[0].uvw[0]) uv = uv * 0.5f + Point3(0.25f, 0.25f, 0.0f);
  Open({});
  BakeTile tile;
  ASSERT_TRUE(LayOutBakeTile(island, layout, 1001, {}, &tile, &error)) << error;
  HostPicture color;
  ShadeBakeTile(texture.map, island, layout, tile, BakeValue::kColor, 0, &color);
  int wrong = 0, clear = 0;
  for (size_t i = 0; i < tile.texels.size(); ++i) {
    const float* px = &color.layers[0].floats[i * 4];
    uint32_t source = tile.texels[i].source;
    if (source == kNoTexel) {
      wrong += px[0] != 0.0f || px[3] != 0.0f;
      ++clear;
    } else if (source != i) {
      for (int c = 0; c < 4; ++c) wrong += Bits(px[c]) != Bits(color.layers[0].floats[source * 4 + c]);
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(tile.padded, 0u);
  EXPECT_GT(clear, 0);
}

// A normal map is in the UVs' frame: where the UVs are mirrored in u, the
// texel that shows a point holds the other layout's red turned round about
// 0.5, and its green and blue unchanged. A flat map gives a flat normal.
TEST_F(TextureBakeTest, NormalMapsFollowTheUvsFrame) {
  Model plane, mirrored;
  ASSERT_TRUE(ImportModel(kModels / "plane.obj", ImportBudget{}, &plane, &error)) << error;
  mirrored = plane;
  for (Point3& uv : mirrored.meshes[0].uvw[0]) uv.x = 1.0f - uv.x;
  Open({"size=0.25"});
  ASSERT_TRUE(PrepareBakeModel(&plane, BakeValue::kNormal, 1, &error)) << error;
  ASSERT_TRUE(PrepareBakeModel(&mirrored, BakeValue::kNormal, 1, &error)) << error;
  HostPicture a = Bake(plane, BakeValue::kNormal, 2), b = Bake(mirrored, BakeValue::kNormal, 2);
  double bent = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const float* p = &a.layers[0].floats[(y * 64 + x) * 3];
      const float* q = &b.layers[0].floats[(y * 64 + 63 - x) * 3];
      EXPECT_NEAR(p[0] - 0.5f, 0.5f - q[0], 1e-6f);
      EXPECT_EQ(p[1], q[1]);
      EXPECT_EQ(p[2], q[2]);
      bent = std::max(bent, std::abs(p[0] - 0.5) + std::abs(p[1] - 0.5));
    }
  }
  EXPECT_GT(bent, 0.0) << "the dirt bends the normal somewhere";
  // No UVs, no tangents.
  Model nouv;
  ASSERT_TRUE(ImportModel(kModels / "nouv.obj", ImportBudget{}, &nouv, &error)) << error;
  EXPECT_FALSE(PrepareBakeModel(&nouv, BakeValue::kNormal, 1, &error));
}

TEST(BakeTileFileName, TheTileGoesWhereTheNameSaysOrBeforeTheExtension) {
  EXPECT_EQ(BakeTileFileName("dirt.exr", 1001, false), "dirt.exr");
  EXPECT_EQ(BakeTileFileName("dirt.exr", 1012, true), "dirt.1012.exr");
  EXPECT_EQ(BakeTileFileName("a.b/dirt", 1002, true), "a.b/dirt.1002");
  EXPECT_EQ(BakeTileFileName("dirt_<UDIM>_<UDIM>.png", 1001, false), "dirt_1001_1001.png");
}

}  // namespace plughost
