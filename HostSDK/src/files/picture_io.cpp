// Pictures between files and memory: formats, options, the streaming writer
// and the readers (hostside/picture_io.h).
#include "hostside/picture_io.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <set>

#include "hostside/file_io.h"
#include "picture_codecs.h"

namespace pc = picture_codecs;

namespace {

std::atomic<uint64_t> g_pixelBudget{kDefaultPixelBudget};

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The options with the format, depth and compression resolved, or the reason
// they do not fit the format.
bool Resolve(const std::string& path, const HostPictureShape& shape, HostPictureWriteOptions* o, std::string* why) {
  HostPictureFormat format;
  if (o->format) {
    format = *o->format;
  } else if (!HostPictureFormatFor(path, &format, why)) {
    return false;
  }
  o->format = format;
  const char* name = HostPictureFormatName(format);
  bool png = format == HostPictureFormat::kPng;
  if (o->depth == HostPictureDepth::kDefault) o->depth = png ? HostPictureDepth::k8 : HostPictureDepth::kHalf;
  bool depthFits = png ? (o->depth == HostPictureDepth::k8 || o->depth == HostPictureDepth::k16)
                       : (o->depth == HostPictureDepth::kHalf || o->depth == HostPictureDepth::kFloat);
  if (!depthFits) {
    static const char* kDepthNames[] = {"", "8", "16", "half", "float"};
    return Fail(why, std::string(name) + " holds no " + kDepthNames[static_cast<int>(o->depth)] +
                         "-bit samples (it takes " + (png ? "8 or 16" : "half or float") + ")");
  }
  if (o->compression.empty()) o->compression = HostPictureCompressions(format).front();
  o->compression = Lower(o->compression);
  if (!(png ? pc::PngCompressionKnown(o->compression) : pc::ExrCompressionKnown(o->compression))) {
    std::string names;
    for (const std::string& c : HostPictureCompressions(format)) names += (names.empty() ? "" : ", ") + c;
    return Fail(why, std::string(name) + " has no compression \"" + o->compression + "\" (it has " + names + ")");
  }
  return HostPictureFits(format, shape, why);
}

// A file being saved, as an encoder's sink.
class FileSink : public pc::ByteSink {
 public:
  explicit FileSink(std::unique_ptr<HostAtomicFile> file) : file_(std::move(file)) {}
  bool Append(const void* bytes, size_t size) override { return file_->Append(bytes, size, nullptr); }
  bool WriteAt(uint64_t offset, const void* bytes, size_t size) override {
    return file_->WriteAt(offset, bytes, size, nullptr);
  }
  bool Seekable() const override { return file_->Seekable(); }
  uint64_t Size() const override { return file_->Size(); }
  std::string Failure() const override { return file_->Failure(); }
  bool Commit(std::string* why) { return file_->Commit(why); }

 private:
  std::unique_ptr<HostAtomicFile> file_;
};

bool SameLayers(const HostPictureShape& shape, const HostPicture& source) {
  if (source.width != shape.width || source.layers.size() != shape.layers.size()) return false;
  for (size_t l = 0; l < shape.layers.size(); ++l)
    if (source.layers[l].channels.size() != shape.layers[l].channels.size()) return false;
  return true;
}

}  // namespace

// ---- Limits ------------------------------------------------------------------

uint64_t HostPixelBudget() { return g_pixelBudget.load(); }
void HostSetPixelBudget(uint64_t pixels) { g_pixelBudget.store(pixels); }

uint64_t HostPictureCharge(int width, int height, int channels) {
  uint64_t fours = (static_cast<uint64_t>(std::max(channels, 1)) + 3) / 4;
  return static_cast<uint64_t>(std::max(width, 0)) * static_cast<uint64_t>(std::max(height, 0)) * fours;
}

std::string HostOverBudget(int width, int height, int channels, uint64_t budget, uint64_t held) {
  std::string what = "the picture is " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
  if (channels > 4)
    what += " in " + std::to_string(channels) + " channels, counted as " +
            std::to_string(HostPictureCharge(width, height, channels));
  if (held > 0)
    return what + "; with the " + std::to_string(held) + " pixels of pictures already loaded that is more than" +
           " the pixel budget of " + std::to_string(budget);
  return what + ", more than the pixel budget of " + std::to_string(budget);
}

// ---- Formats -----------------------------------------------------------------

bool HostPictureFormatFor(std::string_view path, HostPictureFormat* format, std::string* error) {
  size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  std::string ext = dot == std::string_view::npos || dot == 0 ? "" : Lower(name.substr(dot + 1));
  if (ext == "exr") {
    *format = HostPictureFormat::kExr;
  } else if (ext.empty() || ext == "png") {
    *format = HostPictureFormat::kPng;
  } else {
    return Fail(error, "." + ext + " is not a picture format written (.png or .exr)");
  }
  return true;
}

const char* HostPictureFormatName(HostPictureFormat format) {
  return format == HostPictureFormat::kExr ? "OpenEXR" : "PNG";
}

bool HostParsePictureDepth(std::string_view text, HostPictureDepth* depth) {
  std::string t = Lower(text);
  if (t == "8")
    *depth = HostPictureDepth::k8;
  else if (t == "16")
    *depth = HostPictureDepth::k16;
  else if (t == "half")
    *depth = HostPictureDepth::kHalf;
  else if (t == "float")
    *depth = HostPictureDepth::kFloat;
  else
    return false;
  return true;
}

std::vector<std::string> HostPictureDepths(HostPictureFormat format) {
  if (format == HostPictureFormat::kExr) return {"half", "float"};
  return {"8", "16"};
}

std::vector<std::string> HostPictureCompressions(HostPictureFormat format) {
  if (format == HostPictureFormat::kExr)
    return {"zip", "none", "rle", "zips", "piz", "pxr24", "b44", "b44a", "dwaa", "dwab"};
  return {"fast", "small", "none"};
}

bool HostPictureFits(HostPictureFormat format, const HostPictureShape& shape, std::string* error) {
  if (shape.width <= 0 || shape.height <= 0 || shape.layers.empty()) return Fail(error, "the picture is empty");
  if (shape.width > (1 << 30) || shape.height > (1 << 30)) return Fail(error, "the picture is too large");
  std::set<std::string> names;
  for (const HostLayerShape& layer : shape.layers) {
    if (layer.channels.empty()) return Fail(error, "the layer \"" + layer.name + "\" has no channels");
    for (const std::string& c : layer.channels) {
      std::string full = layer.name.empty() ? c : layer.name + "." + c;
      if (c.empty() || !names.insert(full).second)
        return Fail(error, "the channel name \"" + full + "\" is empty or given twice");
    }
  }
  if (format == HostPictureFormat::kPng && (shape.layers.size() != 1 || shape.layers[0].channels.size() > 4))
    return Fail(error, "a PNG file holds one layer of at most four channels (write .exr for more)");
  return true;
}

// ---- Writing -----------------------------------------------------------------

struct HostPictureWriter::State {
  std::string path;
  HostPictureShape shape;
  std::unique_ptr<FileSink> sink;
  std::unique_ptr<pc::Encoder> encoder;
  int rows = 0;
  bool broken = false;
};

HostPictureWriter::HostPictureWriter(std::unique_ptr<State> state) : s_(std::move(state)) {}
HostPictureWriter::~HostPictureWriter() = default;  // the sink abandons the temporary

std::unique_ptr<HostPictureWriter> HostPictureWriter::Begin(const std::string& path, const HostPictureShape& shape,
                                                            const HostPictureWriteOptions& options,
                                                            std::string* error) {
  auto fail = [&](const std::string& why) {
    Fail(error, "cannot write " + path + ": " + why);
    return nullptr;
  };
  HostPictureWriteOptions o = options;
  std::string why;
  if (!Resolve(path, shape, &o, &why)) return fail(why);
  std::unique_ptr<HostAtomicFile> file = HostAtomicFile::Open(path, &why);
  if (!file) return fail(why);
  auto s = std::make_unique<State>();
  s->path = path;
  s->shape = shape;
  s->sink = std::make_unique<FileSink>(std::move(file));
  s->encoder = *o.format == HostPictureFormat::kPng ? pc::BeginPng(shape, o, s->sink.get(), &why)
                                                    : pc::BeginExr(shape, o, s->sink.get(), &why);
  if (!s->encoder) return fail(why);
  return std::unique_ptr<HostPictureWriter>(new HostPictureWriter(std::move(s)));
}

bool HostPictureWriter::WriteRows(const HostPicture& source, int y, int count, std::string* error) {
  std::string why;
  if (s_->broken) {
    why = "an earlier write failed";
  } else if (!SameLayers(s_->shape, source) || !source.WellFormed()) {
    why = "the rows do not have the picture's width, layers and channels";
  } else if (y < 0 || count < 0 || count > source.height - y || count > s_->shape.height - s_->rows) {
    why = "rows " + std::to_string(y) + " to " + std::to_string(y + count) + " are not the picture's next";
  } else if (count == 0 || s_->encoder->WriteRows(source, y, count, &why)) {
    s_->rows += count;
    return true;
  }
  s_->broken = true;
  return Fail(error, "cannot write " + s_->path + ": " + why);
}

int HostPictureWriter::RowsWritten() const { return s_->rows; }

bool HostPictureWriter::Finish(std::string* error) {
  std::string why;
  if (s_->broken) {
    why = "an earlier write failed";
  } else if (s_->rows != s_->shape.height) {
    why = "only " + std::to_string(s_->rows) + " of its " + std::to_string(s_->shape.height) + " rows were written";
  } else if (s_->encoder->Finish(&why) && s_->sink->Commit(&why)) {
    s_->broken = true;  // finished: nothing more goes in
    return true;
  }
  s_->broken = true;
  return Fail(error, "cannot write " + s_->path + ": " + why);
}

bool HostWritePicture(const std::string& path, const HostPicture& picture, const HostPictureWriteOptions& options,
                      std::string* error) {
  if (!picture.WellFormed()) return Fail(error, "cannot write " + path + ": empty or malformed picture");
  std::unique_ptr<HostPictureWriter> w = HostPictureWriter::Begin(path, picture.Shape(), options, error);
  return w && w->WriteRows(picture, 0, picture.height, error) && w->Finish(error);
}

bool HostEncodePicture(const HostPicture& picture, const HostPictureWriteOptions& options, std::string* bytes,
                       std::string* error) {
  auto fail = [&](const std::string& why) { return Fail(error, "cannot encode the picture (" + why + ")"); };
  if (!picture.WellFormed()) return fail("empty or malformed picture");
  HostPictureWriteOptions o = options;
  if (!o.format) o.format = HostPictureFormat::kPng;
  std::string why, out;
  if (!Resolve("", picture.Shape(), &o, &why)) return fail(why);
  pc::MemorySink sink(&out);
  std::unique_ptr<pc::Encoder> e = *o.format == HostPictureFormat::kPng ? pc::BeginPng(picture.Shape(), o, &sink, &why)
                                                                        : pc::BeginExr(picture.Shape(), o, &sink, &why);
  if (!e || !e->WriteRows(picture, 0, picture.height, &why) || !e->Finish(&why)) return fail(why);
  *bytes = std::move(out);
  return true;
}

// ---- Reading -----------------------------------------------------------------

namespace {

HostPictureAdmission OrBudget(const HostPictureAdmission& admit) {
  if (admit) return admit;
  return [](int width, int height, int channels, std::string* why) {
    uint64_t budget = HostPixelBudget();
    if (HostPictureCharge(width, height, channels) <= budget) return true;
    *why = HostOverBudget(width, height, channels, budget, 0);
    return false;
  };
}

bool ReadFile(const std::string& path, std::string* bytes, std::string* error) {
  std::string why;
  if (HostReadRegularFile(path, kMaxPictureFileBytes, bytes, &why)) return true;
  return Fail(error, path + ": " + why);
}

}  // namespace

bool HostDecodePicture(const void* bytes, size_t size, const std::string& source, HostPicture* picture,
                       std::string* error, const HostPictureReadOptions& options, HostPictureAdmission admission) {
  std::string why = "not a PNG or OpenEXR file";
  HostPictureAdmission admit = OrBudget(admission);
  bool ok = false;
  if (pc::IsPng(bytes, size))
    ok = pc::DecodePng(bytes, size, admit, picture, &why);
  else if (pc::IsExr(bytes, size))
    ok = pc::DecodeExr(bytes, size, options, admit, picture, &why);
  return ok || Fail(error, source + ": " + why);
}

bool HostReadPicture(const std::string& path, HostPicture* picture, std::string* error,
                     const HostPictureReadOptions& options, HostPictureAdmission admission) {
  std::string bytes;
  return ReadFile(path, &bytes, error) &&
         HostDecodePicture(bytes.data(), bytes.size(), path, picture, error, options, std::move(admission));
}

bool HostProbePictureBytes(const void* bytes, size_t size, const std::string& source, HostPictureInfo* info,
                           std::string* error, HostPictureAdmission admission) {
  std::string why = "not a PNG or OpenEXR file";
  HostPictureAdmission admit = OrBudget(admission);
  HostPictureInfo result;
  bool ok = false;
  if (pc::IsPng(bytes, size))
    ok = pc::ProbePng(bytes, size, admit, &result, &why);
  else if (pc::IsExr(bytes, size))
    ok = pc::ProbeExr(bytes, size, admit, &result, &why);
  if (!ok) return Fail(error, source + ": " + why);
  *info = std::move(result);
  return true;
}

bool HostProbePicture(const std::string& path, HostPictureInfo* info, std::string* error,
                      HostPictureAdmission admission) {
  std::string bytes;
  return ReadFile(path, &bytes, error) &&
         HostProbePictureBytes(bytes.data(), bytes.size(), path, info, error, std::move(admission));
}

// ---- Shared with the codecs ------------------------------------------------------

namespace picture_codecs {

bool ChannelBefore(const std::string& a, const std::string& b) {
  static const char* kOrder[] = {"R", "G", "B", "X", "Y", "Z"};
  auto rank = [](const std::string& c) {
    for (int i = 0; i < 6; ++i)
      if (c == kOrder[i]) return i;
    return c == "A" ? 8 : 7;
  };
  int ra = rank(a), rb = rank(b);
  return ra != rb ? ra < rb : a < b;
}

void RowsAsFloats(const HostPictureLayer& layer, int width, int y, int count, float* out) {
  size_t n = static_cast<size_t>(width) * layer.channels.size() * static_cast<size_t>(count);
  size_t at = static_cast<size_t>(y) * static_cast<size_t>(width) * layer.channels.size();
  if (layer.type == HostSampleType::kFloat) {
    std::copy_n(layer.floats.data() + at, n, out);
    return;
  }
  for (size_t i = 0; i < n; ++i) out[i] = layer.Value(at + i);
}

}  // namespace picture_codecs
