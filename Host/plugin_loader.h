// Finding and opening the host's plug-in files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

struct PluginFile {
  std::filesystem::path path;
  void* handle = nullptr;    // from dlopen; null when the file failed to load
  HINSTANCE instance = nullptr;
  std::string error;         // the loader's reason when it failed
};

// The plug-in endings the host recognises (utilities, textures, objects,
// modifiers, controllers, renderers, import and export, ...).
bool IsPluginFileName(const std::filesystem::path& p);

// Plug-in files in the folders, each folder sorted by name, libraries (.dlu)
// of a folder before the plug-ins that may depend on them.
std::vector<std::filesystem::path> FindPluginFiles(const std::vector<std::filesystem::path>& folders,
                                                   std::vector<std::string>* problems);

// Opens every file with load-time binding. A file that fails is recorded with
// the loader's reason and the rest are still opened.
std::vector<PluginFile> OpenPluginFiles(const std::vector<std::filesystem::path>& files);

// The plug-in folder of the build this program belongs to.
std::filesystem::path DefaultPluginFolder();
