// A bake as the user asks for it, the plan made of it before anything is
// shaded, and its run: the pictures of every UDIM tile the UVs reach, or
// pieces of them.
//
// A bake is cut into pieces as a still is (render/render_pieces.h): --tile
// K/N bakes the K-th of N tiles (the same grid, row by row from the top left)
// of every UDIM tile, or of the one --udim names, each piece to its UDIM
// tile's file with the piece's texels in the name (dirt.1001.exr's pieces
// are dirt.1001.tile-X0-Y0-X1-Y1.exr). A farm runs UDIM tiles x tiles as its
// tasks (--udim U --tile K/N each), so a bake of one large UDIM tile spreads
// over its N tiles and one of many small UDIM tiles over those, with N = 1.
//
// A piece's texels are the whole bake's there, padding included: its layout
// looks at the triangles and the margin around the piece (bake_layout.h),
// and a padded texel is shaded at the point of the island texel it copies,
// wherever that lies, which is the value that texel gets. So joining the
// pieces (plughost assemble --udim) gives the whole bake's files. Every
// picture carries the bake's fingerprint; a piece keeps the pictures it
// finds complete and carrying it (a farm task run again resumes), and
// assemble joins only pieces of one bake.
#pragma once

#include <hostside/picture_io.h>
#include <imtl.h>

#include <string>
#include <vector>

#include "bake/texture_bake.h"
#include "geometry/bake_layout.h"
#include "geometry/model.h"
#include "render/render_plan.h"

namespace plughost {

struct BakeRequest {
  std::string model;
  RenderRequest source;  // only its texture: the render options of that scope
  std::string output = "bake.exr";
  std::string what = "color";
  int size = 1024;
  int width = 0, height = 0;  // 0: size
  int uv = 1;
  int margin = 16;
  std::string time = "0";
  std::string depth, compression;
  // How this one process bakes, not what: neither a farm task's arguments
  // nor the fingerprint hold these.
  int threads = 0;
  bool quiet = false;
  std::string tile;  // "K/N": the K-th of N tiles of each UDIM tile
  int udim = 0;      // one UDIM tile only; 0: every one
  bool overwrite = false;
};

// One picture a bake writes: a UDIM tile's whole file, or a piece of it.
struct BakePicture {
  int udim = 1001;
  TexelRect region;  // empty: the whole tile
  std::string file;
  HostPictureFormat format = HostPictureFormat::kExr;  // the file's, by its extension
  int width = 0, height = 0;                           // of the picture: the region's or the tile's
};

struct BakePlan {
  BakeValue what = BakeValue::kColor;
  TimeValue time = 0;
  BakeLayoutOptions layout;
  HostPictureWriteOptions write;  // depth, compression, threads and the metadata every picture shares
  bool depthGiven = false;        // false: OpenEXR keeps a bake's floats whole
  std::vector<int> udims;         // every UDIM tile the UVs reach
  std::vector<BakePicture> pictures;
  std::string fingerprint;
  bool piece = false;  // --tile or --udim: complete pictures are kept
  bool overwrite = false;
  bool quiet = false;
};

// Reads the options, imports the model and prepares it for the value (a
// normal map's tangents), finds its UDIM tiles and the pictures to write,
// each checked writable. 0, or the exit status (kExitBadInput for the
// user's mistakes, kExitFailure for a failure while running) with one line
// in *error. Everything the user typed is read before the model.
int PlanBake(const BakeRequest& request, Model* model, BakePlan* plan, std::string* error);

// Shades and writes the plan's pictures; the map must be up to date for the
// plan's time. False with one line.
bool RunBakePlan(const BakePlan& plan, Texmap* map, const Model& model, std::string* error);

// The options a farm task gets, as a command line gives them (the model
// first, by its absolute path).
std::vector<std::string> BakeTaskArguments(const BakeRequest& request);

// The fingerprint of a bake: a digest of its task arguments with the model's,
// scene's and sub-map's bytes in place of their names and the output's
// extension in place of its name. False with "cannot read FILE: why".
bool FingerprintBake(const BakeRequest& request, std::string* fingerprint, std::string* error);

}  // namespace plughost
