// plughost: the host program. Loads the plug-in files and does with them what
// an artist does in the host application.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/edit_command.h"
#include "cli/farm_command.h"
#include "cli/scene_command.h"
#include "editor/http_front.h"
#include "farm/assemble.h"
#include "farm/slurm_farm.h"
#include "hostside/class_registry.h"
#include "hostside/module_table.h"
#include "hostside/png_image.h"
#include "iparamb.h"
#include "plugins/param_names.h"
#include "plugins/plugin_loader.h"
#include "render/render_plan.h"

namespace fs = std::filesystem;
using namespace plughost;

namespace {

struct ResourceSummary {
  int stringBlocks = 0, dialogs = 0, bitmaps = 0, other = 0;
};

ResourceSummary Summarise(HINSTANCE instance) {
  ResourceSummary s;
  // Probe the usual resource types through the module table.
  for (uint16_t id = 1; id < 4096; ++id) {
    if (!HostFindResource(instance, ResId::Num(6), ResId::Num(id)).empty()) ++s.stringBlocks;
    if (!HostFindResource(instance, ResId::Num(5), ResId::Num(id)).empty()) ++s.dialogs;
    if (!HostFindResource(instance, ResId::Num(2), ResId::Num(id)).empty()) ++s.bitmaps;
  }
  return s;
}

const char* SuperClassName(SClass_ID s) {
  switch (s) {
    case PARAMETER_BLOCK_CLASS_ID: return "parameter block";
    case REF_TARGET_CLASS_ID: return "reference target";
    case TEXMAP_CLASS_ID: return "texture map";
    case UTILITY_CLASS_ID: return "utility";
    default: return "other";
  }
}

void PrintClass(const PluginClass& pc) {
  if (!pc.desc) {
    std::printf("    (none): %s\n", pc.problem.c_str());
    return;
  }
  ClassDesc* d = pc.desc;
  // A descriptor's texts may share one buffer that the next call overwrites
  // (a plug-in's string loader): copy each before asking for the next.
  auto text = [](const char* s) { return std::string(s ? s : ""); };
  std::string name = text(d->ClassName());
  std::string category = text(d->Category());
  std::printf("    \"%s\": %s, %s, category \"%s\", class id %s, super class %s\n", name.c_str(),
              d->IsPublic() ? "public" : "not public", SuperClassName(d->SuperClassID()), category.c_str(),
              HostClassIdText(d->ClassID()).c_str(), HostHexWord(d->SuperClassID()).c_str());
  if (!pc.registered) std::printf("      %s\n", pc.problem.c_str());
}

int List(const std::vector<fs::path>& folders) {
  std::vector<std::string> problems;
  std::vector<PluginFile> opened = LoadPlugins(folders, &problems);
  for (const std::string& p : problems) std::fprintf(stderr, "plughost: cannot read plug-in folder %s\n", p.c_str());
  std::printf("Plug-in folders:\n");
  for (const fs::path& f : folders) std::printf("  %s\n", f.c_str());
  if (opened.empty()) {
    std::printf("No plug-in files found.\n");
    return problems.empty() ? 0 : 1;
  }
  int failed = 0;
  for (const PluginFile& pf : opened) {
    std::printf("\n%s\n", pf.path.filename().c_str());
    if (!pf.handle) {
      ++failed;
      std::printf("  failed to load: %s\n", pf.error.c_str());
      continue;
    }
    std::printf("  loaded from %s\n", pf.path.c_str());
    std::printf("  description: %s\n", pf.description.c_str());
    std::printf("  version: %s\n", DescribeHostVersion(pf.version).c_str());
    if (std::string note = HostModuleNote(pf.instance); !note.empty()) std::printf("  note: %s\n", note.c_str());
    if (HostIsModuleLoaded(pf.instance)) {
      std::string resErr = HostModuleResourceError(pf.instance);
      if (!resErr.empty()) std::printf("  resources unreadable: %s\n", resErr.c_str());
      ResourceSummary s = Summarise(pf.instance);
      std::printf("  resources: %d string block(s), %d dialog template(s), %d bitmap(s)\n", s.stringBlocks, s.dialogs,
                  s.bitmaps);
    } else {
      std::printf("  resources: none (not built with the host's entry object)\n");
    }
    if (!pf.paramNamesError.empty()) {
      std::printf("  parameter names: left out: %s\n", pf.paramNamesError.c_str());
    } else if (pf.paramNameTables > 0) {
      std::printf("  parameter names: %d table(s) from %s\n", pf.paramNameTables,
                  ParamNamesFile(pf.path).filename().c_str());
    }
    std::printf("  classes: %zu\n", pf.classes.size());
    for (const PluginClass& pc : pf.classes) PrintClass(pc);
  }
  std::printf("\n%zu plug-in file(s), %d failed to load\n", opened.size(), failed);
  return 0;
}

// Loads the plug-ins a command needs; files that fail are mentioned on
// standard error and the command goes on without them.
void LoadPluginsQuietly(const std::vector<fs::path>& folders) {
  std::vector<std::string> problems;
  std::vector<PluginFile> opened = LoadPlugins(folders, &problems);
  for (const std::string& p : problems) std::fprintf(stderr, "plughost: cannot read plug-in folder %s\n", p.c_str());
  for (const PluginFile& pf : opened) {
    if (!pf.handle) {
      std::fprintf(stderr, "plughost: warning: %s not loaded: %s\n", pf.path.filename().c_str(), pf.error.c_str());
    }
    if (!pf.paramNamesError.empty())
      std::fprintf(stderr, "plughost: warning: parameter names left out: %s\n", pf.paramNamesError.c_str());
  }
}

// The options render and sample share: where the texture comes from.
void AddTextureOptions(CLI::App* cmd, TextureSource& src) {
  cmd->add_option("scene", src.sceneFile, "A scene file; its first texture map is used (default: a new texture)");
  cmd->add_option("--class", src.className, "The class of the new texture when no scene is given")
      ->capture_default_str();
  cmd->add_option("--set", src.sets, "NAME=VALUE, as plughost scene set takes it (e.g. size=4, high=0.6)")
      ->allow_extra_args(false);
  cmd->add_option("--key", src.keys, "NAME@TIME=VALUE, as plughost scene set takes it")->allow_extra_args(false);
  cmd->add_option("--map", src.map, "A sub-map for the texture: 'checker' or a PNG file (switches Map On on)");
}

// The options of a picture, for render and farm slurm.
void AddRenderOptions(CLI::App* cmd, TextureSource& src, RenderOptions& opts) {
  AddTextureOptions(cmd, src);
  cmd->add_option("-o,--output", opts.output, "The PNG to write; a run of # becomes the frame number (dirt.####.png)")
      ->capture_default_str();
  cmd->add_option("--view", opts.view, "flat (the swatch), sphere or cube")->capture_default_str();
  cmd->add_option("--channel", opts.channel, "color (over the background), mono or bump")->capture_default_str();
  AddNumberOption(cmd, "--width", opts.width, "Width in pixels");
  AddNumberOption(cmd, "--height", opts.height, "Height in pixels");
  cmd->add_option("--frames", opts.frames, "Frames to render: 0-100, 0-100x5, or a list 1,5,9");
  cmd->add_option("--time", opts.time, "One time: a frame number, or ticks with a t suffix");
}

// The options of the commands that open a texture in the material editor.
void AddEditedTextureOptions(CLI::App* cmd, std::string& sceneFile, std::string& className) {
  cmd->add_option("scene", sceneFile, "A scene file; its first texture map is edited (default: a new one)");
  cmd->add_option("--class", className, "The class of the new texture when no scene is given")->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"plughost: loads the plug-in files and lists, creates, edits and renders their classes"};
  app.require_subcommand(1);
  app.failure_message([](const CLI::App*, const CLI::Error& e) { return FailureLine(e.what()); });
  std::vector<std::string> extraFolders;
  bool noDefault = false;
  app.add_option("--plugins", extraFolders, "Another plug-in folder to scan (repeatable)");
  app.add_flag("--no-default-plugins", noDefault, "Do not scan the build's own plug-in folder");
  uint64_t maxPixels = kDefaultPixelBudget;
  app.add_option("--max-pixels", maxPixels, "The most pixels a picture read (a bitmap map's file) may have")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);

  app.fallthrough();  // the options above may also follow a subcommand

  CLI::App* list = app.add_subcommand("list", "List the plug-in files found, what each holds, and load failures");

  CLI::App* scene = app.add_subcommand("scene", "Create, edit and inspect scene files");
  scene->require_subcommand(1);
  std::string sceneFile, outFile;
  std::vector<std::string> classes, sets, keys;

  CLI::App* sceneNew = scene->add_subcommand("new", "Write a new scene holding one object of each --class");
  sceneNew->add_option("file", sceneFile, "The scene file to write")->required();
  sceneNew->add_option("--class", classes, "A class by name (case, spaces, hyphens and underscores ignored)")
      ->required()
      ->allow_extra_args(false);

  CLI::App* sceneSet = scene->add_subcommand("set", "Set parameters and keys, then save the scene");
  sceneSet->add_option("file", sceneFile, "The scene file to read")->required();
  sceneSet
      ->add_option("--set", sets,
                   "NAME=VALUE: the parameter holds VALUE at all times (its keys go). NAME is the path the "
                   "show command prints, e.g. \"Perturb.Primary Perturb Size\"; colours as r,g,b, booleans as "
                   "0/1 or on/off")
      ->allow_extra_args(false);
  sceneSet
      ->add_option("--key", keys,
                   "NAME@TIME=VALUE: a key at TIME, a frame number (160 ticks each) or ticks with a t suffix "
                   "(320t). The first key away from time 0 also keys time 0 with the value before")
      ->allow_extra_args(false);
  sceneSet->add_option("-o,--output", outFile, "Save to this file instead of the one read");

  CLI::App* sceneShow = scene->add_subcommand("show", "Print the scene's objects, parameters, values and keys");
  sceneShow->add_option("file", sceneFile, "The scene file to read")->required();

  // The map verbs: each FILE [VALUE] [--map MAP] [--into MAP --slot N] [-o OUT].
  MapVerb verb;
  std::string verbFile, verbOut;
  struct VerbSpec {
    const char* name;
    MapVerb::Kind kind;
    const char* help;
    const char* value;  // the name of the verb's value, if it takes one
  };
  const VerbSpec verbSpecs[] = {
      {"reset", MapVerb::kReset, "Reset a map: its parameters back to their defaults", nullptr},
      {"copy", MapVerb::kCopy, "Copy a map with everything it references: a new root, or --into a sub-map slot",
       nullptr},
      {"instance", MapVerb::kInstance, "Show the same map --into a sub-map slot of another map", nullptr},
      {"rename", MapVerb::kRename, "Name a map", "name"},
      {"channel", MapVerb::kChannel, "Set a map's effects channel (G-buffer id), 0 to 15", "channel"},
  };
  std::vector<std::pair<CLI::App*, MapVerb::Kind>> verbCommands;
  for (const VerbSpec& v : verbSpecs) {
    CLI::App* cmd = scene->add_subcommand(v.name, v.help);
    cmd->add_option("file", verbFile, "The scene file to read")->required();
    if (v.value) cmd->add_option(v.value, verb.value, v.help)->required();
    cmd->add_option("--map", verb.map,
                    "Which map: its name, or its place as show prints it, e.g. \"Vede #2.Map\" (default: the first "
                    "map among the roots)");
    if (v.kind == MapVerb::kCopy || v.kind == MapVerb::kInstance) {
      cmd->add_option("--into", verb.into, "The map whose sub-map slot takes it");
      AddNumberOption(cmd, "--slot", verb.slot, "That sub-map slot");
    }
    cmd->add_option("-o,--output", verbOut, "Save to this file instead of the one read");
    verbCommands.emplace_back(cmd, v.kind);
  }

  TextureSource renderSrc;
  RenderOptions renderOpts;
  CLI::App* render = app.add_subcommand(
      "render", "Write a picture of a texture (default: a new Vede, as the material editor shows a map, to vede.png)");
  AddRenderOptions(render, renderSrc, renderOpts);
  AddNumberOption(render, "--threads", renderOpts.threads, "Render threads; 0 uses every core");
  render->add_flag("-q,--quiet", renderOpts.quiet, "No progress bar");
  AddPieceOptions(render, renderOpts.piece);

  AssembleOptions assembleOpts;
  CLI::App* assemble = AddAssembleCommand(app, assembleOpts);
  TextureSource farmSrc;
  RenderOptions farmOpts;
  FarmOptions farmSlurmOpts;
  FarmCheckOptions farmCheckOpts;
  FarmCommands farm = AddFarmCommands(app, farmSlurmOpts, farmCheckOpts);
  AddRenderOptions(farm.slurm, farmSrc, farmOpts);

  TextureSource sampleSrc;
  SampleOptions sampleOpts;
  CLI::App* sample =
      app.add_subcommand("sample", "Evaluate a texture at the points read from standard input, one \"x y z\" a line");
  AddTextureOptions(sample, sampleSrc);
  sample
      ->add_option("--what", sampleOpts.what,
                   "mono, color, bump, or perturbed (the coordinates generator's point moved by the "
                   "perturbation object the map references)")
      ->capture_default_str();
  sample->add_option("--time", sampleOpts.time, "A frame number, or ticks with a t suffix")->capture_default_str();
  sample->add_option("--normal", sampleOpts.normal, "The shading normal for bump, x,y,z")->capture_default_str();

  EditOptions editOpts;
  CLI::App* edit = app.add_subcommand(
      "edit", "Open a texture in the material editor, print its rollups, act on them as a user, print and save");
  AddEditedTextureOptions(edit, editOpts.sceneFile, editOpts.className);
  edit->add_option("-o,--output", editOpts.output,
                   "Save the scene here (default: back to the scene file; with neither, nothing is saved)");
  // Actions run in the order given, whatever their kind.
  for (const EditActionOption& o : EditActionOptions()) {
    EditAction::Kind kind = o.kind;
    edit->add_option(o.flag, o.help)
        ->type_name(o.typeName)
        ->allow_extra_args(false)
        ->trigger_on_parse()
        ->each([&editOpts, kind](const std::string& v) {
          editOpts.actions.push_back({kind, v});
        });
  }

  ServeOptions serveOpts;
  CLI::App* serve = app.add_subcommand(
      "serve", "Edit a texture in the material editor in a web browser: every rollup, live preview, animation, save");
  AddEditedTextureOptions(serve, serveOpts.sceneFile, serveOpts.className);
  AddNumberOption(serve, "--port", serveOpts.port, "The port to listen on; 0 picks a free one");
  serve->add_option("--bind", serveOpts.bind, "The address to listen on (another than this machine's loopback warns)")
      ->capture_default_str();
  serve->add_flag("!--no-open", serveOpts.open, "Only print the address; do not open it in the desktop's browser");

  std::string utilityName;
  CLI::App* utility = app.add_subcommand("utility", "Open a utility in the utility panel and print its rollups");
  utility->add_option("name", utilityName, "The utility's class name, e.g. QuorlLib")->required();

  CLI11_PARSE(app, argc, argv);

  HostSetPixelBudget(maxPixels);
  std::vector<fs::path> folders;
  if (!noDefault) folders.push_back(DefaultPluginFolder());
  for (const std::string& f : extraFolders) folders.emplace_back(f);

  // Commands report what a user can get wrong themselves; anything else that
  // escapes (out of memory, say) still ends with one message, not an abort.
  try {
    if (list->parsed()) return List(folders);
    LoadPluginsQuietly(folders);
    if (sceneNew->parsed()) return SceneNew(sceneFile, classes);
    if (sceneSet->parsed()) return SceneSet(sceneFile, sets, keys, outFile);
    if (sceneShow->parsed()) return SceneShow(sceneFile);
    for (const auto& [cmd, kind] : verbCommands) {
      if (!cmd->parsed()) continue;
      verb.kind = kind;
      return SceneMapVerb(verbFile, verb, verbOut);
    }
    if (render->parsed()) return RenderCommand(renderSrc, renderOpts);
    if (assemble->parsed()) return AssembleCommand(assembleOpts);
    if (farm.slurm->parsed()) {
      for (const std::string& f : extraFolders)
        farmSlurmOpts.hostArgs.insert(farmSlurmOpts.hostArgs.end(), {"--plugins", f});
      if (noDefault) farmSlurmOpts.hostArgs.push_back("--no-default-plugins");
      return FarmSlurmCommand(farmSrc, farmOpts, farmSlurmOpts);
    }
    if (farm.check->parsed()) return FarmCheckCommand(farmCheckOpts);
    if (sample->parsed()) return SampleCommand(sampleSrc, sampleOpts);
    if (edit->parsed()) return EditCommand(editOpts);
    if (utility->parsed()) return UtilityCommand(utilityName);
    if (serve->parsed()) return ServeCommand(serveOpts);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 0;
}
