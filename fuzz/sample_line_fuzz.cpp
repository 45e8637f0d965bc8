// The lines plughost sample reads: a point, "x y z" (or "x,y,z").
#include <cstdint>
#include <string>

#include "common/value_readers.h"

using namespace plughost;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  float p[3];
  std::string error;
  (void)ParseTriple(line, p, &error);
  return 0;
}
