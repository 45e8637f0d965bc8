#include "render/render_run.h"

#include <hostside/class_registry.h>
#include <hostside/picture_io.h>

#include <cstdio>

#include "render/progress.h"

namespace plughost {

namespace {

// Shades one picture of the plan straight into its writer, band by band.
bool WritePicture(const RenderPlan& plan, Texmap* map, const RenderSettings& s, const PlannedPicture& picture,
                  const RenderProgress& progress, std::string* error) {
  Interval valid = FOREVER;
  map->Update(s.time, valid);
  HostPictureWriteOptions options = plan.write;
  options.threads = s.threads;
  options.metadata = {{"scene", plan.scene},
                      {"map", HostClassName(map)},
                      {"time", std::to_string(s.time) + "t"},
                      {"frame", std::to_string(picture.frame)}};
  // A PNG carries the fingerprint alone: the names in the rest would make
  // the same render from the farm's copy of a scene another file.
  if (options.format == HostPictureFormat::kPng) options.metadata.clear();
  if (!plan.fingerprint.empty()) options.metadata.emplace_back(kRenderFingerprintKey, plan.fingerprint);
  std::unique_ptr<HostPictureWriter> writer = HostPictureWriter::Begin(picture.file, RenderShape(s), options, error);
  if (!writer) return false;
  bool written = ShadeBands(
      map, s, [&](const HostPicture& band, int, int count) { return writer->WriteRows(band, 0, count, error); },
      nullptr, progress);
  if (!written) {
    if (error->empty()) *error = "cannot write " + picture.file + ": the render stopped early";
    return false;
  }
  return writer->Finish(error);
}

}  // namespace

bool RunRenderPlan(const RenderPlan& plan, Texmap* map, std::string* error) {
  RenderSettings s = plan.settings;
  PixelRegion area = s.Area();
  long total = static_cast<long>(plan.pictures.size()) * area.Height();
  Progress progress(!plan.quiet, total);
  for (size_t i = 0; i < plan.pictures.size(); ++i) {
    const PlannedPicture& picture = plan.pictures[i];
    if (plan.piece && !plan.overwrite &&
        IsCompletePicture(picture.file, area.Width(), area.Height(), plan.fingerprint)) {
      std::fprintf(stderr, "plughost: %s is complete; kept\n", picture.file.c_str());
      continue;
    }
    s.time = picture.time;
    std::string what = plan.severalFrames ? "frame " + std::to_string(picture.frame) : std::string("rendering");
    long before = static_cast<long>(i) * area.Height();
    if (!WritePicture(
            plan, map, s, picture, [&](int rows, int) { progress.Set(before + rows, what); }, error))
      return false;
  }
  return true;
}

}  // namespace plughost
