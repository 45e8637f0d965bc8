// PNG files through libpng, with the pixel budget before allocation: as 8-bit
// RGBA, at full precision, and through the probe (texts included).
#include <hostside/png_image.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

// The input with every chunk's checksum made right: libpng refuses a wrong
// one at once, and the fuzzer would spend its time there.
std::string WithRightChecksums(const uint8_t* data, size_t size) {
  std::string png(reinterpret_cast<const char*>(data), size);
  auto* b = reinterpret_cast<uint8_t*>(png.data());
  for (size_t at = 8; at + 12 <= size;) {
    size_t length = (size_t{b[at]} << 24) | (size_t{b[at + 1]} << 16) | (size_t{b[at + 2]} << 8) | b[at + 3];
    if (length > size - at - 12) break;
    uint32_t crc = Crc32(b + at + 4, length + 4);
    for (int k = 0; k < 4; ++k) b[at + 8 + length + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
    at += 12 + length;
  }
  return png;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  HostSetPixelBudget(1 << 22);  // keeps each run small; the check is the same
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string png = WithRightChecksums(data, size);
  HostImage img;
  std::string error;
  if (HostDecodePng(png.data(), png.size(), "fuzz.png", img, &error) &&
      img.rgba.size() != static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * 4)
    std::abort();
  HostPicture picture;
  if (HostDecodePicture(png.data(), png.size(), "fuzz.png", &picture, &error) && !picture.WellFormed()) std::abort();
  HostPictureInfo info;
  if (HostProbePictureBytes(png.data(), png.size(), "fuzz.png", &info, &error) &&
      (info.shape.layers.size() != 1 || !std::is_sorted(info.metadata.begin(), info.metadata.end())))
    std::abort();
  return 0;
}
