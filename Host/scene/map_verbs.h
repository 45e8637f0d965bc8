// What an artist does to a map of a scene with the material editor's
// buttons: reset it, copy it, show it in a second place, name it, give it an
// effects channel. Each acts on a loaded scene; saving is the caller's.
#pragma once

#include <hostside/scene_file.h>

#include <string>

namespace plughost {

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

// Checks the verb's own values without a scene (a typo costs no loading).
bool CheckMapVerb(const MapVerb& verb, std::string* error);

// Applies the verb to the scene; `file` names the scene in messages. False
// with one line for the user, and the scene unchanged, otherwise.
bool ApplyMapVerb(Scene& scene, const std::string& file, const MapVerb& verb, std::string* error);

}  // namespace plughost
