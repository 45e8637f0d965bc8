#include "plugin_loader.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "hostside/module_table.h"

namespace fs = std::filesystem;

namespace {

constexpr std::array kPluginEndings = {".dlu", ".dlt", ".dlo", ".dlm", ".dlc", ".dlr", ".dle",
                                       ".dli", ".dlh", ".dls", ".dlv", ".dlf", ".bmi", ".flt"};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

bool IsPluginFileName(const fs::path& p) {
  std::string ext = Lower(p.extension().string());
  return std::find(kPluginEndings.begin(), kPluginEndings.end(), ext) != kPluginEndings.end();
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
      bool la = Lower(a.extension().string()) == ".dlu", lb = Lower(b.extension().string()) == ".dlu";
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
    dlerror();
    pf.handle = dlopen(f.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!pf.handle) {
      const char* e = dlerror();
      pf.error = e ? e : "unknown loader error";
    } else {
      // The module's instance handle is its load address, as its entry object
      // registered it.
      struct link_map* map = nullptr;
      if (dlinfo(pf.handle, RTLD_DI_LINKMAP, &map) == 0 && map)
        pf.instance = reinterpret_cast<HINSTANCE>(map->l_addr);
    }
    out.push_back(std::move(pf));
  }
  return out;
}

fs::path DefaultPluginFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::path("plugins");
  return exe.parent_path().parent_path() / "plugins";
}
