// Options of the command-line parser whose values are read by the rules every
// value of plughost follows (common/value_readers.h).
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "bake/bake_plan.h"
#include "render/render_plan.h"

namespace plughost {

// A number option (int: a whole number); a bad value ends the parse with the
// reader's words.
CLI::Option* AddNumberOption(CLI::App* cmd, const std::string& name, int& into, const std::string& help);
CLI::Option* AddNumberOption(CLI::App* cmd, const std::string& name, double& into, const std::string& help);
// Seconds to wait, read by ParseSeconds.
CLI::Option* AddSecondsOption(CLI::App* cmd, const std::string& name, double& into, const std::string& help);

// The options of the render option table whose scope is one of `scopes`,
// bound to `request`.
void AddRenderOptions(CLI::App* cmd, RenderRequest& request, std::initializer_list<RenderOptionScope> scopes);

// The options of the commands that open a texture in the material editor.
// A model that cannot be imported is bad input, unless the import helper
// crashed or ran out of time: that may pass on another try.
int FailImport(const std::string& error);

// What a bake makes (plughost bake, farm bake): the model, the texture, the
// pictures and the layout.
void AddBakeOptions(CLI::App* cmd, BakeRequest* request);

void AddEditedTextureOptions(CLI::App* cmd, std::string& sceneFile, std::string& className);

}  // namespace plughost
