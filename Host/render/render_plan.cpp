#include "render/render_plan.h"

#include <dlfcn.h>
#include <hostside/class_registry.h>
#include <hostside/file_io.h>
#include <hostside/host_maps.h>
#include <hostside/paramblock_access.h>
#include <hostside/scene_file.h>
#include <hostside/shade_context.h>
#include <imtl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>

#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "render/renderer.h"
#include "scene/param_path.h"
#include "scene/scene_maps.h"

namespace fs = std::filesystem;

namespace plughost {

namespace {

// The scene a command works on and the texture in it.
struct Loaded {
  std::unique_ptr<Scene> scene;
  Texmap* tex = nullptr;
};

bool LoadTexture(const TextureSource& src, Loaded* out, std::string* error) {
  ParamAssignments assignments;
  if (!ParseAssignments(src.sets, src.keys, &assignments, error)) return false;
  if (!OpenMapScene(src.sceneFile, src.className, &out->scene, &out->tex, error)) return false;
  if (!src.map.empty()) {
    Texmap* map = NewHostMap(src.map, error);
    if (!map) return *error = "--map " + *error, false;
    out->tex->SetSubTexmap(0, map);
  }
  return ApplyAssignments(SceneRoots(*out->scene), assignments, error);
}

// A progress bar on standard error, for a terminal only, from the first
// second on.
class Progress {
 public:
  Progress(bool enabled, long total) : enabled_(enabled && isatty(2)), total_(total) {}
  ~Progress() {
    if (shown_) std::fprintf(stderr, "\n");
  }
  void Set(long done, const std::string& what) {
    if (!enabled_) return;
    auto now = std::chrono::steady_clock::now();
    if (!shown_ && now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && now - last_ < std::chrono::milliseconds(100) && done < total_) return;
    last_ = now;
    shown_ = true;
    int width = 30;
    int fill = total_ > 0 ? static_cast<int>(done * width / total_) : width;
    std::string bar(static_cast<size_t>(fill), '#');
    bar.resize(static_cast<size_t>(width), ' ');
    std::fprintf(stderr, "\r%s [%s] %3ld%%", what.c_str(), bar.c_str(), total_ > 0 ? done * 100 / total_ : 100);
    std::fflush(stderr);
  }

 private:
  bool enabled_;
  long total_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), last_;
};

}  // namespace

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

std::string FrameFileName(const std::string& pattern, int frame, bool several) {
  std::string p = pattern;
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

int RenderCommand(const TextureSource& src, const RenderOptions& opts) {
  RenderSettings s;
  std::string error;
  if (!ParseRenderView(opts.view, &s.view)) return Fail("unknown view '" + opts.view + "' (flat, sphere or cube)");
  if (!ParseRenderChannel(opts.channel, &s.channel))
    return Fail("unknown channel '" + opts.channel + "' (color, mono or bump)");
  if (opts.width < 1 || opts.height < 1 || opts.width > kMaxPictureSide || opts.height > kMaxPictureSide)
    return Fail("resolution must be between 1 and " + std::to_string(kMaxPictureSide) + " pixels a side");
  if (opts.threads < 0) return Fail("--threads must be 0 (every core) or more");
  s.width = opts.width;
  s.height = opts.height;
  s.threads = RenderThreadCount(opts.threads);
  if (opts.threads > s.threads) {
    std::fprintf(stderr, "plughost: note: --threads %d is more than the %d this machine offers; rendering with %d\n",
                 opts.threads, s.threads, s.threads);
  }

  std::vector<TimeValue> times;
  std::vector<int> frames;
  if (!opts.frames.empty() && !opts.time.empty()) return Fail("give --frames or --time, not both");
  if (!opts.frames.empty()) {
    if (!ParseFrameList(opts.frames, &frames, &error)) return Fail(error);
    for (int f : frames) times.push_back(static_cast<TimeValue>(f) * GetTicksPerFrame());  // fits: checked above
  } else {
    TimeValue t = 0;
    if (!opts.time.empty() && !ParseTime(opts.time, &t, &error)) return Fail("--time " + error);
    times.push_back(t);
    frames.push_back(t / GetTicksPerFrame());
  }
  bool several = times.size() > 1;
  if (!SelectPiece(opts.piece, s.width, s.height, &frames, &times, &s.region, &error)) return Fail(error);
  // Fail before rendering when the pictures cannot be written.
  for (size_t i = 0; i < times.size(); ++i) {
    std::string file = FrameFileName(opts.output, frames[i], several);
    if (!HostCheckOutputFile(file, &error)) return Fail("cannot write " + file + ": " + error);
  }

  Loaded loaded;
  if (!LoadTexture(src, &loaded, &error)) return Fail(error);
  if (opts.dryRun) return 0;

  PixelRegion area = s.Area();
  long total = static_cast<long>(times.size()) * area.Height();
  Progress progress(!opts.quiet, total);
  for (size_t i = 0; i < times.size(); ++i) {
    std::string file = PieceFileName(FrameFileName(opts.output, frames[i], several), s.region);
    if (opts.piece.Any() && !opts.piece.overwrite && IsCompletePicture(file, area.Width(), area.Height())) {
      std::fprintf(stderr, "plughost: %s is complete; kept\n", file.c_str());
      continue;
    }
    s.time = times[i];
    std::string what = several ? "frame " + std::to_string(frames[i]) : std::string("rendering");
    HostImage img = RenderTexmap(
        loaded.tex, s, [&](int rows, int) { progress.Set(static_cast<long>(i) * area.Height() + rows, what); });
    if (!HostWritePng(file, img, &error)) return Fail(error);
  }
  return 0;
}

namespace {

using PointPerturbation = void (*)(void* self, Point3& p);

// The member that moves a point by a perturbation object, as the maker's
// library exports it for its plug-ins.
constexpr const char* kPerturbPoint = "_ZN7Perturb15PerturbHitPointER6Point3";

// A perturbation object among the map's references: one of the general
// reference-target super class whose class comes from a module that exports
// the member. Null when the map has none.
ReferenceTarget* FindPerturbation(Texmap* map, PointPerturbation* perturb) {
  for (int i = 0; i < map->NumRefs(); ++i) {
    ReferenceTarget* r = map->GetReference(i);
    ClassDesc* d =
        r && r->SuperClassID() == REF_TARGET_CLASS_ID ? HostFindClass(r->SuperClassID(), r->ClassID()) : nullptr;
    Dl_info module{};
    if (!d || !dladdr(reinterpret_cast<void*>(d), &module)) continue;
    void* lib = dlopen(module.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (!lib) continue;
    *perturb = reinterpret_cast<PointPerturbation>(dlsym(lib, kPerturbPoint));
    dlclose(lib);  // still loaded: the plug-in loader holds it open
    if (*perturb) return r;
  }
  return nullptr;
}

}  // namespace

int SampleCommand(const TextureSource& src, const SampleOptions& opts) {
  std::string error;
  enum { Mono, ColorOut, Bump, Perturbed } what;
  if (opts.what == "mono")
    what = Mono;
  else if (opts.what == "color" || opts.what == "colour")
    what = ColorOut;
  else if (opts.what == "bump")
    what = Bump;
  else if (opts.what == "perturbed")
    what = Perturbed;
  else
    return Fail("unknown --what '" + opts.what + "' (mono, color, bump or perturbed)");
  TimeValue t = 0;
  if (!ParseTime(opts.time, &t, &error)) return Fail("--time " + error);
  float n[3];
  if (!ParseTriple(opts.normal, n, &error)) return Fail("--normal " + error);

  Loaded loaded;
  if (!LoadTexture(src, &loaded, &error)) return Fail(error);
  Texmap* tex = loaded.tex;
  Interval valid = FOREVER;
  tex->Update(t, valid);

  // For the perturbed point: the map's coordinates generator and the
  // perturbation object it references.
  PointPerturbation perturbPoint = nullptr;
  ReferenceTarget* perturbation = nullptr;
  if (what == Perturbed) {
    perturbation = FindPerturbation(tex, &perturbPoint);
    if (!perturbation || !tex->GetTheXYZGen())
      return Fail("--what perturbed needs a map with a coordinates generator and a perturbation object");
  }

  std::string line;
  int lineNo = 0, bad = 0;
  while (std::getline(std::cin, line)) {
    ++lineNo;
    float p[3];
    if (!ParseTriple(line, p, &error)) {
      Fail("line " + std::to_string(lineNo) + ": " + error);
      ++bad;
      continue;
    }
    HostShadeContext sc;
    sc.time = t;
    sc.pObj = sc.pWorld = Point3(p[0], p[1], p[2]);
    sc.normal = Point3(n[0], n[1], n[2]);
    std::string out;
    switch (what) {
      case Mono: out = FloatText(tex->EvalMono(sc)); break;
      case ColorOut: {
        AColor c = tex->EvalColor(sc);
        out = FloatText(c.r) + " " + FloatText(c.g) + " " + FloatText(c.b) + " " + FloatText(c.a);
        break;
      }
      case Bump: {
        Point3 b = tex->EvalNormalPerturb(sc);
        out = FloatText(b.x) + " " + FloatText(b.y) + " " + FloatText(b.z);
        break;
      }
      case Perturbed: {
        Point3 q, dq;
        tex->GetTheXYZGen()->GetXYZ(sc, q, dq);
        perturbPoint(perturbation, q);
        out = FloatText(q.x) + " " + FloatText(q.y) + " " + FloatText(q.z);
        break;
      }
    }
    std::printf("%s\n", out.c_str());
  }
  return bad ? 1 : 0;
}

}  // namespace plughost
