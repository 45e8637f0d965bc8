// 8-bit RGBA pictures in PNG files: what the editor's preview and the tests
// use. Every other picture goes through hostside/picture_io.h, which these
// calls share their reader and writer with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../hostsdk_api.h"
#include "picture_io.h"

struct HostImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4, rows top to bottom
};

// The largest PNG file read, whatever its pixels.
inline constexpr uint64_t kMaxPngFileBytes = 256ull << 20;

// Reads any PNG (palette, grey, 16-bit and alpha are converted to 8-bit RGBA
// by libpng's simplified reader, 16-bit samples taken as linear light) from a
// regular file, under the pixel budget. On failure *error is one line naming
// the file.
HOSTSDK_API bool HostReadPng(const std::string& path, HostImage& out, std::string* error);
// The same from bytes in memory; `source` names them in messages.
HOSTSDK_API bool HostDecodePng(const void* bytes, size_t size, const std::string& source, HostImage& out,
                               std::string* error);
// The PNG file of an RGBA picture, in memory, with the fast compression; false
// with a reason for an empty or malformed picture.
HOSTSDK_API bool HostEncodePng(const HostImage& image, std::vector<uint8_t>* png, std::string* error);
// Writes an RGBA PNG (whatever the name's extension) through the picture
// writer, a band of rows at a time: a failed write leaves the previous file
// as it was.
HOSTSDK_API bool HostWritePng(const std::string& path, const HostImage& image, std::string* error);

// The same pixels as a picture: one layer R, G, B, A of 8-bit samples.
HOSTSDK_API HostPicture HostImageAsPicture(const HostImage& image);
