#include "farm/farm_files.h"

#include <hostside/file_io.h>
#include <hostside/png_image.h>
#include <hostside/scene_file.h>
#include <openssl/evp.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace plughost {

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

bool ReadFarmFile(const fs::path& file, std::string* bytes, std::string* error) {
  std::string why;
  if (!HostReadRegularFile(file, std::max(kSceneMaxFileBytes, kMaxPngFileBytes), bytes, &why))
    return *error = "cannot read " + file.string() + ": " + why, false;
  return true;
}

bool WriteFileWhole(const std::string& path, const std::string& bytes, unsigned mode, std::string* error) {
  std::string why;
  if (HostWriteFileAtomically(path, bytes, &why, mode)) return true;
  *error = "cannot write " + path + ": " + why;
  return false;
}

}  // namespace plughost
