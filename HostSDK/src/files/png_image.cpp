// PNG input and output through libpng.
#include "hostside/png_image.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};

bool WellFormed(const HostImage& image) {
  return image.width > 0 && image.height > 0 &&
         image.rgba.size() == static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4;
}

png_image RgbaHeader(const HostImage& image) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = static_cast<png_uint_32>(image.width);
  img.height = static_cast<png_uint_32>(image.height);
  img.format = PNG_FORMAT_RGBA;
  return img;
}

}  // namespace

bool HostEncodePng(const HostImage& image, std::vector<uint8_t>* png, std::string* error) {
  if (!WellFormed(image)) {
    if (error) *error = "empty or malformed picture";
    return false;
  }
  // A picture sent rather than kept: speed over size. The first call
  // measures, the second writes.
  png_image img = RgbaHeader(image);
  img.flags |= PNG_IMAGE_FLAG_FAST;
  png_alloc_size_t size = 0;
  bool ok = png_image_write_to_memory(&img, nullptr, &size, 0, image.rgba.data(), 0, nullptr) != 0;
  if (ok) {
    png->resize(size);
    ok = png_image_write_to_memory(&img, png->data(), &size, 0, image.rgba.data(), 0, nullptr) != 0;
    png->resize(size);
  }
  if (!ok && error) *error = std::string("cannot encode the picture (") + img.message + ")";
  png_image_free(&img);
  return ok;
}

bool HostReadPng(const std::string& path, HostImage& out, std::string* error) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) {
    if (error) *error = path + ": " + img.message;
    return false;
  }
  img.format = PNG_FORMAT_RGBA;
  if (img.width > 65536 || img.height > 65536) {
    png_image_free(&img);
    if (error) *error = path + ": picture too large";
    return false;
  }
  HostImage result;
  result.width = static_cast<int>(img.width);
  result.height = static_cast<int>(img.height);
  result.rgba.resize(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, result.rgba.data(), 0, nullptr)) {
    if (error) *error = path + ": " + img.message;
    png_image_free(&img);
    return false;
  }
  out = std::move(result);
  return true;
}

bool HostWritePng(const std::string& path, const HostImage& image, std::string* error) {
  namespace fs = std::filesystem;
  if (!WellFormed(image)) {
    if (error) *error = path + ": empty or malformed picture";
    return false;
  }
  fs::path target(path);
  fs::path tmp = target;
  tmp += ".partial";
  {
    std::unique_ptr<FILE, FileCloser> f(std::fopen(tmp.c_str(), "wb"));
    if (!f) {
      if (error) *error = path + ": cannot write (" + std::strerror(errno) + ")";
      return false;
    }
    png_image img = RgbaHeader(image);
    bool ok = png_image_write_to_stdio(&img, f.get(), 0, image.rgba.data(), 0, nullptr) != 0;
    std::string message = img.message;
    png_image_free(&img);
    ok = ok && std::fflush(f.get()) == 0;
    if (!ok) {
      f.reset();
      std::error_code ec;
      fs::remove(tmp, ec);
      if (error) *error = path + ": cannot write (" + (message.empty() ? std::string("write failed") : message) + ")";
      return false;
    }
  }
  std::error_code ec;
  fs::rename(tmp, target, ec);
  if (ec) {
    fs::remove(tmp, ec);
    if (error) *error = path + ": cannot write (" + ec.message() + ")";
    return false;
  }
  return true;
}
