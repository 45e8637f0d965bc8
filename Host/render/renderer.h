// Pictures of a texture map, as the material editor shows a map: on a flat
// swatch, a sample sphere, a cube or the user's model, over the slot's
// checker background.
//
// The map is brought up to date for the time on the calling thread; then the
// rows are shaded on any number of threads, each pixel on its own, so the
// picture is the same whatever the thread count. A pixel depends only on its
// place in the whole picture, so a region of it renders to exactly the pixels
// that the whole picture has there.
#pragma once

#include <hostside/picture.h>
#include <hostside/png_image.h>
#include <imtl.h>

#include <atomic>
#include <functional>
#include <string>

namespace plughost {

struct ModelView;

// Mesh: the model of RenderSettings::model, seen through its own camera or
// one that frames it (geometry/camera.h), by ray casting.
enum class RenderView { Flat, Sphere, Cube, Mesh };
enum class RenderChannel { Color, Mono, Bump, All };
// Display: what the sample slot shows (over the checker, lit on an object),
// as one layer R, G, B, A with A = 1. Data: the texture's own values, no
// background and no light: colour as EvalColor returns it (layer "": R, G,
// B, A, premultiplied), coverage from EvalMono (a single Y alone, the layer
// "coverage" beside the colour), the bump's EvalNormalPerturb (layer "bump":
// X, Y, Z); pixels that miss the object hold zeros. Channel All (data only)
// gives the three together.
enum class RenderPass { Display, Data };

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
  RenderPass pass = RenderPass::Display;
  TimeValue time = 0;
  int threads = RenderThreadCount(0);  // 1 or more, as RenderThreadCount gives
  float extent = 100.0f;               // the width the view covers, in object units
  PixelRegion region;                  // the part of the picture to render; empty: all of it
  // How strongly the bump channel's perturbation bends the lit normal, as a
  // material's bump amount scales its bump map: the perturbation of dirt is a
  // few thousandths, invisible unscaled.
  float bumpAmount = kDefaultBumpAmount;
  // The mesh view's model (render/model_view.h), which must outlive the
  // render; the view shows only the checker without one.
  const ModelView* model = nullptr;

  // The region, or the whole picture when the region is empty.
  PixelRegion Area() const { return region.Empty() ? PixelRegion{0, 0, width, height} : region; }
};

bool ParseRenderView(const std::string& text, RenderView* out);
bool ParseRenderChannel(const std::string& text, RenderChannel* out);
const char* RenderViewName(RenderView v);
const char* RenderChannelName(RenderChannel c);
bool ParseRenderPass(const std::string& text, RenderPass* out);
const char* RenderPassName(RenderPass p);

// The layers and channels a render gives, at the size of its area.
HostPictureShape RenderShape(const RenderSettings& settings);

// Called on the calling thread with the rows handed on so far.
using RenderProgress = std::function<void(int rowsDone, int rowsTotal)>;
// Takes rows [y, y + count) of the area, in order from the top, as rows
// [0, count) of `band` (float samples of RenderShape's layers); false stops
// the render.
using RenderBandSink = std::function<bool(const HostPicture& band, int y, int count)>;

// Brings the map up to date for the time, then shades the picture, or the
// settings' region of it (an image of the region's size).
HostImage RenderTexmap(Texmap* map, const RenderSettings& settings, const RenderProgress& progress = nullptr);
// The same at full precision, in the settings' pass.
HostPicture RenderPicture(Texmap* map, const RenderSettings& settings, const RenderProgress& progress = nullptr);

// The shading of a map already brought up to date, streamed: the threads
// shade bands of rows while the calling thread hands the finished ones to
// `sink` in order, so a writer encodes while later rows shade. A few bands
// are held at a time, whatever the picture's size. False when cancelled, when
// the sink refuses a band, or when the threads stop early.
bool ShadeBands(Texmap* map, const RenderSettings& settings, const RenderBandSink& sink,
                const std::atomic<bool>* cancel = nullptr, const RenderProgress& progress = nullptr);
// What ShadeBands runs on, for any picture shaded by rows: `height` rows in
// bands of `bandRows`, each shaded by `shade` (rows [y, y + count) into
// rows [0, count) of a band made by `newBand`) on `threads` threads, and
// handed to `sink` in order on the calling thread. On one thread the caller
// shades and hands on in turn.
bool ShadeInBands(int height, int bandRows, int threads, const std::function<HostPicture()>& newBand,
                  const std::function<bool(int y, int count, HostPicture* band)>& shade, const RenderBandSink& sink,
                  const RenderProgress& progress = nullptr);

// The shading alone, for a map already brought up to date for settings.time
// (the picture or its region, as RenderTexmap):
// it only evaluates, so it may run away from the user-interface thread as long
// as nothing changes the map meanwhile. Once *cancel is set the threads stop
// after their current row and the result is false.
bool ShadeTexmap(Texmap* map, const RenderSettings& settings, HostImage* out, const std::atomic<bool>* cancel,
                 const RenderProgress& progress = nullptr);

}  // namespace plughost
