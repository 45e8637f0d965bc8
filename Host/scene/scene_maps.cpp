#include "scene/scene_maps.h"

#include <hostside/class_registry.h>
#include <hostside/host_maps.h>

#include <algorithm>

#include "common/text.h"
#include "scene/param_path.h"

namespace plughost {

std::vector<ReferenceTarget*> SceneRoots(const Scene& scene) {
  std::vector<ReferenceTarget*> roots;
  for (int i = 0; i < scene.NumRoots(); ++i) {
    if (ReferenceTarget* r = scene.Root(i)) roots.push_back(r);
  }
  return roots;
}

namespace {

struct PlacedMap {
  std::string place;
  Texmap* map;
};

// Every map of the scene where it is first met, with its place.
std::vector<PlacedMap> SceneMaps(const Scene& scene) {
  struct Collector : SceneVisitor {
    std::vector<std::string> path;
    std::vector<PlacedMap> maps;
    void Object(int depth, const std::string& name, ReferenceTarget* t, bool again) override {
      path.resize(static_cast<size_t>(depth));
      path.push_back(name);
      if (!t || again || t->SuperClassID() != TEXMAP_CLASS_ID) return;
      maps.push_back({JoinPlace(path), static_cast<Texmap*>(t)});
    }
  } collector;
  WalkScene(SceneRoots(scene), collector);
  return collector.maps;
}

}  // namespace

std::string JoinPlace(const std::vector<std::string>& segments) {
  std::string place;
  for (const std::string& segment : segments) place += (place.empty() ? "" : ".") + segment;
  return place;
}

Texmap* FindMap(const Scene& scene, const std::string& name, std::string* error) {
  if (name.empty()) {
    for (ReferenceTarget* r : SceneRoots(scene)) {
      if (r->SuperClassID() == TEXMAP_CLASS_ID) return static_cast<Texmap*>(r);
    }
    *error = "the scene holds no texture map";
    return nullptr;
  }
  std::vector<PlacedMap> maps = SceneMaps(scene);
  std::vector<Texmap*> found;
  std::string key = HostNameKey(name), list;
  for (const PlacedMap& m : maps) {
    std::string own = m.map->GetName().data();
    if (HostNameKey(m.place) == key || (!own.empty() && HostNameKey(own) == key)) {
      if (std::find(found.begin(), found.end(), m.map) == found.end()) found.push_back(m.map);
    }
    list += "\n  " + TerminalSafe(m.place) + (own.empty() ? "" : " " + QuoteText(own));
  }
  if (found.size() == 1) return found[0];
  if (found.size() > 1)
    *error = "'" + TerminalSafe(name) + "' could mean several maps; name one by its place:" + list;
  else
    *error = "no map '" + TerminalSafe(name) + "' in the scene. Its maps:" + (list.empty() ? " none" : list);
  return nullptr;
}

Texmap* NewHostMap(const std::string& choice, std::string* error) {
  // Any map class the registry knows, by name (a bitmap needs its file).
  ClassDesc* d = HostFindClassByName(choice);
  if (d && d->SuperClassID() == TEXMAP_CLASS_ID && d->IsPublic() && d->ClassID() != BITMAP_TEX_CLASS) {
    auto* made = static_cast<Texmap*>(d->Create(FALSE));
    if (!made) *error = "class '" + choice + "' created no map";
    return made;
  }
  bool checker = choice == "checker";
  auto* map = static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, checker ? CHECKER_CLASS : BITMAP_TEX_CLASS));
  if (!map) return *error = "the host's own maps are missing", nullptr;
  if (!checker && !HostSetBitmapFile(map, choice.c_str(), error)) {
    map->DeleteThis();
    return nullptr;
  }
  return map;
}

bool OpenMapScene(const std::string& sceneFile, const std::string& className, std::unique_ptr<Scene>* scene,
                  Texmap** map, std::string* error) {
  if (!sceneFile.empty()) {
    *scene = HostLoadScene(sceneFile, error);
    if (!*scene) return false;
    *map = FindMap(**scene, "", error);
    if (!*map) *error = sceneFile + ": " + *error;
    return *map != nullptr;
  }
  ClassDesc* d = HostFindClassByName(className);
  if (!d || d->SuperClassID() != TEXMAP_CLASS_ID) {
    *error = "no texture map class '" + className + "' is loaded (is its plug-in file in the plug-in folder?)";
    return false;
  }
  *scene = std::make_unique<Scene>();
  *map = static_cast<Texmap*>(d->Create(FALSE));
  if (!*map) return *error = "class '" + className + "' created no object", false;
  (*scene)->AddRoot(*map);
  return true;
}

}  // namespace plughost
