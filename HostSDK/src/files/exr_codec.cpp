// OpenEXR through OpenEXR 3: a streaming scan-line encoder on OpenEXR's own
// compression threads, and a decoder behind a check of the header's own
// claims.
//
// OpenEXR trusts its header: it sizes the chunk table and its buffers by the
// data window and allocates an attribute by the size the file gives. So the
// header is walked here first, and a file is refused before OpenEXR opens it
// when an attribute runs past the end, the picture is over the budget, the
// chunk table cannot be in the file, or a tile is far larger than the
// picture.
#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfCompression.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfStringAttribute.h>
#include <ImfThreading.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>

#include "picture_codecs.h"

namespace picture_codecs {
namespace {

constexpr const char* kCompressionNames[] = {"none",  "rle", "zips", "zip",  "piz",
                                             "pxr24", "b44", "b44a", "dwaa", "dwab"};
static_assert(std::size(kCompressionNames) == Imf::NUM_COMPRESSION_METHODS);

// The most memory one decoded chunk may take.
constexpr uint64_t kMaxChunkBytes = 256ull << 20;

constexpr int kZipLevel = 1;

// The scan lines in one chunk of each compression, as OpenEXR groups them.
constexpr int kLinesPerChunk[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};

// OpenEXR's globals are made once, before any thread uses the library.
void StartOpenExr() {
  static std::once_flag once;
  std::call_once(once, [] { Imf::staticInitialize(); });
}

// Messages are one line of plain text, whatever a file put in the names they
// quote: OpenEXR's can run over lines.
std::string OneLine(std::string_view what) {
  std::string s(what);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = c == '\n' || c == '\r' || c == '\t' ? ' ' : '?';
  return s;
}

// ---- The header's claims, checked -------------------------------------------------

struct Claims {
  int width = 0, height = 0;
  bool tiled = false;
};

class HeaderWalk {
 public:
  HeaderWalk(const void* bytes, size_t size, bool mapChannels)
      : b_(static_cast<const uint8_t*>(bytes)), size_(size), mapChannels_(mapChannels) {}

  bool Check(const HostPictureAdmission& admit, Claims* claims, std::string* why) {
    if (size_ < 8) return Fail("the file ends early", why);
    uint32_t version = U32(4);
    if ((version & 0xff) != 2) return Fail("OpenEXR version " + std::to_string(version & 0xff) + " is not read", why);
    if (version & 0x800) return Fail("deep OpenEXR files are not read", why);
    bool multipart = (version & 0x1000) != 0;
    claims->tiled = (version & 0x200) != 0;
    at_ = 8;
    bool first = true, sawWindow = false, sawChannels = false;
    int64_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    uint64_t tileW = 0, tileH = 0;
    int compression = 0;
    for (;;) {
      std::string name, type;
      if (!Name(&name, why)) return false;
      if (name.empty()) {
        // The end of a header; with several parts, an empty header ends them.
        if (!multipart) break;
        first = false;
        if (at_ >= size_) return Fail("the file ends early", why);
        if (b_[at_] == 0) {
          ++at_;
          break;
        }
        continue;
      }
      if (!Name(&type, why)) return false;
      if (size_ - at_ < 4) return Fail("the file ends early", why);
      int32_t length = static_cast<int32_t>(U32(at_));
      at_ += 4;
      if (length < 0 || static_cast<uint64_t>(length) > size_ - at_)
        return Fail("the header's attribute " + OneLine(name.substr(0, 64)) + " runs past the end of the file", why);
      size_t value = at_;
      at_ += static_cast<size_t>(length);
      if (!Consistent(type, value, static_cast<size_t>(length)))
        return Fail("the header's attribute " + OneLine(name.substr(0, 64)) + " is damaged", why);
      if (!first) continue;  // later parts are not read
      if (name == "dataWindow" && type == "box2i" && length == 16) {
        x0 = static_cast<int32_t>(U32(value));
        y0 = static_cast<int32_t>(U32(value + 4));
        x1 = static_cast<int32_t>(U32(value + 8));
        y1 = static_cast<int32_t>(U32(value + 12));
        sawWindow = true;
      } else if (name == "compression" && length == 1) {
        compression = b_[value];
      } else if (name == "tiles" && type == "tiledesc" && length == 9) {
        tileW = U32(value);
        tileH = U32(value + 4);
        claims->tiled = true;
      } else if (name == "type" && type == "string") {
        std::string t(reinterpret_cast<const char*>(b_ + value), static_cast<size_t>(length));
        if (t.rfind("deep", 0) == 0) return Fail("deep OpenEXR files are not read", why);
        if (t == "tiledimage") claims->tiled = true;
      } else if (name == "channels" && type == "chlist") {
        if (!Channels(value, static_cast<size_t>(length), why)) return false;
        sawChannels = true;
      }
    }
    if (!sawWindow || !sawChannels) return Fail("the header has no data window or no channels", why);
    int64_t w = x1 - x0 + 1, h = y1 - y0 + 1;
    if (w <= 0 || h <= 0 || w > INT_MAX || h > INT_MAX)
      return Fail("the data window (" + std::to_string(x0) + ", " + std::to_string(y0) + ") to (" + std::to_string(x1) +
                      ", " + std::to_string(y1) + ") is not a picture",
                  why);
    claims->width = static_cast<int>(w);
    claims->height = static_cast<int>(h);
    if (!admit(claims->width, claims->height, mapChannels_ ? std::min(channels_, 4) : channels_, why)) return false;
    if (compression < 0 || compression >= Imf::NUM_COMPRESSION_METHODS)
      return Fail("compression " + std::to_string(compression) + " is unknown", why);
    // OpenEXR decodes a chunk at a time, every channel of it, into buffers
    // of the chunk's size.
    uint64_t chunks = 0, chunkPixels = 0;
    if (claims->tiled) {
      uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
      if (tileW == 0 || tileH == 0 || tileW > (1u << 20) || tileH > (1u << 20) ||
          tileW * tileH > std::max<uint64_t>(pixels, 1u << 16))
        return Fail("its tiles of " + std::to_string(tileW) + " x " + std::to_string(tileH) + " pixels are not read",
                    why);
      chunks = ((static_cast<uint64_t>(w) + tileW - 1) / tileW) * ((static_cast<uint64_t>(h) + tileH - 1) / tileH);
      chunkPixels = tileW * tileH;
    } else {
      uint64_t lines = static_cast<uint64_t>(kLinesPerChunk[compression]);
      chunks = (static_cast<uint64_t>(h) + lines - 1) / lines;
      chunkPixels = lines * static_cast<uint64_t>(w);
    }
    if (chunkPixels * static_cast<uint64_t>(channels_) * sizeof(float) > kMaxChunkBytes)
      return Fail("its chunks of " + std::to_string(chunkPixels) + " pixels in " + std::to_string(channels_) +
                      " channels are more than is read",
                  why);
    if (chunks > (size_ - at_) / 8)
      return Fail("the file ends early: it has no room for the " + std::to_string(chunks) + " chunks it claims", why);
    return true;
  }

 private:
  uint32_t U32(size_t at) const {
    return static_cast<uint32_t>(b_[at]) | static_cast<uint32_t>(b_[at + 1]) << 8 |
           static_cast<uint32_t>(b_[at + 2]) << 16 | static_cast<uint32_t>(b_[at + 3]) << 24;
  }
  bool Name(std::string* out, std::string* why) {
    const void* end = at_ < size_ ? std::memchr(b_ + at_, 0, std::min<size_t>(size_ - at_, 256)) : nullptr;
    if (!end) return Fail("the header is cut short or damaged", why);
    size_t n = static_cast<size_t>(static_cast<const uint8_t*>(end) - (b_ + at_));
    out->assign(reinterpret_cast<const char*>(b_ + at_), n);
    at_ += n + 1;
    return true;
  }
  // OpenEXR reads a value of a type it knows by that type's own layout, not
  // by the size before it, and goes on from where the layout ended: a value
  // whose layout and size disagree would have it read the rest of the header
  // at another place than this walk did. So they must agree.
  bool Consistent(const std::string& type, size_t at, size_t length) const {
    static const std::pair<const char*, size_t> kFixed[] = {{"box2i", 16},      {"box2f", 16},   {"chromaticities", 32},
                                                            {"compression", 1}, {"double", 8},   {"envmap", 1},
                                                            {"float", 4},       {"int", 4},      {"keycode", 28},
                                                            {"lineOrder", 1},   {"m33f", 36},    {"m33d", 72},
                                                            {"m44f", 64},       {"m44d", 128},   {"rational", 8},
                                                            {"tiledesc", 9},    {"timecode", 8}, {"v2i", 8},
                                                            {"v2f", 8},         {"v2d", 16},     {"v3i", 12},
                                                            {"v3f", 12},        {"v3d", 24},     {"deepImageState", 1}};
    for (const auto& [name, size] : kFixed)
      if (type == name) return length == size;
    size_t end = at + length;
    if (type == "chlist") {
      // Names of at most 255 bytes, 16 bytes after each, one empty name last.
      while (at < end && b_[at] != 0) {
        const void* z = std::memchr(b_ + at, 0, std::min<size_t>(end - at, 256));
        if (!z) return false;
        at = static_cast<size_t>(static_cast<const uint8_t*>(z) - b_) + 1;
        if (end - at < 17) return false;
        at += 16;
      }
      return at + 1 == end;
    }
    if (type == "stringvector") {
      while (at < end) {
        if (end - at < 4) return false;
        int32_t n = static_cast<int32_t>(U32(at));
        at += 4;
        if (n < 0 || static_cast<size_t>(n) > end - at) return false;
        at += static_cast<size_t>(n);
      }
      return true;
    }
    if (type == "preview") return length >= 8 && static_cast<uint64_t>(U32(at)) * U32(at + 4) * 4 == length - 8;
    if (type == "floatvector") return length % 4 == 0;
    if (type == "idmanifest") return length >= 8;
    return true;  // a string, or a type OpenEXR keeps as bytes: read by size
  }

  // The channel list (whose layout Consistent has checked): a picture's
  // samples are one a pixel in each channel.
  bool Channels(size_t at, size_t length, std::string* why) {
    size_t end = at + length, count = 0;
    while (b_[at] != 0) {
      at = static_cast<size_t>(static_cast<const uint8_t*>(std::memchr(b_ + at, 0, end - at)) - b_) + 1;
      if (U32(at + 8) != 1 || U32(at + 12) != 1) return Fail("subsampled channels are not read", why);
      at += 16;
      ++count;
    }
    channels_ = static_cast<int>(std::min<size_t>(count, INT_MAX));
    return count > 0 || Fail("the picture has no channels", why);
  }

  const uint8_t* b_;
  size_t size_, at_ = 0;
  bool mapChannels_;
  int channels_ = 0;
};

// ---- Streams ------------------------------------------------------------------------

class MemoryInput : public Imf::IStream {
 public:
  MemoryInput(const void* bytes, size_t size)
      : Imf::IStream("picture"), b_(static_cast<const char*>(bytes)), size_(size) {}
  bool read(char c[], int n) override {
    if (n < 0 || at_ > size_ || static_cast<uint64_t>(n) > size_ - at_) throw Iex::InputExc("the file ends early");
    std::memcpy(c, b_ + at_, static_cast<size_t>(n));
    at_ += static_cast<uint64_t>(n);
    return at_ < size_;
  }
  uint64_t tellg() override { return at_; }
  void seekg(uint64_t at) override { at_ = at; }
  void clear() override {}

 private:
  const char* b_;
  uint64_t size_, at_ = 0;
};

class SinkOutput : public Imf::OStream {
 public:
  explicit SinkOutput(ByteSink* sink) : Imf::OStream("picture"), sink_(sink) {}
  void write(const char c[], int n) override {
    uint64_t size = sink_->Size();
    if (at_ > size || n < 0) throw Iex::IoExc("a write past the end");
    size_t count = static_cast<size_t>(n);
    size_t over = static_cast<size_t>(std::min<uint64_t>(count, size - at_));
    bool ok = (over == 0 || sink_->WriteAt(at_, c, over)) && (over == count || sink_->Append(c + over, count - over));
    if (!ok) throw Iex::IoExc(sink_->Failure());
    at_ += count;
  }
  uint64_t tellp() override { return at_; }
  void seekp(uint64_t at) override { at_ = at; }

 private:
  ByteSink* sink_;
  uint64_t at_ = 0;
};

std::string ChannelName(const std::string& layer, const std::string& channel) {
  return layer.empty() ? channel : layer + "." + channel;
}

// ---- Encoder -------------------------------------------------------------------------

class ExrEncoder : public Encoder {
 public:
  ExrEncoder(const HostPictureShape& shape, ByteSink* sink)
      : shape_(shape), sink_(sink), out_(sink->Seekable() ? sink : &held_) {}

  bool Start(const HostPictureWriteOptions& options, std::string* why) {
    try {
      Imf::Header header(shape_.width, shape_.height);
      header.compression() = static_cast<Imf::Compression>(
          std::find(std::begin(kCompressionNames), std::end(kCompressionNames), options.compression) -
          std::begin(kCompressionNames));
      // zlib's quickest level: deflate is most of what writing costs, and
      // the fastest level keeps all but about a tenth of the default's
      // saving. Always the same level, so an assembled picture is the bytes
      // of the whole render.
      header.zipCompressionLevel() = kZipLevel;
      half_ = options.depth != HostPictureDepth::kFloat;
      Imf::PixelType type = half_ ? Imf::HALF : Imf::FLOAT;
      for (const HostLayerShape& layer : shape_.layers)
        for (const std::string& ch : layer.channels) header.channels().insert(ChannelName(layer.name, ch), type);
      for (const auto& [key, value] : options.metadata) {
        if (key.empty() || header.find(key) != header.end())
          return Fail("the metadata name \"" + key + "\" is the header's own", why);
        header.insert(key, Imf::StringAttribute(value));
      }
      int threads = std::max(0, options.threads);
      if (threads > Imf::globalThreadCount()) Imf::setGlobalThreadCount(threads);
      file_ = std::make_unique<Imf::OutputFile>(out_, header, threads);
    } catch (const std::exception& e) {
      // A failed write reaches here through OpenEXR's own words; the sink's
      // are the ones to give.
      return Sunk(why) && Fail(OneLine(e.what()), why);
    }
    return Sunk(why);
  }

  bool WriteRows(const HostPicture& source, int y, int count, std::string* why) override {
    try {
      // OpenEXR writes the samples in the file's own type: floats as they
      // are, halves rounded here.
      Imf::FrameBuffer fb;
      floats_.resize(source.layers.size());
      halves_.resize(source.layers.size());
      for (size_t l = 0; l < source.layers.size(); ++l) {
        const HostPictureLayer& layer = source.layers[l];
        size_t channels = layer.channels.size(), rowSamples = static_cast<size_t>(source.width) * channels;
        size_t n = rowSamples * static_cast<size_t>(count);
        const char* base;
        size_t sample = half_ ? sizeof(uint16_t) : sizeof(float);
        size_t at = static_cast<size_t>(y) * rowSamples;
        if (half_) {
          halves_[l].resize(n);
          for (size_t i = 0; i < n; ++i)
            halves_[l][i] =
                HostFloatToHalf(layer.type == HostSampleType::kFloat ? layer.floats[at + i] : layer.Value(at + i));
          base = reinterpret_cast<const char*>(halves_[l].data());
        } else if (layer.type == HostSampleType::kFloat) {
          base = reinterpret_cast<const char*>(layer.floats.data() + at);
        } else {
          floats_[l].resize(n);
          RowsAsFloats(layer, source.width, y, count, floats_[l].data());
          base = reinterpret_cast<const char*>(floats_[l].data());
        }
        for (size_t c = 0; c < channels; ++c) {
          fb.insert(ChannelName(shape_.layers[l].name, shape_.layers[l].channels[c]),
                    Imf::Slice::Make(half_ ? Imf::HALF : Imf::FLOAT, base + c * sample, Imath::V2i(0, rows_),
                                     source.width, count, channels * sample, rowSamples * sample));
        }
      }
      file_->setFrameBuffer(fb);
      file_->writePixels(count);
      rows_ += count;
    } catch (const std::exception& e) {
      // A failed write reaches here through OpenEXR's own words; the sink's
      // are the ones to give.
      return Sunk(why) && Fail(OneLine(e.what()), why);
    }
    return Sunk(why);
  }

  bool Finish(std::string* why) override {
    // Closing writes the chunk table back at the start of the file.
    file_.reset();
    if (!Sunk(why)) return false;
    if (out_.sink != sink_ && !sink_->Append(heldBytes_.data(), heldBytes_.size())) return Sunk(why);
    return true;
  }

 private:
  bool Sunk(std::string* why) {
    if (!out_.sink->Failure().empty()) return Fail(out_.sink->Failure(), why);
    return sink_->Failure().empty() || Fail(sink_->Failure(), why);
  }

  // A device or FIFO cannot go back to the chunk table: the file is made in
  // memory and sent whole.
  struct Out {
    explicit Out(ByteSink* s) : sink(s), stream(s) {}
    ByteSink* sink;
    SinkOutput stream;
    operator Imf::OStream&() { return stream; }
  };

  HostPictureShape shape_;
  ByteSink* sink_;
  std::string heldBytes_;
  MemorySink held_{&heldBytes_};
  Out out_;
  std::unique_ptr<Imf::OutputFile> file_;
  bool half_ = true;
  std::vector<std::vector<float>> floats_;
  std::vector<std::vector<uint16_t>> halves_;
  int rows_ = 0;
};

// ---- Decoder -------------------------------------------------------------------------

struct Channel {
  std::string name, full;
  Imf::PixelType type;
};

// The file's channels by layer, the main pass ("") first, each layer's
// channels in the reader's order.
std::map<std::string, std::vector<Channel>> Layers(const Imf::Header& header) {
  std::map<std::string, std::vector<Channel>> layers;
  for (auto it = header.channels().begin(); it != header.channels().end(); ++it) {
    std::string full = it.name();
    size_t dot = full.rfind('.');
    std::string layer = dot == std::string::npos ? "" : full.substr(0, dot);
    layers[layer].push_back({dot == std::string::npos ? full : full.substr(dot + 1), full, it.channel().type});
  }
  for (auto& [name, channels] : layers)
    std::sort(channels.begin(), channels.end(),
              [](const Channel& a, const Channel& b) { return ChannelBefore(a.name, b.name); });
  return layers;
}

// What a map samples: one layer's colour, grey or first four channels.
void KeepMapChannels(std::map<std::string, std::vector<Channel>>* layers) {
  auto first = layers->begin();
  std::vector<Channel> kept;
  auto has = [&](const char* n) {
    return std::any_of(first->second.begin(), first->second.end(), [&](const Channel& c) { return c.name == n; });
  };
  bool colour = has("R") || has("G") || has("B"), grey = has("Y");
  for (const Channel& c : first->second) {
    bool take = colour ? (c.name == "R" || c.name == "G" || c.name == "B" || c.name == "A")
                : grey ? (c.name == "Y" || c.name == "A")
                       : kept.size() < 4;
    if (take) kept.push_back(c);
  }
  std::string name = first->first;
  layers->clear();
  (*layers)[name] = std::move(kept);
}

bool Open(const void* bytes, size_t size, const HostPictureAdmission& admit, bool mapChannels, int threads,
          MemoryInput* stream, std::unique_ptr<Imf::InputFile>* file, std::string* why) {
  StartOpenExr();
  Claims claims;
  if (!HeaderWalk(bytes, size, mapChannels).Check(admit, &claims, why)) return false;
  *file = std::make_unique<Imf::InputFile>(*stream, std::max(0, threads));
  const Imath::Box2i& dw = (*file)->header().dataWindow();
  if (dw.max.x - dw.min.x + 1 != claims.width || dw.max.y - dw.min.y + 1 != claims.height)
    return Fail("the header is damaged", why);
  return true;
}

}  // namespace

bool IsExr(const void* bytes, size_t size) {
  static const uint8_t kMagic[] = {0x76, 0x2f, 0x31, 0x01};
  return size >= 4 && std::memcmp(bytes, kMagic, 4) == 0;
}

bool ExrCompressionKnown(const std::string& name) {
  return std::find(std::begin(kCompressionNames), std::end(kCompressionNames), name) != std::end(kCompressionNames);
}

std::unique_ptr<Encoder> BeginExr(const HostPictureShape& shape, const HostPictureWriteOptions& options, ByteSink* sink,
                                  std::string* why) {
  StartOpenExr();
  auto encoder = std::make_unique<ExrEncoder>(shape, sink);
  if (!encoder->Start(options, why)) return nullptr;
  return encoder;
}

bool DecodeExr(const void* bytes, size_t size, const HostPictureReadOptions& options, const HostPictureAdmission& admit,
               HostPicture* picture, std::string* why) {
  try {
    MemoryInput stream(bytes, size);
    std::unique_ptr<Imf::InputFile> file;
    if (!Open(bytes, size, admit, options.mapChannels, options.threads, &stream, &file, why)) return false;
    if (!file->isComplete()) {
      *why = "the file is cut short: some of its rows are missing";
      return false;
    }
    const Imath::Box2i& dw = file->header().dataWindow();
    auto layers = Layers(file->header());
    if (options.mapChannels) KeepMapChannels(&layers);
    HostPicture result;
    result.width = dw.max.x - dw.min.x + 1;
    result.height = dw.max.y - dw.min.y + 1;
    Imf::FrameBuffer fb;
    for (const auto& [name, channels] : layers) {
      bool half = std::all_of(channels.begin(), channels.end(), [](const Channel& c) { return c.type == Imf::HALF; });
      std::vector<std::string> names;
      for (const Channel& c : channels) names.push_back(c.name);
      HostPictureLayer& layer =
          result.AddLayer(name, std::move(names), half ? HostSampleType::kHalf : HostSampleType::kFloat);
      size_t n = channels.size(), sample = half ? sizeof(uint16_t) : sizeof(float);
      char* base = half ? reinterpret_cast<char*>(layer.words.data()) : reinterpret_cast<char*>(layer.floats.data());
      for (size_t c = 0; c < n; ++c) {
        fb.insert(channels[c].full,
                  Imf::Slice::Make(half ? Imf::HALF : Imf::FLOAT, base + c * sample, dw.min, result.width,
                                   result.height, n * sample, n * sample * static_cast<size_t>(result.width)));
      }
    }
    file->setFrameBuffer(fb);
    file->readPixels(dw.min.y, dw.max.y);
    *picture = std::move(result);
    return true;
  } catch (const std::exception& e) {
    *why = OneLine(e.what());
    return false;
  }
}

bool ProbeExr(const void* bytes, size_t size, const HostPictureAdmission& admit, HostPictureInfo* info,
              std::string* why) {
  try {
    MemoryInput stream(bytes, size);
    std::unique_ptr<Imf::InputFile> file;
    if (!Open(bytes, size, admit, false, 0, &stream, &file, why)) return false;
    const Imath::Box2i& dw = file->header().dataWindow();
    info->format = HostPictureFormat::kExr;
    info->shape = {dw.max.x - dw.min.x + 1, dw.max.y - dw.min.y + 1, {}};
    info->type = HostSampleType::kHalf;
    const Imf::Header& header = file->header();
    for (auto it = header.begin(); it != header.end(); ++it) {
      if (const auto* text = dynamic_cast<const Imf::StringAttribute*>(&it.attribute()))
        info->metadata.emplace_back(it.name(), text->value());
    }
    info->compression = kCompressionNames[header.compression()];
    size_t channels = 0;
    for (const auto& [name, list] : Layers(file->header())) {
      HostLayerShape& layer = info->shape.layers.emplace_back();
      layer.name = name;
      for (const Channel& c : list) {
        layer.channels.push_back(c.name);
        if (c.type != Imf::HALF) info->type = HostSampleType::kFloat;
      }
      channels += list.size();
    }
    info->complete = false;
    if (!file->isComplete()) {
      info->damage = "the file is cut short: some of its rows are missing";
      return true;
    }
    // Every row decoded, a band of rows at a time into the same memory.
    size_t width = static_cast<size_t>(info->shape.width);
    int band = static_cast<int>(std::clamp<size_t>((size_t{1} << 20) / (width * channels), 1, 256));
    std::vector<float> rows(width * channels * static_cast<size_t>(band));
    try {
      for (int y = dw.min.y; y <= dw.max.y; y += band) {
        int last = std::min(dw.max.y, y + band - 1);
        Imf::FrameBuffer fb;
        size_t c = 0;
        for (auto it = file->header().channels().begin(); it != file->header().channels().end(); ++it, ++c) {
          fb.insert(it.name(),
                    Imf::Slice::Make(Imf::FLOAT, rows.data() + c, Imath::V2i(dw.min.x, y), static_cast<int64_t>(width),
                                     last - y + 1, channels * sizeof(float), channels * sizeof(float) * width));
        }
        file->setFrameBuffer(fb);
        file->readPixels(y, last);
      }
    } catch (const std::exception& e) {
      info->damage = OneLine(e.what());
      return true;
    }
    info->complete = true;
    return true;
  } catch (const std::exception& e) {
    *why = OneLine(e.what());
    return false;
  }
}

}  // namespace picture_codecs
