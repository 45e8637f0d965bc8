#include "scene/texture_source.h"

#include "scene/param_path.h"

namespace plughost {

bool OpenTexture(const TextureSource& src, OpenedTexture* out, std::string* error) {
  ParamAssignments assignments;
  if (!ParseAssignments(src.sets, src.keys, &assignments, error)) return false;
  if (!OpenMapScene(src.sceneFile, src.className, &out->scene, &out->map, error)) return false;
  if (!src.map.empty()) {
    Texmap* map = NewHostMap(src.map, error);
    if (!map) return *error = "--map " + *error, false;
    out->map->SetSubTexmap(0, map);
  }
  return ApplyAssignments(SceneRoots(*out->scene), assignments, error);
}

}  // namespace plughost
