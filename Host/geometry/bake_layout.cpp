#include "bake_layout.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <set>
#include <thread>

namespace plughost {

namespace {

// ---- Texel space ------------------------------------------------------------
//
// UVs scaled to texels: X = u * width, Y = v * height, Y up, across all
// tiles. Texel (x, y) of tile (tu, tv) is centred at
// X = tu * width + x + 0.5, Y = (tv + 1) * height - y - 0.5. Products of a
// float and a whole number below 2^15 are exact in double.

struct P2 {
  double x, y;
};

struct TileGrid {
  int tu, tv, width, height;
  double CentreX(int x) const { return static_cast<double>(tu) * width + x + 0.5; }
  double CentreY(int y) const { return (static_cast<double>(tv) + 1.0) * height - y - 0.5; }
};

P2 TexelSpace(const Point3& uv, const BakeLayoutOptions& o) {
  return {double{uv.x} * o.width, double{uv.y} * o.height};
}

// The edge function of a -> b at p (positive to its left), always computed
// from the lesser endpoint: the triangle across the edge gets exactly its
// negation, so a centre on the edge falls to one of the two by the top-left
// rule alone, never to both or neither by rounding.
double Edge(const P2& a, const P2& b, const P2& p) {
  if (a.x < b.x || (a.x == b.x && a.y < b.y)) return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
  return -((a.x - b.x) * (p.y - b.y) - (a.y - b.y) * (p.x - b.x));
}

// A top edge (flat, inside below) or a left edge (going down, inside to its
// right), for a triangle turning counter-clockwise with Y up.
bool TopLeft(const P2& from, const P2& to) {
  double dx = to.x - from.x, dy = to.y - from.y;
  return dy < 0.0 || (dy == 0.0 && dx < 0.0);
}

struct Triangle {
  P2 v[3];
  double area2;  // twice the signed area; positive counter-clockwise
};

Triangle TriangleOf(const Mesh& m, const std::vector<Point3>& uv, size_t t, const BakeLayoutOptions& o) {
  Triangle tri;
  for (int k = 0; k < 3; ++k) tri.v[k] = TexelSpace(uv[m.indices[3 * t + k]], o);
  const P2 *a = &tri.v[0], *b = &tri.v[1], *c = &tri.v[2];
  tri.area2 = (b->x - a->x) * (c->y - a->y) - (b->y - a->y) * (c->x - a->x);
  return tri;
}

// Whether the centre p is the triangle's, and its weights there.
bool Covers(const Triangle& tri, const P2& p, double* b1, double* b2) {
  double s = tri.area2 > 0.0 ? 1.0 : -1.0;
  const P2* v = tri.v;
  double e[3] = {Edge(v[1], v[2], p), Edge(v[2], v[0], p), Edge(v[0], v[1], p)};
  for (int k = 0; k < 3; ++k) {
    double w = s * e[k];
    if (w > 0.0) continue;
    if (w < 0.0) return false;
    // On the edge: the oriented edge decides.
    const P2& from = s > 0.0 ? v[(k + 1) % 3] : v[(k + 2) % 3];
    const P2& to = s > 0.0 ? v[(k + 2) % 3] : v[(k + 1) % 3];
    if (!TopLeft(from, to)) return false;
  }
  *b1 = e[1] / tri.area2;
  *b2 = e[2] / tri.area2;
  return true;
}

// The first and last centre index (floor division by the tile size gives
// the tile) that lie in [lo, hi] of an axis whose centres sit at k + 0.5.
bool CentreRange(double lo, double hi, int64_t* first, int64_t* last) {
  double f = std::ceil(lo - 0.5), l = std::floor(hi - 0.5);
  if (!(f <= l) || std::fabs(f) > 1e15 || std::fabs(l) > 1e15) return false;
  *first = static_cast<int64_t>(f);
  *last = static_cast<int64_t>(l);
  return true;
}
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

std::string MeshName(const Model& model, uint32_t mesh) {
  const std::string& name = model.meshes[mesh].name;
  return "mesh " + std::to_string(mesh) + (name.empty() ? std::string() : " ('" + name + "')");
}

bool CheckOptions(const Model& model, const BakeLayoutOptions& o, std::string* error) {
  if (o.width < 1 || o.height < 1 || o.width > kMaxBakeSide || o.height > kMaxBakeSide) {
    *error = "a bake is 1 to " + std::to_string(kMaxBakeSide) + " texels a side, not " + std::to_string(o.width) +
             " x " + std::to_string(o.height);
    return false;
  }
  if (o.margin < 0 || o.margin > kMaxBakeMargin) {
    *error = "the padding is 0 to " + std::to_string(kMaxBakeMargin) + " texels, not " + std::to_string(o.margin);
    return false;
  }
  for (size_t k = 0; k < model.meshes.size(); ++k) {
    if (!model.meshes[k].HasChannel(o.channel)) {
      *error = MeshName(model, static_cast<uint32_t>(k)) + " has no UVs to bake into (map channel " +
               std::to_string(o.channel) + ")";
      return false;
    }
  }
  return true;
}

template <typename Fn>
void ParallelFor(size_t count, int threads, Fn fn) {
  unsigned n = threads > 0 ? static_cast<unsigned>(threads) : std::max(1u, std::thread::hardware_concurrency());
  n = static_cast<unsigned>(std::min<size_t>(n, count));
  if (n <= 1) {
    for (size_t i = 0; i < count; ++i) fn(i);
    return;
  }
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < n; ++t)
    pool.emplace_back([&] {
      for (size_t i; (i = next.fetch_add(1)) < count;) fn(i);
    });
  for (auto& t : pool) t.join();
}

// A triangle that reaches the work area, and the texels of it it may cover.
struct Reach {
  uint32_t mesh, triangle;
  int x0, x1, y0, y1;  // inclusive, in the tile
};

constexpr size_t kBandRows = 16;

}  // namespace

bool FindUdimTiles(const Model& model, const BakeLayoutOptions& o, std::vector<int>* tiles, std::string* error) {
  if (!CheckOptions(model, o, error)) return false;
  std::set<int> found;
  for (size_t k = 0; k < model.meshes.size(); ++k) {
    const Mesh& m = model.meshes[k];
    const std::vector<Point3>& uv = m.uvw[static_cast<size_t>(o.channel - 1)];
    for (size_t t = 0; t < m.TriangleCount(); ++t) {
      Triangle tri = TriangleOf(m, uv, t, o);
      if (tri.area2 == 0.0) continue;
      double xs[3] = {tri.v[0].x, tri.v[1].x, tri.v[2].x}, ys[3] = {tri.v[0].y, tri.v[1].y, tri.v[2].y};
      int64_t cx0, cx1, cy0, cy1;
      if (!CentreRange(*std::min_element(xs, xs + 3), *std::max_element(xs, xs + 3), &cx0, &cx1) ||
          !CentreRange(*std::min_element(ys, ys + 3), *std::max_element(ys, ys + 3), &cy0, &cy1))
        continue;
      int64_t tu0 = FloorDiv(cx0, o.width), tu1 = FloorDiv(cx1, o.width);
      int64_t tv0 = FloorDiv(cy0, o.height), tv1 = FloorDiv(cy1, o.height);
      if (tu0 < 0 || tu1 > 9 || tv0 < 0 || tv1 > 99) {
        *error = MeshName(model, static_cast<uint32_t>(k)) + ": triangle " + std::to_string(t) +
                 " has UVs outside the UDIM tiles (u from 0 to 10, v from 0 to 100)";
        return false;
      }
      for (int64_t v = tv0; v <= tv1; ++v)
        for (int64_t u = tu0; u <= tu1; ++u) found.insert(static_cast<int>(1001 + u + 10 * v));
    }
  }
  if (found.empty()) {
    *error = "no triangle covers a texel of map channel " + std::to_string(o.channel) + " at " +
             std::to_string(o.width) + " x " + std::to_string(o.height);
    return false;
  }
  tiles->assign(found.begin(), found.end());
  return true;
}

bool LayOutBakeTile(const Model& model, const BakeLayoutOptions& o, int udim, const TexelRect& requested, BakeTile* out,
                    std::string* error) {
  if (!CheckOptions(model, o, error)) return false;
  if (udim < 1001 || udim > 1999) {
    *error = "UDIM tiles are 1001 to 1999, not " + std::to_string(udim);
    return false;
  }
  TileGrid grid{(udim - 1001) % 10, (udim - 1001) / 10, o.width, o.height};
  TexelRect region = requested.Empty() ? TexelRect{0, 0, o.width, o.height} : requested;
  if (region.x0 < 0 || region.y0 < 0 || region.x1 > o.width || region.y1 > o.height) {
    *error = "the region lies outside the tile of " + std::to_string(o.width) + " x " + std::to_string(o.height);
    return false;
  }
  // The work area: the region and the margin around it, inside the tile.
  const int m = o.margin;
  const int wx0 = std::max(0, region.x0 - m), wx1 = std::min(o.width, region.x1 + m);
  const int wy0 = std::max(0, region.y0 - m), wy1 = std::min(o.height, region.y1 + m);
  const size_t ww = static_cast<size_t>(wx1 - wx0), wh = static_cast<size_t>(wy1 - wy0);
  auto workIndex = [&](int x, int y) { return static_cast<size_t>(y - wy0) * ww + static_cast<size_t>(x - wx0); };
  auto tileIndex = [&](int x, int y) {
    return static_cast<uint32_t>(y) * static_cast<uint32_t>(o.width) + static_cast<uint32_t>(x);
  };

  // The texels each triangle may cover in the work area, found in parallel
  // per triangle, then gathered by band of rows in the model's order.
  std::vector<size_t> firstOfMesh(model.meshes.size() + 1, 0);
  for (size_t k = 0; k < model.meshes.size(); ++k)
    firstOfMesh[k + 1] = firstOfMesh[k] + model.meshes[k].TriangleCount();
  std::vector<Reach> reach(firstOfMesh.back());
  const double tileX0 = static_cast<double>(grid.tu) * o.width,
               tileYTop = (static_cast<double>(grid.tv) + 1.0) * o.height;
  constexpr size_t kChunk = 1 << 14;
  ParallelFor((reach.size() + kChunk - 1) / kChunk, o.threads, [&](size_t chunk) {
    size_t end = std::min(reach.size(), (chunk + 1) * kChunk);
    size_t k = static_cast<size_t>(std::upper_bound(firstOfMesh.begin(), firstOfMesh.end(), chunk * kChunk) -
                                   firstOfMesh.begin()) -
               1;
    for (size_t g = chunk * kChunk; g < end; ++g) {
      while (g >= firstOfMesh[k + 1]) ++k;
      const Mesh& mesh = model.meshes[k];
      size_t t = g - firstOfMesh[k];
      Reach& r = reach[g];
      r = Reach{static_cast<uint32_t>(k), static_cast<uint32_t>(t), 0, -1, 0, -1};
      Triangle tri = TriangleOf(mesh, mesh.uvw[static_cast<size_t>(o.channel - 1)], t, o);
      if (tri.area2 == 0.0) continue;
      double xs[3] = {tri.v[0].x, tri.v[1].x, tri.v[2].x}, ys[3] = {tri.v[0].y, tri.v[1].y, tri.v[2].y};
      int64_t cx0, cx1, cr0, cr1;
      // Columns from the left, rows from the top (Y decreases downward).
      if (!CentreRange(*std::min_element(xs, xs + 3) - tileX0, *std::max_element(xs, xs + 3) - tileX0, &cx0, &cx1) ||
          !CentreRange(tileYTop - *std::max_element(ys, ys + 3), tileYTop - *std::min_element(ys, ys + 3), &cr0, &cr1))
        continue;
      cx0 = std::max<int64_t>(cx0, wx0);
      cx1 = std::min<int64_t>(cx1, wx1 - 1);
      cr0 = std::max<int64_t>(cr0, wy0);
      cr1 = std::min<int64_t>(cr1, wy1 - 1);
      if (cx0 > cx1 || cr0 > cr1) continue;
      r.x0 = static_cast<int>(cx0);
      r.x1 = static_cast<int>(cx1);
      r.y0 = static_cast<int>(cr0);
      r.y1 = static_cast<int>(cr1);
    }
  });
  const size_t bands = (wh + kBandRows - 1) / kBandRows;
  auto bandOf = [&](int y) { return static_cast<size_t>(y - wy0) / kBandRows; };
  std::vector<uint32_t> bandStart(bands + 1, 0);
  for (const Reach& r : reach)
    if (r.x0 <= r.x1)
      for (size_t b = bandOf(r.y0); b <= bandOf(r.y1); ++b) ++bandStart[b + 1];
  for (size_t b = 0; b < bands; ++b) bandStart[b + 1] += bandStart[b];
  std::vector<uint32_t> bandList(bandStart[bands]);
  {
    std::vector<uint32_t> fill(bandStart.begin(), bandStart.end() - 1);
    for (size_t i = 0; i < reach.size(); ++i)
      if (reach[i].x0 <= reach[i].x1)
        for (size_t b = bandOf(reach[i].y0); b <= bandOf(reach[i].y1); ++b)
          bandList[fill[b]++] = static_cast<uint32_t>(i);
  }

  // Rasterise, band by band; within a band the triangles come in the model's
  // order, so the first one keeps a texel whatever the threads. A covered
  // texel's source is itself.
  std::vector<BakeTexel> work(ww * wh);
  std::vector<UvOverlap> bandOverlap(bands);
  ParallelFor(bands, o.threads, [&](size_t b) {
    int by0 = wy0 + static_cast<int>(b * kBandRows), by1 = std::min(wy1, by0 + static_cast<int>(kBandRows));
    UvOverlap& ov = bandOverlap[b];
    std::vector<uint8_t> counted;  // texels of the band already counted as overlapping
    for (uint32_t li = bandStart[b]; li < bandStart[b + 1]; ++li) {
      const Reach& r = reach[bandList[li]];
      const Mesh& mesh = model.meshes[r.mesh];
      Triangle tri = TriangleOf(mesh, mesh.uvw[static_cast<size_t>(o.channel - 1)], r.triangle, o);
      for (int y = std::max(by0, r.y0); y <= std::min(by1 - 1, r.y1); ++y) {
        for (int x = r.x0; x <= r.x1; ++x) {
          double b1, b2;
          if (!Covers(tri, P2{grid.CentreX(x), grid.CentreY(y)}, &b1, &b2)) continue;
          BakeTexel& t = work[workIndex(x, y)];
          SurfacePoint p{r.mesh, r.triangle, static_cast<float>(b1), static_cast<float>(b2)};
          if (t.source == kNoTexel) {
            t.at = p;
            t.source = tileIndex(x, y);
            continue;
          }
          if (x < region.x0 || x >= region.x1 || y < region.y0 || y >= region.y1) continue;
          if (counted.empty()) counted.assign(static_cast<size_t>(by1 - by0) * ww, 0);
          uint8_t& seen = counted[static_cast<size_t>(y - by0) * ww + static_cast<size_t>(x - wx0)];
          if (seen) continue;  // counted once however many triangles cover it
          seen = 1;
          if (ov.texels == 0 || y < ov.y || (y == ov.y && x < ov.x)) {
            ov.x = x;
            ov.y = y;
            ov.kept = t.at;
            ov.another = p;
          }
          ++ov.texels;
        }
      }
    }
  });

  BakeTile tile;
  tile.udim = udim;
  tile.region = region;
  for (const UvOverlap& ov : bandOverlap) {
    if (ov.texels == 0) continue;
    bool first = tile.overlap.texels == 0 || ov.y < tile.overlap.y || (ov.y == tile.overlap.y && ov.x < tile.overlap.x);
    uint64_t total = tile.overlap.texels + ov.texels;
    if (first) tile.overlap = ov;
    tile.overlap.texels = total;
  }

  // Padding. First, down each column of the work area, the nearest covered
  // row within the margin (the upper one on equal distance), -1 for none;
  // columns in stripes, one thread each.
  std::vector<int32_t> nearestRow(work.size(), -1);
  constexpr size_t kStripe = 64;
  ParallelFor((ww + kStripe - 1) / kStripe, o.threads, [&](size_t stripe) {
    size_t c0 = stripe * kStripe, c1 = std::min(ww, c0 + kStripe);
    int32_t last[kStripe];
    std::fill(last, last + kStripe, -1);
    for (size_t y = 0; y < wh; ++y)
      for (size_t x = c0; x < c1; ++x) {
        size_t at = y * ww + x;
        if (work[at].source != kNoTexel) last[x - c0] = static_cast<int32_t>(y);
        if (last[x - c0] >= 0 && static_cast<int64_t>(y) - last[x - c0] <= m) nearestRow[at] = last[x - c0];
      }
    std::fill(last, last + kStripe, -1);
    for (size_t y = wh; y-- > 0;)
      for (size_t x = c0; x < c1; ++x) {
        size_t at = y * ww + x;
        if (work[at].source != kNoTexel) last[x - c0] = static_cast<int32_t>(y);
        int64_t below = last[x - c0];
        if (below < 0 || below - static_cast<int64_t>(y) > m) continue;
        int32_t above = nearestRow[at];
        if (above < 0 || below - static_cast<int64_t>(y) < static_cast<int64_t>(y) - above)
          nearestRow[at] = static_cast<int32_t>(below);
      }
  });
  // Then, along each row of the region, the nearest of those columns'
  // texels: ordered by distance, then row, then column, which is the order
  // over all covered texels, whatever the work area. Only empty texels are
  // written, and only covered ones read.
  const int64_t m2 = int64_t{m} * m;
  std::vector<uint64_t> rowCovered(wh, 0), rowPadded(wh, 0);
  ParallelFor(static_cast<size_t>(region.Height()), o.threads, [&](size_t ry) {
    int y = region.y0 + static_cast<int>(ry);
    size_t wy = static_cast<size_t>(y - wy0);
    uint64_t covered = 0, padded = 0;  // counted here, stored once: rows of other threads lie alongside
    for (int x = region.x0; x < region.x1; ++x) {
      BakeTexel& t = work[workIndex(x, y)];
      if (t.source != kNoTexel) {
        ++covered;
        continue;
      }
      int64_t best = m2 + 1;
      int bestRow = -1, bestX = -1;
      for (int sx = std::max(wx0, x - m); sx <= std::min(wx1 - 1, x + m); ++sx) {
        int32_t r = nearestRow[wy * ww + static_cast<size_t>(sx - wx0)];
        if (r < 0) continue;
        int64_t dx = sx - x, dy = r - static_cast<int64_t>(wy), d2 = dx * dx + dy * dy;
        if (d2 < best || (d2 == best && (r < bestRow || (r == bestRow && sx < bestX)))) {
          best = d2;
          bestRow = r;
          bestX = sx;
        }
      }
      if (bestRow < 0 || best > m2) continue;
      const BakeTexel& src = work[static_cast<size_t>(bestRow) * ww + static_cast<size_t>(bestX - wx0)];
      t.at = src.at;
      t.source = src.source;
      ++padded;
    }
    rowCovered[wy] = covered;
    rowPadded[wy] = padded;
  });
  for (size_t y = 0; y < wh; ++y) {
    tile.covered += rowCovered[y];
    tile.padded += rowPadded[y];
  }
  if (wx0 == region.x0 && wx1 == region.x1 && wy0 == region.y0 && wy1 == region.y1) {
    tile.texels = std::move(work);
  } else {
    tile.texels.resize(static_cast<size_t>(region.Width()) * static_cast<size_t>(region.Height()));
    for (int y = region.y0; y < region.y1; ++y)
      std::copy_n(work.begin() + static_cast<std::ptrdiff_t>(workIndex(region.x0, y)), region.Width(),
                  tile.texels.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(y - region.y0) *
                                                                    static_cast<size_t>(region.Width())));
  }
  *out = std::move(tile);
  return true;
}

std::string DescribeOverlap(const Model& model, const BakeTile& tile) {
  if (tile.overlap.texels == 0) return {};
  const UvOverlap& o = tile.overlap;
  return "UV islands overlap in " + std::to_string(o.texels) + " texels of tile " + std::to_string(tile.udim) +
         ", first at texel (" + std::to_string(o.x) + ", " + std::to_string(o.y) +
         "): " + MeshName(model, o.kept.mesh) + " triangle " + std::to_string(o.kept.triangle) + " and " +
         MeshName(model, o.another.mesh) + " triangle " + std::to_string(o.another.triangle);
}

BarycentricDifferentials TexelDifferentials(const Model& model, const BakeLayoutOptions& o, const SurfacePoint& at) {
  BarycentricDifferentials d;
  const Mesh& m = model.meshes[at.mesh];
  if (!m.HasChannel(o.channel)) return d;
  Triangle tri = TriangleOf(m, m.uvw[static_cast<size_t>(o.channel - 1)], at.triangle, o);
  if (tri.area2 == 0.0) return d;
  const P2* v = tri.v;
  // b1 = Edge(v2, v0, p) / area2 and b2 = Edge(v0, v1, p) / area2; a texel to
  // the right is X + 1, one down is Y - 1.
  d.db1dx = static_cast<float>(-(v[0].y - v[2].y) / tri.area2);
  d.db1dy = static_cast<float>(-(v[0].x - v[2].x) / tri.area2);
  d.db2dx = static_cast<float>(-(v[1].y - v[0].y) / tri.area2);
  d.db2dy = static_cast<float>(-(v[1].x - v[0].x) / tri.area2);
  return d;
}

}  // namespace plughost
