// Scene files on disk: read whole from a regular file of limited size, saved
// whole through the atomic writer.
#include "hostside/file_io.h"
#include "hostside/scene_file.h"

namespace fs = std::filesystem;

bool HostSaveScene(const Scene& scene, const fs::path& file, std::string* error) {
  std::string text, why;
  if (!HostWriteScene(scene, &text, &why) || !HostWriteFileAtomically(file, text, &why)) {
    if (error) *error = "cannot save " + file.string() + ": " + why;
    return false;
  }
  return true;
}

std::unique_ptr<Scene> HostLoadScene(const fs::path& file, std::string* error) {
  std::string text, why;
  if (!HostReadRegularFile(file, kSceneMaxFileBytes, &text, &why)) {
    if (error) *error = "cannot read " + file.string() + ": " + why;
    return nullptr;
  }
  return HostReadScene(text, file.string(), error);
}
