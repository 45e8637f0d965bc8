// plughost scene: create, edit and inspect scene files. Each returns the
// program's exit status; problems go to standard error as one message, and a
// command that fails writes nothing.
#pragma once

#include <string>
#include <vector>

// A scene with one new object of each named class (names compared ignoring
// case, spaces, hyphens and underscores), saved to `out`.
int SceneNew(const std::string& out, const std::vector<std::string>& classes);

// Loads `file`, applies every --set (NAME=VALUE) and then every --key
// (NAME@TIME=VALUE) in the order given, and saves to `out` (or back to
// `file` when `out` is empty).
int SceneSet(const std::string& file, const std::vector<std::string>& sets, const std::vector<std::string>& keys,
             const std::string& out);

// Prints the scene's objects as a tree with their parameters' values and keys.
int SceneShow(const std::string& file);
