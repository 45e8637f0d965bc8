#include "farm/assemble.h"

#include <hostside/png_image.h>

#include <cstring>

#include "common/failure.h"
#include "render/render_pieces.h"

namespace plughost {

bool AssembleTiles(const std::string& file, int width, int height, int tiles, std::string* error) {
  if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide || tiles < 1) {
    *error = "assemble needs a size of 1 to " + std::to_string(kMaxPictureSide) + " pixels a side and a tile count";
    return false;
  }
  HostImage whole;
  whole.width = width;
  whole.height = height;
  whole.rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  std::string problems;
  int bad = 0;
  for (int k = 1; k <= tiles; ++k) {
    PixelRegion r;
    if (!TileRegion(width, height, k, tiles, &r, error)) return false;
    std::string name = PieceFileName(file, r), why;
    HostImage tile;
    if (!IsCompletePicture(name, r.Width(), r.Height(), &why, &tile)) {
      ++bad;
      problems += "\n  tile " + std::to_string(k) + "/" + std::to_string(tiles) + " " + name + ": " + why;
      continue;
    }
    size_t rowBytes = static_cast<size_t>(r.Width()) * 4;
    for (int y = 0; y < r.Height(); ++y) {
      std::memcpy(&whole.rgba[(static_cast<size_t>(r.y0 + y) * static_cast<size_t>(width) + r.x0) * 4],
                  &tile.rgba[static_cast<size_t>(y) * rowBytes], rowBytes);
    }
  }
  if (bad) {
    *error =
        file + ": " + std::to_string(bad) + " of " + std::to_string(tiles) + " tiles missing or broken:" + problems;
    return false;
  }
  return HostWritePng(file, whole, error);
}

int AssembleCommand(const AssembleOptions& opts) {
  std::string error;
  if (opts.tiles < 1) error = "--tiles must be the N the tiles were rendered with (--tile K/N)";
  if (error.empty() && AssembleTiles(opts.output, opts.width, opts.height, opts.tiles, &error)) return 0;
  return Fail(error);
}

}  // namespace plughost
