#include "render/render_run.h"

#include <hostside/png_image.h>

#include <cstdio>

#include "render/progress.h"

namespace plughost {

bool RunRenderPlan(const RenderPlan& plan, Texmap* map, std::string* error) {
  RenderSettings s = plan.settings;
  PixelRegion area = s.Area();
  long total = static_cast<long>(plan.pictures.size()) * area.Height();
  Progress progress(!plan.quiet, total);
  for (size_t i = 0; i < plan.pictures.size(); ++i) {
    const PlannedPicture& picture = plan.pictures[i];
    if (plan.piece && !plan.overwrite && IsCompletePicture(picture.file, area.Width(), area.Height())) {
      std::fprintf(stderr, "plughost: %s is complete; kept\n", picture.file.c_str());
      continue;
    }
    s.time = picture.time;
    std::string what = plan.severalFrames ? "frame " + std::to_string(picture.frame) : std::string("rendering");
    long before = static_cast<long>(i) * area.Height();
    HostImage img = RenderTexmap(map, s, [&](int rows, int) { progress.Set(before + rows, what); });
    if (!HostWritePng(picture.file, img, error)) return false;
  }
  return true;
}

}  // namespace plughost
