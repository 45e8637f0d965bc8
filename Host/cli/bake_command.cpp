// plughost bake: a texture's values in a model's UV layout, one picture per
// UDIM tile the UVs reach.
#include "bake/bake_plan.h"
#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "common/failure.h"
#include "scene/texture_source.h"

namespace plughost {

namespace {

int Bake(const BakeRequest& request) {
  std::string error;
  Model model;
  BakePlan plan;
  if (int status = PlanBake(request, &model, &plan, &error))
    return status == kExitBadInput ? FailBadInput(error) : Fail(error);
  OpenedTexture texture;
  if (!OpenTexture(request.source.texture, &texture, &error)) return FailBadInput(error);
  Interval valid = FOREVER;
  texture.map->Update(plan.time, valid);
  return RunBakePlan(plan, texture.map, model, &error) ? 0 : Fail(error);
}

}  // namespace

void AddBakeOptions(CLI::App* cmd, BakeRequest* opts) {
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
  cmd->add_option("--depth", opts->depth, "8 or 16 (PNG), half or float (OpenEXR; the default: float)");
  cmd->add_option("--compression", opts->compression, "As the format names it (default: the format's own)");
}

void AddBakeVerb(CLI::App& app, Verbs& verbs) {
  auto opts = std::make_shared<BakeRequest>();
  CLI::App* cmd = app.add_subcommand(
      "bake",
      "Write a texture's values into a model's UV layout (OBJ, glTF, FBX, PLY or STL), a picture per UDIM tile");
  AddBakeOptions(cmd, opts.get());
  AddNumberOption(cmd, "--threads", opts->threads, "Threads; 0 uses every core")->capture_default_str();
  cmd->add_flag("-q,--quiet", opts->quiet, "No line for each tile written");
  cmd->add_option("--tile", opts->tile,
                  "K/N: only the K-th of N tiles of each UDIM tile, row by row from the top left, to "
                  "NAME.tile-X0-Y0-X1-Y1.exr beside the UDIM tile's file; plughost assemble --udim joins them");
  AddNumberOption(cmd, "--udim", opts->udim, "Only this UDIM tile (1001, 1002, ...) of those the UVs reach");
  cmd->add_flag("--overwrite", opts->overwrite, "With --tile or --udim: bake pictures again that are already complete");
  verbs.push_back({cmd, [opts] { return Bake(*opts); }});
}

}  // namespace plughost
