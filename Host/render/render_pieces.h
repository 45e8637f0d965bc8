// Pieces of a render, for a render farm: a chunk of a frame sequence, or a
// tile or region of a still.
//
// A piece is rendered alone, on any machine, in any order and any number of
// times. Its pictures are exactly what a whole render writes: a chunk's
// frames are the sequence's frames under the sequence's names, and a tile's
// pixels are the whole picture's pixels there (see renderer.h), so joining
// the tiles gives the whole picture byte for byte. A piece keeps the pictures
// it finds complete (every row decodes, of the right size, and made by this
// very render: each picture carries the fingerprint of the render that made
// it; every picture is written to a temporary file and renamed, so a picture
// under its own name is whole unless something else wrote it), which lets a
// task that is run again resume; --overwrite renders them again.
#pragma once

#include <hostside/picture_io.h>

#include <string>
#include <vector>

#include "render/renderer.h"

namespace plughost {

struct PieceOptions {
  std::string chunk;       // "K/N": the K-th of N equal runs of the frames, from 1
  std::string tile;        // "K/N": the K-th of N tiles, row by row from the top left
  std::string region;      // "x0,y0,x1,y1": pixels [x0, x1) by [y0, y1) of the whole picture
  bool overwrite = false;  // render complete pictures again
  bool Any() const { return !chunk.empty() || !tile.empty() || !region.empty(); }
};

// "K/N" with 1 <= K <= N.
bool ParsePieceIndex(const std::string& text, int* k, int* n, std::string* error);

// Indexes [first, last) of the K-th of N runs of `count` items; runs differ
// in length by one at most, the longer ones last.
struct IndexRange {
  size_t first = 0, last = 0;
};
IndexRange ChunkOf(size_t count, int k, int n);

// The grid N tiles make: columns x rows = N, as near square as N allows, with
// no more columns than rows (a prime N gives N rows).
struct TileGrid {
  int columns = 1, rows = 1;
};
TileGrid TileGridFor(int n);
// The K-th of N tiles of a width x height picture; tile edges fall on whole
// pixels, every pixel in exactly one tile. False when the picture has more
// tiles than pixels, or fewer pixels a side than the grid has tiles.
bool TileRegion(int width, int height, int k, int n, PixelRegion* out, std::string* error);
// The same for a grid already chosen and checked against the picture.
PixelRegion TileIn(const TileGrid& grid, int width, int height, int k);

// Admits a picture of exactly width x height pixels, refusing any other with
// "W x H pixels, not width x height": for reading a piece of known size. Of
// more than kMostPieceChannels channels (a render's all its passes: 8), the
// pixel budget holds as ever.
inline constexpr int kMostPieceChannels = 16;
HostPictureAdmission ExactSize(int width, int height);

// Narrows a render to the piece: `frames` and `times` to the chunk's, or
// `region` to the tile or region (of a render of one frame).
bool SelectPiece(const PieceOptions& piece, int width, int height, std::vector<int>* frames,
                 std::vector<TimeValue>* times, PixelRegion* region, std::string* error);

// The file a tile or region of `file` is written to: "still.png" becomes
// "still.tile-512-0-1024-512.png" (x0, y0, x1, y1). An empty region: `file`.
std::string PieceFileName(const std::string& file, const PixelRegion& region);

// The metadata name under which a picture keeps the fingerprint of the
// render that made it (RenderPlan::fingerprint).
inline constexpr const char* kRenderFingerprintKey = "render";
// The fingerprint a picture carries; empty when none.
std::string PictureFingerprint(const HostPictureInfo& info);

// True when `file` is a picture (PNG or OpenEXR) whose every row decodes, of
// width x height pixels, carrying `fingerprint` (any or none when empty);
// its header in *info. Only a few rows are held at a time, so the size asked
// for is admitted whatever the pixel budget, and no other. Otherwise false,
// with why in `why` ("missing", or the reader's message).
bool IsCompletePicture(const std::string& file, int width, int height, const std::string& fingerprint,
                       std::string* why = nullptr, HostPictureInfo* info = nullptr);

}  // namespace plughost
