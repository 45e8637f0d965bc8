// Pictures in memory at the precision they were made or read: named channels
// grouped in layers (passes), each layer's samples interleaved, rows top to
// bottom.
//
// The renderer's pictures hold floats, the values the texture returned;
// quantising to 8 or 16 bits is the writer's job (hostside/picture_io.h), with
// the two functions below. A picture read from a file keeps the file's own
// samples: 8 or 16-bit integers, half or float.
//
// Layer and channel names follow what compositors expect: the main pass is
// the layer "" (R, G, B, A; or a single Y), other passes are named layers
// ("coverage" with Y, "bump" with X, Y, Z). A file writes a layer's channel C
// as "layer.C", or as "C" for the layer "".
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "../hostsdk_api.h"

// The 8-bit value of a sample: 0 for v <= 0 or not a number, 255 for v >= 1,
// else v x 255 (in single precision) rounded half away from zero. The
// product plus one half is exact in double, so truncating it rounds as
// lround does, without a call into the maths library for every sample.
inline uint8_t HostQuantize8(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return static_cast<uint8_t>(static_cast<int>(static_cast<double>(v * 255.0f) + 0.5));
}
// The 16-bit value: v clamped to [0, 1] (not a number as 0), times 65535,
// rounded half away from zero. The product is exact in double, and adding
// one half never carries it past an integer, so truncation rounds it.
inline uint16_t HostQuantize16(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 65535;
  return static_cast<uint16_t>(static_cast<int>(static_cast<double>(v) * 65535.0 + 0.5));
}

// Half-precision bits to float and back (round to nearest even), as OpenEXR
// stores them.
HOSTSDK_API float HostHalfToFloat(uint16_t bits);
HOSTSDK_API uint16_t HostFloatToHalf(float v);

enum class HostSampleType : uint8_t { kUint8, kUint16, kHalf, kFloat };

// A layer's name and channels, without samples: what a writer is told before
// the rows come.
struct HostLayerShape {
  std::string name;
  std::vector<std::string> channels;
  bool operator==(const HostLayerShape&) const = default;
};
struct HostPictureShape {
  int width = 0, height = 0;
  std::vector<HostLayerShape> layers;
  bool operator==(const HostPictureShape&) const = default;
};

struct HostPictureLayer {
  std::string name;
  std::vector<std::string> channels;
  HostSampleType type = HostSampleType::kFloat;
  // The samples live in the one vector of the layer's type: floats, words
  // (16-bit integers, or half bits) or bytes; sample i is channel i %
  // channels of pixel i / channels.
  std::vector<float> floats;
  std::vector<uint16_t> words;
  std::vector<uint8_t> bytes;

  size_t Size() const;  // the samples held
  // Sample i as a float: an 8 or 16-bit integer q as q / 255 or q / 65535
  // (single precision), a half as its value. Allocates and locks nothing.
  HOSTSDK_API float Value(size_t i) const;
  // The index of a channel, or -1.
  HOSTSDK_API int Find(std::string_view channel) const;
};

struct HostPicture {
  int width = 0, height = 0;
  std::vector<HostPictureLayer> layers;

  uint64_t Pixels() const { return static_cast<uint64_t>(width) * static_cast<uint64_t>(height); }
  HOSTSDK_API HostPictureShape Shape() const;
  // Whether every layer has channels and width x height x channels samples
  // of its type.
  HOSTSDK_API bool WellFormed() const;
  // A new layer of zero samples, for a picture whose size is set.
  HOSTSDK_API HostPictureLayer& AddLayer(std::string name, std::vector<std::string> channels,
                                         HostSampleType type = HostSampleType::kFloat);
  HOSTSDK_API const HostPictureLayer* FindLayer(std::string_view name) const;
};

inline size_t HostPictureLayer::Size() const {
  switch (type) {
    case HostSampleType::kUint8: return bytes.size();
    case HostSampleType::kUint16:
    case HostSampleType::kHalf: return words.size();
    case HostSampleType::kFloat: return floats.size();
  }
  return 0;
}

// Copies `part` into `whole` with its top left pixel at (x, y): the same
// layers and channels, in order; a sample of another type goes through its
// float value, which every integer and half sample survives exactly (so
// pieces read from files and placed again give the samples they were made
// from). False, changing nothing, when the part does not fit.
HOSTSDK_API bool HostPlacePicture(const HostPicture& part, int x, int y, HostPicture* whole);
