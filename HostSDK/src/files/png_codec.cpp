// PNG through libpng: a streaming encoder of 8 and 16-bit rows, and decoders
// that keep 16-bit samples as they are.
//
// libpng reports errors by longjmp back to the setjmp of the call that
// failed, so every function here that calls it sets its jump first and keeps
// no object that needs destroying between that and the calls.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "picture_codecs.h"

namespace picture_codecs {
namespace {

void OnError(png_structp png, png_const_charp message) {
  auto* why = static_cast<std::string*>(png_get_error_ptr(png));
  *why = message;
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// ---- Encoder -------------------------------------------------------------------

// A tEXt keyword as the PNG format allows it.
bool IsKeyword(const std::string& key) {
  if (key.empty() || key.size() > 79 || key.front() == ' ' || key.back() == ' ') return false;
  for (size_t i = 0; i < key.size(); ++i) {
    auto c = static_cast<unsigned char>(key[i]);
    if (c < 32 || (c > 126 && c < 161) || (c == ' ' && key[i + 1] == ' ')) return false;
  }
  return true;
}

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text.substr(0, 80)) out += static_cast<unsigned char>(c) < 32 ? '?' : c;
  return out;
}

void OnWrite(png_structp png, png_bytep data, png_size_t size) {
  static_cast<ByteSink*>(png_get_io_ptr(png))->Append(data, size);
}
void OnFlush(png_structp) {}

class PngEncoder : public Encoder {
 public:
  PngEncoder(const HostPictureShape& shape, bool sixteen, ByteSink* sink)
      : width_(shape.width),
        height_(shape.height),
        channels_(static_cast<int>(shape.layers[0].channels.size())),
        sixteen_(sixteen),
        sink_(sink) {
    row_.resize(static_cast<size_t>(width_) * static_cast<size_t>(channels_) * (sixteen ? 2 : 1));
    floats_.resize(static_cast<size_t>(width_) * static_cast<size_t>(channels_));
  }
  ~PngEncoder() override { png_destroy_write_struct(&png_, &info_); }

  bool Start(const HostPictureWriteOptions& options, std::string* why) {
    const std::string& compression = options.compression;
    bool display = options.display;
    std::vector<std::pair<std::string, std::string>> texts = options.metadata;
    std::sort(texts.begin(), texts.end());
    for (size_t i = 0; i < texts.size(); ++i) {
      if (!IsKeyword(texts[i].first) || (i > 0 && texts[i].first == texts[i - 1].first))
        return Fail("the metadata name \"" + Printable(texts[i].first) + "\" cannot name a PNG text", why);
      if (texts[i].second.find('\0') != std::string::npos)
        return Fail("the metadata \"" + texts[i].first + "\" holds a NUL, which a PNG text cannot", why);
    }
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message_, OnError, OnWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (!info_) return Fail("out of memory", why);
    if (setjmp(png_jmpbuf(png_))) return Fail(message_, why);
    png_set_write_fn(png_, sink_, OnWrite, OnFlush);
    static const int kColorTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                      PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(png_, info_, static_cast<png_uint_32>(width_), static_cast<png_uint_32>(height_), sixteen_ ? 16 : 8,
                 kColorTypes[channels_ - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (display) png_set_sRGB(png_, info_, PNG_sRGB_INTENT_PERCEPTUAL);
    // Fast by default: zlib's quickest level behind the Up filter keeps most
    // of the size of the default settings at a fraction of the time.
    if (compression == "small") {
      png_set_compression_level(png_, Z_BEST_COMPRESSION);
      png_set_filter(png_, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    } else if (compression == "none") {
      png_set_compression_level(png_, Z_NO_COMPRESSION);
      png_set_filter(png_, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    } else {
      png_set_compression_level(png_, Z_BEST_SPEED);
      png_set_filter(png_, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    }
    png_set_compression_buffer_size(png_, 1 << 16);
    std::vector<png_text> chunks(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
      chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
      chunks[i].key = const_cast<char*>(texts[i].first.c_str());
      chunks[i].text = const_cast<char*>(texts[i].second.c_str());
      chunks[i].text_length = texts[i].second.size();
    }
    if (!chunks.empty()) png_set_text(png_, info_, chunks.data(), static_cast<int>(chunks.size()));
    png_write_info(png_, info_);
    return Sunk(why);
  }

  bool WriteRows(const HostPicture& source, int y, int count, std::string* why) override {
    const HostPictureLayer& layer = source.layers[0];
    if (setjmp(png_jmpbuf(png_))) return Fail(message_, why);
    for (int r = 0; r < count; ++r) {
      Pack(layer, y + r);
      png_write_row(png_, row_.data());
    }
    return Sunk(why);
  }

  bool Finish(std::string* why) override {
    if (setjmp(png_jmpbuf(png_))) return Fail(message_, why);
    png_write_end(png_, info_);
    return Sunk(why);
  }

 private:
  bool Sunk(std::string* why) { return sink_->Failure().empty() || Fail(sink_->Failure(), why); }

  // Row y of the layer as the file's samples: 8-bit as they are or
  // quantised; 16-bit big-endian.
  void Pack(const HostPictureLayer& layer, int y) {
    size_t n = floats_.size(), at = static_cast<size_t>(y) * n;
    if (!sixteen_ && layer.type == HostSampleType::kUint8) {
      std::memcpy(row_.data(), layer.bytes.data() + at, n);
      return;
    }
    if (sixteen_ && layer.type == HostSampleType::kUint16) {
      for (size_t i = 0; i < n; ++i) {
        row_[2 * i] = static_cast<uint8_t>(layer.words[at + i] >> 8);
        row_[2 * i + 1] = static_cast<uint8_t>(layer.words[at + i]);
      }
      return;
    }
    RowsAsFloats(layer, width_, y, 1, floats_.data());
    // Plain pointers: a byte store may alias the vectors' own fields, which
    // would be read again for every sample.
    const float* f = floats_.data();
    uint8_t* out = row_.data();
    if (!sixteen_) {
      for (size_t i = 0; i < n; ++i) out[i] = HostQuantize8(f[i]);
      return;
    }
    for (size_t i = 0; i < n; ++i) {
      uint16_t q = HostQuantize16(f[i]);
      out[2 * i] = static_cast<uint8_t>(q >> 8);
      out[2 * i + 1] = static_cast<uint8_t>(q);
    }
  }

  int width_, height_, channels_;
  bool sixteen_;
  ByteSink* sink_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  std::string message_;
  std::vector<uint8_t> row_;
  std::vector<float> floats_;
};

// ---- Row decoder -----------------------------------------------------------------

struct MemoryInput {
  const uint8_t* data;
  size_t size, at = 0;
};

void OnRead(png_structp png, png_bytep out, png_size_t size) {
  auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (size > in->size - in->at) png_error(png, "the file ends early");
  std::memcpy(out, in->data + in->at, size);
  in->at += size;
}

// The file without its compressed texts (zTXt, iTXt), which libpng's
// simplified reader would inflate to any size they claim, and cut before a
// chunk other than the rows that claims to run past the end, for which it
// would allocate that much first; there is no way to bound either, and the
// pixels depend on neither. Empty when there is nothing to leave out.
std::string WithoutUnboundedChunks(const void* bytes, size_t size) {
  const auto* b = static_cast<const uint8_t*>(bytes);
  std::string kept;
  size_t at = 8, copied = 0;
  while (at + 12 <= size) {
    size_t length = (size_t{b[at]} << 24) | (size_t{b[at + 1]} << 16) | (size_t{b[at + 2]} << 8) | b[at + 3];
    if (length > size - at - 12) {
      if (std::memcmp(b + at + 4, "IDAT", 4) == 0) break;
      kept.append(reinterpret_cast<const char*>(b + copied), at - copied);
      return kept.empty() ? std::string(reinterpret_cast<const char*>(b), 8) : kept;
    }
    bool text = std::memcmp(b + at + 4, "zTXt", 4) == 0 || std::memcmp(b + at + 4, "iTXt", 4) == 0;
    if (text) {
      kept.append(reinterpret_cast<const char*>(b + copied), at - copied);
      copied = at + 12 + length;
    }
    at += 12 + length;
  }
  if (copied > 0) kept.append(reinterpret_cast<const char*>(b + copied), size - copied);
  return kept;
}

// Reads the file row by row with libpng's own reader, 16-bit samples kept
// (native order) and a transparent colour made an alpha channel. With
// `layer`, a 16-bit file's samples go there; without, the rows are only
// decoded, into one row's memory.
class RowReader {
 public:
  RowReader(const void* bytes, size_t size) : plain_(WithoutUnboundedChunks(bytes, size)), in_{Start(bytes), size} {
    if (!plain_.empty()) in_.size = plain_.size();
  }
  ~RowReader() { png_destroy_read_struct(&png_, &info_, nullptr); }

  bool Header(std::string* why) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message_, OnError, OnWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (!info_) return Fail("out of memory", why);
    if (setjmp(png_jmpbuf(png_))) return Fail(message_, why);
    png_set_read_fn(png_, &in_, OnRead);
    png_read_info(png_, info_);
    if (png_get_valid(png_, info_, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png_);
    if (std::endian::native == std::endian::little && png_get_bit_depth(png_, info_) == 16) png_set_swap(png_);
    passes_ = png_set_interlace_handling(png_);
    png_read_update_info(png_, info_);
    width = static_cast<int>(png_get_image_width(png_, info_));
    height = static_cast<int>(png_get_image_height(png_, info_));
    channels = png_get_channels(png_, info_);
    depth = png_get_bit_depth(png_, info_);
    palette = png_get_color_type(png_, info_) == PNG_COLOR_TYPE_PALETTE;
    display = png_get_valid(png_, info_, PNG_INFO_sRGB) != 0;
    png_textp text = nullptr;
    int count = png_get_text(png_, info_, &text, nullptr);
    for (int i = 0; i < count; ++i)
      texts.emplace_back(text[i].key, std::string(text[i].text ? text[i].text : "", text[i].text_length));
    std::sort(texts.begin(), texts.end());
    return true;
  }

  // Every row of every pass, then the chunks after them to the end.
  bool Rows(HostPictureLayer* layer, std::string* why) {
    size_t rowBytes = png_get_rowbytes(png_, info_);
    if (layer) {
      rows_.resize(static_cast<size_t>(height));
      for (int y = 0; y < height; ++y)
        rows_[static_cast<size_t>(y)] =
            reinterpret_cast<png_bytep>(layer->words.data() + static_cast<size_t>(y) * rowBytes / 2);
    } else {
      row_.resize(rowBytes);
    }
    if (setjmp(png_jmpbuf(png_))) return Fail(message_, why);
    if (layer) {
      png_read_image(png_, rows_.data());
    } else {
      for (int pass = 0; pass < passes_; ++pass)
        for (int y = 0; y < height; ++y) png_read_row(png_, row_.data(), nullptr);
    }
    png_read_end(png_, nullptr);
    return true;
  }

  int width = 0, height = 0, channels = 0, depth = 0;
  bool display = false, palette = false;
  std::vector<std::pair<std::string, std::string>> texts;  // those before the samples

 private:
  const uint8_t* Start(const void* bytes) const {
    return plain_.empty() ? static_cast<const uint8_t*>(bytes) : reinterpret_cast<const uint8_t*>(plain_.data());
  }

  std::string plain_;  // the file's bytes where some were left out
  MemoryInput in_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  int passes_ = 1;
  std::string message_;
  std::vector<png_bytep> rows_;
  std::vector<uint8_t> row_;
};

std::vector<std::string> ChannelsOf(int count) {
  switch (count) {
    case 1: return {"Y"};
    case 2: return {"Y", "A"};
    case 3: return {"R", "G", "B"};
    default: return {"R", "G", "B", "A"};
  }
}

// Whether the header (IHDR, first of all chunks) says 16 bits a sample.
bool IsSixteenBit(const void* bytes, size_t size) {
  const auto* b = static_cast<const uint8_t*>(bytes);
  return size > 24 && std::memcmp(b + 12, "IHDR", 4) == 0 && b[24] == 16;
}

}  // namespace

bool IsPng(const void* bytes, size_t size) {
  return size >= 8 && png_sig_cmp(static_cast<png_const_bytep>(bytes), 0, 8) == 0;
}

bool PngCompressionKnown(const std::string& name) { return name == "fast" || name == "small" || name == "none"; }

std::unique_ptr<Encoder> BeginPng(const HostPictureShape& shape, const HostPictureWriteOptions& options, ByteSink* sink,
                                  std::string* why) {
  auto encoder = std::make_unique<PngEncoder>(shape, options.depth == HostPictureDepth::k16, sink);
  if (!encoder->Start(options, why)) return nullptr;
  return encoder;
}

bool DecodePngRgba8(const void* bytes, size_t size, const HostPictureAdmission& admit, uint32_t* width,
                    uint32_t* height, std::vector<uint8_t>* rgba, std::string* why) {
  std::string plain = WithoutUnboundedChunks(bytes, size);
  if (!plain.empty()) {
    bytes = plain.data();
    size = plain.size();
  }
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, bytes, size)) {
    *why = img.message;
    return false;
  }
  img.format = PNG_FORMAT_RGBA;
  if (!admit(static_cast<int>(img.width), static_cast<int>(img.height), 4, why)) {
    png_image_free(&img);
    return false;
  }
  rgba->resize(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, rgba->data(), 0, nullptr)) {
    *why = img.message;
    png_image_free(&img);
    return false;
  }
  *width = img.width;
  *height = img.height;
  return true;
}

bool DecodePng(const void* bytes, size_t size, const HostPictureAdmission& admit, HostPicture* picture,
               std::string* why) {
  HostPicture result;
  if (!IsSixteenBit(bytes, size)) {
    // 8-bit files and less go through libpng's simplified reader, whose
    // conversions (palette, grey, gamma) earlier pictures were read with.
    uint32_t width = 0, height = 0;
    HostPictureLayer layer;
    if (!DecodePngRgba8(bytes, size, admit, &width, &height, &layer.bytes, why)) return false;
    layer.channels = ChannelsOf(4);
    layer.type = HostSampleType::kUint8;
    result.width = static_cast<int>(width);
    result.height = static_cast<int>(height);
    result.layers.push_back(std::move(layer));
    *picture = std::move(result);
    return true;
  }
  RowReader reader(bytes, size);
  if (!reader.Header(why) || !admit(reader.width, reader.height, reader.channels, why)) return false;
  result.width = reader.width;
  result.height = reader.height;
  HostPictureLayer& layer = result.AddLayer("", ChannelsOf(reader.channels), HostSampleType::kUint16);
  if (!reader.Rows(&layer, why)) return false;
  *picture = std::move(result);
  return true;
}

bool ProbePng(const void* bytes, size_t size, const HostPictureAdmission& admit, HostPictureInfo* info,
              std::string* why) {
  RowReader reader(bytes, size);
  if (!reader.Header(why) || !admit(reader.width, reader.height, reader.channels, why)) return false;
  info->format = HostPictureFormat::kPng;
  bool sixteen = reader.depth == 16;
  info->shape = {reader.width, reader.height, {{"", ChannelsOf(sixteen ? reader.channels : 4)}}};
  info->type = sixteen ? HostSampleType::kUint16 : HostSampleType::kUint8;
  info->metadata = reader.texts;
  info->display = reader.display;
  info->fileChannels = reader.palette ? 4 : reader.channels;
  info->complete = reader.Rows(nullptr, &info->damage);
  return true;
}

}  // namespace picture_codecs
