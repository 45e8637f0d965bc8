// PNG input and output through libpng.
#include "hostside/png_image.h"

#include <png.h>

#include <atomic>

#include "hostside/file_io.h"

namespace {

std::atomic<uint64_t> g_pixelBudget{kDefaultPixelBudget};

}  // namespace

uint64_t HostPixelBudget() { return g_pixelBudget.load(); }
void HostSetPixelBudget(uint64_t pixels) { g_pixelBudget.store(pixels); }

bool HostDecodePng(const void* bytes, size_t size, const std::string& source, HostImage& out, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = source + ": " + why;
    return false;
  };
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, bytes, size)) return fail(img.message);
  img.format = PNG_FORMAT_RGBA;
  uint64_t pixels = static_cast<uint64_t>(img.width) * img.height;
  if (pixels > HostPixelBudget()) {
    png_image_free(&img);
    return fail("the picture is " + std::to_string(img.width) + " x " + std::to_string(img.height) +
                " pixels, more than the pixel budget of " + std::to_string(HostPixelBudget()));
  }
  HostImage result;
  result.width = static_cast<int>(img.width);
  result.height = static_cast<int>(img.height);
  result.rgba.resize(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, result.rgba.data(), 0, nullptr)) {
    std::string why = img.message;
    png_image_free(&img);
    return fail(why);
  }
  out = std::move(result);
  return true;
}

bool HostReadPng(const std::string& path, HostImage& out, std::string* error) {
  std::string bytes, why;
  if (!HostReadRegularFile(path, kMaxPngFileBytes, &bytes, &why)) {
    if (error) *error = path + ": " + why;
    return false;
  }
  return HostDecodePng(bytes.data(), bytes.size(), path, out, error);
}

bool HostWritePng(const std::string& path, const HostImage& image, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "cannot write " + path + ": " + why;
    return false;
  };
  if (image.width <= 0 || image.height <= 0 ||
      image.rgba.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4) {
    return fail("empty or malformed picture");
  }
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = static_cast<png_uint_32>(image.width);
  img.height = static_cast<png_uint_32>(image.height);
  img.format = PNG_FORMAT_RGBA;
  // First the size the encoding needs, then the encoding.
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&img, nullptr, &size, 0, image.rgba.data(), 0, nullptr)) {
    std::string why = img.message;
    png_image_free(&img);
    return fail(why);
  }
  std::string bytes(size, '\0');
  bool ok = png_image_write_to_memory(&img, bytes.data(), &size, 0, image.rgba.data(), 0, nullptr) != 0;
  std::string why = img.message;
  png_image_free(&img);
  if (!ok) return fail(why);
  bytes.resize(size);
  if (!HostWriteFileAtomically(path, bytes, &why)) return fail(why);
  return true;
}
