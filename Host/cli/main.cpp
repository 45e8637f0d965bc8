// plughost: the host program. Loads the plug-in files and does with them what
// an artist does in the host application; each verb lives in its own file.
#include <hostside/png_image.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "cli/verbs.h"
#include "common/failure.h"
#include "plugins/plugin_loader.h"

namespace fs = std::filesystem;

namespace plughost {

std::vector<fs::path> GlobalOptions::Folders() const {
  std::vector<fs::path> folders;
  if (!noDefaultPlugins) folders.push_back(DefaultPluginFolder());
  for (const std::string& f : pluginFolders) folders.emplace_back(f);
  return folders;
}

std::vector<std::string> GlobalOptions::AsArguments() const {
  std::vector<std::string> args;
  for (const std::string& f : pluginFolders) args.insert(args.end(), {"--plugins", f});
  if (noDefaultPlugins) args.push_back("--no-default-plugins");
  return args;
}

namespace {

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
    if (!pf.hostEntriesError.empty())
      std::fprintf(stderr, "plughost: warning: host entries left out: %s\n", pf.hostEntriesError.c_str());
  }
}

void AddGlobalOptions(CLI::App& app, GlobalOptions& global) {
  app.add_option("--plugins", global.pluginFolders, "Another plug-in folder to scan (repeatable)");
  app.add_flag("--no-default-plugins", global.noDefaultPlugins, "Do not scan the build's own plug-in folder");
  global.maxPixels = kDefaultPixelBudget;
  app.add_option("--max-pixels", global.maxPixels, "The most pixels a picture read (a bitmap map's file) may have")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.fallthrough();  // the options above may also follow a subcommand
}

}  // namespace

}  // namespace plughost

int main(int argc, char** argv) {
  using namespace plughost;
  CLI::App app{"plughost: loads the plug-in files and lists, creates, edits and renders their classes"};
  app.require_subcommand(1);
  app.failure_message([](const CLI::App*, const CLI::Error& e) { return FailureLine(e.what()); });
  GlobalOptions global;
  AddGlobalOptions(app, global);
  Verbs verbs;
  AddListVerb(app, global, verbs);
  AddSceneVerbs(app, verbs);
  AddRenderVerb(app, verbs);
  AddAssembleVerb(app, verbs);
  AddFarmVerbs(app, global, verbs);
  AddSampleVerb(app, verbs);
  AddBakeVerb(app, verbs);
  AddEditVerb(app, verbs);
  AddServeVerb(app, verbs);
  AddUtilityVerb(app, verbs);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help is a success; every other word the parser refuses is bad input,
    // whatever CLI11's own code for it.
    return app.exit(e) == 0 ? 0 : kExitBadInput;
  }

  HostSetPixelBudget(global.maxPixels);
  // Commands report what a user can get wrong themselves; anything else that
  // escapes (out of memory, say) still ends with one message, not an abort.
  try {
    for (const Verb& v : verbs) {
      if (!v.command->parsed()) continue;
      if (v.needsPlugins) LoadPluginsQuietly(global.Folders());
      return v.run();
    }
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 0;
}
