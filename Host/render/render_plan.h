// A render as the user asks for it, and the plan made of it once before
// anything runs.
//
// A RenderRequest holds the options as they were typed; the table of render
// options (RenderOptionTable) is the one description of them: the command
// line adds its options from it, and a farm task's command line is written
// from it (RenderTaskArguments), so the two can never disagree. MakeRenderPlan
// reads every option once, by the rules of every value (common/), and gives a
// typed plan: the picture's size, view, channel and region, the frames with
// their times and files, the number of threads. render, farm slurm and farm
// check all work from a plan; nothing below reads an option's text.
#pragma once

#include <hostside/picture_io.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

#include "render/progress.h"
#include "render/render_pieces.h"
#include "render/renderer.h"
#include "scene/texture_source.h"

namespace plughost {

struct RenderRequest {
  TextureSource texture;
  std::string output = "vede.png";                   // '#' runs become the frame number, zero padded
  std::string mesh;                                  // a model file (geometry/model_import.h): the mesh view
  std::string view, channel = "color";               // view empty: flat, or mesh with a model
  std::string pass = "display", depth, compression;  // empty: the format's default
  int width = 256, height = 256;
  std::string frames;      // "0-100", "0-100x5", "1,5,9", or empty: frame 0 (or --time)
  std::string time;        // a single time, as for --key
  std::string bumpAmount;  // empty: the scene's own, or kDefaultBumpAmount
  int threads = 0;         // 0: every core
  bool quiet = false;
  std::string progress = "auto";  // auto, bar, lines or none (render/progress.h)
  PieceOptions piece;             // a chunk, tile or region only (render_pieces.h)
};

// Where one option of the table keeps its value in a request.
using RenderField = std::variant<std::string*, std::vector<std::string>*, int*, bool*>;

// Which commands take an option: where the texture comes from (render,
// sample, farm slurm), what picture to make (render, farm slurm: a farm task
// gets these as the user gave them), and how this one process renders
// (render only: a farm task's threads, quietness and piece are the farm's).
enum class RenderOptionScope { kTexture, kPicture, kProcess };

struct RenderOption {
  const char* names;  // as the parser takes them: "-o,--output", or "scene" for the positional one
  const char* help;
  RenderField (*field)(RenderRequest&);
  RenderOptionScope scope;
};
const std::vector<RenderOption>& RenderOptionTable();

// The options of the table that a farm task gets, as a command line would
// give them (the positional scene first). The model is named by its absolute
// path, since a task may start in another folder.
std::vector<std::string> RenderTaskArguments(const RenderRequest& request);
// The same for the options of `scopes` only: a bake's texture options, say.
std::vector<std::string> TaskArguments(const RenderRequest& request, std::initializer_list<RenderOptionScope> scopes);

// One picture the plan writes.
struct PlannedPicture {
  int frame = 0;
  TimeValue time = 0;
  std::string file;  // the frame's file, or the tile's when the plan is a tile
};

struct RenderPlan {
  RenderSettings settings;        // settings.time is each picture's own; settings.model is the caller's
  std::string mesh;               // the model the mesh view shows, to be loaded by the caller
  std::string output;             // the name pattern, as given
  std::string scene;              // the scene file, or "new CLASS", for the pictures' metadata
  HostPictureWriteOptions write;  // format, depth and compression, checked against the picture's shape
  std::vector<int> frames;        // every frame of the whole render, before any chunk
  bool severalFrames = false;
  std::vector<PlannedPicture> pictures;  // what this render writes, in order
  std::string fingerprint;               // of the render, which every picture carries (FingerprintRender)
  bool piece = false;                    // a chunk, tile or region: complete pictures are kept
  bool overwrite = false;
  ProgressStyle progress = ProgressStyle::kAuto;  // kNone when quiet
  int threadsAsked = 0;                           // as the request gave it (0: every core)
  bool bumpAmountGiven = false;                   // false: the scene's amount, where it keeps one, replaces the default
};

// The name under which a scene keeps the sample slot's bump amount.
inline constexpr const char* kBumpAmountSetting = "bumpAmount";
// The bump amount the scene keeps, unless the command gave one.
void TakeSceneRenderSettings(const Scene& scene, RenderPlan* plan);

// The plan of a request, or false with one line for the user.
bool MakeRenderPlan(const RenderRequest& request, RenderPlan* plan, std::string* error);

// The fingerprint of the render a request asks for: a digest of the options
// a farm task gets (RenderTaskArguments), with the bytes of the scene and of
// a sub-map's picture in place of their names and the output's extension in
// place of its name. The same render from a copy of its scene, or into
// another folder, has the same fingerprint; any other setting or scene byte
// gives another. Every picture a render writes carries it, and a piece keeps
// only the pictures that carry its own. False with "cannot read FILE: why".
bool FingerprintRender(const RenderRequest& request, std::string* fingerprint, std::string* error);
// The parts of one: a texture's scene and sub-map picture named by their
// bytes ("sha256:..."), and the digest of a verb and its task arguments.
bool NameTextureByContent(TextureSource* texture, std::string* error);
std::string FingerprintOfArguments(const std::string& verb, const std::vector<std::string>& args);

// Whether every picture of the plan could be written now (hostside/file_io.h).
bool CheckPlanOutputs(const RenderPlan& plan, std::string* error);

// Frame lists: "A-B" (every frame), "A-BxS" (every S-th), and comma lists of
// those. Frames may be negative, and their times must fit in a time value;
// at most kMaxFrames in all. False with a message for anything else.
constexpr int kMaxFrames = 100000;
bool ParseFrameList(const std::string& text, std::vector<int>* frames, std::string* error);
// The output name for a frame: each run of '#' becomes the frame number
// padded with zeros to the run's length; several frames and no '#' put
// ".####" before the extension. The other tools' spellings work too: printf's
// %04d (four digits) and %d (no padding) anywhere, and runs of '@' (one digit
// each) in the file's own name, where a folder's '@' stays as it is.
std::string FrameFileName(const std::string& pattern, int frame, bool several);

}  // namespace plughost
