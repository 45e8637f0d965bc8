// Names for the parameters of plug-in classes that do not answer the host's
// parameter-name query. The texture's block is one: its parameters' names are
// texts of its own string table, which the host reads from the plug-in file.
#pragma once

#include <vector>

#include "plugin_loader.h"

// Installs the names for the classes of the loaded files.
void InstallKnownParamNames(const std::vector<PluginFile>& files);
