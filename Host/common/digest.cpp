#include "common/digest.h"

#include <openssl/evp.h>

#include <fstream>
#include <memory>
#include <vector>

namespace plughost {

namespace {

using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

Context Begin() {
  Context ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (ctx && !EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr)) ctx.reset();
  return ctx;
}

bool End(EVP_MD_CTX* ctx, std::string* hex) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!EVP_DigestFinal_ex(ctx, digest, &n)) return false;
  static const char kHex[] = "0123456789abcdef";
  hex->clear();
  for (unsigned int i = 0; i < n; ++i) {
    *hex += kHex[digest[i] >> 4];
    *hex += kHex[digest[i] & 15];
  }
  return true;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  Context ctx = Begin();
  std::string hex;
  if (!ctx || !EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) || !End(ctx.get(), &hex)) return {};
  return hex;
}

bool Sha256OfFile(const std::string& file, std::string* hex, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  Context ctx = Begin();
  if (!in || !ctx) {
    *error = file + ": cannot read";
    return false;
  }
  std::vector<char> buf(1 << 20);
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    if (in.gcount() > 0) EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad() || !End(ctx.get(), hex)) {
    *error = file + ": cannot read";
    return false;
  }
  return true;
}

}  // namespace plughost
