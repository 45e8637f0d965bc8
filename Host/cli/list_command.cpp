// plughost list: the plug-in files found, what each holds, and why a file
// failed to load.
#include <hostside/class_registry.h>
#include <hostside/module_table.h>
#include <iparamb.h>
#include <windows.h>

#include <cstdio>

#include "cli/verbs.h"
#include "common/failure.h"
#include "plugins/host_entries.h"
#include "plugins/param_names.h"
#include "plugins/plugin_loader.h"

namespace fs = std::filesystem;

namespace plughost {

namespace {

struct ResourceSummary {
  int stringBlocks = 0, dialogs = 0, bitmaps = 0, other = 0;
};

ResourceSummary Summarise(HINSTANCE instance) {
  ResourceSummary s;
  // Probe the usual resource types through the module table.
  for (uint16_t id = 1; id < 4096; ++id) {
    if (!HostFindResource(instance, ResId::From(RT_STRING), ResId::Num(id)).empty()) ++s.stringBlocks;
    if (!HostFindResource(instance, ResId::From(RT_DIALOG), ResId::Num(id)).empty()) ++s.dialogs;
    if (!HostFindResource(instance, ResId::From(RT_BITMAP), ResId::Num(id)).empty()) ++s.bitmaps;
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
    return problems.empty() ? 0 : kExitBadInput;
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
    if (!pf.hostEntriesError.empty()) {
      std::printf("  host entries: left out: %s\n", pf.hostEntriesError.c_str());
    } else if (pf.hostEntries > 0) {
      std::printf("  host entries: %d from %s\n", pf.hostEntries, HostEntriesFile(pf.path).filename().c_str());
    }
    std::printf("  classes: %zu\n", pf.classes.size());
    for (const PluginClass& pc : pf.classes) PrintClass(pc);
  }
  std::printf("\n%zu plug-in file(s), %d failed to load\n", opened.size(), failed);
  return 0;
}

}  // namespace

void AddListVerb(CLI::App& app, const GlobalOptions& global, Verbs& verbs) {
  CLI::App* cmd = app.add_subcommand("list", "List the plug-in files found, what each holds, and load failures");
  verbs.push_back({cmd, [&global] { return List(global.Folders()); }, false});
}

}  // namespace plughost
