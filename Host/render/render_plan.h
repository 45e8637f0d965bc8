// plughost render and plughost sample: pictures and values of a texture map.
#pragma once

#include <string>
#include <vector>

#include "render/render_pieces.h"
#include "scene/scene_maps.h"

namespace plughost {

struct TextureSource {
  std::string sceneFile;  // empty: a new texture of `className` with its defaults
  std::string className = kNewMapClass;
  std::vector<std::string> sets, keys;  // as plughost scene set takes them
  std::string map;                      // a sub-map: "checker", a PNG file, or empty
};

struct RenderOptions {
  std::string output = "vede.png";  // '#' runs become the frame number, zero padded
  std::string view = "flat", channel = "color";
  int width = 256, height = 256;
  std::string frames;  // "0-100", "0-100x5", "1,5,9", or empty: frame 0 (or --time)
  std::string time;    // a single time, as for --key
  int threads = 0;
  bool quiet = false;
  PieceOptions piece;   // a chunk, tile or region only (render_pieces.h)
  bool dryRun = false;  // check the options, the texture and the output folders; render nothing
};

int RenderCommand(const TextureSource& src, const RenderOptions& opts);

struct SampleOptions {
  std::string what = "mono";  // mono, color, bump, perturbed
  std::string time = "0";
  std::string normal = "0,0,1";
};

int SampleCommand(const TextureSource& src, const SampleOptions& opts);

// Frame lists: "A-B" (every frame), "A-BxS" (every S-th), and comma lists of
// those. Frames may be negative, and their times must fit in a time value;
// at most kMaxFrames in all. False with a message for anything else.
constexpr int kMaxFrames = 100000;
bool ParseFrameList(const std::string& text, std::vector<int>* frames, std::string* error);
// The output name for a frame: each run of '#' becomes the frame number
// padded with zeros to the run's length; several frames and no '#' put
// ".####" before the extension.
std::string FrameFileName(const std::string& pattern, int frame, bool several);

}  // namespace plughost
