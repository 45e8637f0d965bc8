#include "scene/map_verbs.h"

#include <hostside/class_registry.h>
#include <imtl.h>

#include <set>
#include <vector>

#include "common/text.h"
#include "common/value_readers.h"
#include "scene/scene_maps.h"

namespace plughost {

namespace {

// The effects channels the material editor offers.
constexpr int kMaxEffectsChannel = 15;

// Whether `to` is `from` or among what `from` references, however deep.
bool Reaches(ReferenceTarget* from, ReferenceTarget* to) {
  std::vector<ReferenceTarget*> open = {from};
  std::set<ReferenceTarget*> seen;
  while (!open.empty()) {
    ReferenceTarget* t = open.back();
    open.pop_back();
    if (t == to) return true;
    if (!t || !seen.insert(t).second) continue;
    for (int i = 0; i < t->NumRefs(); ++i) open.push_back(t->GetReference(i));
  }
  return false;
}

}  // namespace

bool CheckMapVerb(const MapVerb& verb, std::string* error) {
  if (verb.kind == MapVerb::kChannel) {
    int channel = 0;
    if (!ParseInt(verb.value, &channel, error)) return false;
    if (channel < 0 || channel > kMaxEffectsChannel)
      return *error = "'" + TerminalSafe(verb.value) + "' is out of range for an effects channel (0 to 15)", false;
  }
  if (verb.kind == MapVerb::kInstance && verb.into.empty())
    return *error = "instance needs --into: the map whose sub-map slot is to show the same map", false;
  return true;
}

bool ApplyMapVerb(Scene& scene, const std::string& file, const MapVerb& verb, std::string* error) {
  if (!CheckMapVerb(verb, error)) return false;
  Texmap* map = FindMap(scene, verb.map, error);
  if (!map) return *error = file + ": " + *error, false;
  Texmap* into = nullptr;
  if (!verb.into.empty()) {
    into = FindMap(scene, verb.into, error);
    if (!into) return *error = file + ": --into " + *error, false;
    if (verb.slot < 0 || verb.slot >= into->NumSubTexmaps()) {
      *error = "'" + HostClassName(into) + "' has " + std::to_string(into->NumSubTexmaps()) +
               " sub-map slot(s); there is no slot " + std::to_string(verb.slot);
      return false;
    }
    if (verb.kind == MapVerb::kInstance && Reaches(map, into))
      return *error = "a map cannot show itself: '" + TerminalSafe(verb.into) + "' is the map or a part of it", false;
  }
  switch (verb.kind) {
    case MapVerb::kReset: map->Reset(); break;
    case MapVerb::kRename: map->SetName(verb.value.c_str()); break;
    case MapVerb::kChannel: {
      int channel = 0;
      ParseInt(verb.value, &channel);  // checked above
      map->SetGBufID(static_cast<unsigned int>(channel));
      break;
    }
    case MapVerb::kCopy: {
      auto* copy = static_cast<Texmap*>(CloneRefHierarchy(map));
      if (!copy) return *error = "'" + HostClassName(map) + "' cannot be copied: its class makes no copy", false;
      if (into)
        into->SetSubTexmap(verb.slot, copy);
      else
        scene.AddRoot(copy);
      break;
    }
    case MapVerb::kInstance: into->SetSubTexmap(verb.slot, map); break;
  }
  return true;
}

}  // namespace plughost
