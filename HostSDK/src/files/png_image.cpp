// 8-bit RGBA pictures in PNG files, over the picture reader and writer.
#include "hostside/png_image.h"

#include <algorithm>

#include "hostside/file_io.h"
#include "picture_codecs.h"

namespace {

bool WellFormed(const HostImage& image) {
  return image.width > 0 && image.height > 0 &&
         image.rgba.size() == static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4;
}

HostPictureWriteOptions PngOptions() {
  HostPictureWriteOptions o;
  o.format = HostPictureFormat::kPng;
  return o;
}

// Rows [y, y + count) of the image as a picture of that many rows.
HostPicture Band(const HostImage& image, int y, int count) {
  HostPicture band;
  band.width = image.width;
  band.height = count;
  HostPictureLayer& layer = band.layers.emplace_back();
  layer.channels = {"R", "G", "B", "A"};
  layer.type = HostSampleType::kUint8;
  size_t row = static_cast<size_t>(image.width) * 4;
  layer.bytes.assign(image.rgba.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(y) * row),
                     image.rgba.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(y + count) * row));
  return band;
}

}  // namespace

HostPicture HostImageAsPicture(const HostImage& image) { return Band(image, 0, image.height); }

bool HostDecodePng(const void* bytes, size_t size, const std::string& source, HostImage& out, std::string* error) {
  auto budget = [](int width, int height, int channels, std::string* why) {
    if (HostPictureCharge(width, height, channels) <= HostPixelBudget()) return true;
    *why = HostOverBudget(width, height, channels, HostPixelBudget(), 0);
    return false;
  };
  HostImage result;
  uint32_t width = 0, height = 0;
  std::string why;
  if (!picture_codecs::DecodePngRgba8(bytes, size, budget, &width, &height, &result.rgba, &why)) {
    if (error) *error = source + ": " + why;
    return false;
  }
  result.width = static_cast<int>(width);
  result.height = static_cast<int>(height);
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

bool HostEncodePng(const HostImage& image, std::vector<uint8_t>* png, std::string* error) {
  std::string bytes;
  if (!WellFormed(image)) {
    if (error) *error = "cannot encode the picture (empty or malformed picture)";
    return false;
  }
  if (!HostEncodePicture(HostImageAsPicture(image), PngOptions(), &bytes, error)) return false;
  png->assign(bytes.begin(), bytes.end());
  return true;
}

bool HostWritePng(const std::string& path, const HostImage& image, std::string* error) {
  if (!WellFormed(image)) {
    if (error) *error = "cannot write " + path + ": empty or malformed picture";
    return false;
  }
  std::unique_ptr<HostPictureWriter> w =
      HostPictureWriter::Begin(path, {image.width, image.height, {{"", {"R", "G", "B", "A"}}}}, PngOptions(), error);
  if (!w) return false;
  const int kBand = 64;
  for (int y = 0; y < image.height; y += kBand) {
    int count = std::min(kBand, image.height - y);
    if (!w->WriteRows(Band(image, y, count), 0, count, error)) return false;
  }
  return w->Finish(error);
}
