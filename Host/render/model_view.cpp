#include "render/model_view.h"

#include <chrono>
#include <cstdio>

#include "geometry/model_import.h"

namespace plughost {

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool LoadModelView(const std::string& file, int threads, ModelView* out, std::string* error) {
  auto start = std::chrono::steady_clock::now();
  if (!ImportModel(file, ImportBudget{}, &out->model, error)) return false;
  out->importSeconds = SecondsSince(start);
  start = std::chrono::steady_clock::now();
  RayBuildOptions build;
  build.threads = threads;
  out->rays = RayScene::Build(out->model, error, build);
  if (!out->rays) return *error = file + ": " + *error, false;
  out->buildSeconds = SecondsSince(start);
  return true;
}

std::string DescribeModelView(const std::string& file, const ModelView& view) {
  char line[256];
  std::snprintf(line, sizeof line, ": %zu triangles in %zu meshes, imported in %.3f s, ray tree built in %.3f s",
                view.model.TriangleCount(), view.model.meshes.size(), view.importSeconds, view.buildSeconds);
  return file + line;
}

}  // namespace plughost
