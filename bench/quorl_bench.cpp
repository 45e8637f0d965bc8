// Per-call costs of the noise, the perturbation and the texture, a 512 x 512
// render on one thread and on every core, and peers' noise in the same run.
// scripts/bench.sh runs it and prints medians and ratios to the peers.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <hostside/class_registry.h>
#include <hostside/shade_context.h>
#include <libnoise/noisegen.h>
#include <stb/stb_perlin.h>

#include <random>
#include <vector>

#include "QuorlLib.h"
#include "plugin_loader.h"
#include "renderer.h"

namespace {

constexpr int kPoints = 4096;

const std::vector<Point3>& Points() {
  static std::vector<Point3> pts = [] {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> d(-100.0f, 100.0f);
    std::vector<Point3> v;
    for (int i = 0; i < kPoints; ++i) v.emplace_back(d(rng), d(rng), d(rng));
    return v;
  }();
  return pts;
}

// The plug-ins, loaded and registered as the host does.
struct Plugins {
  Plugins() { files = LoadPlugins({QUORL_PLUGIN_DIR}, nullptr); }
  std::vector<PluginFile> files;
};
Plugins& TheHost() {
  static Plugins p;
  return p;
}

// A texture with its defaults, kept alive for the whole run.
Texmap* Texture() {
  static Texmap* tex = [] {
    TheHost();
    auto* t = static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, Class_ID(0x761983AE, 0x9B35C99C)));
    Interval v = FOREVER;
    t->Update(0, v);
    return t;
  }();
  return tex;
}

void BM_qnoise2(benchmark::State& state) {
  const auto& pts = Points();
  size_t i = 0;
  for (auto _ : state) {
    const Point3& p = pts[i++ & (kPoints - 1)];
    benchmark::DoNotOptimize(qnoise2(Point2(p.x, p.y)));
  }
}
BENCHMARK(BM_qnoise2);

void BM_qnoise3(benchmark::State& state) {
  const auto& pts = Points();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(qnoise3(pts[i++ & (kPoints - 1)]));
}
BENCHMARK(BM_qnoise3);

void BM_qnoise4(benchmark::State& state) {
  const auto& pts = Points();
  size_t i = 0;
  for (auto _ : state) {
    const Point3& p = pts[i++ & (kPoints - 1)];
    benchmark::DoNotOptimize(qnoise4(p, p.x * 0.1f + 0.5f));
  }
}
BENCHMARK(BM_qnoise4);

void BM_PerturbHitPoint(benchmark::State& state) {
  TheHost();
  Perturb* pert = NewDefaultPerturb();
  pert->SetP1Size(0.5f, 0);
  pert->SetP1Freq(2.5f, 0);
  pert->SetP2Size(0.5f, 0);
  pert->SetP2Freq(15.0f, 0);
  Interval v = FOREVER;
  pert->Update(0, v);
  const auto& pts = Points();
  size_t i = 0;
  for (auto _ : state) {
    Point3 p = pts[i++ & (kPoints - 1)];
    pert->PerturbHitPoint(p);
    benchmark::DoNotOptimize(p);
  }
  pert->DeleteThis();
}
BENCHMARK(BM_PerturbHitPoint);

template <int What>
void BM_Eval(benchmark::State& state) {
  Texmap* tex = Texture();
  const auto& pts = Points();
  HostShadeContext sc;
  size_t i = 0;
  for (auto _ : state) {
    sc.pObj = pts[i++ & (kPoints - 1)];
    if constexpr (What == 0) benchmark::DoNotOptimize(tex->EvalMono(sc));
    if constexpr (What == 1) benchmark::DoNotOptimize(tex->EvalColor(sc));
    if constexpr (What == 2) benchmark::DoNotOptimize(tex->EvalNormalPerturb(sc));
  }
}
BENCHMARK(BM_Eval<0>)->Name("BM_EvalMono");
BENCHMARK(BM_Eval<1>)->Name("BM_EvalColor");
BENCHMARK(BM_Eval<2>)->Name("BM_EvalNormalPerturb");

void BM_Render512(benchmark::State& state) {
  Texmap* tex = Texture();
  RenderSettings s;
  s.width = s.height = 512;
  s.threads = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(RenderTexmap(tex, s));
  state.counters["threads"] = RenderThreadCount(s.threads);
  state.SetItemsProcessed(state.iterations() * 512 * 512);
}
BENCHMARK(BM_Render512)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Peers ---------------------------------------------------------------------

void BM_stb_perlin_noise3(benchmark::State& state) {
  const auto& pts = Points();
  size_t i = 0;
  for (auto _ : state) {
    const Point3& p = pts[i++ & (kPoints - 1)];
    benchmark::DoNotOptimize(stb_perlin_noise3(p.x, p.y, p.z, 0, 0, 0));
  }
}
BENCHMARK(BM_stb_perlin_noise3);

void BM_libnoise_GradientCoherentNoise3D(benchmark::State& state) {
  const auto& pts = Points();
  size_t i = 0;
  for (auto _ : state) {
    const Point3& p = pts[i++ & (kPoints - 1)];
    benchmark::DoNotOptimize(noise::GradientCoherentNoise3D(p.x, p.y, p.z, 0, noise::QUALITY_STD));
  }
}
BENCHMARK(BM_libnoise_GradientCoherentNoise3D);

void BM_libnoise_ValueCoherentNoise3D(benchmark::State& state) {
  const auto& pts = Points();
  size_t i = 0;
  for (auto _ : state) {
    const Point3& p = pts[i++ & (kPoints - 1)];
    benchmark::DoNotOptimize(noise::ValueCoherentNoise3D(p.x, p.y, p.z, 0, noise::QUALITY_STD));
  }
}
BENCHMARK(BM_libnoise_ValueCoherentNoise3D);

}  // namespace

BENCHMARK_MAIN();
