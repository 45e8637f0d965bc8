// Rays against models, the samples they give, and the shading context.
#include "geometry/ray_scene.h"

#include <gtest/gtest.h>
#include <hostside/shade_context.h>
#include <imtl.h>
#include <iparamb.h>

#include <thread>
#include <vector>

#include "counted_calls.h"
#include "float_bits.h"
#include "geometry/camera.h"
#include "geometry/model_import.h"
#include "geometry/model_shade_context.h"
#include "test_node.h"

namespace plughost {
namespace {

Model Import(const std::string& name) {
  Model m;
  std::string error;
  EXPECT_TRUE(ImportModel(std::string(GEOMETRY_TEST_MODELS) + "/" + name, {}, &m, &error)) << error;
  return m;
}

std::unique_ptr<RayScene> Build(const Model& m, const RayBuildOptions& options = {}) {
  std::string error;
  auto scene = RayScene::Build(m, &error, options);
  EXPECT_TRUE(scene) << error;
  return scene;
}

Ray Down(float x, float y) {
  Ray r;
  r.origin = Point3(x, y, 10.0f);
  r.direction = Point3(0.0f, 0.0f, -1.0f);
  return r;
}

#define EXPECT_SAME_BITS(a, b)                                                                \
  do {                                                                                        \
    Point3 a_ = (a), b_ = (b);                                                                \
    for (int k = 0; k < 3; ++k)                                                               \
      EXPECT_EQ(Bits(a_[k]), Bits(b_[k])) << #a << "[" << k << "] " << a_[k] << " " << b_[k]; \
  } while (0)

TEST(RayScene, AKnownPointOfThePlaneExactly) {
  Model plane = Import("plane.obj");
  auto scene = Build(plane);
  RayHit h = scene->Intersect(Down(0.25f, -0.5f));
  ASSERT_TRUE(h.hit);
  EXPECT_EQ(h.t, 10.0);
  EXPECT_EQ(h.at.triangle, 0u);  // (-1, -1), (1, -1), (1, 1)
  SurfaceSample s;
  SampleSurface(plane, h.at, {}, &s);
  EXPECT_SAME_BITS(s.p, Point3(0.25f, -0.5f, 0.0f));
  EXPECT_SAME_BITS(s.pObj, Point3(0.25f, -0.5f, 0.0f));
  EXPECT_SAME_BITS(SurfaceUVW(plane, h.at, 1), Point3(0.625f, 0.25f, 0.0f));
  EXPECT_SAME_BITS(s.normal, Point3(0.0f, 0.0f, 1.0f));
  EXPECT_SAME_BITS(s.geometricNormal, Point3(0.0f, 0.0f, 1.0f));
  EXPECT_FALSE(scene->Intersect(Down(1.5f, 0.0f)).hit);
  // Through the diagonal both triangles are hit at once: the lower one wins.
  for (float d : {-0.5f, 0.0f, 0.75f}) EXPECT_EQ(scene->Intersect(Down(d, d)).at.triangle, 0u) << d;
}

TEST(RayScene, TheObjectPointStaysWithTheModelWhenItMoves) {
  Model nodes = Import("nodes.gltf");
  Model moved = nodes;
  Matrix3& tm = moved.meshes[0].objectToWorld;
  tm.SetTrans(tm.GetTrans() + Point3(3.0f, 0.0f, 0.0f));
  moved.bounds = WorldBounds(moved);
  auto a = Build(nodes), b = Build(moved);
  RayHit ha = a->Intersect(Down(10.5f, 1.0f)), hb = b->Intersect(Down(13.5f, 1.0f));
  ASSERT_TRUE(ha.hit && hb.hit);
  EXPECT_EQ(ha.at.mesh, 0u);
  SurfaceSample sa, sb;
  SampleSurface(nodes, ha.at, {}, &sa);
  SampleSurface(moved, hb.at, {}, &sb);
  // In the child's object space: x = world y / 2, y = (10 - world x) / 2.
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(sa.pObj[k], Point3(0.5f, -0.25f, 0.0f)[k], 1e-6f);
  EXPECT_SAME_BITS(sa.pObj, sb.pObj);
  EXPECT_SAME_BITS(sa.normalObj, sb.normalObj);
  EXPECT_NEAR(sb.p.x - sa.p.x, 3.0f, 1e-5f);
  // The node turns the plane but keeps it facing +z.
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(sa.normal[k], Point3(0.0f, 0.0f, 1.0f)[k], 1e-6f);
}

// A frame kept from sample to sample gives what a fresh one gives, bit for
// bit, however the points hop between triangles and meshes.
TEST(SurfaceSample, AKeptTriangleFrameChangesNothing) {
  Model nodes = Import("nodes.gltf");
  ASSERT_GT(nodes.meshes.size(), 1u);
  TriangleFrame frame;
  BarycentricDifferentials d{0.01f, 0.02f, -0.03f, 0.015f};
  for (int i = 0; i < 200; ++i) {
    uint32_t mesh = static_cast<uint32_t>((i * 7 / 3) % nodes.meshes.size());
    uint32_t triangle = static_cast<uint32_t>((i / 2) % nodes.meshes[mesh].TriangleCount());
    SurfacePoint at{mesh, triangle, 0.001f * static_cast<float>(i % 50), 0.002f * static_cast<float>(i % 37)};
    SurfaceSample kept, fresh;
    SampleSurface(nodes, at, d, &kept, &frame);
    SampleSurface(nodes, at, d, &fresh);
    EXPECT_SAME_BITS(kept.p, fresh.p);
    EXPECT_SAME_BITS(kept.pObj, fresh.pObj);
    EXPECT_SAME_BITS(kept.normal, fresh.normal);
    EXPECT_SAME_BITS(kept.normalObj, fresh.normalObj);
    EXPECT_SAME_BITS(kept.geometricNormal, fresh.geometricNormal);
    EXPECT_SAME_BITS(kept.dp, fresh.dp);
    EXPECT_SAME_BITS(kept.dpObj, fresh.dpObj);
  }
}

// Every pixel's hit of a framed picture, on `threads` threads.
std::vector<RayHit> Picture(const RayScene& scene, const Camera& cam, int size, int threads) {
  std::vector<RayHit> hits(static_cast<size_t>(size) * size);
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int y = t; y < size; y += threads)
        for (int x = 0; x < size; ++x)
          hits[static_cast<size_t>(y) * size + x] = scene.Intersect(CameraRay(cam, size, size, x + 0.5, y + 0.5));
    });
  for (auto& t : pool) t.join();
  return hits;
}

TEST(RayScene, TheSameHitsWhateverTheThreads) {
  Model cube = Import("cube.obj");
  Camera cam = FrameBounds(cube.bounds, 1.0);
  auto everyCore = Build(cube), oneCore = Build(cube, RayBuildOptions{1});
  std::vector<RayHit> base = Picture(*everyCore, cam, 96, 1);
  size_t hit = 0;
  for (const RayHit& h : base) hit += h.hit;
  EXPECT_GT(hit, base.size() / 4);  // the framed cube fills much of the picture
  for (auto [scene, threads] :
       {std::pair{everyCore.get(), 3}, std::pair{oneCore.get(), 1}, std::pair{oneCore.get(), 4}}) {
    std::vector<RayHit> other = Picture(*scene, cam, 96, threads);
    for (size_t i = 0; i < base.size(); ++i) {
      ASSERT_EQ(other[i].hit, base[i].hit) << i;
      ASSERT_EQ(other[i].at.mesh, base[i].at.mesh) << i;
      ASSERT_EQ(other[i].at.triangle, base[i].at.triangle) << i;
      ASSERT_EQ(Bits(other[i].at.b1), Bits(base[i].at.b1)) << i;
      ASSERT_EQ(Bits(other[i].at.b2), Bits(base[i].at.b2)) << i;
      ASSERT_EQ(other[i].t, base[i].t) << i;
    }
  }
}

TEST(Camera, FramingLooksAtTheCentreAndFitsTheBounds) {
  Model nodes = Import("nodes.gltf");
  for (double aspect : {1.0, 2.0, 0.5}) {
    Camera c = FrameBounds(nodes.bounds, aspect);
    int w = static_cast<int>(200 * aspect), h = 200;
    Point3 centre = nodes.bounds.Centre(), toCentre = (centre - c.position).Normalize();
    Point3 mid = CameraRay(c, w, h, w / 2.0, h / 2.0).direction.Normalize();
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(mid[k], toCentre[k], 1e-6f);
    // Every corner of the bounds inside the picture.
    for (int corner = 0; corner < 8; ++corner) {
      Point3 p((corner & 1) ? nodes.bounds.max.x : nodes.bounds.min.x,
               (corner & 2) ? nodes.bounds.max.y : nodes.bounds.min.y,
               (corner & 4) ? nodes.bounds.max.z : nodes.bounds.min.z);
      Point3 d = p - c.position, right = (c.direction ^ c.up).Normalize();
      float depth = d % c.direction, tanV = std::tan(c.verticalFov / 2);
      EXPECT_LT(std::fabs(d % c.up) / depth, tanV);
      EXPECT_LT(std::fabs(d % right) / depth, tanV * static_cast<float>(aspect));
    }
  }
  EXPECT_EQ(CameraForModel(nodes, 1.0).position, nodes.camera->position);
}

// Holds an object alive through a reference, as a texture holds its parts.
struct Held {
  explicit Held(ReferenceTarget* t) : owner(new TestNode(1)) { owner->ReplaceReference(0, t); }
  ~Held() { owner->DeleteThis(); }
  TestNode* owner;
};

TEST(ModelShadeContext, AnswersTheSampleAndAllocatesNothing) {
  Model sphere = Import("sphere.gltf");
  sphere.meshes[0].objectToWorld.SetTrans(Point3(0.0f, 0.0f, -4.0f));
  auto scene = Build(sphere);
  Ray r = Down(0.3f, 0.2f);
  RayHit h = scene->Intersect(r);
  ASSERT_TRUE(h.hit);
  BarycentricDifferentials d = scene->Differentials(h, Down(0.31f, 0.2f), Down(0.3f, 0.19f));
  XYZGen* gen = GetNewDefaultXYZGen();
  Held held(gen);
  Interval valid = FOREVER;
  gen->Update(0, valid);

  ModelShadeContext sc;
  long allocations = AllocationsSoFar(), locks = MutexLocksSoFar();
  Point3 p, dp, uv1, uv2, none;
  sc.SetGBufferID(7);
  sc.Set(sphere, h.at, d, 160);
  gen->GetXYZ(sc, p, dp);
  uv1 = sc.UVW(1);
  uv2 = sc.UVW(2);
  none = sc.UVW(3);
  EXPECT_EQ(AllocationsSoFar(), allocations);
  EXPECT_EQ(MutexLocksSoFar(), locks);

  const SurfaceSample& s = sc.Sample();
  EXPECT_EQ(sc.CurTime(), 160);
  EXPECT_EQ(sc.GBufferID(), 0);
  EXPECT_SAME_BITS(sc.P(), s.p);
  EXPECT_SAME_BITS(sc.PObj(), s.pObj);
  EXPECT_SAME_BITS(sc.Normal(), s.normal);
  EXPECT_SAME_BITS(p, s.pObj);  // the generator's Object XYZ
  EXPECT_SAME_BITS(dp, s.dpObj);
  EXPECT_SAME_BITS(uv2, uv1 * 2.0f);
  EXPECT_SAME_BITS(none, Point3(0.0f, 0.0f, 0.0f));
  EXPECT_NEAR(s.p.z - s.pObj.z, -4.0f, 1e-5f);
  EXPECT_NEAR(s.normal.Length(), 1.0f, 1e-6f);
  // The neighbouring rays are a hundredth away in x and in y; the surface
  // they meet is a hundredth away there too, and slopes in z.
  EXPECT_NEAR(s.dp.x, 0.01f, 1e-5f);
  EXPECT_NEAR(s.dp.y, 0.01f, 1e-5f);
  EXPECT_GT(s.dp.z, 0.0f);

  static_cast<IParamBlock*>(gen->GetReference(0))->SetValue(0, 0, 1);  // World XYZ
  valid = FOREVER;
  gen->Update(0, valid);
  gen->GetXYZ(sc, p, dp);
  EXPECT_SAME_BITS(p, s.p);
  EXPECT_SAME_BITS(dp, s.dp);
  sc.Set(sphere, h.at, d, 0, NormalSpace::Object);
  EXPECT_SAME_BITS(sc.Normal(), s.normalObj);
}

}  // namespace
}  // namespace plughost
