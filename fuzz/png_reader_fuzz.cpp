// PNG files through libpng, with the pixel budget before allocation.
#include <hostside/png_image.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  HostSetPixelBudget(1 << 22);  // keeps each run small; the check is the same
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HostImage img;
  std::string error;
  if (!HostDecodePng(data, size, "fuzz.png", img, &error)) return 0;
  if (img.rgba.size() != static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * 4) std::abort();
  return 0;
}
