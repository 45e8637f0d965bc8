// plughost assemble: joins the tiles of a still (render --tile K/N) into the
// picture, or the pieces of a bake (bake --tile K/N) into each UDIM tile's
// file, in the tiles' own format and depth. Every tile must be complete
// and all of one render; the picture is written as a whole render writes it,
// so it is the same file byte for byte (given the compression the tiles were
// rendered with, which an OpenEXR tile tells and a PNG one does not).
#pragma once

#include <string>
#include <vector>

namespace plughost {

struct AssembleOptions {
  std::string output = "vede.png";  // the picture; its tiles are named after it (render_pieces.h)
  int width = 256, height = 256;    // of the whole picture
  int tiles = 0;                    // N, as the tiles were rendered with --tile K/N
  std::string compression;          // empty: an OpenEXR tile's own, a PNG's default
  std::string fingerprint;          // the render the tiles must be of; empty: any one render
  // A bake's UDIM tiles, every one it wrote: `output` is then the bake's
  // name, and each tile's file (BakeTileFileName) is joined from its pieces,
  // of width x height texels.
  std::vector<int> udims;
};

int AssembleCommand(const AssembleOptions& opts);

// Joins the N tiles of `opts.output`, a row of tiles at a time, after every
// tile has been found complete from its file alone; false with every missing,
// broken or foreign tile named in `error` (the first hundred), and nothing
// written.
bool AssembleTiles(const AssembleOptions& opts, std::string* error);

// The picture, or with `udims` every UDIM tile's file, each joined as
// AssembleTiles does, all of one bake (the fingerprint given, or else the
// first UDIM tile's); the files in *files. False with every tile's problems
// in `error`; the UDIM tiles whose pieces are all there are joined anyway.
bool AssembleAll(const AssembleOptions& opts, std::vector<std::string>* files, std::string* error);

}  // namespace plughost
