// Maps in scenes, as the commands find and name them.
#pragma once

#include <hostside/scene_file.h>
#include <imtl.h>

#include <memory>
#include <string>
#include <vector>

namespace plughost {

std::vector<ReferenceTarget*> SceneRoots(const Scene& scene);

// The map a user names in a scene: by its name, or by its place as
// `plughost scene show` prints it (the root's label, then the sub-anim names
// that lead to it: "Vede #2.Map"), ignoring case, spaces, hyphens and
// underscores. An empty name means the first map among the roots. Null with a
// message that lists the scene's maps otherwise.
Texmap* FindMap(const Scene& scene, const std::string& name, std::string* error);

// A place from the names that lead to an object in a walk of the scene.
std::string JoinPlace(const std::vector<std::string>& segments);

// A new map for a sub-map slot: of any public map class the registry knows,
// by its name ("Checker", a plug-in's map), or a bitmap of a PNG file. Null
// with the reason otherwise.
Texmap* NewHostMap(const std::string& choice, std::string* error);

// The class of the map that render, sample, edit and serve make when they are
// given no scene (each takes --class for another).
inline constexpr const char* kNewMapClass = "Vede";

// The scene of a command that works on one map: the scene file with its first
// map root, or without a file a new scene holding a new map of `className`.
bool OpenMapScene(const std::string& sceneFile, const std::string& className, std::unique_ptr<Scene>* scene,
                  Texmap** map, std::string* error);

}  // namespace plughost
