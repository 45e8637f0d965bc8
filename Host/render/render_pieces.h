// Pieces of a render, for a render farm: a chunk of a frame sequence, or a
// tile or region of a still.
//
// A piece is rendered alone, on any machine, in any order and any number of
// times. Its pictures are exactly what a whole render writes: a chunk's
// frames are the sequence's frames under the sequence's names, and a tile's
// pixels are the whole picture's pixels there (see renderer.h), so joining
// the tiles gives the whole picture byte for byte. A piece keeps the pictures
// it finds complete (a PNG that decodes to its last row, of the right size;
// every picture is written to a temporary file and renamed, so a picture
// under its own name is whole unless something else wrote it), which lets a
// task that is run again resume; --overwrite renders them again.
#pragma once

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
// pixels, every pixel in exactly one tile. False when the picture has fewer
// pixels a side than the grid has tiles.
bool TileRegion(int width, int height, int k, int n, PixelRegion* out, std::string* error);

// Narrows a render to the piece: `frames` and `times` to the chunk's, or
// `region` to the tile or region (of a render of one frame).
bool SelectPiece(const PieceOptions& piece, int width, int height, std::vector<int>* frames,
                 std::vector<TimeValue>* times, PixelRegion* region, std::string* error);

// The file a tile or region of `file` is written to: "still.png" becomes
// "still.tile-512-0-1024-512.png" (x0, y0, x1, y1). An empty region: `file`.
std::string PieceFileName(const std::string& file, const PixelRegion& region);

// True when `file` is a PNG that decodes whole to width x height pixels (into
// `pixels` when given); otherwise false, with why in `why` ("missing", or the
// reader's message).
bool IsCompletePicture(const std::string& file, int width, int height, std::string* why = nullptr,
                       HostImage* pixels = nullptr);

}  // namespace plughost
