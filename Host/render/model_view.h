// The user's model, ready to be rendered in the mesh view: imported (in the
// helper process, geometry/model_import.h) and with its ray-casting tree
// built. Made once on the calling thread before any picture; read-only while
// pictures of it render, on any number of threads.
#pragma once

#include <memory>
#include <string>

#include "geometry/model.h"
#include "geometry/ray_scene.h"

namespace plughost {

struct ModelView {
  Model model;
  std::unique_ptr<RayScene> rays;  // over `model`, which must therefore stay where it is
  double importSeconds = 0.0, buildSeconds = 0.0;
};

// Imports the file and builds its tree with up to `threads` threads (0:
// every core). False, with one line naming the file, when either fails.
bool LoadModelView(const std::string& file, int threads, ModelView* out, std::string* error);

// "FILE: N triangles in M meshes, imported in A s, ray tree built in B s".
std::string DescribeModelView(const std::string& file, const ModelView& view);

}  // namespace plughost
