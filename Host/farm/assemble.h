// plughost assemble: joins the tiles of a still (render --tile K/N) into the
// picture. Every tile must be complete; the picture is written as a whole
// render writes it, so it is the same file byte for byte.
#pragma once

#include <string>

namespace plughost {

struct AssembleOptions {
  std::string output = "vede.png";  // the picture; its tiles are named after it (render_pieces.h)
  int width = 256, height = 256;    // of the whole picture
  int tiles = 0;                    // N, as the tiles were rendered with --tile K/N
};

int AssembleCommand(const AssembleOptions& opts);

// Joins the N tiles of `file`; false with every missing or broken tile named
// in `error`, and nothing written.
bool AssembleTiles(const std::string& file, int width, int height, int tiles, std::string* error);

}  // namespace plughost
