// Pictures of a texture map, as the material editor shows a map: on a flat
// swatch, a sample sphere or a cube, over the slot's checker background.
//
// The map is brought up to date for the time on the calling thread; then the
// rows are shaded on any number of threads, each pixel on its own, so the
// picture is the same whatever the thread count. A pixel depends only on its
// place in the whole picture, so a region of it renders to exactly the pixels
// that the whole picture has there.
#pragma once

#include <hostside/png_image.h>
#include <imtl.h>

#include <atomic>
#include <functional>
#include <string>

namespace plughost {

enum class RenderView { Flat, Sphere, Cube };
enum class RenderChannel { Color, Mono, Bump };

// The largest picture side the host renders.
constexpr int kMaxPictureSide = 16384;

// A rectangle of pixels, [x0, x1) by [y0, y1), from the top left. Empty: the
// whole picture.
struct PixelRegion {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool Empty() const { return x1 <= x0 || y1 <= y0; }
  int Width() const { return x1 - x0; }
  int Height() const { return y1 - y0; }
  bool operator==(const PixelRegion&) const = default;
};

// The number of threads a setting means: 0 is every core, and more than the
// machine's cores is as many as it has. The one place a count is clamped.
int RenderThreadCount(int requested);

// The sample slot's bump amount when neither the command nor the scene gives one.
inline constexpr float kDefaultBumpAmount = 40.0f;

struct RenderSettings {
  int width = 256;
  int height = 256;
  RenderView view = RenderView::Flat;
  RenderChannel channel = RenderChannel::Color;
  TimeValue time = 0;
  int threads = RenderThreadCount(0);  // 1 or more, as RenderThreadCount gives
  float extent = 100.0f;               // the width the view covers, in object units
  PixelRegion region;                  // the part of the picture to render; empty: all of it
  // How strongly the bump channel's perturbation bends the lit normal, as a
  // material's bump amount scales its bump map: the perturbation of dirt is a
  // few thousandths, invisible unscaled.
  float bumpAmount = kDefaultBumpAmount;

  // The region, or the whole picture when the region is empty.
  PixelRegion Area() const { return region.Empty() ? PixelRegion{0, 0, width, height} : region; }
};

bool ParseRenderView(const std::string& text, RenderView* out);
bool ParseRenderChannel(const std::string& text, RenderChannel* out);
const char* RenderViewName(RenderView v);
const char* RenderChannelName(RenderChannel c);

// Called from the rendering threads with the rows done so far (serialised).
using RenderProgress = std::function<void(int rowsDone, int rowsTotal)>;

// Brings the map up to date for the time, then shades the picture, or the
// settings' region of it (an image of the region's size).
HostImage RenderTexmap(Texmap* map, const RenderSettings& settings, const RenderProgress& progress = nullptr);

// The shading alone, for a map already brought up to date for settings.time
// (the picture or its region, as RenderTexmap):
// it only evaluates, so it may run away from the user-interface thread as long
// as nothing changes the map meanwhile. Once *cancel is set the threads stop
// after their current row and the result is false.
bool ShadeTexmap(Texmap* map, const RenderSettings& settings, HostImage* out, const std::atomic<bool>* cancel,
                 const RenderProgress& progress = nullptr);

}  // namespace plughost
