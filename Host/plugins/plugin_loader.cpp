#include "plugins/plugin_loader.h"

#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "hostside/class_registry.h"
#include "hostside/module_table.h"
#include "plugins/host_entries.h"
#include "plugins/param_names.h"
#include "plugins/plugin_check.h"

namespace fs = std::filesystem;

namespace plughost {

namespace {

constexpr std::array kPluginEndings = {".dlu", ".dlt", ".dlo", ".dlm", ".dlc", ".dlr", ".dle",
                                       ".dli", ".dlh", ".dls", ".dlv", ".dlf", ".bmi", ".flt"};

// File names compare without case, as on the host's own file system.
bool IsLibrary(const fs::path& p) { return strcasecmp(p.extension().c_str(), ".dlu") == 0; }

}  // namespace

bool IsPluginFileName(const fs::path& p) {
  return std::any_of(kPluginEndings.begin(), kPluginEndings.end(),
                     [&](const char* ending) { return strcasecmp(p.extension().c_str(), ending) == 0; });
}

std::vector<fs::path> FindPluginFiles(const std::vector<fs::path>& folders, std::vector<std::string>* problems) {
  std::vector<fs::path> out;
  for (const fs::path& folder : folders) {
    std::error_code ec;
    std::vector<fs::path> here;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec) && IsPluginFileName(it->path())) here.push_back(fs::canonical(it->path(), ec));
    }
    if (ec && problems) problems->push_back(folder.string() + ": " + ec.message());
    std::sort(here.begin(), here.end(), [](const fs::path& a, const fs::path& b) {
      bool la = IsLibrary(a), lb = IsLibrary(b);
      return la != lb ? la : a.filename() < b.filename();
    });
    out.insert(out.end(), here.begin(), here.end());
  }
  return out;
}

std::vector<PluginFile> OpenPluginFiles(const std::vector<fs::path>& files) {
  std::vector<PluginFile> out;
  for (const fs::path& f : files) {
    PluginFile pf;
    pf.path = f;
    // A damaged file is reported and skipped before it can take this
    // process down.
    pf.error = ElfImageProblem(f);
    if (pf.error.empty()) pf.error = ProbeLoadInChild(f);
    if (!pf.error.empty()) {
      out.push_back(std::move(pf));
      continue;
    }
    dlerror();
    pf.handle = dlopen(f.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!pf.handle) {
      const char* e = dlerror();
      pf.error = e ? e : "unknown loader error";
    } else {
      // The module's instance handle is its load address, as its entry object
      // registered it.
      struct link_map* map = nullptr;
      if (dlinfo(pf.handle, RTLD_DI_LINKMAP, &map) == 0 && map) pf.instance = reinterpret_cast<HINSTANCE>(map->l_addr);
    }
    out.push_back(std::move(pf));
  }
  return out;
}

namespace {

// A plug-in that claims more classes than this is taken to be broken.
constexpr int kMaxClassesPerFile = 4096;

template <typename Fn>
Fn Entry(void* handle, const char* name) {
  return reinterpret_cast<Fn>(dlsym(handle, name));
}

void Refuse(PluginFile& pf, const std::string& why) {
  dlclose(pf.handle);
  pf.handle = nullptr;
  pf.instance = nullptr;
  pf.error = why;
}

std::string SourceOf(ClassDesc* desc) {
  for (const RegisteredClass& rc : HostClasses()) {
    if (rc.desc->SuperClassID() == desc->SuperClassID() && rc.desc->ClassID() == desc->ClassID()) return rc.source;
  }
  return "?";
}

void RegisterOne(PluginFile& pf) {
  auto version = Entry<LibVersionFn>(pf.handle, "LibVersion");
  auto description = Entry<LibDescriptionFn>(pf.handle, "LibDescription");
  auto number = Entry<LibNumberClassesFn>(pf.handle, "LibNumberClasses");
  auto classDesc = Entry<LibClassDescFn>(pf.handle, "LibClassDesc");
  std::string missing;
  if (!version) missing += " LibVersion";
  if (!description) missing += " LibDescription";
  if (!number) missing += " LibNumberClasses";
  if (!classDesc) missing += " LibClassDesc";
  if (!missing.empty()) return Refuse(pf, "not a plug-in of this host: it lacks" + missing);

  pf.version = version();
  unsigned long api = (pf.version >> 8) & 0xFF;
  if (api != MAX_API_NUM) {
    return Refuse(pf, "built for host API " + std::to_string(api) + " (version " + HostHexWord(pf.version) +
                          "), this host has API " + std::to_string(MAX_API_NUM));
  }
  const char* text = description();
  pf.description = text ? text : "";
  int count = number();
  if (count < 0 || count > kMaxClassesPerFile) {
    return Refuse(pf, "LibNumberClasses answered " + std::to_string(count) + ", not a number of classes");
  }
  std::string source = pf.path.filename().string();
  for (int i = 0; i < count; ++i) {
    PluginClass pc;
    pc.desc = classDesc(i);
    if (!pc.desc) {
      pc.problem = "LibClassDesc(" + std::to_string(i) + ") gave no class";
    } else if (HostRegisterClass(pc.desc, source)) {
      pc.registered = true;
    } else {
      pc.problem = "not registered: " + SourceOf(pc.desc) + " registered a class with the same ids first";
    }
    pf.classes.push_back(std::move(pc));
  }
}

}  // namespace

void RegisterPluginClasses(std::vector<PluginFile>& files) {
  for (PluginFile& pf : files) {
    if (pf.handle) RegisterOne(pf);
  }
}

std::vector<PluginFile> LoadPlugins(const std::vector<fs::path>& folders, std::vector<std::string>* problems) {
  HostRegisterBuiltinClasses();
  std::vector<PluginFile> files = OpenPluginFiles(FindPluginFiles(folders, problems));
  RegisterPluginClasses(files);
  for (PluginFile& pf : files) {
    if (!pf.handle) continue;
    LoadParamNames(pf);
    LoadHostEntries(pf);
  }
  return files;
}

std::string DescribeHostVersion(unsigned long version) {
  return HostHexWord(version) + " (release " + std::to_string((version >> 16) & 0xFFFF) + ", API " +
         std::to_string((version >> 8) & 0xFF) + ", revision " + std::to_string(version & 0xFF) + ")";
}

fs::path DefaultPluginFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::path("plugins");
  return exe.parent_path().parent_path() / "plugins";
}

}  // namespace plughost
