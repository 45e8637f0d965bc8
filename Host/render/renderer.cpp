#include "render/renderer.h"

#include <hostside/shade_context.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace plughost {

namespace {

// The material editor's slot background: grey squares, 16 pixels wide.
Color Background(int x, int y) {
  bool dark = ((x / 16) + (y / 16)) % 2 == 0;
  float g = dark ? 0.25f : 0.55f;
  return Color(g, g, g);
}

uint8_t ToByte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return static_cast<uint8_t>(std::lround(v * 255.0f));
}

// Light from the upper left, in front.
const Point3 kLight = Normalize(Point3(-0.45f, 0.55f, 0.7f));

float Lambert(const Point3& n) {
  float d = n % kLight;
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
    }
    return h;
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
};

Color Shade(Texmap* map, const RenderSettings& s, const View& view, int x, int y) {
  Hit h = view.Trace(x, y);
  Color bg = Background(x, y);
  if (!h.hit) return bg;
  HostShadeContext sc;
  sc.time = s.time;
  sc.pObj = h.p;
  sc.pWorld = h.p;
  sc.normal = h.n;
  sc.uvw = h.uvw;
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
        shade = Lambert(Normalize(h.n + map->EvalNormalPerturb(sc)));
        under = Color(0.75f * shade, 0.75f * shade, 0.75f * shade);
      }
      return Color(c.r * shade + (1.0f - c.a) * under.r, c.g * shade + (1.0f - c.a) * under.g,
                   c.b * shade + (1.0f - c.a) * under.b);
    }
    case RenderChannel::Mono: {
      float m = map->EvalMono(sc);
      if (lit) m *= Lambert(h.n);
      return Color(m, m, m);
    }
    case RenderChannel::Bump: {
      // A grey surface lit through the perturbed normal, scaled by the bump amount.
      float g = Lambert(Normalize(h.n + s.bumpAmount * map->EvalNormalPerturb(sc)));
      return Color(g, g, g);
    }
  }
  return bg;
}

}  // namespace

bool ParseRenderView(const std::string& text, RenderView* out) {
  if (text == "flat" || text == "swatch")
    *out = RenderView::Flat;
  else if (text == "sphere")
    *out = RenderView::Sphere;
  else if (text == "cube")
    *out = RenderView::Cube;
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
  else
    return false;
  return true;
}

const char* RenderViewName(RenderView v) {
  return v == RenderView::Flat ? "flat" : v == RenderView::Sphere ? "sphere" : "cube";
}
const char* RenderChannelName(RenderChannel c) {
  return c == RenderChannel::Color ? "color" : c == RenderChannel::Mono ? "mono" : "bump";
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

bool ShadeTexmap(Texmap* map, const RenderSettings& s, HostImage* out, const std::atomic<bool>* cancel,
                 const RenderProgress& progress) {
  PixelRegion r = s.Area();
  HostImage& img = *out;
  img.width = r.Width();
  img.height = r.Height();
  img.rgba.assign(static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * 4, 255);
  View view(s);

  std::atomic<int> nextRow{0};
  std::atomic<int> done{0};
  std::mutex progressMutex;
  auto worker = [&] {
    for (int y = nextRow++; y < img.height; y = nextRow++) {
      if (cancel && cancel->load(std::memory_order_relaxed)) return;
      uint8_t* row = &img.rgba[static_cast<size_t>(y) * static_cast<size_t>(img.width) * 4];
      for (int x = 0; x < img.width; ++x) {
        Color c = Shade(map, s, view, r.x0 + x, r.y0 + y);
        row[x * 4 + 0] = ToByte(c.r);
        row[x * 4 + 1] = ToByte(c.g);
        row[x * 4 + 2] = ToByte(c.b);
      }
      int d = ++done;
      if (progress) {
        std::lock_guard lock(progressMutex);
        progress(d, img.height);
      }
    }
  };
  int threads = std::clamp(s.threads, 1, std::max(1, img.height));
  std::vector<std::thread> pool;
  for (int i = 1; i < threads; ++i) {
    // The system may give fewer threads than asked: the rows are shared by
    // whichever threads there are.
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  worker();
  for (std::thread& t : pool) t.join();
  return done == img.height;
}

}  // namespace plughost
