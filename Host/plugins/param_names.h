// Names for the parameters of plug-in classes that do not answer the host's
// parameter-name query.
//
// Such a plug-in's build writes a table beside the plug-in file,
// <file>.param-names.json (cmake/HostPlugin.cmake, PARAM_NAMES): for a class,
// the reference index of its block and, for each parameter index, the id of
// the parameter's name in the plug-in's own string table. The host reads the
// table of every plug-in file it loads and takes the names from the file's
// resources, so it needs to know nothing of any plug-in itself:
//
//   {"format": "quorl-param-names", "version": 1,
//    "tables": [{"classId": ["0x00000001", "0x00000002"], "reference": 1,
//                "names": [{"param": 0, "string": 7}, ...]}]}
#pragma once

#include <maxtypes.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "plugins/plugin_loader.h"

namespace plughost {

struct ParamNameTable {
  Class_ID classId;
  int reference = 0;
  std::map<int, int> strings;  // parameter index -> string id
};

// The table file of a plug-in file.
std::filesystem::path ParamNamesFile(const std::filesystem::path& pluginFile);

// A table file is read as the host reads every file: a regular file only
// (a FIFO is never waited on), of at most this many bytes, nested at most
// this deep.
inline constexpr uint64_t kMaxParamNamesBytes = 1ull << 20;
inline constexpr int kMaxParamNamesNesting = 8;

// Reads a table file. False with the reason, starting with the file's name,
// when it is not one.
bool ReadParamNames(const std::filesystem::path& file, std::vector<ParamNameTable>* tables, std::string* error);
// Reads the text of a table; `source` starts the reason on failure.
bool ParseParamNames(std::string_view text, const std::string& source, std::vector<ParamNameTable>* tables,
                     std::string* error);

// Reads the table file beside a loaded plug-in file, if there is one, and
// from then on names the parameters of the classes that file registered, with
// the strings of its module. A file that is no table is left out, with the
// reason in file.paramNamesError.
void LoadParamNames(PluginFile& file);

}  // namespace plughost
