// Pictures in PNG files, through libpng: 8-bit RGBA in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../hostsdk_api.h"

struct HostImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4, rows top to bottom
};

// The most pixels a picture read may have, checked against its header before
// anything is allocated, so that a small file cannot claim gigabytes. The
// default is 8192 x 8192; a user who needs more can raise it.
inline constexpr uint64_t kDefaultPixelBudget = 8192ull * 8192ull;
HOSTSDK_API uint64_t HostPixelBudget();
HOSTSDK_API void HostSetPixelBudget(uint64_t pixels);
// The largest PNG file read, whatever its pixels.
inline constexpr uint64_t kMaxPngFileBytes = 256ull << 20;

// Reads any PNG (palette, grey, 16-bit and alpha are converted to 8-bit RGBA)
// from a regular file. On failure *error is one line naming the file.
HOSTSDK_API bool HostReadPng(const std::string& path, HostImage& out, std::string* error);
// The same from bytes in memory; `source` names them in messages.
HOSTSDK_API bool HostDecodePng(const void* bytes, size_t size, const std::string& source, HostImage& out,
                               std::string* error);
// Writes an RGBA PNG through HostWriteFileAtomically (hostside/file_io.h): a
// failed write leaves the previous file as it was.
HOSTSDK_API bool HostWritePng(const std::string& path, const HostImage& image, std::string* error);
