// The parameter-name table beside a plug-in file. Whatever the text, it is a
// list of tables or a one-line reason naming the file; every index read fits
// the bounds the table promises.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "plugins/param_names.h"

using namespace plughost;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<ParamNameTable> tables;
  std::string error;
  if (!ParseParamNames(text, "t.json", &tables, &error)) {
    if (error.rfind("t.json: ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  for (const ParamNameTable& t : tables) {
    if (t.reference < 0 || t.reference > 0xFFFF) std::abort();
    for (const auto& [param, string] : t.strings)
      if (param < 0 || param > 0xFFFF || string < 0 || string > 0xFFFF) std::abort();
  }
  return 0;
}
