// plughost assemble: joins the tiles of a still (render --tile K/N) or the
// pieces of a bake (bake --tile K/N).
#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "farm/assemble.h"

namespace plughost {

void AddAssembleVerb(CLI::App& app, Verbs& verbs) {
  auto opts = std::make_shared<AssembleOptions>();
  CLI::App* cmd = app.add_subcommand(
      "assemble", "Join the tiles of a picture rendered with --tile K/N, or of a bake baked with --tile K/N");
  cmd->add_option("-o,--output", opts->output, "The picture the tiles were rendered for")->capture_default_str();
  AddNumberOption(cmd, "--width", opts->width, "Width of the whole picture in pixels (a bake: of a UDIM tile)");
  AddNumberOption(cmd, "--height", opts->height, "Height of the whole picture in pixels (a bake: of a UDIM tile)");
  cmd->add_option("--udim", opts->udims,
                  "A bake's UDIM tiles, every one it wrote (e.g. --udim 1001,1002): -o is the bake's, and each tile's "
                  "file is joined from its pieces")
      ->delimiter(',');
  AddNumberOption(cmd, "--tiles", opts->tiles, "N, as given to --tile K/N")->required();
  cmd->add_option("--compression", opts->compression,
                  "The compression the tiles were rendered with (default: an OpenEXR tile's own, PNG's default)");
  verbs.push_back({cmd, [opts] { return AssembleCommand(*opts); }});
}

}  // namespace plughost
