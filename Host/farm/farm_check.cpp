#include "farm/farm_check.h"

#include <cstdio>
#include <filesystem>

#include "common/digest.h"
#include "common/failure.h"
#include "farm/assemble.h"
#include "farm/farm_files.h"
#include "render/render_plan.h"

namespace fs = std::filesystem;

namespace plughost {

namespace {

// "1-4, 9, 12-13" for 1,2,3,4,9,12,13.
std::string FrameRuns(const std::vector<int>& frames) {
  std::string out;
  for (size_t i = 0; i < frames.size();) {
    size_t j = i;
    while (j + 1 < frames.size() && frames[j + 1] == frames[j] + 1) ++j;
    if (!out.empty()) out += ", ";
    out += std::to_string(frames[i]);
    if (j > i) out += "-" + std::to_string(frames[j]);
    i = j + 1;
  }
  return out;
}

// A render's pictures: a still's tiles joined, or every frame complete; 0
// or the exit status, having said why.
int CheckRenderPictures(const FarmCheckOptions& opts, const std::string& manifest, std::vector<std::string>* out) {
  RenderRequest request;
  request.output = opts.output;
  request.width = opts.width;
  request.height = opts.height;
  request.frames = opts.frames;
  RenderPlan plan;
  std::string error;
  if (!MakeRenderPlan(request, &plan, &error)) return FailBadInput(error);
  const std::vector<int>& frames = plan.frames;
  if (opts.tiles > 0 && frames.size() != 1) return FailBadInput("a still in tiles has one frame");
  std::error_code ec;
  fs::remove(manifest, ec);

  bool several = plan.severalFrames;
  std::vector<std::string> files;
  if (opts.tiles > 0) {
    files.push_back(FrameFileName(opts.output, frames[0], several));
    AssembleOptions assemble;
    assemble.output = files[0];
    assemble.width = opts.width;
    assemble.height = opts.height;
    assemble.tiles = opts.tiles;
    assemble.compression = opts.compression;
    assemble.fingerprint = opts.fingerprint;
    if (!AssembleTiles(assemble, &error)) return Fail(error);
  } else {
    std::vector<int> bad;
    std::string details;
    for (int f : frames) {
      std::string file = FrameFileName(opts.output, f, several), why;
      if (IsCompletePicture(file, opts.width, opts.height, opts.fingerprint, &why)) {
        files.push_back(file);
      } else {
        bad.push_back(f);
        details += "\n  " + file + ": " + why;
      }
    }
    if (!bad.empty()) {
      return Fail(std::to_string(bad.size()) + " of " + std::to_string(frames.size()) +
                  " frames missing or broken: " + FrameRuns(bad) + details);
    }
  }
  *out = std::move(files);
  return 0;
}

}  // namespace

int FarmCheckCommand(const FarmCheckOptions& opts) {
  std::string error;
  std::vector<std::string> files;
  std::error_code ec;
  std::string manifest = FarmManifest(opts.output);
  if (!opts.udims.empty()) {
    if (opts.tiles < 1) return FailBadInput("a bake's check joins its pieces: give --tiles");
    fs::remove(manifest, ec);
    AssembleOptions assemble;
    assemble.output = opts.output;
    assemble.width = opts.width;
    assemble.height = opts.height;
    assemble.tiles = opts.tiles;
    assemble.compression = opts.compression;
    assemble.fingerprint = opts.fingerprint;
    assemble.udims = opts.udims;
    if (!AssembleAll(assemble, &files, &error)) return Fail(error);
  } else {
    if (opts.frames.empty()) return FailBadInput("give the render's --frames");
    int status = CheckRenderPictures(opts, manifest, &files);
    if (status != 0) return status;
  }

  std::string text = "# size in bytes, SHA-256, file (in this folder)\n";
  for (const std::string& file : files) {
    std::string hex;
    if (!Sha256OfFile(file, &hex, &error)) return Fail(error);
    text += std::to_string(fs::file_size(file, ec)) + "\t" + hex + "\t" + fs::path(file).filename().string() + "\n";
  }
  if (!WriteFileWhole(manifest, text, 0644, &error)) return Fail(error);
  std::printf("%zu picture(s) complete; manifest %s\n", files.size(), manifest.c_str());
  return 0;
}

}  // namespace plughost
