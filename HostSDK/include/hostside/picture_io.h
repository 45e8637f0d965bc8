// Pictures between files and memory: PNG (8 and 16-bit, through libpng) and
// OpenEXR (half and float, through OpenEXR), every file written through the
// host's one atomic writer (hostside/file_io.h).
//
// Writing streams: Begin takes the picture's shape and writes the header,
// WriteRows takes rows in order, top to bottom, as they are made, and Finish
// completes the file and puts it in place of the old one. Encoding so runs
// while later rows are still being made. A writer destroyed before Finish
// succeeds leaves the old file as it was and no temporary. The bytes depend on
// the shape, the samples and the options only, never on how the rows were cut
// into calls or on the thread count: the same picture gives the same file.
//
// Reading takes any of the writers' files at full precision: a PNG's samples
// as 8 or 16-bit integers, an OpenEXR file's as half or float. Every read is
// held to the pixel budget, checked on the header before anything is
// allocated; a picture is recognised by its first bytes, not by its name.
//
// Errors are one line naming the file: "cannot write FILE: why" for writes,
// "FILE: why" for reads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../hostsdk_api.h"
#include "picture.h"

// ---- Limits ------------------------------------------------------------------

// The most pixels a picture read may have, checked against its header before
// anything is allocated, so that a small file cannot claim gigabytes. A
// picture of more than four channels counts its pixels once for every four
// channels or part of four (HostPictureCharge), so that the budget bounds
// memory whatever a header claims. The pictures that maps share
// (hostside/picture_cache.h) are held to it all together. The default is
// 8192 x 8192; a user who needs more can raise it.
inline constexpr uint64_t kDefaultPixelBudget = 8192ull * 8192ull;
HOSTSDK_API uint64_t HostPixelBudget();
HOSTSDK_API void HostSetPixelBudget(uint64_t pixels);
HOSTSDK_API uint64_t HostPictureCharge(int width, int height, int channels);
// The largest picture file read, whatever its pixels (an uncompressed float
// OpenEXR file of the default budget's pixels fits).
inline constexpr uint64_t kMaxPictureFileBytes = 2ull << 30;

// ---- Formats and options ------------------------------------------------------

enum class HostPictureFormat { kPng, kExr };
enum class HostPictureDepth { kDefault, k8, k16, kHalf, kFloat };

// The format a file name asks for: .exr is OpenEXR, .png or no extension (a
// device, a FIFO) is PNG, without case; any other extension is refused with
// the reason.
HOSTSDK_API bool HostPictureFormatFor(std::string_view path, HostPictureFormat* format, std::string* error);
HOSTSDK_API const char* HostPictureFormatName(HostPictureFormat format);  // "PNG", "OpenEXR"
// "8", "16", "half", "float".
HOSTSDK_API bool HostParsePictureDepth(std::string_view text, HostPictureDepth* depth);
// The depths and the compression names a format takes, its default first.
// PNG: 8, 16; fast (zlib's quickest level and the Up filter), small (the
// smallest file: level 9, every filter tried), none. OpenEXR: half, float;
// zip, none, rle, zips, piz, pxr24, b44, b44a, dwaa, dwab (the last five
// lose precision, as OpenEXR documents).
HOSTSDK_API std::vector<std::string> HostPictureDepths(HostPictureFormat format);
HOSTSDK_API std::vector<std::string> HostPictureCompressions(HostPictureFormat format);

struct HostPictureWriteOptions {
  std::optional<HostPictureFormat> format;              // unset: HostPictureFormatFor the file's name
  HostPictureDepth depth = HostPictureDepth::kDefault;  // PNG: 8; OpenEXR: half
  std::string compression;                              // empty: the format's default
  // OpenEXR: threads that compress beside the caller (OpenEXR's own pool,
  // raised to this many where it has fewer); 0 compresses on the calling
  // thread. The file is the same either way.
  int threads = 0;
  // The values are for a screen (what a sample slot shows; a PNG marks them
  // sRGB) rather than data (coverage, a bump vector).
  bool display = true;
  // Texts beside the samples, in any order (the file holds them sorted by
  // name), for instance the scene, the map, the time and the frame: OpenEXR
  // string attributes; PNG tEXt chunks before the samples (a name of 1 to 79
  // printable Latin-1 characters without leading, trailing or double spaces;
  // a text without NUL).
  std::vector<std::pair<std::string, std::string>> metadata;
};

// ---- Writing ------------------------------------------------------------------

// What a format can hold of a picture's shape: a PNG one layer of 1 (grey), 2
// (grey, alpha), 3 (RGB) or 4 (RGBA) channels; an OpenEXR file any layers,
// with distinct channel names. False with the reason otherwise, as Begin
// would give it.
HOSTSDK_API bool HostPictureFits(HostPictureFormat format, const HostPictureShape& shape, std::string* error);

class HOSTSDK_API HostPictureWriter {
 public:
  // Checks the options against the format and the shape, opens the file
  // (the temporary beside it) and writes the header. Null with *error when
  // anything does not fit or the file cannot be written.
  static std::unique_ptr<HostPictureWriter> Begin(const std::string& path, const HostPictureShape& shape,
                                                  const HostPictureWriteOptions& options, std::string* error);
  ~HostPictureWriter();  // without a successful Finish: abandons the file
  HostPictureWriter(const HostPictureWriter&) = delete;
  HostPictureWriter& operator=(const HostPictureWriter&) = delete;

  // Rows [y, y + count) of `source` become the file's next `count` rows.
  // `source` has the shape's layers and channels in order and its width; it
  // may be the whole picture or a band of rows, of any sample type (integers
  // and halves are taken at the value HostPictureLayer::Value gives).
  bool WriteRows(const HostPicture& source, int y, int count, std::string* error);
  int RowsWritten() const;
  // Once every row is written: completes the file and puts it in place.
  bool Finish(std::string* error);

  struct State;

 private:
  explicit HostPictureWriter(std::unique_ptr<State> state);
  std::unique_ptr<State> s_;
};

// The whole picture at once, through a writer.
HOSTSDK_API bool HostWritePicture(const std::string& path, const HostPicture& picture,
                                  const HostPictureWriteOptions& options, std::string* error);
// The file's bytes in memory (options.format unset: PNG), for a picture sent
// rather than kept; the same bytes a file would get.
HOSTSDK_API bool HostEncodePicture(const HostPicture& picture, const HostPictureWriteOptions& options,
                                   std::string* bytes, std::string* error);

// ---- Reading ------------------------------------------------------------------

struct HostPictureReadOptions {
  // Only what a map samples: the main pass's R, G, B, A, else its Y (and A),
  // else the first layer (by name), at most four channels, as one layer.
  bool mapChannels = false;
  int threads = 0;  // OpenEXR: threads that decompress beside the caller
};

// Called once the header is read and before the samples are allocated;
// refuses with the reason or admits. Empty: the pixel budget.
using HostPictureAdmission = std::function<bool(int width, int height, int channels, std::string* why)>;

// A PNG or OpenEXR file into *picture. PNG: 8-bit files (and any of lower
// depth, palette, grey) as 8-bit R, G, B, A exactly as libpng's simplified
// reader gives them; 16-bit files with their own channels (Y; Y, A; R, G, B;
// R, G, B, A), every sample as stored. OpenEXR: the main pass first, then
// the layers by name; a layer's channels R, G, B, X, Y, Z, others, A in that
// order; half channels as half, others as float.
HOSTSDK_API bool HostReadPicture(const std::string& path, HostPicture* picture, std::string* error,
                                 const HostPictureReadOptions& options = {}, HostPictureAdmission admission = {});
// The same from bytes in memory; `source` names them in messages.
HOSTSDK_API bool HostDecodePicture(const void* bytes, size_t size, const std::string& source, HostPicture* picture,
                                   std::string* error, const HostPictureReadOptions& options = {},
                                   HostPictureAdmission admission = {});
// The one-line reason a picture is over `budget` pixels when `held` are taken
// already.
HOSTSDK_API std::string HostOverBudget(int width, int height, int channels, uint64_t budget, uint64_t held);

// What a file's header says, and whether every row decodes, without holding
// the picture (a few rows at a time): for telling a complete output from one
// cut short or damaged.
struct HostPictureInfo {
  HostPictureFormat format = HostPictureFormat::kPng;
  HostPictureShape shape;
  HostSampleType type = HostSampleType::kUint8;  // of the samples stored (the widest where they differ)
  bool complete = false;                         // every row decodes to the last
  std::string damage;                            // why not, when not
  // What a writer was given besides the samples, so that a picture can be
  // written again as it was: the metadata (sorted by name), OpenEXR's
  // compression by name (a PNG's cannot be told from the file: empty), and
  // whether a PNG is marked sRGB (display).
  std::vector<std::pair<std::string, std::string>> metadata;
  std::string compression;
  bool display = false;
  // The channels a PNG stores (1 to 4; a palette counts as 4): an 8-bit
  // file's are read as R, G, B, A whatever it stores.
  int fileChannels = 0;
};
// False with *error when the file cannot be read or its header is not a
// picture's (or is over the pixel budget); true with info->complete false
// when the header is sound but the rows are not.
// `admission` as for reading (empty: the pixel budget); the probe itself
// holds a few rows, so a caller that knows the size to expect may admit
// just that size, whatever the budget.
HOSTSDK_API bool HostProbePicture(const std::string& path, HostPictureInfo* info, std::string* error,
                                  HostPictureAdmission admission = {});
HOSTSDK_API bool HostProbePictureBytes(const void* bytes, size_t size, const std::string& source, HostPictureInfo* info,
                                       std::string* error, HostPictureAdmission admission = {});
