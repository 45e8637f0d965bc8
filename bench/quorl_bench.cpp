// Per-call costs of the noise, the perturbation and the texture, 1024 x 1024
// renders on one thread and on every core, and peers' noise in the same run.
// scripts/bench.sh runs it once per noise path (QUORLLIB_SIMD) and prints
// medians side by side, with ratios to the peers measured in the same run.
//
// Each noise is timed two ways on the same random points in [-100, 100]:
// throughput (independent calls) and latency (a dependent chain, each point's
// x moved by the previous result, as the perturbation and the texture chain
// their samples).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <hostside/class_registry.h>
#include <hostside/module_table.h>
#include <hostside/shade_context.h>
#include <libnoise/noisegen.h>
#include <stb/stb_perlin.h>

#include <random>
#include <string>
#include <vector>

#include "QuorlLib.h"
#include "plugins/plugin_loader.h"
#include "render/renderer.h"

using namespace plughost;

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

constexpr Class_ID kVede(0x761983AE, 0x9B35C99C);

// A texture with its defaults, or with an animated, detailed perturbation
// (phase 0.5, both sets at three levels), kept alive for the whole run.
Texmap* Texture(bool detailed) {
  auto make = [](bool animatedDetail) {
    TheHost();
    auto* t = static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, kVede));
    if (animatedDetail) {
      auto* pert = static_cast<Perturb*>(t->GetReference(2));
      pert->SetP1Phase(0.5f, 0);
      pert->SetP2Phase(0.5f, 0);
      pert->SetP1Lev(3.0f, 0);
      pert->SetP2Lev(3.0f, 0);
    }
    Interval v = FOREVER;
    t->Update(0, v);
    return t;
  };
  static Texmap* plain = make(false);
  static Texmap* animated = make(true);
  return detailed ? animated : plain;
}

// Each noise as a function of a point: ours and the peers'.
float Noise3(const Point3& p) { return qnoise3(p); }
float Noise4(const Point3& p) { return qnoise4(p, p.x * 0.1f + 0.5f); }  // w away from 0
float Noise2(const Point3& p) { return qnoise2(Point2(p.x, p.y)); }
float Stb(const Point3& p) { return stb_perlin_noise3(p.x, p.y, p.z, 0, 0, 0); }
float LibnoiseGradient(const Point3& p) {
  return static_cast<float>(noise::GradientCoherentNoise3D(p.x, p.y, p.z, 0, noise::QUALITY_STD));
}
float LibnoiseValue(const Point3& p) {
  return static_cast<float>(noise::ValueCoherentNoise3D(p.x, p.y, p.z, 0, noise::QUALITY_STD));
}

template <float (*Fn)(const Point3&)>
void BM_Throughput(benchmark::State& state) {
  const auto& pts = Points();
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(Fn(pts[i++ & (kPoints - 1)]));
}

template <float (*Fn)(const Point3&)>
void BM_Chain(benchmark::State& state) {
  const auto& pts = Points();
  size_t i = 0;
  float r = 0.0f;
  for (auto _ : state) {
    Point3 p = pts[i++ & (kPoints - 1)];
    p.x += r;
    r = Fn(p);
  }
  benchmark::DoNotOptimize(r);
}

BENCHMARK(BM_Throughput<Noise3>)->Name("qnoise3");
BENCHMARK(BM_Chain<Noise3>)->Name("qnoise3 chain");
BENCHMARK(BM_Throughput<Noise4>)->Name("qnoise4");
BENCHMARK(BM_Chain<Noise4>)->Name("qnoise4 chain");
BENCHMARK(BM_Throughput<Noise2>)->Name("qnoise2");
BENCHMARK(BM_Throughput<Stb>)->Name("stb_perlin_noise3");
BENCHMARK(BM_Chain<Stb>)->Name("stb_perlin_noise3 chain");
BENCHMARK(BM_Throughput<LibnoiseValue>)->Name("libnoise ValueCoherentNoise3D");
BENCHMARK(BM_Chain<LibnoiseValue>)->Name("libnoise ValueCoherentNoise3D chain");
BENCHMARK(BM_Throughput<LibnoiseGradient>)->Name("libnoise GradientCoherentNoise3D");
BENCHMARK(BM_Chain<LibnoiseGradient>)->Name("libnoise GradientCoherentNoise3D chain");

// Vede's perturbation settings (primary size 0.5 and frequency 2.5, secondary
// size 0.5 and frequency 15).
void BM_PerturbHitPoint(benchmark::State& state) {
  auto* pert = static_cast<Perturb*>(Texture(false)->GetReference(2));
  const auto& pts = Points();
  size_t i = 0;
  for (auto _ : state) {
    Point3 p = pts[i++ & (kPoints - 1)];
    pert->PerturbHitPoint(p);
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_PerturbHitPoint)->Name("PerturbHitPoint");

template <int What, bool Detailed>
void BM_Eval(benchmark::State& state) {
  Texmap* tex = Texture(Detailed);
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
BENCHMARK(BM_Eval<0, false>)->Name("EvalMono");
BENCHMARK(BM_Eval<0, true>)->Name("EvalMono animated");
BENCHMARK(BM_Eval<1, false>)->Name("EvalColor");
BENCHMARK(BM_Eval<2, false>)->Name("EvalNormalPerturb");

void BM_Render(benchmark::State& state) {
  Texmap* tex = Texture(false);
  RenderSettings s;
  s.width = s.height = 1024;
  s.threads = RenderThreadCount(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(RenderTexmap(tex, s));
  state.counters["threads"] = s.threads;
}
BENCHMARK(BM_Render)->Name("render 1024x1024")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // What the library says of itself: the noise path this run measures.
  for (const PluginFile& f : TheHost().files)
    if (std::string note = HostModuleNote(f.instance); !note.empty())
      benchmark::AddCustomContext(f.path.filename().string(), note);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
