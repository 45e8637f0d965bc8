// picture_samples FILE: every sample of a picture as the host's reader gives
// it, for the shell tests to compare with values of their own. Prints the
// size, then one line of "NAME:TYPE" for each channel (the layer's name, a
// dot and the channel's, or the channel's alone in the main layer; TYPE 8,
// 16, half or float), then a line per pixel, left to right and top to bottom,
// of the samples as stored: integers as they are, halves and floats as their
// bit patterns, so that nothing is lost in printing.
#include <hostside/picture_io.h>

#include <bit>
#include <cstdio>
#include <string>

namespace {

const char* TypeName(HostSampleType t) {
  switch (t) {
    case HostSampleType::kUint8: return "8";
    case HostSampleType::kUint16: return "16";
    case HostSampleType::kHalf: return "half";
    case HostSampleType::kFloat: return "float";
  }
  return "?";
}

unsigned long Stored(const HostPictureLayer& l, size_t i) {
  switch (l.type) {
    case HostSampleType::kUint8: return l.bytes[i];
    case HostSampleType::kUint16:
    case HostSampleType::kHalf: return l.words[i];
    case HostSampleType::kFloat: return std::bit_cast<uint32_t>(l.floats[i]);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: picture_samples FILE\n");
    return 2;
  }
  HostPicture p;
  std::string error;
  if (!HostReadPicture(argv[1], &p, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("%d %d\n", p.width, p.height);
  std::string names;
  for (const HostPictureLayer& l : p.layers)
    for (const std::string& c : l.channels)
      names += (names.empty() ? "" : " ") + (l.name.empty() ? c : l.name + "." + c) + ":" + TypeName(l.type);
  std::printf("%s\n", names.c_str());
  for (uint64_t pixel = 0; pixel < p.Pixels(); ++pixel) {
    std::string line;
    for (const HostPictureLayer& l : p.layers)
      for (size_t c = 0; c < l.channels.size(); ++c)
        line += (line.empty() ? "" : " ") + std::to_string(Stored(l, pixel * l.channels.size() + c));
    std::printf("%s\n", line.c_str());
  }
  return 0;
}
