// Pictures in PNG files, through libpng: 8-bit RGBA in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../hostsdk_api.h"

struct HostImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4, rows top to bottom
};

// Reads any PNG (palette, grey, 16-bit and alpha are converted to 8-bit RGBA).
HOSTSDK_API bool HostReadPng(const std::string& path, HostImage& out, std::string* error);
// The PNG file of an RGBA picture, in memory, made quickly rather than small
// (for a picture sent rather than kept); false with a reason for an empty or
// malformed picture.
HOSTSDK_API bool HostEncodePng(const HostImage& image, std::vector<uint8_t>* png, std::string* error);
// Writes an RGBA PNG through a temporary file in the same folder, renamed over
// `path` only when complete: a failed write leaves no partial picture behind.
HOSTSDK_API bool HostWritePng(const std::string& path, const HostImage& image, std::string* error);
