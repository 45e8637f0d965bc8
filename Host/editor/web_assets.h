// The editor page's files, built into the program (CMake puts each file of
// Host/web/ between two labels with .incbin and lists them here).
#pragma once

#include <span>
#include <string_view>

namespace plughost {

struct WebAsset {
  const char* path;  // as requested: "/" for index.html, "/editor.js", ...
  const char* type;  // Content-Type, without the charset (every file is UTF-8)
  std::string_view bytes;
};

std::span<const WebAsset> WebAssets();

}  // namespace plughost
