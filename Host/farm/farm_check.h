// plughost farm check, what a farm render's check job runs: joins a still's
// tiles (or a bake's pieces, UDIM tile by UDIM tile), checks that every picture is complete, and only then writes the
// manifest beside the pictures (size and SHA-256 of each). Otherwise it names
// every missing or broken frame or tile and fails.
#pragma once

#include <string>
#include <vector>

namespace plughost {

struct FarmCheckOptions {
  std::string output;  // as the render was given it
  int width = 256, height = 256;
  std::string frames;       // the render's frames (a still: its one frame)
  int tiles = 0;            // a still rendered in tiles
  std::string compression;  // as the render was given it (assemble.h)
  std::string fingerprint;  // of the render (FingerprintRender): a picture of another one is not complete
  std::vector<int> udims;   // a bake's UDIM tiles: `output` is the bake's, width x height a tile's texels
};

int FarmCheckCommand(const FarmCheckOptions& opts);

}  // namespace plughost
