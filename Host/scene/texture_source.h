// The map a command works on, as the user names it: a scene file (its first
// map) or a new map of a class, with settings and keys applied and, where
// asked, one of the host's maps in its first sub-map slot. render, sample
// and the farm read their texture this way.
#pragma once

#include <hostside/scene_file.h>
#include <imtl.h>

#include <memory>
#include <string>
#include <vector>

#include "scene/scene_maps.h"

namespace plughost {

struct TextureSource {
  std::string sceneFile;  // empty: a new map of `className` with its defaults
  std::string className = kNewMapClass;
  std::vector<std::string> sets, keys;  // as plughost scene set takes them
  std::string map;                      // a sub-map: "checker", a PNG file, or empty
};

// The scene and the map in it; the map is a root of the scene, which owns it.
struct OpenedTexture {
  std::unique_ptr<Scene> scene;
  Texmap* map = nullptr;
};

// Reads every --set and --key first (a typo costs no loading), then opens the
// scene or makes the map, assigns the sub-map and applies the settings. False
// with one line for the user otherwise.
bool OpenTexture(const TextureSource& source, OpenedTexture* out, std::string* error);

}  // namespace plughost
