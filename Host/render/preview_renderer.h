// The editor's sample slot: pictures of the edited map rendered on the render
// threads while the user-interface thread goes on, the newest request winning.
//
// The contract with the user-interface thread, which owns the map:
//  - Start runs there, after the map's Update for the picture's time. It first
//    abandons the render in progress (Stop), so at most one render reads the
//    map at a time.
//  - While a render runs, the render threads only evaluate the map. Anything
//    that may change the map (an edit, a time change, a paint that reloads a
//    dialog, a save or a revert) calls Stop first, which returns once no
//    render thread reads the map any more.
//  - An abandoned render's future answers `done` false and no picture, so a
//    stale picture is never handed out after a newer request.
#pragma once

#include <imtl.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <thread>
#include <vector>

#include "render/renderer.h"

namespace plughost {

class PreviewRenderer {
 public:
  struct Result {
    bool done = false;         // false: abandoned for a newer request or an edit
    std::vector<uint8_t> png;  // the picture as a PNG file
    long serial = 0;           // which request, counting from 1
  };

  PreviewRenderer() = default;
  ~PreviewRenderer();
  PreviewRenderer(const PreviewRenderer&) = delete;
  PreviewRenderer& operator=(const PreviewRenderer&) = delete;

  std::shared_future<Result> Start(Texmap* map, const RenderSettings& settings);
  void Stop();

 private:
  std::thread thread_;
  std::atomic<bool> cancel_{false};
  long serial_ = 0;
};

}  // namespace plughost
