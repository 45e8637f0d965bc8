// Pictures compared by their pixels: two PNG files, read through libpng, hold
// the same size and the same RGBA values, however each was compressed.
#pragma once

#include <string>

// True when they do; otherwise false, with where they first differ (or why a
// file could not be read) in *difference.
bool SamePixels(const std::string& a, const std::string& b, std::string* difference);
