// UV layouts rasterised for a bake: the fill rule, UDIM tiles, overlaps,
// padding, pieces, and the tangents a normal map needs.
#include "geometry/bake_layout.h"

#include <gtest/gtest.h>

#include <cmath>

#include "float_bits.h"
#include "geometry/model_import.h"

namespace plughost {
namespace {

Model Import(const std::string& name) {
  Model m;
  std::string error;
  EXPECT_TRUE(ImportModel(std::string(GEOMETRY_TEST_MODELS) + "/" + name, {}, &m, &error)) << error;
  return m;
}

BakeTile Layout(const Model& m, const BakeLayoutOptions& o, int udim = 1001, TexelRect region = {}) {
  BakeTile tile;
  std::string error;
  EXPECT_TRUE(LayOutBakeTile(m, o, udim, region, &tile, &error)) << error;
  return tile;
}

BakeLayoutOptions Size(int w, int h, int margin = 16) {
  BakeLayoutOptions o;
  o.width = w;
  o.height = h;
  o.margin = margin;
  return o;
}

// A unit square in UV (and in object x, y), cut into a fan of triangles
// around an inner point, with edges that pass close to texel centres.
Model Fan() {
  Mesh m;
  m.positions.push_back(Point3(0.37f, 0.61f, 0.0f));
  const int n = 7;
  for (int side = 0; side < 4; ++side)
    for (int k = 0; k < n; ++k) {
      float t = static_cast<float>(k) / n;
      Point3 p = side == 0   ? Point3(t, 0.0f, 0.0f)
                 : side == 1 ? Point3(1.0f, t, 0.0f)
                 : side == 2 ? Point3(1.0f - t, 1.0f, 0.0f)
                             : Point3(0.0f, 1.0f - t, 0.0f);
      m.positions.push_back(p);
    }
  uint32_t ring = static_cast<uint32_t>(m.positions.size() - 1);
  for (uint32_t k = 0; k < ring; ++k) m.indices.insert(m.indices.end(), {0, 1 + k, 1 + (k + 1) % ring});
  m.normals.assign(m.positions.size(), Point3(0.0f, 0.0f, 1.0f));
  m.uvw = {m.positions};
  Model model;
  model.meshes.push_back(m);
  return model;
}

TEST(BakeLayout, EveryTexelOfATessellatedSquareOnceNoGaps) {
  Model plane = Import("plane.obj"), fan = Fan();
  for (auto [w, h] : {std::pair{64, 64}, std::pair{7, 5}, std::pair{33, 100}}) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    for (const Model* m : {&plane, &fan}) {
      BakeTile tile = Layout(*m, Size(w, h, 0));
      EXPECT_EQ(tile.covered, static_cast<uint64_t>(w) * h);
      EXPECT_EQ(tile.overlap.texels, 0u) << DescribeOverlap(*m, tile);
    }
  }
  // The quad's diagonal runs through texel centres at 64 x 64: each belongs
  // to one of its two triangles, and every texel's object point is exact.
  BakeTile tile = Layout(plane, Size(64, 64, 0));
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const BakeTexel& t = tile.texels[static_cast<size_t>(y) * 64 + x];
      ASSERT_EQ(t.source, static_cast<uint32_t>(y * 64 + x));
      SurfaceSample s;
      SampleSurface(plane, t.at, {}, &s);
      double u = (x + 0.5) / 64, v = 1.0 - (y + 0.5) / 64;
      ASSERT_EQ(Bits(s.pObj.x), Bits(static_cast<float>(2 * u - 1))) << x << "," << y;
      ASSERT_EQ(Bits(s.pObj.y), Bits(static_cast<float>(2 * v - 1))) << x << "," << y;
    }
}

TEST(BakeLayout, OverlapsAreCountedAndReportedOnce) {
  Model cube = Import("cube.obj");  // all six faces on one UV square
  BakeTile tile = Layout(cube, Size(16, 16, 0));
  EXPECT_EQ(tile.covered, 256u);
  EXPECT_EQ(tile.overlap.texels, 256u);
  EXPECT_EQ(tile.overlap.x, 0);
  EXPECT_EQ(tile.overlap.y, 0);
  EXPECT_LT(tile.overlap.kept.triangle, tile.overlap.another.triangle);  // the first in the model keeps it
  std::string line = DescribeOverlap(cube, tile);
  EXPECT_EQ(line.rfind("UV islands overlap in 256 texels of tile 1001, first at texel (0, 0): mesh 0", 0), 0u) << line;
  EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(BakeLayout, UvsOutsideTheUnitSquareGoToUdimTiles) {
  Model m = Import("plane.obj");
  m.meshes.push_back(m.meshes[0]);
  for (Point3& uv : m.meshes[0].uvw[0]) uv.x += 1.0f;                        // tile 1002
  for (Point3& uv : m.meshes[1].uvw[0]) uv = uv + Point3(2.0f, 1.0f, 0.0f);  // 1013
  std::vector<int> tiles;
  std::string error;
  ASSERT_TRUE(FindUdimTiles(m, Size(8, 8), &tiles, &error)) << error;
  EXPECT_EQ(tiles, (std::vector<int>{1002, 1013}));
  BakeTile t1002 = Layout(m, Size(8, 8, 0), 1002), t1013 = Layout(m, Size(8, 8, 0), 1013);
  EXPECT_EQ(t1002.covered, 64u);
  EXPECT_EQ(t1013.covered, 64u);
  EXPECT_EQ(t1002.texels[0].at.mesh, 0u);
  EXPECT_EQ(t1013.texels[0].at.mesh, 1u);
  EXPECT_EQ(Layout(m, Size(8, 8, 0), 1001).covered, 0u);

  // A triangle across a tile border: its texels split between the tiles.
  Model across = Import("plane.obj");
  for (Point3& uv : across.meshes[0].uvw[0]) uv.x += 0.5f;
  ASSERT_TRUE(FindUdimTiles(across, Size(8, 8), &tiles, &error)) << error;
  EXPECT_EQ(tiles, (std::vector<int>{1001, 1002}));
  EXPECT_EQ(Layout(across, Size(8, 8, 0), 1001).covered + Layout(across, Size(8, 8, 0), 1002).covered, 64u);

  // A hair below zero reaches no texel centre; half a texel does.
  Model below = Import("plane.obj");
  below.meshes[0].uvw[0][0].x = -1e-7f;
  EXPECT_TRUE(FindUdimTiles(below, Size(8, 8), &tiles, &error)) << error;
  below.meshes[0].uvw[0][0] = Point3(-0.5f, -0.5f, 0.0f);
  EXPECT_FALSE(FindUdimTiles(below, Size(8, 8), &tiles, &error));
  EXPECT_NE(error.find("outside the UDIM tiles"), std::string::npos) << error;
}

// The nearest covered texel by brute force: least distance, then row, then
// column; -1 for none within the margin.
int Nearest(const BakeTile& bare, int w, int h, int x, int y, int margin) {
  int best = -1;
  long bestD = 0;
  for (int sy = 0; sy < h; ++sy)
    for (int sx = 0; sx < w; ++sx) {
      if (bare.texels[static_cast<size_t>(sy) * w + sx].source == kNoTexel) continue;
      long d = long{sx - x} * (sx - x) + long{sy - y} * (sy - y);
      if (d > long{margin} * margin) continue;
      if (best < 0 || d < bestD) {  // scanned by row, then column: the first of equals wins
        best = sy * w + sx;
        bestD = d;
      }
    }
  return best;
}

TEST(BakeLayout, PaddingFillsTheMarginAndKeepsTheIslands) {
  Model m = Import("plane.obj");
  for (Point3& uv : m.meshes[0].uvw[0]) uv = Point3(0.2f + uv.x * 0.3f, 0.5f + uv.y * 0.25f, 0.0f);
  Mesh tri = m.meshes[0];
  tri.indices = {0, 1, 2};
  for (Point3& uv : tri.uvw[0]) uv = Point3(0.6f + uv.x * 0.5f, uv.y * 0.5f, 0.0f);
  m.meshes.push_back(tri);
  const int w = 48, h = 40, margin = 5;
  BakeTile bare = Layout(m, Size(w, h, 0)), padded = Layout(m, Size(w, h, margin));
  EXPECT_EQ(padded.covered, bare.covered);
  uint64_t filled = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      size_t i = static_cast<size_t>(y) * w + x;
      const BakeTexel &b = bare.texels[i], &p = padded.texels[i];
      if (b.source != kNoTexel) {
        ASSERT_EQ(p.source, b.source);
        ASSERT_EQ(p.at.mesh, b.at.mesh);
        ASSERT_EQ(p.at.triangle, b.at.triangle);
        ASSERT_EQ(Bits(p.at.b1), Bits(b.at.b1));
        ASSERT_EQ(Bits(p.at.b2), Bits(b.at.b2));
        continue;
      }
      int nearest = Nearest(bare, w, h, x, y, margin);
      ASSERT_EQ(p.source, nearest < 0 ? kNoTexel : static_cast<uint32_t>(nearest)) << x << "," << y;
      if (nearest < 0) continue;
      ++filled;
      const BakeTexel& src = bare.texels[static_cast<size_t>(nearest)];
      ASSERT_EQ(p.at.triangle, src.at.triangle);
      ASSERT_EQ(Bits(p.at.b1), Bits(src.at.b1));
    }
  EXPECT_EQ(padded.padded, filled);
  EXPECT_GT(filled, 0u);
}

TEST(BakeLayout, RegionsAndThreadsGiveTheWholeTilesTexels) {
  Model sphere = Import("sphere.gltf");
  BakeLayoutOptions o = Size(96, 80, 16);
  o.threads = 1;
  BakeTile whole = Layout(sphere, o);
  o.threads = 3;
  for (TexelRect r :
       {TexelRect{0, 0, 96, 80}, TexelRect{0, 0, 20, 17}, TexelRect{40, 30, 71, 52}, TexelRect{90, 70, 96, 80}}) {
    BakeTile part = Layout(sphere, o, 1001, r);
    ASSERT_EQ(part.texels.size(), static_cast<size_t>(r.Width() * r.Height()));
    for (int y = r.y0; y < r.y1; ++y)
      for (int x = r.x0; x < r.x1; ++x) {
        const BakeTexel &a = whole.texels[static_cast<size_t>(y) * 96 + x],
                        &b = part.texels[static_cast<size_t>(y - r.y0) * r.Width() + (x - r.x0)];
        ASSERT_EQ(a.source, b.source) << x << "," << y;
        ASSERT_EQ(a.at.triangle, b.at.triangle);
        ASSERT_EQ(Bits(a.at.b1), Bits(b.at.b1));
        ASSERT_EQ(Bits(a.at.b2), Bits(b.at.b2));
      }
  }
}

TEST(BakeLayout, AMeshWithoutUvsIsAOneLineError) {
  for (auto [name, mesh] :
       {std::pair{"nouv.obj", "defaultobject"}, std::pair{"nouv.gltf", "Nouv"}, std::pair{"nouv.glb", "Nouv"}}) {
    Model m = Import(name);
    BakeTile tile;
    std::vector<int> tiles;
    std::string error;
    EXPECT_FALSE(LayOutBakeTile(m, Size(8, 8), 1001, {}, &tile, &error));
    EXPECT_EQ(error, "mesh 0 ('" + std::string(mesh) + "') has no UVs to bake into (map channel 1)");
    EXPECT_FALSE(FindUdimTiles(m, Size(8, 8), &tiles, &error));
    EXPECT_FALSE(MakeTangents(m.meshes[0], 1, &error));
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST(BakeLayout, TheFootprintOfATexel) {
  Model plane = Import("plane.obj");
  BakeLayoutOptions o = Size(256, 256, 0);
  BakeTile tile = Layout(plane, o);
  for (size_t i : {size_t{0}, size_t{256 * 100 + 7}, tile.texels.size() - 1}) {
    const SurfacePoint& at = tile.texels[i].at;
    SurfaceSample s;
    SampleSurface(plane, at, TexelDifferentials(plane, o, at), &s);
    // A texel is 2 / 256 of the plane's 2 units, in x and in y.
    EXPECT_EQ(Bits(s.dpObj.x), Bits(1.0f / 128));
    EXPECT_EQ(Bits(s.dpObj.y), Bits(1.0f / 128));
    EXPECT_EQ(Bits(s.dpObj.z), Bits(0.0f));
  }
}

TEST(Tangents, FollowTheUvsAndTheirMirror) {
  Model plane = Import("plane.obj");
  std::string error;
  ASSERT_TRUE(MakeTangents(plane.meshes[0], 1, &error)) << error;
  for (const Tangent& t : plane.meshes[0].tangents) {
    EXPECT_EQ(t.dir, Point3(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(t.sign, 1.0f);
  }
  SurfaceSample s;
  SampleSurface(plane, SurfacePoint{0, 1, 0.25f, 0.25f}, {}, &s);
  ASSERT_TRUE(s.hasTangents);
  EXPECT_EQ(s.tangent, Point3(1.0f, 0.0f, 0.0f));
  EXPECT_EQ(s.bitangent, Point3(0.0f, 1.0f, 0.0f));
  // UVs mirrored in u: the tangent turns round and the sign keeps the
  // bitangent along v.
  for (Point3& uv : plane.meshes[0].uvw[0]) uv.x = 1.0f - uv.x;
  ASSERT_TRUE(MakeTangents(plane.meshes[0], 1, &error)) << error;
  EXPECT_EQ(plane.meshes[0].tangents[0].dir, Point3(-1.0f, 0.0f, 0.0f));
  EXPECT_EQ(plane.meshes[0].tangents[0].sign, -1.0f);
  SampleSurface(plane, SurfacePoint{0, 1, 0.25f, 0.25f}, {}, &s);
  EXPECT_EQ(s.bitangent, Point3(0.0f, 1.0f, 0.0f));

  Model sphere = Import("sphere.gltf");
  ASSERT_TRUE(MakeTangents(sphere.meshes[0], 1, &error)) << error;
  for (size_t v = 0; v < sphere.meshes[0].VertexCount(); ++v) {
    EXPECT_NEAR(sphere.meshes[0].tangents[v].dir % sphere.meshes[0].normals[v], 0.0f, 1e-6f);
    EXPECT_NEAR(sphere.meshes[0].tangents[v].dir.Length(), 1.0f, 1e-6f);
  }
}

}  // namespace
}  // namespace plughost
