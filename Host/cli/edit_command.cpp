// plughost edit: a texture in the material editor, driven as a user would,
// with every rollup printed before and after the actions.
#include <hostside/class_registry.h>
#include <hostside/scene_file.h>
#include <hostside/ui.h>

#include <cstdio>
#include <memory>

#include "cli/cli_options.h"
#include "cli/user_messages.h"
#include "cli/verbs.h"
#include "common/failure.h"
#include "editor/edit_session.h"
#include "editor/rollup_text.h"
#include "scene/scene_maps.h"

namespace plughost {

namespace {

struct EditOptions {
  std::string sceneFile;  // empty: a new texture of `className`
  std::string className = kNewMapClass;
  std::string output;  // empty: back to the scene file, or (no scene) nothing saved
  std::vector<EditAction> actions;
};

// Opens the material editor on the scene's first texture map (or a new one),
// prints its rollups, applies the actions, prints the rollups again and
// saves. Controls are named by id, or by "TITLE:ID" where several open
// rollups have the id.
int EditCommand(const EditOptions& opts) {
  UserMessages messages;
  std::string error;
  std::unique_ptr<Scene> scene;
  Texmap* tex = nullptr;
  if (!OpenMapScene(opts.sceneFile, opts.className, &scene, &tex, &error)) return FailBadInput(error);

  bool ok = true;
  {
    // The editor goes before the scene that keeps the texture.
    EditSession session;
    if (!session.Show(tex, &error)) return Fail(error);
    std::printf("Material editor: %s\n", HostClassName(tex).c_str());
    PrintRollups(session.Rollups());
    if (!opts.actions.empty()) {
      for (const EditAction& a : opts.actions) {
        std::printf("\n> %s\n", ActionText(a).c_str());
        if (!session.Apply(a, &error)) {
          ok = false;
          error = ActionText(a) + ": " + error;
          break;
        }
        if (session.AskedForMap()) std::printf("  (the map button's choice was cancelled: choose with --map)\n");
      }
      if (ok) {
        std::printf("\nAfter the actions:\n");
        PrintRollups(session.Rollups());
      }
    }
    session.Close();
  }
  SetAnimateMode(FALSE);
  // A failed action saves nothing.
  if (!ok) return FailBadInput(error);

  std::string out = !opts.output.empty() ? opts.output : opts.sceneFile;
  if (out.empty()) return 0;
  if (!HostSaveScene(*scene, out, &error)) return Fail(error);
  std::printf("\nSaved %s\n", out.c_str());
  return 0;
}

}  // namespace

void AddEditVerb(CLI::App& app, Verbs& verbs) {
  auto opts = std::make_shared<EditOptions>();
  CLI::App* cmd = app.add_subcommand(
      "edit", "Open a texture in the material editor, print its rollups, act on them as a user, print and save");
  AddEditedTextureOptions(cmd, opts->sceneFile, opts->className);
  cmd->add_option("-o,--output", opts->output,
                  "Save the scene here (default: back to the scene file; with neither, nothing is saved)");
  // Actions run in the order given, whatever their kind.
  for (const EditActionOption& o : EditActionOptions()) {
    EditAction::Kind kind = o.kind;
    if (!*o.typeName) {
      cmd->add_flag(o.flag, o.help)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->trigger_on_parse()
          ->each([opts, kind](const std::string&) {
            opts->actions.push_back({kind, ""});
          });
      continue;
    }
    cmd->add_option(o.flag, o.help)
        ->type_name(o.typeName)
        ->allow_extra_args(false)
        ->trigger_on_parse()
        ->each([opts, kind](const std::string& v) {
          opts->actions.push_back({kind, v});
        });
  }
  verbs.push_back({cmd, [opts] { return EditCommand(*opts); }});
}

}  // namespace plughost
