#include "render/renderer.h"

#include <hostside/shade_context.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "geometry/camera.h"
#include "geometry/model_shade_context.h"
#include "render/model_view.h"

namespace plughost {

namespace {

// The material editor's slot background: grey squares, 16 pixels wide.
Color Background(int x, int y) {
  bool dark = ((x / 16) + (y / 16)) % 2 == 0;
  float g = dark ? 0.25f : 0.55f;
  return Color(g, g, g);
}

// Light from the upper left, in front, in the view's frame (x right, y up,
// z towards the viewer).
const Point3 kLight = Normalize(Point3(-0.45f, 0.55f, 0.7f));

float Lambert(const Point3& n, const Point3& light) {
  float d = n % light;
  return 0.2f + 0.8f * std::max(0.0f, d);
}

struct Hit {
  bool hit = false;
  Point3 p{0.0f, 0.0f, 0.0f};  // object space
  Point3 n{0.0f, 0.0f, 1.0f};  // object space, unit
  Point3 uvw{0.0f, 0.0f, 0.0f};
};

// Orthographic views, all looking down -z at the origin.
class View {
 public:
  View(const RenderSettings& s) : s_(s) {
    half_ = s.extent * 0.5f;
    if (s.view == RenderView::Mesh && s.model) {
      // The model is lit from the same place relative to its camera as the
      // sample objects are relative to theirs.
      camera_ = CameraForModel(s.model->model, static_cast<double>(s.width) / s.height);
      const Point3 &d = camera_.direction, &u = camera_.up;
      Point3 right = d ^ u;
      light_ = Normalize(right * kLight.x + u * kLight.y - d * kLight.z);
    }
    // The cube is turned so three faces show.
    float ay = 0.6f, ax = 0.5f;
    Point3 r0(std::cos(ay), 0.0f, -std::sin(ay));
    Point3 r1(std::sin(ay) * std::sin(ax), std::cos(ax), std::cos(ay) * std::sin(ax));
    Point3 r2(std::sin(ay) * std::cos(ax), -std::sin(ax), std::cos(ay) * std::cos(ax));
    rot_[0] = r0;
    rot_[1] = r1;
    rot_[2] = r2;
  }

  Hit Trace(int px, int py) const {
    float aspect = static_cast<float>(s_.height) / static_cast<float>(s_.width);
    float u = (static_cast<float>(px) + 0.5f) / static_cast<float>(s_.width);
    float v = 1.0f - (static_cast<float>(py) + 0.5f) / static_cast<float>(s_.height);
    float sx = (u * 2.0f - 1.0f) * half_;
    float sy = (v * 2.0f - 1.0f) * half_ * aspect;
    Hit h;
    switch (s_.view) {
      case RenderView::Flat:
        h.hit = true;
        h.p = Point3(sx, sy, 0.0f);
        h.uvw = Point3(u, v, 0.0f);
        return h;
      case RenderView::Sphere: {
        float r = half_ * 0.9f;
        float d2 = r * r - sx * sx - sy * sy;
        if (d2 < 0.0f) return h;
        h.hit = true;
        h.p = Point3(sx, sy, std::sqrt(d2));
        h.n = Normalize(h.p);
        h.uvw = Point3(0.5f + std::atan2(h.n.x, h.n.z) / 6.2831853f, 0.5f + std::asin(h.n.y) / 3.1415927f, 0.0f);
        return h;
      }
      case RenderView::Cube: return TraceCube(sx, sy);
      case RenderView::Mesh: return h;  // TraceModel's
    }
    return h;
  }

  bool IsModel() const { return s_.view == RenderView::Mesh; }
  const Point3& Light() const { return light_; }

  // The model's point under pixel (px, py) into *sc, its footprint from the
  // rays through the next pixels right and down; *n the normal to light
  // with, turned towards the camera where the ray meets a triangle's back.
  bool TraceModel(int px, int py, ModelShadeContext* sc, Point3* n) const {
    if (!s_.model) return false;
    const RayScene& rays = *s_.model->rays;
    const double x = px + 0.5, y = py + 0.5;
    Ray ray = CameraRay(camera_, s_.width, s_.height, x, y);
    RayHit hit = rays.Intersect(ray);
    if (!hit.hit) return false;
    Ray right = CameraRay(camera_, s_.width, s_.height, x + 1.0, y);
    Ray down = CameraRay(camera_, s_.width, s_.height, x, y + 1.0);
    sc->Set(rays.model(), hit.at, rays.Differentials(hit, right, down), s_.time, NormalSpace::World);
    const SurfaceSample& at = sc->Sample();
    *n = at.geometricNormal % ray.direction > 0.0f ? -at.normal : at.normal;
    return true;
  }

 private:
  // Slab test against a cube of half size `c`, in the cube's turned frame.
  Hit TraceCube(float sx, float sy) const {
    Hit h;
    float c = half_ * 0.5f;
    Point3 o = ToCube(Point3(sx, sy, 4.0f * half_));
    Point3 d = ToCube(Point3(0.0f, 0.0f, -1.0f));
    float tmin = -1e30f, tmax = 1e30f;
    int axis = -1;
    for (int a = 0; a < 3; ++a) {
      if (std::fabs(d[a]) < 1e-9f) {
        if (o[a] < -c || o[a] > c) return h;
        continue;
      }
      float t1 = (-c - o[a]) / d[a], t2 = (c - o[a]) / d[a];
      if (t1 > t2) std::swap(t1, t2);
      if (t1 > tmin) {
        tmin = t1;
        axis = a;
      }
      tmax = std::min(tmax, t2);
    }
    if (axis < 0 || tmin > tmax) return h;
    h.hit = true;
    h.p = o + d * tmin;
    Point3 n(0.0f, 0.0f, 0.0f);
    n[axis] = h.p[axis] > 0.0f ? 1.0f : -1.0f;
    h.n = FromCube(n);
    int ua = (axis + 1) % 3, va = (axis + 2) % 3;
    h.uvw = Point3((h.p[ua] / c + 1.0f) * 0.5f, (h.p[va] / c + 1.0f) * 0.5f, 0.0f);
    return h;
  }
  Point3 ToCube(const Point3& p) const { return Point3(p % rot_[0], p % rot_[1], p % rot_[2]); }
  Point3 FromCube(const Point3& p) const { return rot_[0] * p.x + rot_[1] * p.y + rot_[2] * p.z; }

  const RenderSettings& s_;
  float half_;
  Point3 rot_[3];
  Camera camera_;
  Point3 light_ = kLight;
};

HostShadeContext ContextAt(const RenderSettings& s, const Hit& h) {
  HostShadeContext sc;
  sc.time = s.time;
  sc.pObj = h.p;
  sc.pWorld = h.p;
  sc.normal = h.n;
  sc.uvw = h.uvw;
  return sc;
}

Color ShadeDisplay(Texmap* map, const RenderSettings& s, const Point3& light, const Hit& h, ShadeContext& sc, int x,
                   int y) {
  Color bg = Background(x, y);
  if (!h.hit) return bg;
  bool lit = s.view != RenderView::Flat;
  switch (s.channel) {
    case RenderChannel::Color: {
      AColor c = map->EvalColor(sc);
      // Premultiplied colour over what lies under it: the background on the
      // swatch; on a sample object, the object's own light grey surface, lit
      // through the bump.
      Color under = bg;
      float shade = 1.0f;
      if (lit) {
        shade = Lambert(Normalize(h.n + map->EvalNormalPerturb(sc)), light);
        under = Color(0.75f * shade, 0.75f * shade, 0.75f * shade);
      }
      return Color(c.r * shade + (1.0f - c.a) * under.r, c.g * shade + (1.0f - c.a) * under.g,
                   c.b * shade + (1.0f - c.a) * under.b);
    }
    case RenderChannel::Mono: {
      float m = map->EvalMono(sc);
      if (lit) m *= Lambert(h.n, light);
      return Color(m, m, m);
    }
    case RenderChannel::All:
    case RenderChannel::Bump: {
      // A grey surface lit through the perturbed normal, scaled by the bump amount.
      float g = Lambert(Normalize(h.n + s.bumpAmount * map->EvalNormalPerturb(sc)), light);
      return Color(g, g, g);
    }
  }
  return bg;
}

// The pixel's samples into each layer's place (`out`, one pointer a layer,
// in RenderShape's order). `model` is the band's own context for the mesh
// view, set again at every hit.
void ShadePixel(Texmap* map, const RenderSettings& s, const View& view, int x, int y, float* const* out,
                ModelShadeContext& model) {
  Hit h;
  HostShadeContext plain;
  ShadeContext* context = &plain;
  if (view.IsModel()) {
    h.hit = view.TraceModel(x, y, &model, &h.n);
    context = &model;
  } else {
    h = view.Trace(x, y);
    plain = ContextAt(s, h);
  }
  ShadeContext& sc = *context;
  if (s.pass == RenderPass::Display) {
    Color c = ShadeDisplay(map, s, view.Light(), h, sc, x, y);
    out[0][0] = c.r;
    out[0][1] = c.g;
    out[0][2] = c.b;
    out[0][3] = 1.0f;
    return;
  }
  bool color = s.channel == RenderChannel::Color || s.channel == RenderChannel::All;
  bool mono = s.channel == RenderChannel::Mono || s.channel == RenderChannel::All;
  bool bump = s.channel == RenderChannel::Bump || s.channel == RenderChannel::All;
  int layer = 0;
  if (color) {
    AColor c = h.hit ? map->EvalColor(sc) : AColor(0.0f, 0.0f, 0.0f, 0.0f);
    float* o = out[layer++];
    o[0] = c.r;
    o[1] = c.g;
    o[2] = c.b;
    o[3] = c.a;
  }
  if (mono) out[layer++][0] = h.hit ? map->EvalMono(sc) : 0.0f;
  if (bump) {
    Point3 b = h.hit ? map->EvalNormalPerturb(sc) : Point3(0.0f, 0.0f, 0.0f);
    float* o = out[layer++];
    o[0] = b.x;
    o[1] = b.y;
    o[2] = b.z;
  }
}

// Rows of the area per band: small enough that the writer starts early and
// a few bands bound the memory, large enough that handing them on is cheap.
constexpr int kBandRows = 16;

HostPicture NewBand(const RenderSettings& s, int rows) {
  HostPicture band;
  band.width = s.Area().Width();
  band.height = rows;
  for (HostLayerShape& l : RenderShape(s).layers) band.AddLayer(l.name, l.channels);
  return band;
}

// Shades rows [y0, y0 + count) of the area into rows [0, count) of `band`.
bool ShadeBand(Texmap* map, const RenderSettings& s, const View& view, int y0, int count, HostPicture* band,
               const std::atomic<bool>* cancel) {
  PixelRegion r = s.Area();
  size_t layers = band->layers.size();
  float* at[3] = {nullptr, nullptr, nullptr};
  ModelShadeContext model;
  for (int y = 0; y < count; ++y) {
    if (cancel && cancel->load(std::memory_order_relaxed)) return false;
    for (int x = 0; x < band->width; ++x) {
      size_t pixel = static_cast<size_t>(y) * static_cast<size_t>(band->width) + static_cast<size_t>(x);
      for (size_t l = 0; l < layers; ++l) {
        HostPictureLayer& layer = band->layers[l];
        at[l] = &layer.floats[pixel * layer.channels.size()];
      }
      ShadePixel(map, s, view, r.x0 + x, r.y0 + y0 + y, at, model);
    }
  }
  return true;
}

}  // namespace

bool ParseRenderView(const std::string& text, RenderView* out) {
  if (text == "flat" || text == "swatch")
    *out = RenderView::Flat;
  else if (text == "sphere")
    *out = RenderView::Sphere;
  else if (text == "cube")
    *out = RenderView::Cube;
  else if (text == "mesh")
    *out = RenderView::Mesh;
  else
    return false;
  return true;
}

bool ParseRenderChannel(const std::string& text, RenderChannel* out) {
  if (text == "color" || text == "colour")
    *out = RenderChannel::Color;
  else if (text == "mono")
    *out = RenderChannel::Mono;
  else if (text == "bump")
    *out = RenderChannel::Bump;
  else if (text == "all")
    *out = RenderChannel::All;
  else
    return false;
  return true;
}

const char* RenderViewName(RenderView v) {
  return v == RenderView::Flat ? "flat" : v == RenderView::Sphere ? "sphere" : v == RenderView::Cube ? "cube" : "mesh";
}
const char* RenderChannelName(RenderChannel c) {
  return c == RenderChannel::Color  ? "color"
         : c == RenderChannel::Mono ? "mono"
         : c == RenderChannel::Bump ? "bump"
                                    : "all";
}

bool ParseRenderPass(const std::string& text, RenderPass* out) {
  if (text == "display")
    *out = RenderPass::Display;
  else if (text == "data")
    *out = RenderPass::Data;
  else
    return false;
  return true;
}
const char* RenderPassName(RenderPass p) { return p == RenderPass::Display ? "display" : "data"; }

HostPictureShape RenderShape(const RenderSettings& s) {
  PixelRegion r = s.Area();
  HostPictureShape shape{r.Width(), r.Height(), {}};
  if (s.pass == RenderPass::Display) {
    shape.layers.push_back({"", {"R", "G", "B", "A"}});
    return shape;
  }
  switch (s.channel) {
    case RenderChannel::Color: shape.layers.push_back({"", {"R", "G", "B", "A"}}); break;
    case RenderChannel::Mono: shape.layers.push_back({"", {"Y"}}); break;
    case RenderChannel::Bump: shape.layers.push_back({"bump", {"X", "Y", "Z"}}); break;
    case RenderChannel::All:
      shape.layers.push_back({"", {"R", "G", "B", "A"}});
      shape.layers.push_back({"coverage", {"Y"}});
      shape.layers.push_back({"bump", {"X", "Y", "Z"}});
      break;
  }
  return shape;
}

int RenderThreadCount(int requested) {
  unsigned n = std::thread::hardware_concurrency();
  int cores = n == 0 ? 1 : static_cast<int>(std::min(n, 4096u));
  return requested > 0 ? std::min(requested, cores) : cores;
}

HostImage RenderTexmap(Texmap* map, const RenderSettings& s, const RenderProgress& progress) {
  Interval valid = FOREVER;
  map->Update(s.time, valid);
  HostImage img;
  ShadeTexmap(map, s, &img, nullptr, progress);
  return img;
}

HostPicture RenderPicture(Texmap* map, const RenderSettings& s, const RenderProgress& progress) {
  Interval valid = FOREVER;
  map->Update(s.time, valid);
  HostPicture whole = NewBand(s, s.Area().Height());
  ShadeBands(
      map, s,
      [&](const HostPicture& band, int y, int count) {
        HostPicture rows = band;
        rows.height = count;
        for (HostPictureLayer& l : rows.layers)
          l.floats.resize(static_cast<size_t>(count) * band.width * l.channels.size());
        return HostPlacePicture(rows, 0, y, &whole);
      },
      nullptr, progress);
  return whole;
}

bool ShadeTexmap(Texmap* map, const RenderSettings& settings, HostImage* out, const std::atomic<bool>* cancel,
                 const RenderProgress& progress) {
  RenderSettings s = settings;
  s.pass = RenderPass::Display;
  PixelRegion r = s.Area();
  HostImage& img = *out;
  img.width = r.Width();
  img.height = r.Height();
  img.rgba.assign(static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * 4, 255);
  return ShadeBands(
      map, s,
      [&](const HostPicture& band, int y, int count) {
        const std::vector<float>& f = band.layers[0].floats;
        uint8_t* row = &img.rgba[static_cast<size_t>(y) * static_cast<size_t>(img.width) * 4];
        for (size_t i = 0; i < static_cast<size_t>(count) * static_cast<size_t>(img.width) * 4; ++i)
          row[i] = HostQuantize8(f[i]);
        return true;
      },
      cancel, progress);
}

bool ShadeBands(Texmap* map, const RenderSettings& s, const RenderBandSink& sink, const std::atomic<bool>* cancel,
                const RenderProgress& progress) {
  View view(s);
  return ShadeInBands(
      s.Area().Height(), kBandRows, s.threads, [&] { return NewBand(s, kBandRows); },
      [&](int y, int count, HostPicture* band) { return ShadeBand(map, s, view, y, count, band, cancel); }, sink,
      progress);
}

bool ShadeInBands(int height, int bandRows, int threadCount, const std::function<HostPicture()>& newBand,
                  const std::function<bool(int y, int count, HostPicture* band)>& shade, const RenderBandSink& sink,
                  const RenderProgress& progress) {
  const int bands = (height + bandRows - 1) / bandRows;
  const int threads = std::clamp(threadCount, 1, std::max(1, bands));
  const int slots = 2 * threads + 2;
  std::vector<HostPicture> slot;
  for (int i = 0; i < std::min(slots, bands); ++i) slot.push_back(newBand());
  auto rowsOf = [&](int b) { return std::min(bandRows, height - b * bandRows); };

  // A band b is shaded into slot b % slots once band b - slots is handed on.
  std::mutex mutex;
  std::condition_variable changed;
  int next = 0, handed = 0;
  bool stop = false;
  std::vector<char> ready(slot.size(), 0);
  auto worker = [&] {
    for (;;) {
      int b;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || next >= bands || next < handed + slots; });
        if (stop || next >= bands) return;
        b = next++;
      }
      bool ok = shade(b * bandRows, rowsOf(b), &slot[b % slots]);
      std::lock_guard lock(mutex);
      if (ok)
        ready[b % slots] = 1;
      else
        stop = true;
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  // One thread is the caller's, shading and handing on in turn. The system
  // may give fewer threads than asked: the bands are shared by whichever
  // threads there are, and with none the calling thread shades.
  const int workers = threads > 1 ? threads : 0;
  for (int i = 0; i < workers; ++i) {
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  bool ok = true;
  for (int b = 0; b < bands && ok; ++b) {
    HostPicture& band = slot[b % slots];
    if (pool.empty()) {
      ok = shade(b * bandRows, rowsOf(b), &band);
    } else {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return stop || ready[b % slots]; });
      ok = ready[b % slots];
    }
    ok = ok && sink(band, b * bandRows, rowsOf(b));
    {
      std::lock_guard lock(mutex);
      ready[b % slots] = 0;
      ++handed;
      if (!ok) stop = true;
      changed.notify_all();
    }
    if (ok && progress) progress(std::min(height, (b + 1) * bandRows), height);
  }
  {
    std::lock_guard lock(mutex);
    stop = true;
    changed.notify_all();
  }
  for (std::thread& t : pool) t.join();
  return ok;
}

}  // namespace plughost
