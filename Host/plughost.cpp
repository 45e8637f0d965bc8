// plughost: the host program. Loads the plug-in files and does with them what
// an artist does in the host application.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "hostside/module_table.h"
#include "plugin_loader.h"

namespace fs = std::filesystem;

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

int List(const std::vector<fs::path>& folders) {
  std::vector<std::string> problems;
  std::vector<fs::path> files = FindPluginFiles(folders, &problems);
  for (const std::string& p : problems) std::fprintf(stderr, "plughost: cannot read plug-in folder %s\n", p.c_str());
  std::printf("Plug-in folders:\n");
  for (const fs::path& f : folders) std::printf("  %s\n", f.c_str());
  if (files.empty()) {
    std::printf("No plug-in files found.\n");
    return problems.empty() ? 0 : 1;
  }
  std::vector<PluginFile> opened = OpenPluginFiles(files);
  int failed = 0;
  for (const PluginFile& pf : opened) {
    std::printf("\n%s\n", pf.path.filename().c_str());
    if (!pf.handle) {
      ++failed;
      std::printf("  failed to load: %s\n", pf.error.c_str());
      continue;
    }
    std::printf("  loaded from %s\n", pf.path.c_str());
    if (!HostIsModuleLoaded(pf.instance)) {
      std::printf("  not a module of this host (no entry object)\n");
      continue;
    }
    std::string resErr = HostModuleResourceError(pf.instance);
    if (!resErr.empty()) std::printf("  resources unreadable: %s\n", resErr.c_str());
    ResourceSummary s = Summarise(pf.instance);
    std::printf("  resources: %d string block(s), %d dialog template(s), %d bitmap(s)\n", s.stringBlocks,
                s.dialogs, s.bitmaps);
  }
  std::printf("\n%zu plug-in file(s), %d failed to load\n", opened.size(), failed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"plughost: loads the plug-in files and lists, creates, edits and renders their classes"};
  app.require_subcommand(1);
  std::vector<std::string> extraFolders;
  bool noDefault = false;
  app.add_option("--plugins", extraFolders, "Another plug-in folder to scan (repeatable)");
  app.add_flag("--no-default-plugins", noDefault, "Do not scan the build's own plug-in folder");

  CLI::App* list = app.add_subcommand("list", "List the plug-in files found, what each holds, and load failures");

  CLI11_PARSE(app, argc, argv);

  std::vector<fs::path> folders;
  if (!noDefault) folders.push_back(DefaultPluginFolder());
  for (const std::string& f : extraFolders) folders.emplace_back(f);

  if (list->parsed()) return List(folders);
  return 0;
}
