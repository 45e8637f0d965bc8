#include "render/preview_renderer.h"

#include <hostside/png_image.h>

namespace plughost {

PreviewRenderer::~PreviewRenderer() { Stop(); }

std::shared_future<PreviewRenderer::Result> PreviewRenderer::Start(Texmap* map, const RenderSettings& settings) {
  Stop();
  cancel_ = false;
  std::promise<Result> promise;
  std::shared_future<Result> future = promise.get_future().share();
  long serial = ++serial_;
  thread_ = std::thread([this, map, settings, serial, promise = std::move(promise)]() mutable {
    Result r;
    r.serial = serial;
    HostImage image;
    r.done = ShadeTexmap(map, settings, &image, &cancel_) && HostEncodePng(image, &r.png, nullptr);
    if (!r.done) r.png.clear();
    promise.set_value(std::move(r));
  });
  return future;
}

void PreviewRenderer::Stop() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
}

}  // namespace plughost
