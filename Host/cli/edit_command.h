// plughost edit and plughost utility: a texture in the material editor and a
// utility in the utility panel, driven as a user would, with every rollup
// printed. Each returns the program's exit status; problems go to standard
// error as one message.
#pragma once

#include <string>
#include <vector>

#include "editor/edit_session.h"
#include "scene/scene_maps.h"

namespace plughost {

struct EditOptions {
  std::string sceneFile;  // empty: a new texture of `className`
  std::string className = kNewMapClass;
  std::string output;  // empty: back to the scene file, or (no scene) nothing saved
  std::vector<EditAction> actions;
};

// Opens the material editor on the scene's first texture map (or a new one),
// prints its rollups, applies the actions, prints the rollups again and
// saves. Controls are named by id, or by "TITLE:ID" where several open
// rollups have the id.
int EditCommand(const EditOptions& opts);

// Opens the utility class `name` in the utility panel and prints its rollups.
int UtilityCommand(const std::string& name);

}  // namespace plughost
