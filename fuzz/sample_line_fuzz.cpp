// The lines plughost sample reads: a point, "x y z" (or "x,y,z").
#include <cstdint>
#include <string>

#include "command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  float p[3];
  std::string error;
  (void)ParseTriple(line, p, &error);
  return 0;
}
