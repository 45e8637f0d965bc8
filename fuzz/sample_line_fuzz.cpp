// The lines plughost sample reads: "x y z".
#include <cstdint>
#include <string>

#include "render_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  float p[3];
  (void)ParseTriple(line, p);
  return 0;
}
