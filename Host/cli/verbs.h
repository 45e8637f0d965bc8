// The verbs of plughost. Each Add function adds its subcommand (with the
// options it owns) and says how to run it once the command line is parsed;
// main runs the one that was given.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace plughost {

// The options every verb takes (they may also follow the verb).
struct GlobalOptions {
  std::vector<std::string> pluginFolders;  // more folders to scan
  bool noDefaultPlugins = false;           // leave out the build's own folder
  uint64_t maxPixels = 0;                  // the pixel budget of a picture read

  // The folders to scan, in order.
  std::vector<std::filesystem::path> Folders() const;
  // The same as options for another plughost (a farm task).
  std::vector<std::string> AsArguments() const;
};

struct Verb {
  CLI::App* command = nullptr;
  std::function<int()> run;
  // Whether main loads the plug-ins first (list loads them itself, to
  // report each file).
  bool needsPlugins = true;
};
using Verbs = std::vector<Verb>;

void AddListVerb(CLI::App& app, const GlobalOptions& global, Verbs& verbs);
void AddSceneVerbs(CLI::App& app, Verbs& verbs);
void AddRenderVerb(CLI::App& app, Verbs& verbs);
void AddAssembleVerb(CLI::App& app, Verbs& verbs);
void AddFarmVerbs(CLI::App& app, const GlobalOptions& global, Verbs& verbs);
void AddSampleVerb(CLI::App& app, Verbs& verbs);
void AddBakeVerb(CLI::App& app, Verbs& verbs);
void AddEditVerb(CLI::App& app, Verbs& verbs);
void AddUtilityVerb(CLI::App& app, Verbs& verbs);
void AddServeVerb(CLI::App& app, Verbs& verbs);

}  // namespace plughost
