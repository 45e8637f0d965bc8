// plughost farm check: every picture of a farm render complete, then the
// manifest.
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "farm/assemble.h"
#include "farm/slurm_farm.h"
#include "render/render_pieces.h"

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

}  // namespace

std::string FarmStem(const std::string& output) {
  std::string name = fs::path(output).stem().string();
  std::string stem;
  for (char c : name)
    if (c != '#') stem += c;
  while (!stem.empty() && (stem.back() == '.' || stem.back() == '_' || stem.back() == '-' || stem.back() == ' '))
    stem.pop_back();
  return stem.empty() ? "render" : stem;
}

std::string FarmFolder(const std::string& output) {
  return (fs::path(output).parent_path() / (FarmStem(output) + ".farm")).string();
}

std::string FarmManifest(const std::string& output) {
  return (fs::path(output).parent_path() / (FarmStem(output) + ".manifest.txt")).string();
}

bool Sha256OfFile(const std::string& file, std::string* hex, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!in || !ctx || !EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr)) {
    *error = file + ": cannot read";
    return false;
  }
  std::vector<char> buf(1 << 20);
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    if (in.gcount() > 0) EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<size_t>(in.gcount()));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (in.bad() || !EVP_DigestFinal_ex(ctx.get(), digest, &n)) {
    *error = file + ": cannot read";
    return false;
  }
  static const char kHex[] = "0123456789abcdef";
  hex->clear();
  for (unsigned int i = 0; i < n; ++i) {
    *hex += kHex[digest[i] >> 4];
    *hex += kHex[digest[i] & 15];
  }
  return true;
}

int FarmCheckCommand(const FarmCheckOptions& opts) {
  std::vector<int> frames;
  std::string error;
  if (!ParseFrameList(opts.frames, &frames, &error)) return Fail(error);
  if (opts.tiles > 0 && frames.size() != 1) return Fail("a still in tiles has one frame");
  std::string manifest = FarmManifest(opts.output);
  std::error_code ec;
  fs::remove(manifest, ec);

  bool several = frames.size() > 1;
  std::vector<std::string> files;
  if (opts.tiles > 0) {
    files.push_back(FrameFileName(opts.output, frames[0], several));
    if (!AssembleTiles(files[0], opts.width, opts.height, opts.tiles, &error)) return Fail(error);
  } else {
    std::vector<int> bad;
    std::string details;
    for (int f : frames) {
      std::string file = FrameFileName(opts.output, f, several), why;
      if (IsCompletePicture(file, opts.width, opts.height, &why)) {
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
