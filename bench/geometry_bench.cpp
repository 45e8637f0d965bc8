// What the geometry costs on a large model: a UV sphere of TRIANGLES
// triangles (default 1,000,000) written here as binary glTF and as OBJ, then
// imported (through the helper process), the ray-casting tree built, a
// picture's rays cast, and a bake layout rasterised and padded; medians of
// ROUNDS runs (default 5), on THREADS threads (default 2).
//
//   geometry_bench [TRIANGLES] [ROUNDS] [THREADS]
#include <geometry/bake_layout.h>
#include <geometry/camera.h>
#include <geometry/model_import.h>
#include <geometry/ray_scene.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace plughost;

namespace {

struct Sphere {
  std::vector<float> pos, nrm, uv;
  std::vector<uint32_t> idx;
};

Sphere MakeSphere(int segments, int rings) {
  Sphere s;
  for (int r = 0; r <= rings; ++r) {
    double theta = M_PI * r / rings;
    for (int k = 0; k <= segments; ++k) {
      double phi = 2 * M_PI * k / segments;
      double p[3] = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
      for (double c : p) {
        s.pos.push_back(static_cast<float>(c));
        s.nrm.push_back(static_cast<float>(c));
      }
      s.uv.push_back(static_cast<float>(static_cast<double>(k) / segments));
      s.uv.push_back(static_cast<float>(1.0 - static_cast<double>(r) / rings));
    }
  }
  uint32_t row = static_cast<uint32_t>(segments + 1);
  for (uint32_t r = 0; r < static_cast<uint32_t>(rings); ++r)
    for (uint32_t k = 0; k < static_cast<uint32_t>(segments); ++k) {
      uint32_t a = r * row + k, b = a + 1, c = a + row, d = b + row;
      s.idx.insert(s.idx.end(), {a, b, d, a, d, c});
    }
  return s;
}

template <typename T>
void Append(std::string& out, const std::vector<T>& v) {
  out.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}

void WriteGlb(const fs::path& file, const Sphere& s) {
  // glTF's v runs down the picture.
  std::vector<float> uv = s.uv;
  for (size_t i = 1; i < uv.size(); i += 2) uv[i] = 1.0f - uv[i];
  std::string bin;
  size_t offPos = bin.size();
  Append(bin, s.pos);
  size_t offNrm = bin.size();
  Append(bin, s.nrm);
  size_t offUv = bin.size();
  Append(bin, uv);
  size_t offIdx = bin.size();
  Append(bin, s.idx);
  size_t nv = s.pos.size() / 3;
  auto view = [](size_t off, size_t len) {
    return "{\"buffer\":0,\"byteOffset\":" + std::to_string(off) + ",\"byteLength\":" + std::to_string(len) + "}";
  };
  std::string json =
      "{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"byteLength\":" + std::to_string(bin.size()) +
      "}],\"bufferViews\":[" + view(offPos, offNrm - offPos) + "," + view(offNrm, offUv - offNrm) + "," +
      view(offUv, offIdx - offUv) + "," + view(offIdx, bin.size() - offIdx) +
      "],\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":" + std::to_string(nv) +
      ",\"type\":\"VEC3\",\"min\":[-1,-1,-1],\"max\":[1,1,1]},{\"bufferView\":1,\"componentType\":5126,\"count\":" +
      std::to_string(nv) +
      ",\"type\":\"VEC3\"},{\"bufferView\":2,\"componentType\":5126,\"count\":" + std::to_string(nv) +
      ",\"type\":\"VEC2\"},{\"bufferView\":3,\"componentType\":5125,\"count\":" + std::to_string(s.idx.size()) +
      ",\"type\":\"SCALAR\"}],\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0,\"NORMAL\":1,"
      "\"TEXCOORD_0\":2},\"indices\":3}]}],\"nodes\":[{\"mesh\":0}],\"scenes\":[{\"nodes\":[0]}],\"scene\":0}";
  json.append((4 - json.size() % 4) % 4, ' ');
  bin.append((4 - bin.size() % 4) % 4, '\0');
  auto u32 = [](std::string& o, uint32_t v) { o.append(reinterpret_cast<const char*>(&v), 4); };
  std::string glb = "glTF";
  u32(glb, 2);
  u32(glb, static_cast<uint32_t>(12 + 8 + json.size() + 8 + bin.size()));
  u32(glb, static_cast<uint32_t>(json.size()));
  glb += "JSON" + json;
  u32(glb, static_cast<uint32_t>(bin.size()));
  glb += std::string("BIN\0", 4) + bin;
  std::ofstream(file, std::ios::binary) << glb;
}

void WriteObj(const fs::path& file, const Sphere& s) {
  std::string out;
  char line[128];
  for (size_t i = 0; i < s.pos.size(); i += 3) {
    std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", s.pos[i], s.pos[i + 1], s.pos[i + 2]);
    out += line;
  }
  for (size_t i = 0; i < s.uv.size(); i += 2) {
    std::snprintf(line, sizeof line, "vt %.9g %.9g\n", s.uv[i], s.uv[i + 1]);
    out += line;
  }
  for (size_t i = 0; i < s.nrm.size(); i += 3) {
    std::snprintf(line, sizeof line, "vn %.9g %.9g %.9g\n", s.nrm[i], s.nrm[i + 1], s.nrm[i + 2]);
    out += line;
  }
  for (size_t i = 0; i < s.idx.size(); i += 3) {
    uint32_t a = s.idx[i] + 1, b = s.idx[i + 1] + 1, c = s.idx[i + 2] + 1;
    std::snprintf(line, sizeof line, "f %u/%u/%u %u/%u/%u %u/%u/%u\n", a, a, a, b, b, b, c, c, c);
    out += line;
  }
  std::ofstream(file, std::ios::binary) << out;
}

double Seconds(const std::function<void()>& fn) {
  auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Median(int rounds, const std::function<void()>& fn) {
  std::vector<double> t;
  for (int r = 0; r < rounds; ++r) t.push_back(Seconds(fn));
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

[[noreturn]] void Die(const std::string& why) {
  std::fprintf(stderr, "geometry_bench: %s\n", why.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  long triangles = argc > 1 ? std::atol(argv[1]) : 1000000;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  int threads = argc > 3 ? std::atoi(argv[3]) : 2;
  if (triangles < 8 || rounds < 1 || threads < 1) Die("usage: geometry_bench [TRIANGLES] [ROUNDS] [THREADS]");
  // segments = 2 rings: 4 rings^2 triangles.
  int rings = std::max(2, static_cast<int>(std::lround(std::sqrt(triangles / 4.0))));
  Sphere sphere = MakeSphere(2 * rings, rings);
  char tmpl[] = "/tmp/geometry-bench-XXXXXX";
  fs::path dir = ::mkdtemp(tmpl);
  WriteGlb(dir / "sphere.glb", sphere);
  WriteObj(dir / "sphere.obj", sphere);
  std::printf("a UV sphere of %zu triangles, %zu vertices; medians of %d rounds, %d threads\n", sphere.idx.size() / 3,
              sphere.pos.size() / 3, rounds, threads);

  Model model;
  for (const char* name : {"sphere.glb", "sphere.obj"}) {
    uintmax_t bytes = fs::file_size(dir / name);
    double t = Median(rounds, [&] {
      std::string error;
      if (!ImportModel(dir / name, {}, &model, &error)) Die(error);
    });
    std::printf("import %-10s %6.1f MB   %8.3f s\n", name, bytes / 1e6, t);
  }
  fs::remove_all(dir);

  RayBuildOptions build;
  build.threads = threads;
  std::unique_ptr<RayScene> scene;
  double tb = Median(rounds, [&] {
    std::string error;
    scene = RayScene::Build(model, &error, build);
    if (!scene) Die(error);
  });
  std::printf("ray-casting tree build       %8.3f s\n", tb);

  const int side = 1024;
  Camera cam = FrameBounds(model.bounds, 1.0);
  std::atomic<long> hits{0};
  double tr = Median(rounds, [&] {
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
      pool.emplace_back([&, t] {
        long h = 0;
        for (int y = t; y < side; y += threads)
          for (int x = 0; x < side; ++x) h += scene->Intersect(CameraRay(cam, side, side, x + 0.5, y + 0.5)).hit;
        hits += h;
      });
    for (auto& p : pool) p.join();
  });
  std::printf("rays %dx%d                %8.3f s   %6.2f Mrays/s (%ld hits a round)\n", side, side, tr,
              side * side / tr / 1e6, hits.load() / rounds);

  for (int n : {1, threads}) {
    BakeLayoutOptions o;
    o.width = o.height = 2048;
    o.threads = n;
    BakeTile tile;
    double tl = Median(rounds, [&] {
      std::string error;
      if (!LayOutBakeTile(model, o, 1001, {}, &tile, &error)) Die(error);
    });
    std::printf("bake layout 2048x2048, %d thread%s %6.3f s   %6.2f Mtexels/s (%llu covered, %llu padded)\n", n,
                n == 1 ? " " : "s", tl, 2048.0 * 2048 / tl / 1e6, static_cast<unsigned long long>(tile.covered),
                static_cast<unsigned long long>(tile.padded));
  }
  return 0;
}
