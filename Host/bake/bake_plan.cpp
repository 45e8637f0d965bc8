#include "bake/bake_plan.h"

#include <hostside/file_io.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "common/digest.h"
#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "geometry/model_import.h"
#include "render/queued_writer.h"
#include "render/render_pieces.h"

namespace fs = std::filesystem;

namespace plughost {

std::vector<std::string> BakeTaskArguments(const BakeRequest& r) {
  std::error_code ec;
  std::vector<std::string> args = {fs::absolute(r.model, ec).lexically_normal().string()};
  std::vector<std::string> texture = TaskArguments(r.source, {RenderOptionScope::kTexture});
  args.insert(args.end(), texture.begin(), texture.end());
  args.insert(args.end(), {"-o", r.output, "--what", r.what, "--size", std::to_string(r.size), "--width",
                           std::to_string(r.width), "--height", std::to_string(r.height), "--uv", std::to_string(r.uv),
                           "--margin", std::to_string(r.margin), "--time", r.time});
  if (!r.depth.empty()) args.insert(args.end(), {"--depth", r.depth});
  if (!r.compression.empty()) args.insert(args.end(), {"--compression", r.compression});
  return args;
}

bool FingerprintBake(const BakeRequest& request, std::string* fingerprint, std::string* error) {
  BakeRequest r = request;
  if (!NameTextureByContent(&r.source.texture, error)) return false;
  r.output = fs::path(r.output).extension().string();
  std::vector<std::string> args = BakeTaskArguments(r);
  std::string hex;
  if (!Sha256OfFile(request.model, &hex, error)) return false;
  args[0] = "sha256:" + hex;
  *fingerprint = FingerprintOfArguments("bake", args);
  return true;
}

int PlanBake(const BakeRequest& r, Model* model, BakePlan* plan, std::string* error) {
  auto bad = [&](const std::string& why) {
    *error = why;
    return kExitBadInput;
  };
  BakePlan p;
  if (!ParseBakeValue(r.what, &p.what)) return bad("unknown --what '" + r.what + "' (color, mono, bump or normal)");
  if (!ParseTime(r.time, &p.time, error)) return bad("--time " + *error);
  p.write.display = false;
  p.write.compression = r.compression;
  p.write.threads = RenderThreadCount(r.threads);
  if (!r.depth.empty() && !HostParsePictureDepth(r.depth, &p.write.depth))
    return bad("unknown --depth '" + r.depth + "' (8, 16, half or float)");
  p.depthGiven = !r.depth.empty();
  p.layout.width = r.width ? r.width : r.size;
  p.layout.height = r.height ? r.height : r.size;
  p.layout.channel = r.uv;
  p.layout.margin = r.margin;
  p.layout.threads = RenderThreadCount(r.threads);
  int k = 0, n = 0;
  if (!r.tile.empty() && !ParsePieceIndex(r.tile, &k, &n, error)) return bad("--tile " + *error);
  if (r.udim != 0 && (r.udim < 1001 || r.udim > 1999)) return bad("--udim must be a UDIM tile, 1001 to 1999");
  p.piece = n > 0 || r.udim != 0;
  p.overwrite = r.overwrite;
  p.quiet = r.quiet;

  if (!ImportModel(r.model, ImportBudget{}, model, error))
    return ImportFailedWhileRunning(*error) ? kExitFailure : kExitBadInput;
  if (!FindUdimTiles(*model, p.layout, &p.udims, error) || !PrepareBakeModel(model, p.what, p.layout.channel, error))
    return bad(r.model + ": " + *error);
  PixelRegion region;
  if (n > 0 && !TileRegion(p.layout.width, p.layout.height, k, n, &region, error))
    return bad("--tile " + r.tile + ": " + *error);
  std::vector<int> baked = p.udims;
  if (r.udim != 0) {
    if (std::find(p.udims.begin(), p.udims.end(), r.udim) == p.udims.end()) {
      std::string reached;
      for (int u : p.udims) reached += (reached.empty() ? "" : ", ") + std::to_string(u);
      return bad("--udim " + std::to_string(r.udim) + ": the UVs reach no texel of it (they reach " + reached + ")");
    }
    baked = {r.udim};
  }
  for (int udim : baked) {
    BakePicture picture;
    picture.udim = udim;
    picture.region = TexelRect{region.x0, region.y0, region.x1, region.y1};
    picture.file = PieceFileName(BakeTileFileName(r.output, udim, p.udims.size() > 1), region);
    picture.width = picture.region.Empty() ? p.layout.width : picture.region.Width();
    picture.height = picture.region.Empty() ? p.layout.height : picture.region.Height();
    const std::string& file = picture.file;
    if (!HostPictureFormatFor(file, &picture.format, error)) return bad("cannot write " + file + ": " + *error);
    if (!HostCheckOutputFile(file, error)) return *error = "cannot write " + file + ": " + *error, kExitFailure;
    if (!HostPictureFits(picture.format, BakeShape(p.what, picture.width, picture.height), error))
      return bad("cannot write " + file + ": " + *error);
    p.pictures.push_back(std::move(picture));
  }
  if (!FingerprintBake(r, &p.fingerprint, error)) return kExitFailure;
  p.write.metadata = {{"model", r.model}, {"time", TimeText(p.time)}, {"value", r.what}};
  if (!r.source.texture.sceneFile.empty()) p.write.metadata.push_back({"scene", r.source.texture.sceneFile});
  *plan = std::move(p);
  return 0;
}

bool RunBakePlan(const BakePlan& plan, Texmap* map, const Model& model, std::string* error) {
  for (const BakePicture& picture : plan.pictures) {
    if (plan.piece && !plan.overwrite &&
        IsCompletePicture(picture.file, picture.width, picture.height, plan.fingerprint)) {
      std::fprintf(stderr, "plughost: %s is complete; kept\n", picture.file.c_str());
      continue;
    }
    BakeTile tile;
    if (!LayOutBakeTile(model, plan.layout, picture.udim, picture.region, &tile, error)) return false;
    if (tile.overlap.texels) std::fprintf(stderr, "plughost: note: %s\n", DescribeOverlap(model, tile).c_str());
    HostPictureWriteOptions write = plan.write;
    // A bake is data: OpenEXR keeps it whole unless a depth is asked for.
    if (!plan.depthGiven && picture.format == HostPictureFormat::kExr) write.depth = HostPictureDepth::kFloat;
    write.metadata.push_back({"udim", std::to_string(picture.udim)});
    write.metadata.emplace_back(kRenderFingerprintKey, plan.fingerprint);
    // Written on a thread of its own while later rows shade, as a render's
    // pictures are; on one thread, in turn.
    const int threads = plan.layout.threads;
    if (threads <= 1) write.threads = 0;
    QueuedPictureWriter out(kMostQueuedPictureBytes, threads > 1);
    bool handed =
        out.Begin(picture.file, BakeShape(plan.what, picture.width, picture.height), write) &&
        ShadeBakeTileInBands(map, model, plan.layout, tile, plan.what, plan.time,
                             [&](const HostPicture& band, int, int count) { return out.Rows(band, count); }) &&
        out.Finish();
    if (!out.Wait(error)) return false;
    if (!handed) return *error = "cannot write " + picture.file + ": the bake stopped early", false;
    if (!plan.quiet) {
      std::fprintf(stderr, "plughost: baked %s (tile %d: %llu texels covered, %llu padded)\n", picture.file.c_str(),
                   picture.udim, static_cast<unsigned long long>(tile.covered),
                   static_cast<unsigned long long>(tile.padded));
    }
  }
  return true;
}

}  // namespace plughost
