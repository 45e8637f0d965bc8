// The cost of writing pictures beside the cost of shading them: a 1024 x 1024
// render of a new texture with its defaults, as `plughost render` makes it,
// shaded only (the bands handed to nothing) and shaded into each writer (PNG
// 8 and 16-bit, OpenEXR half and float), on one thread and on two; a
// sequence of frames; and the PNG writer that came before the streaming one
// (the picture shaded whole, then libpng's simplified writer run twice, once
// to measure and once to write, at its default settings), as the baseline
// for bytes and time.
// bench/picture_bench.sh runs it in rounds and prints medians and ratios.
#include <benchmark/benchmark.h>
#include <hostside/file_io.h>
#include <png.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "plugins/plugin_loader.h"
#include "render/render_plan.h"
#include "render/render_run.h"
#include "render/renderer.h"
#include "scene/texture_source.h"

using namespace plughost;
namespace fs = std::filesystem;

namespace {

constexpr int kSide = 1024;

struct Host {
  Host() {
    files = LoadPlugins({QUORL_PLUGIN_DIR}, nullptr);
    folder = fs::temp_directory_path() / ("picture-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
  }
  ~Host() { fs::remove_all(folder); }
  std::vector<PluginFile> files;
  fs::path folder;
  OpenedTexture texture;
};
Host& TheHost() {
  static Host h;
  return h;
}
Texmap* Texture() {
  Host& h = TheHost();
  if (!h.texture.map) {
    std::string error;
    if (!OpenTexture({}, &h.texture, &error)) std::fprintf(stderr, "picture_bench: %s\n", error.c_str());
  }
  return h.texture.map;
}

RenderPlan Plan(const std::string& file, int threads, const std::string& depth, const std::string& compression,
                const std::string& frames = "") {
  RenderRequest r;
  r.output = (TheHost().folder / file).string();
  r.width = r.height = kSide;
  r.threads = threads;
  r.depth = depth;
  r.compression = compression;
  r.frames = frames;
  r.quiet = true;
  RenderPlan plan;
  std::string error;
  if (!MakeRenderPlan(r, &plan, &error)) std::fprintf(stderr, "picture_bench: %s\n", error.c_str());
  return plan;
}

void BM_Shade(benchmark::State& state) {
  Texmap* tex = Texture();
  RenderPlan plan = Plan("shade.png", static_cast<int>(state.range(0)), "", "");
  for (auto _ : state) {
    Interval valid = FOREVER;
    tex->Update(0, valid);
    ShadeBands(tex, plan.settings, [](const HostPicture&, int, int) { return true; });
  }
  state.counters["threads"] = plan.settings.threads;
}
BENCHMARK(BM_Shade)
    ->Name("shade")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// A whole render into a file, through the writer thread, as `plughost render`.
template <int Format>
void BM_Write(benchmark::State& state) {
  static const char* const kFile[] = {"p.png", "p.png", "p.exr", "p.exr", "p.png", "p.png", "p.exr"};
  static const char* const kDepth[] = {"8", "16", "half", "float", "8", "16", "float"};
  static const char* const kCompression[] = {"", "", "", "", "small", "none", "none"};
  Texmap* tex = Texture();
  RenderPlan plan = Plan(kFile[Format], static_cast<int>(state.range(0)), kDepth[Format], kCompression[Format]);
  std::string error;
  for (auto _ : state)
    if (!RunRenderPlan(plan, tex, &error)) state.SkipWithError(error.c_str());
  state.counters["threads"] = plan.settings.threads;
  state.counters["bytes"] = static_cast<double>(fs::file_size(plan.pictures[0].file));
}
BENCHMARK(BM_Write<0>)
    ->Name("png 8")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_Write<1>)->Name("png 16")->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_Write<2>)->Name("exr half")->Arg(2)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_Write<3>)
    ->Name("exr float")
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_Write<4>)
    ->Name("png 8 small")
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
// Without deflate: what writing costs besides it.
BENCHMARK(BM_Write<5>)
    ->Name("png 16 none")
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_Write<6>)
    ->Name("exr float none")
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// Five frames of a sequence: the time is a frame's.
void BM_Sequence(benchmark::State& state) {
  constexpr int kFrames = 5;
  Texmap* tex = Texture();
  RenderPlan plan = Plan("s.####.png", static_cast<int>(state.range(0)), "", "", "0-4");
  std::string error;
  for (auto _ : state)
    if (!RunRenderPlan(plan, tex, &error)) state.SkipWithError(error.c_str());
  state.counters["threads"] = plan.settings.threads;
  state.counters["frames"] = kFrames;
}
BENCHMARK(BM_Sequence)
    ->Name("png 8 sequence of 5")
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The writer before the streaming one: shade the whole picture to 8 bits,
// then encode it twice with libpng's simplified writer at its defaults, then
// save it atomically.
void BM_PngBefore(benchmark::State& state) {
  Texmap* tex = Texture();
  RenderPlan plan = Plan("before.png", static_cast<int>(state.range(0)), "", "");
  std::string bytes, error;
  for (auto _ : state) {
    HostImage image = RenderTexmap(tex, plan.settings);
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(image.width);
    img.height = static_cast<png_uint_32>(image.height);
    img.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&img, nullptr, &size, 0, image.rgba.data(), 0, nullptr);
    bytes.resize(size);
    png_image_write_to_memory(&img, bytes.data(), &size, 0, image.rgba.data(), 0, nullptr);
    bytes.resize(size);
    png_image_free(&img);
    if (!HostWriteFileAtomically(plan.pictures[0].file, bytes, &error)) state.SkipWithError(error.c_str());
  }
  state.counters["threads"] = plan.settings.threads;
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_PngBefore)
    ->Name("png 8 before")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
