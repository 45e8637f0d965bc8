// Options of the command-line parser whose values are read by the rules every
// value of plughost follows (command_line.h).
#pragma once

#include <CLI/CLI.hpp>
#include <sstream>
#include <string>
#include <type_traits>

#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"

namespace plughost {

// A number option (int: a whole number); a bad value ends the parse with the
// reader's words.
template <typename T>
CLI::Option* AddNumberOption(CLI::App* cmd, const std::string& name, T& into, const std::string& help) {
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

}  // namespace plughost
