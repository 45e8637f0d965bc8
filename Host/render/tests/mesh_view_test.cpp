// Pictures of a model: a pixel holds the map's value at the point its ray
// meets, and the picture does not depend on threads or pieces.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "float_bits.h"
#include "geometry/camera.h"
#include "plugins/plugin_loader.h"
#include "render/model_view.h"
#include "render/point_samples.h"
#include "render/render_plan.h"
#include "scene/texture_source.h"

namespace plughost {

namespace {

// The 2 x 2 square of z = 0, seen square on from 10 units in front.
constexpr float kFov = 0.4f;
ModelView FacingPlane() {
  ModelView v;
  Mesh m;
  m.positions = {{-1.0f, -1.0f, 0.0f}, {1.0f, -1.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, {-1.0f, 1.0f, 0.0f}};
  m.normals.assign(4, Point3(0.0f, 0.0f, 1.0f));
  m.indices = {0, 1, 2, 0, 2, 3};
  m.objectToWorld.IdentityMatrix();
  v.model.meshes.push_back(m);
  v.model.bounds = WorldBounds(v.model);
  Camera eye;
  eye.position = Point3(0.0f, 0.0f, 10.0f);
  eye.verticalFov = kFov;
  v.model.camera = eye;
  std::string error;
  v.rays = RayScene::Build(v.model, &error);
  EXPECT_TRUE(v.rays) << error;
  return v;
}

class MeshViewTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { LoadPlugins({DefaultPluginFolder()}, nullptr); }
  void SetUp() override {
    TextureSource source;
    source.sets = {"size=0.25"};
    ASSERT_TRUE(OpenTexture(source, &texture, &error)) << error;
  }
  OpenedTexture texture;
  std::string error;
};

}  // namespace

// Each pixel's ray is worked out here from the camera alone; where it meets
// the plane the data pass holds, bit for bit, what a point sample gives at the
// point the render shaded, and that point is the ray's.
TEST_F(MeshViewTest, APixelHoldsTheSampleAtItsRaysHit) {
  ModelView plane = FacingPlane();
  RenderSettings s;
  s.width = s.height = 33;
  s.view = RenderView::Mesh;
  s.pass = RenderPass::Data;
  s.channel = RenderChannel::All;
  s.model = &plane;
  s.threads = 3;
  HostPicture picture = RenderPicture(texture.map, s);
  PointSampler mono, color;
  ASSERT_TRUE(mono.Prepare(texture.map, PointValue::kMono, 0, &error)) << error;
  ASSERT_TRUE(color.Prepare(texture.map, PointValue::kColor, 0, &error)) << error;
  const float n[3] = {0.0f, 0.0f, 1.0f};
  const double tanHalf = std::tan(double{kFov} * 0.5);
  int hits = 0, misses = 0;
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      const size_t i = static_cast<size_t>(y) * s.width + x;
      const double hx = 10.0 * (2.0 * (x + 0.5) / s.width - 1.0) * tanHalf;
      const double hy = 10.0 * (1.0 - 2.0 * (y + 0.5) / s.height) * tanHalf;
      const float coverage = picture.layers[1].floats[i];
      if (std::fabs(hx) > 1.0001 || std::fabs(hy) > 1.0001) {
        EXPECT_EQ(Bits(coverage), 0u) << "a miss holds zero at " << x << "," << y;
        ++misses;
        continue;
      }
      if (std::fabs(hx) > 0.9999 || std::fabs(hy) > 0.9999) continue;  // on the rim: either way
      ++hits;
      RayHit hit = plane.rays->Intersect(CameraRay(*plane.model.camera, s.width, s.height, x + 0.5, y + 0.5));
      ASSERT_TRUE(hit.hit) << x << "," << y;
      SurfaceSample at;
      SampleSurface(plane.model, hit.at, {}, &at);
      EXPECT_NEAR(at.pObj.x, hx, 1e-5);
      EXPECT_NEAR(at.pObj.y, hy, 1e-5);
      const float p[3] = {at.pObj.x, at.pObj.y, at.pObj.z};
      float want[4];
      mono.Sample(p, n, want);
      EXPECT_EQ(Bits(coverage), Bits(want[0])) << x << "," << y;
      color.Sample(p, n, want);
      for (int c = 0; c < 4; ++c) EXPECT_EQ(Bits(picture.layers[0].floats[i * 4 + c]), Bits(want[c]));
    }
  }
  EXPECT_GT(hits, 200);
  EXPECT_GT(misses, 200);
  // The middle ray runs down the axis to the origin itself.
  const float origin[3] = {0.0f, 0.0f, 0.0f};
  float want = 0.0f;
  mono.Sample(origin, n, &want);
  EXPECT_EQ(Bits(picture.layers[1].floats[16 * 33 + 16]), Bits(want));
}

// The sphere from its file, framed: the same floats of every data channel
// for any thread count and in any region (the command's test covers the
// display pass through tiles).
TEST_F(MeshViewTest, TheDataIsTheSameForThreadsAndRegions) {
  ModelView sphere;
  ASSERT_TRUE(LoadModelView(std::string(GEOMETRY_TEST_MODELS) + "/sphere.glb", 2, &sphere, &error)) << error;
  RenderSettings s;
  s.width = 45;
  s.height = 38;
  s.view = RenderView::Mesh;
  s.model = &sphere;
  s.pass = RenderPass::Data;
  s.channel = RenderChannel::All;
  s.threads = 1;
  const HostPicture whole = RenderPicture(texture.map, s);
  s.threads = 7;
  EXPECT_EQ(RenderPicture(texture.map, s).layers[2].floats, whole.layers[2].floats);
  s.region = PixelRegion{11, 3, 40, 37};
  HostPicture part = RenderPicture(texture.map, s);
  for (size_t l = 0; l < whole.layers.size(); ++l) {
    const size_t c = whole.layers[l].channels.size();
    for (int y = 0; y < s.region.Height(); ++y)
      for (size_t i = 0; i < s.region.Width() * c; ++i)
        ASSERT_EQ(part.layers[l].floats[y * s.region.Width() * c + i],
                  whole.layers[l].floats[((y + 3) * s.width + 11) * c + i]);
  }
}

// A farm task may start in another folder.
TEST(MeshViewPlan, TasksNameTheModelByItsAbsolutePath) {
  RenderRequest r;
  r.mesh = "models/../ship.glb";
  std::vector<std::string> args = RenderTaskArguments(r);
  auto at = std::find(args.begin(), args.end(), "--mesh");
  ASSERT_NE(at, args.end());
  EXPECT_EQ(at[1], (std::filesystem::current_path() / "ship.glb").string());
}

}  // namespace plughost
