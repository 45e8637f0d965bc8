#include "known_params.h"

#include <hostside/scene_file.h>
#include <iparamb.h>

#include <map>
#include <mutex>

namespace {

// The texture's block: for each parameter index, the id of its name in the
// texture's own string table.
const Class_ID kDirtClass(0x761983AE, 0x9B35C99C);
const std::vector<int> kDirtNameIds = {7, 6, 8, 9, 10, 11, 13};

struct KnownClass {
  HINSTANCE instance;
  const std::vector<int>* ids;
};
std::map<Class_ID, KnownClass>& Known() {
  static std::map<Class_ID, KnownClass> k;
  return k;
}

std::string Fallback(ReferenceMaker* owner, ReferenceTarget* block, int index) {
  auto it = Known().find(owner->ClassID());
  if (it == Known().end() || !block || owner->GetReference(1) != block) return {};
  const std::vector<int>& ids = *it->second.ids;
  if (index < 0 || static_cast<size_t>(index) >= ids.size()) return {};
  char buf[256];
  return LoadStringA(it->second.instance, static_cast<UINT>(ids[static_cast<size_t>(index)]), buf, sizeof buf) > 0
             ? std::string(buf)
             : std::string();
}

}  // namespace

void InstallKnownParamNames(const std::vector<PluginFile>& files) {
  for (const PluginFile& f : files) {
    for (const PluginClass& c : f.classes) {
      if (c.registered && c.desc && c.desc->ClassID() == kDirtClass)
        Known()[kDirtClass] = KnownClass{f.instance, &kDirtNameIds};
    }
  }
  HostSetParamNameFallback(&Fallback);
}
