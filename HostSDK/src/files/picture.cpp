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
