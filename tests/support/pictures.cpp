#include "pictures.h"

#include "hostside/png_image.h"

bool SamePixels(const std::string& a, const std::string& b, std::string* difference) {
  HostImage ia, ib;
  if (!HostReadPng(a, ia, difference) || !HostReadPng(b, ib, difference)) return false;
  if (ia.width != ib.width || ia.height != ib.height) {
    *difference = std::to_string(ia.width) + "x" + std::to_string(ia.height) + " against " + std::to_string(ib.width) +
                  "x" + std::to_string(ib.height);
    return false;
  }
  for (size_t i = 0; i < ia.rgba.size(); ++i) {
    if (ia.rgba[i] == ib.rgba[i]) continue;
    size_t pixel = i / 4;
    *difference = "pixel " + std::to_string(pixel % static_cast<size_t>(ia.width)) + "," +
                  std::to_string(pixel / static_cast<size_t>(ia.width)) + " differs";
    return false;
  }
  return true;
}
