#include "farm/farm_files.h"

#include <hostside/file_io.h>
#include <hostside/png_image.h>
#include <hostside/scene_file.h>

#include <algorithm>

namespace fs = std::filesystem;

namespace plughost {

std::string FarmStem(const std::string& output) {
  std::string name = fs::path(output).stem().string();
  // A bake's "<UDIM>" is a number to come, as a run of '#' is a frame's.
  for (size_t at = name.find("<UDIM>"); at != std::string::npos; at = name.find("<UDIM>")) name.erase(at, 6);
  std::string stem;
  for (char c : name)
    if (c != '#') stem += c;
  while (!stem.empty() && (stem.back() == '.' || stem.back() == '_' || stem.back() == '-' || stem.back() == ' '))
    stem.pop_back();
  return stem.empty() ? "render" : stem;
}

std::string FarmFolder(const std::string& output) {
  return (fs::path(output).parent_path() / (FarmStem(output) + ".farm")).string();
}

std::string FarmManifest(const std::string& output) {
  return (fs::path(output).parent_path() / (FarmStem(output) + ".manifest.txt")).string();
}

bool ReadFarmFile(const fs::path& file, std::string* bytes, std::string* error, uint64_t most) {
  std::string why;
  if (!HostReadRegularFile(file, most ? most : std::max<uint64_t>(kSceneMaxFileBytes, kMaxPngFileBytes), bytes, &why))
    return *error = "cannot read " + file.string() + ": " + why, false;
  return true;
}

bool WriteFileWhole(const std::string& path, const std::string& bytes, unsigned mode, std::string* error) {
  std::string why;
  if (HostWriteFileAtomically(path, bytes, &why, mode)) return true;
  *error = "cannot write " + path + ": " + why;
  return false;
}

}  // namespace plughost
