// Bake layouts: which point of a model each texel of its UV layout shows.
//
// A map channel's UVs are laid on a grid of texels, one grid per UDIM tile
// (tile 1001 + u + 10 v holds UVs from (u, v) to (u + 1, v + 1); u from 0 to
// 9, v from 0 to 99), each tile `width` x `height` texels with row 0 at its
// top (the highest v). Every triangle is rasterised at texel centres:
//  - a centre inside a triangle belongs to it; a centre exactly on an edge
//    belongs to the triangle for which that edge is a top or left one (the
//    usual top-left rule), and the edge is computed alike for both triangles
//    that share it, so a texel on an edge inside an island belongs to exactly
//    one triangle: no texel twice, no gap;
//  - the weights of a covered texel are exact where the arithmetic allows
//    (whole-numbered UVs on a power-of-two grid give the texel's point to the
//    last bit);
//  - where triangles overlap (UV islands laid over one another, or folded),
//    the texel keeps the first triangle in the model's order, and the
//    overlap is counted and its first texel reported, once per tile.
// Then the margin is padded: each empty texel within `margin` texels
// (Euclidean, centre to centre) of a covered one takes the point of the
// nearest covered texel (on equal distance the upper, then the left one),
// so a bake copies the island's own value outward; no covered texel ever
// changes.
//
// A tile can be laid out whole or in a region (for a bake in pieces): the
// region's texels are exactly those of the whole tile there, since the
// triangles and the padding near it are looked at whatever the region.
// Results do not depend on the thread count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model.h"
#include "surface.h"

namespace plughost {

constexpr uint32_t kNoTexel = 0xFFFFFFFFu;
constexpr int kMaxBakeSide = 16384;
constexpr int kMaxBakeMargin = 1024;

struct BakeLayoutOptions {
  int width = 1024, height = 1024;  // texels of each tile
  int channel = 1;                  // the map channel whose UVs are baked
  int margin = 16;                  // texels of padding around islands
  int threads = 0;                  // 0: every core
};

// Texels [x0, x1) by [y0, y1) of a tile, from its top left; empty: the whole tile.
struct TexelRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool Empty() const { return x1 <= x0 || y1 <= y0; }
  int Width() const { return x1 - x0; }
  int Height() const { return y1 - y0; }
};

struct BakeTexel {
  // The point the texel shows (a padded texel: its source's); unset where
  // `source` is kNoTexel.
  SurfacePoint at;
  // The texel of the tile (y * width + x) whose point this is: the texel
  // itself where a triangle covers it, the nearest covered texel for padding,
  // kNoTexel where neither.
  uint32_t source = kNoTexel;
};

struct UvOverlap {
  uint64_t texels = 0;         // texels of the region that more than one triangle covers
  int x = 0, y = 0;            // the first of them, in the tile (top row first, then left)
  SurfacePoint kept, another;  // the triangle that keeps it, and one that also covers it
};

struct BakeTile {
  int udim = 1001;
  TexelRect region;               // of the tile
  std::vector<BakeTexel> texels;  // region.Width() x region.Height(), row by row
  uint64_t covered = 0, padded = 0;
  UvOverlap overlap;
};

// The UDIM tiles that the channel's triangles cover texels of, in increasing
// order. False with a one-line error when a mesh has no such channel (a mesh
// without UVs cannot be baked), a triangle reaches outside the tiles, or no
// triangle covers any texel.
bool FindUdimTiles(const Model& model, const BakeLayoutOptions& options, std::vector<int>* tiles, std::string* error);

// The layout of one tile, or of `region` of it. False with a one-line error
// for options out of range, a mesh without the channel, or a region outside
// the tile.
bool LayOutBakeTile(const Model& model, const BakeLayoutOptions& options, int udim, const TexelRect& region,
                    BakeTile* out, std::string* error);

// One line about a tile's overlap, for the user ("UV islands overlap in ...").
std::string DescribeOverlap(const Model& model, const BakeTile& tile);

// How the weights of the point's triangle change across one texel (to the
// right, and down), for the footprint of a bake sample.
BarycentricDifferentials TexelDifferentials(const Model& model, const BakeLayoutOptions& options,
                                            const SurfacePoint& at);

}  // namespace plughost
