#include "cli/cli_options.h"

#include <algorithm>
#include <sstream>
#include <type_traits>

#include "common/failure.h"
#include "common/value_readers.h"
#include "geometry/model_import.h"

namespace plughost {

namespace {

template <typename T>
CLI::Option* AddNumber(CLI::App* cmd, const std::string& name, T& into, const std::string& help) {
  auto read = [&into, name](const std::string& text) {
    std::string error;
    float f = 0.0f;
    bool ok = false;
    if constexpr (std::is_same_v<T, int>) {
      ok = ParseInt(text, &into, &error);
    } else if ((ok = ParseFloat(text, &f, &error))) {
      into = f;
    }
    if (!ok) throw CLI::ValidationError(name, error);
  };
  std::ostringstream shown;
  shown << into;
  return cmd->add_option_function<std::string>(name, read, help)->default_str(shown.str());
}

}  // namespace

CLI::Option* AddSecondsOption(CLI::App* cmd, const std::string& name, double& into, const std::string& help) {
  auto read = [&into, name](const std::string& text) {
    std::string error;
    if (!ParseSeconds(text, &into, &error)) throw CLI::ValidationError(name, error);
  };
  std::ostringstream shown;
  shown << into;
  return cmd->add_option_function<std::string>(name, read, help)->default_str(shown.str());
}

CLI::Option* AddNumberOption(CLI::App* cmd, const std::string& name, int& into, const std::string& help) {
  return AddNumber(cmd, name, into, help);
}

CLI::Option* AddNumberOption(CLI::App* cmd, const std::string& name, double& into, const std::string& help) {
  return AddNumber(cmd, name, into, help);
}

void AddRenderOptions(CLI::App* cmd, RenderRequest& request, std::initializer_list<RenderOptionScope> scopes) {
  for (const RenderOption& o : RenderOptionTable()) {
    if (std::find(scopes.begin(), scopes.end(), o.scope) == scopes.end()) continue;
    std::visit(
        [&](auto* v) {
          using T = std::remove_pointer_t<decltype(v)>;
          if constexpr (std::is_same_v<T, std::string>) {
            cmd->add_option(o.names, *v, o.help)->capture_default_str();
          } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
            cmd->add_option(o.names, *v, o.help)->allow_extra_args(false);
          } else if constexpr (std::is_same_v<T, int>) {
            AddNumberOption(cmd, o.names, *v, o.help);
          } else {
            cmd->add_flag(o.names, *v, o.help);
          }
        },
        o.field(request));
  }
}

void AddEditedTextureOptions(CLI::App* cmd, std::string& sceneFile, std::string& className) {
  cmd->add_option("scene", sceneFile, "A scene file; its first texture map is edited (default: a new one)");
  cmd->add_option("--class", className, "The class of the new texture when no scene is given")->capture_default_str();
}

int FailImport(const std::string& error) { return ImportFailedWhileRunning(error) ? Fail(error) : FailBadInput(error); }

}  // namespace plughost
