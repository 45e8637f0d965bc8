// What the PNG and OpenEXR codecs share inside the host layer: where encoded
// bytes go, the encoders' row interface and the decoders.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hostside/picture_io.h"

namespace picture_codecs {

// Gives the reason and fails: how the codecs answer.
inline bool Fail(const std::string& message, std::string* why) {
  *why = message;
  return false;
}

// Where an encoder's bytes go: a file being saved or memory. The first
// failure sticks; Append and WriteAt then do nothing and return false.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool Append(const void* bytes, size_t size) = 0;
  // Overwrites from `offset` (at most Size()), where Seekable().
  virtual bool WriteAt(uint64_t offset, const void* bytes, size_t size) = 0;
  virtual bool Seekable() const = 0;
  virtual uint64_t Size() const = 0;
  virtual std::string Failure() const = 0;  // empty while none
};

class MemorySink : public ByteSink {
 public:
  explicit MemorySink(std::string* bytes) : bytes_(bytes) {}
  bool Append(const void* bytes, size_t size) override {
    bytes_->append(static_cast<const char*>(bytes), size);
    return true;
  }
  bool WriteAt(uint64_t offset, const void* bytes, size_t size) override {
    if (offset + size > bytes_->size()) bytes_->resize(offset + size);
    bytes_->replace(offset, size, static_cast<const char*>(bytes), size);
    return true;
  }
  bool Seekable() const override { return true; }
  uint64_t Size() const override { return bytes_->size(); }
  std::string Failure() const override { return {}; }

 private:
  std::string* bytes_;
};

// An encoder, begun on a sink with the header written: rows in order, then
// Finish once they are all there. Errors name no file.
class Encoder {
 public:
  virtual ~Encoder() = default;
  virtual bool WriteRows(const HostPicture& source, int y, int count, std::string* why) = 0;
  virtual bool Finish(std::string* why) = 0;
};

// Options checked already against the format (depth and compression resolved
// to the format's own).
std::unique_ptr<Encoder> BeginPng(const HostPictureShape& shape, const HostPictureWriteOptions& options, ByteSink* sink,
                                  std::string* why);
std::unique_ptr<Encoder> BeginExr(const HostPictureShape& shape, const HostPictureWriteOptions& options, ByteSink* sink,
                                  std::string* why);
bool PngCompressionKnown(const std::string& name);
bool ExrCompressionKnown(const std::string& name);

// Decoders of a whole file in memory. `admit` is called with the header's
// size before any sample is allocated. Errors name no file.
bool IsPng(const void* bytes, size_t size);
bool IsExr(const void* bytes, size_t size);
// libpng's simplified reader: any PNG as 8-bit RGBA (16-bit files taken as
// linear light, as it takes them).
bool DecodePngRgba8(const void* bytes, size_t size, const HostPictureAdmission& admit, uint32_t* width,
                    uint32_t* height, std::vector<uint8_t>* rgba, std::string* why);
bool DecodePng(const void* bytes, size_t size, const HostPictureAdmission& admit, HostPicture* picture,
               std::string* why);
bool DecodeExr(const void* bytes, size_t size, const HostPictureReadOptions& options, const HostPictureAdmission& admit,
               HostPicture* picture, std::string* why);
bool ProbePng(const void* bytes, size_t size, const HostPictureAdmission& admit, HostPictureInfo* info,
              std::string* why);
bool ProbeExr(const void* bytes, size_t size, const HostPictureAdmission& admit, HostPictureInfo* info,
              std::string* why);

// The channel order a reader gives a layer: R, G, B, X, Y, Z, then others by
// name, A last.
bool ChannelBefore(const std::string& a, const std::string& b);

// Rows [y, y + count) of one layer of `source` as floats, into `out`.
void RowsAsFloats(const HostPictureLayer& layer, int width, int y, int count, float* out);

}  // namespace picture_codecs
