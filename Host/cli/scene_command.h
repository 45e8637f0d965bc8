// plughost scene: create, edit and inspect scene files. Each returns the
// program's exit status; problems go to standard error as one message, and a
// command that fails writes nothing.
#pragma once

#include <string>
#include <vector>

namespace plughost {

// A scene with one new object of each named class (names compared ignoring
// case, spaces, hyphens and underscores), saved to `out`.
int SceneNew(const std::string& out, const std::vector<std::string>& classes);

// Loads `file`, applies every --set (NAME=VALUE) and then every --key
// (NAME@TIME=VALUE) in the order given, and saves to `out` (or back to
// `file` when `out` is empty).
int SceneSet(const std::string& file, const std::vector<std::string>& sets, const std::vector<std::string>& keys,
             const std::string& out);

// Prints the scene's objects as a tree with their parameters' values and keys,
// and each map's name and effects channel.
int SceneShow(const std::string& file);

// What an artist does to a map of a scene, as the material editor's buttons
// do it; then the scene is saved to `out` (or back to the file).
struct MapVerb {
  enum Kind {
    kReset,     // the map's own reset: its parameters back to their defaults
    kCopy,      // a copy of the map (and of all it references): a new root, or into a sub-map slot
    kInstance,  // the same map into a sub-map slot of another: both show one map
    kRename,    // the map's name
    kChannel,   // the map's effects channel (G-buffer id), 0 to 15
  };
  Kind kind = kReset;
  std::string map;    // which map (FindMap in scene_maps.h); empty: the first map among the roots
  std::string into;   // copy and instance: the map whose sub-map slot takes it
  int slot = 0;       // that slot
  std::string value;  // rename: the name; channel: the channel
};
int SceneMapVerb(const std::string& file, const MapVerb& verb, const std::string& out);

}  // namespace plughost
