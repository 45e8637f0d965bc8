// OpenEXR files through the host's reader and probe: the header walk ahead of
// OpenEXR, the pixel budget, every compression OpenEXR decodes.
#include <hostside/picture_io.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  HostSetPixelBudget(1 << 20);  // keeps each run small; the check is the same
  return 0;
}

namespace {

// An error is one line of plain text, whatever the file's names held.
bool Plain(const std::string& error) {
  for (char c : error)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  for (bool mapChannels : {false, true}) {
    HostPicture picture;
    HostPictureReadOptions options;
    options.mapChannels = mapChannels;
    bool ok = HostDecodePicture(data, size, "fuzz.exr", &picture, &error, options);
    if (ok ? !picture.WellFormed() : !Plain(error)) std::abort();
    if (ok && mapChannels && picture.layers.size() != 1) std::abort();
  }
  HostPictureInfo info;
  bool known = HostProbePictureBytes(data, size, "fuzz.exr", &info, &error);
  if (known ? info.shape.layers.empty() || !Plain(info.damage) : !Plain(error)) std::abort();
  return 0;
}
