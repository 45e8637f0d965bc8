#include "render/render_plan.h"

#include <hostside/file_io.h>
#include <hostside/picture_io.h>
#include <hostside/scene_file.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <sstream>

#include "common/digest.h"
#include "common/value_readers.h"

namespace fs = std::filesystem;

namespace plughost {

const std::vector<RenderOption>& RenderOptionTable() {
  using S = RenderOptionScope;
  using R = RenderRequest;
  static const std::vector<RenderOption> table = {
      {"scene", "A scene file; its first texture map is used (default: a new texture)",
       [](R& r) -> RenderField { return &r.texture.sceneFile; }, S::kTexture},
      {"--class", "The class of the new texture when no scene is given",
       [](R& r) -> RenderField { return &r.texture.className; }, S::kTexture},
      {"--set", "NAME=VALUE, as plughost scene set takes it (e.g. size=4, high=0.6)",
       [](R& r) -> RenderField { return &r.texture.sets; }, S::kTexture},
      {"--key", "NAME@TIME=VALUE, as plughost scene set takes it", [](R& r) -> RenderField { return &r.texture.keys; },
       S::kTexture},
      {"--map", "A sub-map for the texture: 'checker' or a PNG file (switches Map On on)",
       [](R& r) -> RenderField { return &r.texture.map; }, S::kTexture},
      {"-o,--output",
       "The picture to write, PNG or OpenEXR by its extension (.png, .exr); a run of # becomes the frame number "
       "(dirt.####.png)",
       [](R& r) -> RenderField { return &r.output; }, S::kPicture},
      {"--mesh", "A model (OBJ, glTF, FBX, PLY or STL) to render the texture on, seen through its camera or framed",
       [](R& r) -> RenderField { return &r.mesh; }, S::kPicture},
      {"--view", "flat (the swatch), sphere or cube; with --mesh, mesh (the default)",
       [](R& r) -> RenderField { return &r.view; }, S::kPicture},
      {"--channel", "color (over the background), mono or bump; with --pass data also all",
       [](R& r) -> RenderField { return &r.channel; }, S::kPicture},
      {"--pass", "display (what the sample slot shows) or data (the texture's own values)",
       [](R& r) -> RenderField { return &r.pass; }, S::kPicture},
      {"--depth", "PNG: 8 (default) or 16; OpenEXR: half (default) or float",
       [](R& r) -> RenderField { return &r.depth; }, S::kPicture},
      {"--compression", "PNG: fast (default), small, none; OpenEXR: zip (default), none, rle, zips, piz, ...",
       [](R& r) -> RenderField { return &r.compression; }, S::kPicture},
      {"--bump-amount", "How strongly the bump channel's perturbation bends the normal (default: the scene's, or 40)",
       [](R& r) -> RenderField { return &r.bumpAmount; }, S::kPicture},
      {"--width", "Width in pixels", [](R& r) -> RenderField { return &r.width; }, S::kPicture},
      {"--height", "Height in pixels", [](R& r) -> RenderField { return &r.height; }, S::kPicture},
      {"--frames", "Frames to render: 0-100, 0-100x5, or a list 1,5,9", [](R& r) -> RenderField { return &r.frames; },
       S::kPicture},
      {"--time", "One time: a frame number, or ticks with a t suffix", [](R& r) -> RenderField { return &r.time; },
       S::kPicture},
      {"--threads", "Render threads; 0 uses every core", [](R& r) -> RenderField { return &r.threads; }, S::kProcess},
      {"-q,--quiet", "No progress at all", [](R& r) -> RenderField { return &r.quiet; }, S::kProcess},
      {"--progress",
       "auto (a bar on a terminal, plain lines otherwise), bar, lines (\"plughost: progress 42% frame 3 (2/5)\", "
       "at most four a second) or none",
       [](R& r) -> RenderField { return &r.progress; }, S::kProcess},
      {"--chunk", "K/N: only the K-th of N equal runs of the frames (1 <= K <= N)",
       [](R& r) -> RenderField { return &r.piece.chunk; }, S::kProcess},
      {"--tile",
       "K/N: only the K-th of N tiles of the picture, row by row from the top left, to NAME.tile-X0-Y0-X1-Y1.png",
       [](R& r) -> RenderField { return &r.piece.tile; }, S::kProcess},
      {"--region", "x0,y0,x1,y1: only the pixels [x0, x1) by [y0, y1) of the picture, to NAME.tile-X0-Y0-X1-Y1.png",
       [](R& r) -> RenderField { return &r.piece.region; }, S::kProcess},
      {"--overwrite", "With --chunk, --tile or --region: render pictures again that are already complete",
       [](R& r) -> RenderField { return &r.piece.overwrite; }, S::kProcess},
  };
  return table;
}

std::vector<std::string> RenderTaskArguments(const RenderRequest& request) {
  return TaskArguments(request, {RenderOptionScope::kTexture, RenderOptionScope::kPicture});
}

std::vector<std::string> TaskArguments(const RenderRequest& request, std::initializer_list<RenderOptionScope> scopes) {
  RenderRequest r = request;  // the table's fields are a request's members
  std::error_code ec;
  if (!r.mesh.empty()) r.mesh = fs::absolute(r.mesh, ec).lexically_normal().string();
  std::vector<std::string> args;
  for (const RenderOption& o : RenderOptionTable()) {
    if (std::find(scopes.begin(), scopes.end(), o.scope) == scopes.end()) continue;
    std::string name = o.names;
    name = name.substr(name.find(',') + 1);  // the long name
    bool positional = name[0] != '-';
    auto give = [&](const std::string& value) {
      if (!positional) args.push_back(name);
      args.push_back(value);
    };
    std::visit(
        [&](auto* v) {
          using T = std::remove_pointer_t<decltype(v)>;
          if constexpr (std::is_same_v<T, std::string>) {
            if (!v->empty()) give(*v);
          } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
            for (const std::string& each : *v) give(each);
          } else if constexpr (std::is_same_v<T, int>) {
            give(std::to_string(*v));
          } else if (*v) {
            args.push_back(name);
          }
        },
        o.field(r));
  }
  return args;
}

bool ParseFrameList(const std::string& text, std::vector<int>* frames, std::string* error) {
  frames->clear();
  // Every range is read and counted before any is expanded, so a range of a
  // billion frames costs nothing; and every frame's time must fit in the
  // 32-bit ticks of a time value.
  struct Range {
    int first, last, step;
  };
  std::vector<Range> ranges;
  const int reach = std::numeric_limits<TimeValue>::max() / GetTicksPerFrame();
  long long count = 0;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    int a = 0, b = 0, step = 1;
    size_t dash = part.find('-', 1);  // a leading '-' is a sign
    size_t x = part.find('x');
    std::string first = part.substr(0, dash == std::string::npos ? x : dash);
    bool ok = ParseInt(first, &a);
    b = a;
    if (ok && dash != std::string::npos) {
      std::string second = part.substr(dash + 1, x == std::string::npos ? std::string::npos : x - dash - 1);
      ok = ParseInt(second, &b);
    }
    if (ok && x != std::string::npos) ok = dash != std::string::npos && ParseInt(part.substr(x + 1), &step) && step > 0;
    if (!ok || b < a) {
      *error = "bad frame range '" + part + "' (use 0-100, 0-100x5 or a list such as 1,5,9)";
      return false;
    }
    if (a < -reach || b > reach) {
      *error = "frame range '" + part + "' is outside frames -" + std::to_string(reach) + " to " +
               std::to_string(reach) + ", the times a scene can hold";
      return false;
    }
    count += (static_cast<long long>(b) - a) / step + 1;
    if (count > kMaxFrames) {
      *error = "too many frames in '" + text + "' (at most " + std::to_string(kMaxFrames) + ")";
      return false;
    }
    ranges.push_back({a, b, step});
  }
  if (ranges.empty()) {
    *error = "empty frame range";
    return false;
  }
  for (const Range& r : ranges)
    for (long long f = r.first; f <= r.last; f += r.step) frames->push_back(static_cast<int>(f));
  return true;
}

namespace {

// The pattern with its frame number spelled as runs of '#'.
std::string FramePatternAsHashes(const std::string& pattern) {
  std::string p;
  for (size_t i = 0; i < pattern.size(); ++i) {
    // %d or %0Nd (N of 1 to 2 digits); any other % stays.
    if (pattern[i] == '%') {
      size_t j = i + 1, width = 0;
      bool padded = j < pattern.size() && pattern[j] == '0';
      if (padded) ++j;
      size_t digits = 0;
      while (j < pattern.size() && digits < 2 && pattern[j] >= '0' && pattern[j] <= '9') {
        width = width * 10 + static_cast<size_t>(pattern[j++] - '0');
        ++digits;
      }
      if (j < pattern.size() && pattern[j] == 'd' && padded == (digits > 0) && (!padded || width > 0)) {
        p.append(padded ? width : 1, '#');
        i = j;
        continue;
      }
    }
    p += pattern[i];
  }
  size_t name = p.find_last_of('/');
  name = name == std::string::npos ? 0 : name + 1;
  std::replace(p.begin() + static_cast<std::ptrdiff_t>(name), p.end(), '@', '#');
  return p;
}

}  // namespace

std::string FrameFileName(const std::string& pattern, int frame, bool several) {
  std::string p = FramePatternAsHashes(pattern);
  if (p.find('#') == std::string::npos) {
    if (!several) return p;
    fs::path path(p);
    std::string ext = path.extension().string();
    p = p.substr(0, p.size() - ext.size()) + ".####" + ext;
  }
  // The frame number, its sign first, padded with zeros to the run's length.
  std::string sign = frame < 0 ? "-" : "";
  std::string digits = std::to_string(frame < 0 ? -static_cast<long long>(frame) : frame);
  std::string out;
  for (size_t i = 0; i < p.size();) {
    if (p[i] != '#') {
      out += p[i++];
      continue;
    }
    size_t run = 0;
    while (i + run < p.size() && p[i + run] == '#') ++run;
    out += sign;
    if (run > sign.size() + digits.size()) out.append(run - sign.size() - digits.size(), '0');
    out += digits;
    i += run;
  }
  return out;
}

namespace {

// Which writer the output's extension names, with the depth and compression
// it takes, checked before anything is rendered.
bool PlanWriteOptions(const RenderRequest& r, const RenderSettings& s, HostPictureWriteOptions* w, std::string* error) {
  HostPictureFormat format;
  if (!HostPictureFormatFor(r.output, &format, error)) return *error = "-o " + *error, false;
  w->format = format;
  w->display = s.pass == RenderPass::Display;
  auto list = [](const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
  };
  std::vector<std::string> depths = HostPictureDepths(format), compressions = HostPictureCompressions(format);
  std::string name = HostPictureFormatName(format);
  if (!r.depth.empty() &&
      (std::find(depths.begin(), depths.end(), r.depth) == depths.end() || !HostParsePictureDepth(r.depth, &w->depth)))
    return *error = "--depth " + r.depth + " is not one " + name + " takes (" + list(depths) + ")", false;
  if (!r.compression.empty() &&
      std::find(compressions.begin(), compressions.end(), r.compression) == compressions.end())
    return *error = "--compression " + r.compression + " is not one " + name + " takes (" + list(compressions) + ")",
           false;
  w->compression = r.compression;
  if (!HostPictureFits(format, RenderShape(s), error)) return *error = r.output + ": " + *error, false;
  return true;
}

}  // namespace

bool MakeRenderPlan(const RenderRequest& r, RenderPlan* plan, std::string* error) {
  RenderPlan p;
  RenderSettings& s = p.settings;
  std::string view = !r.view.empty() ? r.view : r.mesh.empty() ? "flat" : "mesh";
  if (!ParseRenderView(view, &s.view))
    return *error = "unknown view '" + view + "' (flat, sphere or cube; mesh with --mesh)", false;
  if (s.view == RenderView::Mesh && r.mesh.empty())
    return *error = "--view mesh needs a model: give --mesh FILE", false;
  if (s.view != RenderView::Mesh && !r.mesh.empty())
    return *error = "--mesh renders the model: --view " + view + " does not go with it", false;
  if (!ParseRenderChannel(r.channel, &s.channel))
    return *error = "unknown channel '" + r.channel + "' (color, mono, bump, or all with --pass data)", false;
  if (!ParseRenderPass(r.pass, &s.pass)) return *error = "unknown pass '" + r.pass + "' (display or data)", false;
  if (s.channel == RenderChannel::All && s.pass != RenderPass::Data)
    return *error = "--channel all needs --pass data", false;
  if (r.width < 1 || r.height < 1 || r.width > kMaxPictureSide || r.height > kMaxPictureSide) {
    *error = "resolution must be between 1 and " + std::to_string(kMaxPictureSide) + " pixels a side";
    return false;
  }
  if (!ParseProgressStyle(r.progress, &p.progress))
    return *error = "unknown --progress '" + r.progress + "' (auto, bar, lines or none)", false;
  if (r.quiet) p.progress = ProgressStyle::kNone;
  if (r.threads < 0) return *error = "--threads must be 0 (every core) or more", false;
  if (!r.bumpAmount.empty()) {
    if (!ParseFloat(r.bumpAmount, &s.bumpAmount, error)) return *error = "--bump-amount " + *error, false;
    p.bumpAmountGiven = true;
  }
  s.width = r.width;
  s.height = r.height;
  s.threads = RenderThreadCount(r.threads);
  p.threadsAsked = r.threads;

  std::vector<TimeValue> times;
  if (!r.frames.empty() && !r.time.empty()) return *error = "give --frames or --time, not both", false;
  if (!r.frames.empty()) {
    if (!ParseFrameList(r.frames, &p.frames, error)) return false;
    for (int f : p.frames) times.push_back(static_cast<TimeValue>(f) * GetTicksPerFrame());  // fits: checked
  } else {
    TimeValue t = 0;
    if (!r.time.empty() && !ParseTime(r.time, &t, error)) return *error = "--time " + *error, false;
    times.push_back(t);
    p.frames.push_back(t / GetTicksPerFrame());
  }
  p.severalFrames = times.size() > 1;
  std::vector<int> frames = p.frames;
  if (!SelectPiece(r.piece, s.width, s.height, &frames, &times, &s.region, error)) return false;
  for (size_t i = 0; i < frames.size(); ++i) {
    p.pictures.push_back(
        {frames[i], times[i], PieceFileName(FrameFileName(r.output, frames[i], p.severalFrames), s.region)});
  }
  if (!PlanWriteOptions(r, s, &p.write, error)) return false;
  p.output = r.output;
  p.mesh = r.mesh;
  p.scene = r.texture.sceneFile.empty() ? "new " + r.texture.className : r.texture.sceneFile;
  p.piece = r.piece.Any();
  p.overwrite = r.piece.overwrite;
  *plan = std::move(p);
  return true;
}

void TakeSceneRenderSettings(const Scene& scene, RenderPlan* plan) {
  double amount = 0.0;
  if (!plan->bumpAmountGiven && scene.GetSetting(kBumpAmountSetting, &amount))
    plan->settings.bumpAmount = static_cast<float>(amount);
}

bool NameTextureByContent(TextureSource* texture, std::string* error) {
  auto byContent = [&](std::string* name, uint64_t most) {
    std::string bytes, why;
    if (!HostReadRegularFile(*name, most, &bytes, &why)) return *error = "cannot read " + *name + ": " + why, false;
    *name = "sha256:" + Sha256Hex(bytes);
    return true;
  };
  if (!texture->sceneFile.empty() && !byContent(&texture->sceneFile, kSceneMaxFileBytes)) return false;
  return texture->map.empty() || texture->map == "checker" || byContent(&texture->map, kMaxPictureFileBytes);
}

std::string FingerprintOfArguments(const std::string& verb, const std::vector<std::string>& args) {
  std::string text = "plughost " + verb + "\n";
  for (const std::string& arg : args) text += arg + '\0';
  return Sha256Hex(text);
}

bool FingerprintRender(const RenderRequest& request, std::string* fingerprint, std::string* error) {
  RenderRequest r = request;
  if (!NameTextureByContent(&r.texture, error)) return false;
  r.output = fs::path(r.output).extension().string();
  std::vector<std::string> args = RenderTaskArguments(r);
  // The model by its bytes too (read a megabyte at a time: models are large),
  // in place of the path the task arguments make absolute.
  auto mesh = std::find(args.begin(), args.end(), "--mesh");
  if (mesh != args.end() && mesh + 1 != args.end()) {
    std::string hex;
    if (!Sha256OfFile(r.mesh, &hex, error)) return false;
    mesh[1] = "sha256:" + hex;
  }
  *fingerprint = FingerprintOfArguments("render", args);
  return true;
}

bool CheckPlanOutputs(const RenderPlan& plan, std::string* error) {
  for (const PlannedPicture& picture : plan.pictures) {
    if (!HostCheckOutputFile(picture.file, error))
      return *error = "cannot write " + picture.file + ": " + *error, false;
  }
  return true;
}

}  // namespace plughost
