// Pictures in memory: layers of named channels (hostside/picture.h).
#include "hostside/picture.h"

#include <Imath/half.h>

float HostHalfToFloat(uint16_t bits) {
  Imath::half h;
  h.setBits(bits);
  return static_cast<float>(h);
}

uint16_t HostFloatToHalf(float v) { return Imath::half(v).bits(); }

float HostPictureLayer::Value(size_t i) const {
  switch (type) {
    case HostSampleType::kUint8: return bytes[i] / 255.0f;
    case HostSampleType::kUint16: return words[i] / 65535.0f;
    case HostSampleType::kHalf: return HostHalfToFloat(words[i]);
    case HostSampleType::kFloat: return floats[i];
  }
  return 0.0f;
}

int HostPictureLayer::Find(std::string_view channel) const {
  for (size_t c = 0; c < channels.size(); ++c)
    if (channels[c] == channel) return static_cast<int>(c);
  return -1;
}

HostPictureShape HostPicture::Shape() const {
  HostPictureShape shape{width, height, {}};
  for (const HostPictureLayer& l : layers) shape.layers.push_back({l.name, l.channels});
  return shape;
}

bool HostPicture::WellFormed() const {
  if (width <= 0 || height <= 0 || layers.empty()) return false;
  for (const HostPictureLayer& l : layers)
    if (l.channels.empty() || l.Size() != Pixels() * l.channels.size()) return false;
  return true;
}

HostPictureLayer& HostPicture::AddLayer(std::string name, std::vector<std::string> channels, HostSampleType type) {
  HostPictureLayer& l = layers.emplace_back();
  l.name = std::move(name);
  l.channels = std::move(channels);
  l.type = type;
  size_t n = static_cast<size_t>(Pixels()) * l.channels.size();
  switch (type) {
    case HostSampleType::kUint8: l.bytes.assign(n, 0); break;
    case HostSampleType::kUint16:
    case HostSampleType::kHalf: l.words.assign(n, 0); break;
    case HostSampleType::kFloat: l.floats.assign(n, 0.0f); break;
  }
  return l;
}

const HostPictureLayer* HostPicture::FindLayer(std::string_view name) const {
  for (const HostPictureLayer& l : layers)
    if (l.name == name) return &l;
  return nullptr;
}

bool HostPlacePicture(const HostPicture& part, int x, int y, HostPicture* whole) {
  if (!part.WellFormed() || !whole->WellFormed() || part.layers.size() != whole->layers.size() || x < 0 || y < 0 ||
      part.width > whole->width - x || part.height > whole->height - y)
    return false;
  for (size_t l = 0; l < part.layers.size(); ++l)
    if (part.layers[l].channels.size() != whole->layers[l].channels.size()) return false;
  for (size_t l = 0; l < part.layers.size(); ++l) {
    const HostPictureLayer& from = part.layers[l];
    HostPictureLayer& to = whole->layers[l];
    size_t n = from.channels.size(), row = static_cast<size_t>(part.width) * n;
    for (int r = 0; r < part.height; ++r) {
      size_t src = static_cast<size_t>(r) * row;
      size_t dst = (static_cast<size_t>(y + r) * static_cast<size_t>(whole->width) + static_cast<size_t>(x)) * n;
      for (size_t i = 0; i < row; ++i) {
        if (from.type == to.type) {
          switch (to.type) {
            case HostSampleType::kUint8: to.bytes[dst + i] = from.bytes[src + i]; break;
            case HostSampleType::kUint16:
            case HostSampleType::kHalf: to.words[dst + i] = from.words[src + i]; break;
            case HostSampleType::kFloat: to.floats[dst + i] = from.floats[src + i]; break;
          }
          continue;
        }
        float v = from.Value(src + i);
        switch (to.type) {
          case HostSampleType::kUint8: to.bytes[dst + i] = HostQuantize8(v); break;
          case HostSampleType::kUint16: to.words[dst + i] = HostQuantize16(v); break;
          case HostSampleType::kHalf: to.words[dst + i] = HostFloatToHalf(v); break;
          case HostSampleType::kFloat: to.floats[dst + i] = v; break;
        }
      }
    }
  }
  return true;
}
