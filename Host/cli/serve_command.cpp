// plughost serve: the material editor in a browser (editor/editor_server.h).
#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "editor/editor_server.h"

namespace plughost {

void AddServeVerb(CLI::App& app, Verbs& verbs) {
  auto opts = std::make_shared<ServeOptions>();
  CLI::App* cmd = app.add_subcommand(
      "serve", "Edit a texture in the material editor in a web browser: every rollup, live preview, animation, save");
  AddEditedTextureOptions(cmd, opts->sceneFile, opts->className);
  cmd->add_option("--mesh", opts->mesh, "A model (OBJ, glTF, FBX, PLY or STL) to show among the sample slot's views");
  AddNumberOption(cmd, "--port", opts->port, "The port to listen on; 0 picks a free one");
  cmd->add_option("--bind", opts->bind, "The address to listen on (another than this machine's loopback warns)")
      ->capture_default_str();
  cmd->add_flag("!--no-open", opts->open, "Only print the address; do not open it in the desktop's browser");
  verbs.push_back({cmd, [opts] { return ServeEditor(*opts); }});
}

}  // namespace plughost
