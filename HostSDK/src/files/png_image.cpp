// PNG input and output through libpng.
#include "hostside/png_image.h"

#include <png.h>

#include <atomic>

#include "hostside/file_io.h"

namespace {

std::atomic<uint64_t> g_pixelBudget{kDefaultPixelBudget};

bool WellFormed(const HostImage& image) {
  return image.width > 0 && image.height > 0 &&
         image.rgba.size() == static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4;
}

// The PNG file of a well-formed picture, into *png (a std::string or a byte
// vector). The first call measures, the second writes.
template <typename Bytes>
bool EncodeRgba(const HostImage& image, bool fast, Bytes* png, std::string* why) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = static_cast<png_uint_32>(image.width);
  img.height = static_cast<png_uint_32>(image.height);
  img.format = PNG_FORMAT_RGBA;
  if (fast) img.flags |= PNG_IMAGE_FLAG_FAST;
  png_alloc_size_t size = 0;
  bool ok = png_image_write_to_memory(&img, nullptr, &size, 0, image.rgba.data(), 0, nullptr) != 0;
  if (ok) {
    png->resize(size);
    ok = png_image_write_to_memory(&img, png->data(), &size, 0, image.rgba.data(), 0, nullptr) != 0;
    png->resize(size);
  }
  if (!ok) *why = img.message;
  png_image_free(&img);
  return ok;
}

}  // namespace

bool HostEncodePng(const HostImage& image, std::vector<uint8_t>* png, std::string* error) {
  std::string why = "empty or malformed picture";
  // A picture sent rather than kept: speed over size.
  if (WellFormed(image) && EncodeRgba(image, /*fast=*/true, png, &why)) return true;
  if (error) *error = "cannot encode the picture (" + why + ")";
  return false;
}

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
  std::string bytes, why = "empty or malformed picture";
  if (WellFormed(image) && EncodeRgba(image, /*fast=*/false, &bytes, &why) &&
      HostWriteFileAtomically(path, bytes, &why)) {
    return true;
  }
  if (error) *error = "cannot write " + path + ": " + why;
  return false;
}
