// Decoded pictures shared by the whole process: every map that names a file
// holds the same decoded picture, however many maps name it, and two files
// with the same bytes share one too. A picture lives while a holder keeps it
// and goes with its last holder.
//
// All the pictures held together are held to the pixel budget
// (hostside/picture_io.h): a picture that would take the pixels held past it
// is refused, with the reason in one line, before it is decoded.
//
// A picture is decoded with only what a map samples (the map channels of
// HostPictureReadOptions), at the file's own precision. Pictures are loaded
// on whatever thread asks (the user-interface thread, in the host); the
// pictures themselves are never changed once shared, so render threads read
// them freely.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "../hostsdk_api.h"
#include "picture.h"

// The decoded picture of a file, shared; null with *error (one line naming
// the file) when it cannot be read or the budget has no room for it. A file
// changed since it was decoded is decoded again.
HOSTSDK_API std::shared_ptr<const HostPicture> HostSharedPicture(const std::string& path, std::string* error);

struct HostPictureCacheUse {
  size_t pictures = 0;   // decoded pictures held now
  uint64_t pixels = 0;   // what they count against the budget
  uint64_t decodes = 0;  // pictures decoded since the process started
};
HOSTSDK_API HostPictureCacheUse HostPictureCacheNow();
