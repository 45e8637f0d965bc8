// plughost bake: a texture's values in a model's UV layout, one picture per
// UDIM tile the UVs reach.
#include <hostside/file_io.h>
#include <hostside/picture_io.h>

#include <cstdio>

#include "bake/texture_bake.h"
#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "geometry/model_import.h"
#include "render/renderer.h"
#include "scene/texture_source.h"

namespace plughost {

namespace {

struct BakeOptions {
  std::string model;
  RenderRequest source;  // only its texture: the render options of that scope
  std::string output = "bake.exr";
  std::string what = "color";
  int size = 1024;
  int width = 0, height = 0;  // 0: --size
  int uv = 1;
  int margin = 16;
  std::string time = "0";
  int threads = 0;
  std::string depth, compression;
  bool quiet = false;
};

int Bake(const BakeOptions& opts) {
  std::string error;
  BakeValue what{};
  if (!ParseBakeValue(opts.what, &what))
    return FailBadInput("unknown --what '" + opts.what + "' (color, mono, bump or normal)");
  TimeValue t = 0;
  if (!ParseTime(opts.time, &t, &error)) return FailBadInput("--time " + error);
  HostPictureWriteOptions write;
  write.display = false;
  write.compression = opts.compression;
  write.threads = RenderThreadCount(opts.threads);
  if (!opts.depth.empty() && !HostParsePictureDepth(opts.depth, &write.depth))
    return FailBadInput("unknown --depth '" + opts.depth + "' (8, 16, half or float)");
  BakeLayoutOptions layout;
  layout.width = opts.width ? opts.width : opts.size;
  layout.height = opts.height ? opts.height : opts.size;
  layout.channel = opts.uv;
  layout.margin = opts.margin;
  layout.threads = RenderThreadCount(opts.threads);

  // Everything the user typed is read before the model and the texture.
  Model model;
  if (!ImportModel(opts.model, ImportBudget{}, &model, &error)) return FailImport(error);
  std::vector<int> tiles;
  if (!FindUdimTiles(model, layout, &tiles, &error) || !PrepareBakeModel(&model, what, layout.channel, &error))
    return FailBadInput(opts.model + ": " + error);
  const bool several = tiles.size() > 1;
  for (int udim : tiles) {
    std::string file = BakeTileFileName(opts.output, udim, several);
    HostPictureFormat format{};
    if (!HostPictureFormatFor(file, &format, &error)) return FailBadInput("cannot write " + file + ": " + error);
    if (!HostCheckOutputFile(file, &error)) return Fail("cannot write " + file + ": " + error);
    if (!HostPictureFits(format, BakeShape(what, layout.width, layout.height), &error))
      return FailBadInput("cannot write " + file + ": " + error);
  }
  OpenedTexture texture;
  if (!OpenTexture(opts.source.texture, &texture, &error)) return FailBadInput(error);
  Interval valid = FOREVER;
  texture.map->Update(t, valid);

  write.metadata = {{"model", opts.model}, {"time", TimeText(t)}, {"value", opts.what}};
  if (!opts.source.texture.sceneFile.empty()) write.metadata.push_back({"scene", opts.source.texture.sceneFile});
  for (int udim : tiles) {
    BakeTile tile;
    if (!LayOutBakeTile(model, layout, udim, {}, &tile, &error)) return FailBadInput(opts.model + ": " + error);
    if (tile.overlap.texels) std::fprintf(stderr, "plughost: note: %s\n", DescribeOverlap(model, tile).c_str());
    HostPicture picture;
    ShadeBakeTile(texture.map, model, layout, tile, what, t, &picture);
    std::string file = BakeTileFileName(opts.output, udim, several);
    HostPictureWriteOptions tileWrite = write;
    HostPictureFormat format{};
    HostPictureFormatFor(file, &format, &error);  // checked before the texture opened
    // A bake is data: OpenEXR keeps it whole unless a depth is asked for.
    if (opts.depth.empty() && format == HostPictureFormat::kExr) tileWrite.depth = HostPictureDepth::kFloat;
    tileWrite.metadata.push_back({"udim", std::to_string(udim)});
    if (!HostWritePicture(file, picture, tileWrite, &error)) return Fail(error);
    if (!opts.quiet) {
      std::fprintf(stderr, "plughost: baked %s (tile %d: %llu texels covered, %llu padded)\n", file.c_str(), udim,
                   static_cast<unsigned long long>(tile.covered), static_cast<unsigned long long>(tile.padded));
    }
  }
  return 0;
}

}  // namespace

void AddBakeVerb(CLI::App& app, Verbs& verbs) {
  auto opts = std::make_shared<BakeOptions>();
  CLI::App* cmd = app.add_subcommand(
      "bake",
      "Write a texture's values into a model's UV layout (OBJ, glTF, FBX, PLY or STL), a picture per UDIM tile");
  cmd->add_option("model", opts->model, "The model whose UVs are baked")->required();
  AddRenderOptions(cmd, opts->source, {RenderOptionScope::kTexture});
  cmd->add_option("-o,--output", opts->output,
                  "The picture to write (.exr or .png); <UDIM> becomes the tile's number, and several tiles "
                  "without it put .1001 ... before the extension")
      ->capture_default_str();
  cmd->add_option("--what", opts->what,
                  "color (premultiplied RGBA), mono (the coverage), bump (X, Y, Z, object space) or normal (a "
                  "tangent-space normal map)")
      ->capture_default_str();
  AddNumberOption(cmd, "--size", opts->size, "Texels of each tile's side")->capture_default_str();
  AddNumberOption(cmd, "--width", opts->width, "Texels of each tile's width (default: --size)");
  AddNumberOption(cmd, "--height", opts->height, "Texels of each tile's height (default: --size)");
  AddNumberOption(cmd, "--uv", opts->uv, "The map channel whose UVs are baked (1: the file's first)")
      ->capture_default_str();
  AddNumberOption(cmd, "--margin", opts->margin, "Texels of padding around each UV island")->capture_default_str();
  cmd->add_option("--time", opts->time, "A frame number, or ticks with a t suffix")->capture_default_str();
  AddNumberOption(cmd, "--threads", opts->threads, "Threads; 0 uses every core")->capture_default_str();
  cmd->add_option("--depth", opts->depth, "8 or 16 (PNG), half or float (OpenEXR; the default: float)");
  cmd->add_option("--compression", opts->compression, "As the format names it (default: the format's own)");
  cmd->add_flag("-q,--quiet", opts->quiet, "No line for each tile written");
  verbs.push_back({cmd, [opts] { return Bake(*opts); }});
}

}  // namespace plughost
