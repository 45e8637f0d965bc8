// The files of a farm render beside its pictures, and how the farm reads and
// writes them: "shot/dirt.####.png" has its frozen inputs, scripts and logs
// in "shot/dirt.farm/" and its manifest in "shot/dirt.manifest.txt"; so has
// a bake into "shot/dirt.<UDIM>.exr".
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace plughost {

std::string FarmStem(const std::string& output);
std::string FarmFolder(const std::string& output);
std::string FarmManifest(const std::string& output);

// What the farm reads whole (the scenes and pictures it freezes, its own job
// and logs): regular files only, no larger than the host reads of either
// kind, or than `most` bytes where it is given (a model). False with
// "cannot read FILE: why".
bool ReadFarmFile(const std::filesystem::path& file, std::string* bytes, std::string* error, uint64_t most = 0);

// Writes `bytes` through the host's atomic writer (hostside/file_io.h), with
// `mode`: the file is whole or untouched. False with "cannot write FILE: why".
bool WriteFileWhole(const std::string& path, const std::string& bytes, unsigned mode, std::string* error);

}  // namespace plughost
