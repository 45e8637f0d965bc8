#include "render_commands.h"

#include <dlfcn.h>
#include <hostside/class_registry.h>
#include <hostside/host_maps.h>
#include <hostside/paramblock_access.h>
#include <hostside/scene_file.h>
#include <hostside/shade_context.h>
#include <imtl.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "param_path.h"
#include "renderer.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "plughost: %s\n", message.c_str());
  return 1;
}

// The scene a command works on and the texture in it.
struct Loaded {
  std::unique_ptr<Scene> scene;
  Texmap* tex = nullptr;
};

bool LoadTexture(const TextureSource& src, Loaded* out, std::string* error) {
  // Every assignment is read first, so that a typo costs no work.
  std::vector<ParamAssignment> setList, keyList;
  for (const std::string& s : src.sets) {
    ParamAssignment a;
    if (!ParseAssignment(s, false, &a, error)) return *error = "--set " + *error, false;
    setList.push_back(a);
  }
  for (const std::string& k : src.keys) {
    ParamAssignment a;
    if (!ParseAssignment(k, true, &a, error)) return *error = "--key " + *error, false;
    keyList.push_back(a);
  }
  if (!src.sceneFile.empty()) {
    out->scene = HostLoadScene(src.sceneFile, error);
    if (!out->scene) return false;
    for (int i = 0; i < out->scene->NumRoots() && !out->tex; ++i) {
      ReferenceTarget* r = out->scene->Root(i);
      if (r && r->SuperClassID() == TEXMAP_CLASS_ID) out->tex = static_cast<Texmap*>(r);
    }
    if (!out->tex) return *error = src.sceneFile + ": the scene holds no texture map", false;
  } else {
    ClassDesc* d = HostFindClassByName(src.className);
    if (!d || d->SuperClassID() != TEXMAP_CLASS_ID) {
      *error = "no texture map class '" + src.className + "' is loaded (is its plug-in file in the plug-in folder?)";
      return false;
    }
    out->scene = std::make_unique<Scene>();
    out->tex = static_cast<Texmap*>(d->Create(FALSE));
    if (!out->tex) return *error = "class '" + src.className + "' created no object", false;
    out->scene->AddRoot(out->tex);
  }
  if (!src.map.empty()) {
    bool checker = src.map == "checker";
    auto* map = static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, checker ? CHECKER_CLASS : BITMAP_TEX_CLASS));
    if (!map) return *error = "the host's map classes are missing", false;
    if (!checker && !HostSetBitmapFile(map, src.map.c_str(), error)) {
      map->DeleteThis();
      *error = "--map " + *error;
      return false;
    }
    out->tex->SetSubTexmap(0, map);
  }
  std::vector<ReferenceTarget*> roots;
  for (int i = 0; i < out->scene->NumRoots(); ++i) roots.push_back(out->scene->Root(i));
  std::vector<ParamEntry> params = CollectParams(roots);
  for (const ParamAssignment& a : setList) {
    const ParamEntry* p = FindParam(params, a.name, error);
    if (!p || !SetParamConstant(*p, a.value, error)) return false;
  }
  for (const ParamAssignment& a : keyList) {
    const ParamEntry* p = FindParam(params, a.name, error);
    if (!p || !SetParamKey(*p, a.time, a.value, error)) return false;
  }
  return true;
}

bool ParseInt(const std::string& s, int* out) {
  const char* b = s.data();
  const char* e = b + s.size();
  auto r = std::from_chars(b, e, *out);
  return r.ec == std::errc() && r.ptr == e;
}

std::string Shortest(float v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
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
    for (long f = a; f <= b; f += step) frames->push_back(static_cast<int>(f));
  }
  if (frames->empty()) {
    *error = "empty frame range";
    return false;
  }
  if (frames->size() > 100000) {
    *error = "too many frames in '" + text + "'";
    return false;
  }
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
  std::string out;
  for (size_t i = 0; i < p.size();) {
    if (p[i] != '#') {
      out += p[i++];
      continue;
    }
    size_t run = 0;
    while (i + run < p.size() && p[i + run] == '#') ++run;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d", static_cast<int>(run), frame);
    out += buf;
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
  s.threads = opts.threads;

  std::vector<TimeValue> times;
  std::vector<int> frames;
  if (!opts.frames.empty() && !opts.time.empty()) return Fail("give --frames or --time, not both");
  if (!opts.frames.empty()) {
    if (!ParseFrameList(opts.frames, &frames, &error)) return Fail(error);
    for (int f : frames) times.push_back(f * GetTicksPerFrame());
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
    fs::path dir = fs::path(FrameFileName(opts.output, frames[i], several)).parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return Fail("cannot write " + opts.output + ": no folder " + dir.string());
    if (access(dir.c_str(), W_OK) != 0)
      return Fail("cannot write " + opts.output + ": folder " + dir.string() + " is not writable");
    if (i > 0 && !several) break;
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

bool ParseTriple(const std::string& text, float out[3]) {
  std::stringstream in(text);
  std::string tok;
  int n = 0;
  while (in >> tok) {
    if (n == 3) return false;
    const char* b = tok.data();
    const char* e = b + tok.size();
    if (b != e && *b == '+') ++b;
    auto r = std::from_chars(b, e, out[n]);
    if (r.ec != std::errc() || r.ptr != e) return false;
    ++n;
  }
  return n == 3;
}

using PerturbHitPointFn = void (*)(void* self, Point3& p);

// The perturbation's exported member, from the library file that holds the
// perturbation class.
PerturbHitPointFn FindPerturbHitPoint(ReferenceTarget* perturb) {
  if (!perturb) return nullptr;
  for (const RegisteredClass& rc : HostClasses()) {
    if (rc.desc->ClassID() != perturb->ClassID()) continue;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(rc.desc), &info)) return nullptr;
    void* lib = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return nullptr;
    void* sym = dlsym(lib, "_ZN7Perturb15PerturbHitPointER6Point3");
    dlclose(lib);  // still loaded: the registry holds it open
    return reinterpret_cast<PerturbHitPointFn>(sym);
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
  std::string normal = opts.normal;
  for (char& c : normal)
    if (c == ',') c = ' ';
  if (!ParseTriple(normal, n)) return Fail("--normal must be three numbers x,y,z, not '" + opts.normal + "'");

  Loaded loaded;
  if (!LoadTexture(src, &loaded, &error)) return Fail(error);
  Texmap* tex = loaded.tex;
  Interval valid = FOREVER;
  tex->Update(t, valid);

  // For the perturbed point: the texture's generator, Size (parameter 2 of
  // its block, reference 1) and perturbation (reference 2).
  PerturbHitPointFn hitPoint = nullptr;
  float size = 1.0f;
  ReferenceTarget* perturb = nullptr;
  if (what == Perturbed) {
    auto* block = tex->NumRefs() > 2 ? static_cast<IParamBlock*>(tex->GetReference(1)) : nullptr;
    perturb = tex->NumRefs() > 2 ? tex->GetReference(2) : nullptr;
    hitPoint = FindPerturbHitPoint(perturb);
    Interval iv = FOREVER;
    if (!block || !HostIsParamBlock(block) || !block->GetValue(2, t, size, iv) || !hitPoint || !tex->GetTheXYZGen())
      return Fail("--what perturbed needs a texture with a coordinates generator, a size and a perturbation");
    if (size == 0.0f) size = 0.0001f;
  }

  std::string line;
  int lineNo = 0, bad = 0;
  while (std::getline(std::cin, line)) {
    ++lineNo;
    float p[3];
    if (!ParseTriple(line, p)) {
      std::fprintf(stderr, "plughost: line %d: expected three numbers \"x y z\", got \"%s\"\n", lineNo, line.c_str());
      ++bad;
      continue;
    }
    HostShadeContext sc;
    sc.time = t;
    sc.pObj = sc.pWorld = Point3(p[0], p[1], p[2]);
    sc.normal = Point3(n[0], n[1], n[2]);
    std::string out;
    switch (what) {
      case Mono: out = Shortest(tex->EvalMono(sc)); break;
      case ColorOut: {
        AColor c = tex->EvalColor(sc);
        out = Shortest(c.r) + " " + Shortest(c.g) + " " + Shortest(c.b) + " " + Shortest(c.a);
        break;
      }
      case Bump: {
        Point3 b = tex->EvalNormalPerturb(sc);
        out = Shortest(b.x) + " " + Shortest(b.y) + " " + Shortest(b.z);
        break;
      }
      case Perturbed: {
        Point3 q, dq;
        tex->GetTheXYZGen()->GetXYZ(sc, q, dq);
        q = Point3(q.x / size, q.y / size, q.z / size);
        hitPoint(perturb, q);
        out = Shortest(q.x) + " " + Shortest(q.y) + " " + Shortest(q.z);
        break;
      }
    }
    std::printf("%s\n", out.c_str());
  }
  return bad ? 1 : 0;
}
