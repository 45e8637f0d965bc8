#include "render/render_run.h"

#include <hostside/class_registry.h>
#include <hostside/picture_io.h>

#include <cstdio>

#include "render/progress.h"
#include "render/queued_writer.h"

namespace plughost {

namespace {

// Shades one picture of the plan and hands its rows to the writer, band by
// band, as they are shaded.
bool WritePicture(const RenderPlan& plan, Texmap* map, const RenderSettings& s, const PlannedPicture& picture,
                  const RenderProgress& progress, QueuedPictureWriter* out) {
  Interval valid = FOREVER;
  map->Update(s.time, valid);
  HostPictureWriteOptions options = plan.write;
  options.threads = s.threads > 1 ? s.threads : 0;  // OpenEXR's own threads; none beside a single one
  options.metadata = {{"scene", plan.scene},
                      {"map", HostClassName(map)},
                      {"time", std::to_string(s.time) + "t"},
                      {"frame", std::to_string(picture.frame)}};
  // A PNG carries the fingerprint alone: the names in the rest would make
  // the same render from the farm's copy of a scene another file.
  if (options.format == HostPictureFormat::kPng) options.metadata.clear();
  if (!plan.fingerprint.empty()) options.metadata.emplace_back(kRenderFingerprintKey, plan.fingerprint);
  return out->Begin(picture.file, RenderShape(s), options) &&
         ShadeBands(
             map, s, [&](const HostPicture& band, int, int count) { return out->Rows(band, count); }, nullptr,
             progress) &&
         out->Finish();
}

}  // namespace

bool RunRenderPlan(const RenderPlan& plan, Texmap* map, std::string* error) {
  RenderSettings s = plan.settings;
  PixelRegion area = s.Area();
  const size_t count = plan.pictures.size();
  long total = static_cast<long>(count) * area.Height();
  Progress progress(plan.progress, total);
  // On one thread the writer takes its turn after each band: a farm task
  // given one core keeps to it.
  QueuedPictureWriter out(kMostQueuedPictureBytes, s.threads > 1);
  // "frame 12 (2/5)": the frame, and its place among this render's pictures.
  auto what = [&](size_t i) {
    if (!plan.severalFrames) return std::string();
    return "frame " + std::to_string(plan.pictures[i].frame) + " (" + std::to_string(i + 1) + "/" +
           std::to_string(count) + ")";
  };
  for (size_t i = 0; i < count; ++i) {
    const PlannedPicture& picture = plan.pictures[i];
    if (plan.piece && !plan.overwrite &&
        IsCompletePicture(picture.file, area.Width(), area.Height(), plan.fingerprint)) {
      std::fprintf(stderr, "plughost: %s is complete; kept\n", picture.file.c_str());
      continue;
    }
    s.time = picture.time;
    long before = static_cast<long>(i) * area.Height();
    if (!WritePicture(
            plan, map, s, picture, [&](int rows, int) { progress.Set(before + rows, what(i)); }, &out)) {
      if (!out.Wait(error)) return false;
      *error = "cannot write " + picture.file + ": the render stopped early";
      return false;
    }
  }
  if (!out.Wait(error)) return false;
  // The last line says the work is done, also when the last picture was kept.
  if (count > 0) progress.Set(total, what(count - 1));
  return true;
}

}  // namespace plughost
