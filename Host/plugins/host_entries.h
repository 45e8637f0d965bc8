// The host's side of the entries beside a plug-in file
// (hostside/host_entries.h): the module is found, checked and opened with the
// plug-in's other files, and its entries are kept by class.
#pragma once

#include <hostside/host_entries.h>
#include <ref.h>

#include <filesystem>

#include "plugins/plugin_loader.h"

namespace plughost {

// The entries module of a plug-in file.
std::filesystem::path HostEntriesFile(const std::filesystem::path& pluginFile);

// Opens the entries module beside a loaded plug-in file, if there is one, and
// keeps its entries for the classes that file registered. A module that fails
// the checks, or answers no table of this host's version, is left out, with
// the reason in file.hostEntriesError.
void LoadHostEntries(PluginFile& file);

// How the object's class moves a point, or null when no plug-in offers it.
HostPerturbPointFn FindPerturbPoint(ReferenceTarget* object);

}  // namespace plughost
