// Finding and opening the host's plug-in files.
#pragma once

#include <plugapi.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace plughost {

// A class a plug-in file lists, and whether the host took it.
struct PluginClass {
  ClassDesc* desc = nullptr;
  bool registered = false;
  std::string problem;  // why it was not registered
};

struct PluginFile {
  std::filesystem::path path;
  void* handle = nullptr;  // from dlopen; null when the file failed to load or was refused
  HINSTANCE instance = nullptr;
  std::string error;  // the loader's reason, or why the host refused the file
  // What the file's entry points answered (once its classes were read).
  std::string description;
  unsigned long version = 0;
  std::vector<PluginClass> classes;
  // The parameter-name table beside the file (param_names.h): how many
  // tables it gave, or why it was left out.
  int paramNameTables = 0;
  std::string paramNamesError;
  // The entries module beside the file (host_entries.h): how many entries
  // it gave, or why it was left out.
  int hostEntries = 0;
  std::string hostEntriesError;
};

// The plug-in endings the host recognises (utilities, textures, objects,
// modifiers, controllers, renderers, import and export, ...).
bool IsPluginFileName(const std::filesystem::path& p);

// Plug-in files in the folders, each folder sorted by name, libraries (.dlu)
// of a folder before the plug-ins that may depend on them.
std::vector<std::filesystem::path> FindPluginFiles(const std::vector<std::filesystem::path>& folders,
                                                   std::vector<std::string>* problems);

// Opens every file with load-time binding, once it passed the checks of
// plugin_check.h. A file that fails is recorded with the reason and the rest
// are still opened.
std::vector<PluginFile> OpenPluginFiles(const std::vector<std::filesystem::path>& files);

// Reads each opened file's entry points (LibVersion, LibDescription,
// LibNumberClasses, LibClassDesc) and registers its classes under the file's
// name. A file that lacks them, or whose host API number (bits 8-15 of
// LibVersion) is not this host's, is closed and keeps the reason in `error`.
void RegisterPluginClasses(std::vector<PluginFile>& files);

// Finds, opens and registers the plug-in files of the folders (with the
// host's own classes first), and reads the parameter-name table and the
// entries module beside each.
// Problems with folders go to *problems.
std::vector<PluginFile> LoadPlugins(const std::vector<std::filesystem::path>& folders,
                                    std::vector<std::string>* problems);

// "0x0FA00800 (release 4000, API 8, revision 0)".
std::string DescribeHostVersion(unsigned long version);

// The plug-in folder of the build this program belongs to.
std::filesystem::path DefaultPluginFolder();

}  // namespace plughost
