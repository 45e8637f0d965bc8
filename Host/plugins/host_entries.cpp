#include "plugins/host_entries.h"

#include <dlfcn.h>

#include <map>
#include <utility>

#include "plugins/plugin_check.h"

namespace fs = std::filesystem;

namespace plughost {

namespace {

// By the super class and class id of the class the entry serves.
std::map<std::pair<SClass_ID, Class_ID>, HostPerturbPointFn>& PerturbPoints() {
  static std::map<std::pair<SClass_ID, Class_ID>, HostPerturbPointFn> entries;
  return entries;
}

// A plug-in answers a few entries, never thousands.
constexpr int kMaxEntries = 1024;

}  // namespace

fs::path HostEntriesFile(const fs::path& pluginFile) { return pluginFile.string() + ".host-entries.so"; }

void LoadHostEntries(PluginFile& file) {
  fs::path module = HostEntriesFile(file.path);
  std::error_code ec;
  if (!fs::exists(module, ec)) return;
  auto leaveOut = [&](const std::string& why) { file.hostEntriesError = module.filename().string() + ": " + why; };
  std::string problem = ElfImageProblem(module);
  if (problem.empty()) problem = ProbeLoadInChild(module);
  if (!problem.empty()) return leaveOut(problem);
  // Held open for the life of the process, as the plug-in file is.
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return leaveOut(dlerror());
  auto entries = reinterpret_cast<HostEntriesFn>(dlsym(handle, "HostEntries"));
  const HostEntryTable* table = entries ? entries() : nullptr;
  if (!table) return leaveOut("it exports no HostEntries table");
  if (table->version != HOST_ENTRIES_VERSION)
    return leaveOut("its table is of version " + std::to_string(table->version) + ", not " +
                    std::to_string(HOST_ENTRIES_VERSION));
  if (table->perturbPointCount < 0 || table->perturbPointCount > kMaxEntries ||
      (table->perturbPointCount > 0 && !table->perturbPoint))
    return leaveOut("its table is malformed");
  for (int i = 0; i < table->perturbPointCount; ++i) {
    const HostPerturbPointEntry& e = table->perturbPoint[i];
    for (const PluginClass& c : file.classes) {
      if (!c.registered || !e.perturb || c.desc->ClassID() != e.classId) continue;
      PerturbPoints()[{c.desc->SuperClassID(), e.classId}] = e.perturb;
      ++file.hostEntries;
    }
  }
}

HostPerturbPointFn FindPerturbPoint(ReferenceTarget* object) {
  if (!object) return nullptr;
  auto it = PerturbPoints().find({object->SuperClassID(), object->ClassID()});
  return it == PerturbPoints().end() ? nullptr : it->second;
}

}  // namespace plughost
