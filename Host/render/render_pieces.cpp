#include "render/render_pieces.h"

#include <filesystem>

#include "common/value_readers.h"

namespace fs = std::filesystem;

namespace plughost {

namespace {

bool ParseRegion(const std::string& text, int width, int height, PixelRegion* out, std::string* error) {
  int v[4] = {0, 0, 0, 0};
  size_t start = 0;
  bool ok = true;
  for (int i = 0; i < 4 && ok; ++i) {
    size_t comma = i < 3 ? text.find(',', start) : text.size();
    ok = comma != std::string::npos && ParseInt(text.substr(start, comma - start), &v[i]);
    start = comma + 1;
  }
  PixelRegion r{v[0], v[1], v[2], v[3]};
  if (!ok || r.x0 < 0 || r.y0 < 0 || r.x1 > width || r.y1 > height || r.Empty()) {
    *error = "--region must be x0,y0,x1,y1 with 0 <= x0 < x1 <= " + std::to_string(width) +
             " and 0 <= y0 < y1 <= " + std::to_string(height) + ", not '" + text + "'";
    return false;
  }
  *out = r;
  return true;
}

}  // namespace

bool ParsePieceIndex(const std::string& text, int* k, int* n, std::string* error) {
  size_t slash = text.find('/');
  if (slash == std::string::npos || !ParseInt(text.substr(0, slash), k) || !ParseInt(text.substr(slash + 1), n) ||
      *n < 1 || *k < 1 || *k > *n) {
    *error = "'" + text + "' is not K/N with 1 <= K <= N";
    return false;
  }
  return true;
}

IndexRange ChunkOf(size_t count, int k, int n) {
  auto edge = [&](int i) { return count * static_cast<size_t>(i) / static_cast<size_t>(n); };
  return {edge(k - 1), edge(k)};
}

TileGrid TileGridFor(int n) {
  TileGrid g;
  // c * c in 64 bits: near the top of an int it would wrap and run c to 0.
  for (long long c = 1; c * c <= n; ++c)
    if (n % c == 0) g.columns = static_cast<int>(c);
  g.rows = n / g.columns;
  return g;
}

bool TileRegion(int width, int height, int k, int n, PixelRegion* out, std::string* error) {
  long long pixels = static_cast<long long>(width) * height;
  if (n < 1 || k < 1 || k > n || n > pixels) {
    *error = "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels makes 1 to " +
             std::to_string(pixels) + " tiles (one a pixel), not " + std::to_string(n);
    return false;
  }
  TileGrid g = TileGridFor(n);
  if (g.columns > width || g.rows > height) {
    *error = std::to_string(n) + " tiles make a grid of " + std::to_string(g.columns) + " x " + std::to_string(g.rows) +
             ", more than the " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
    return false;
  }
  *out = TileIn(g, width, height, k);
  return true;
}

PixelRegion TileIn(const TileGrid& g, int width, int height, int k) {
  int col = (k - 1) % g.columns, row = (k - 1) / g.columns;
  auto edge = [](int size, int i, int parts) { return static_cast<int>(static_cast<long long>(size) * i / parts); };
  return {edge(width, col, g.columns), edge(height, row, g.rows), edge(width, col + 1, g.columns),
          edge(height, row + 1, g.rows)};
}

bool SelectPiece(const PieceOptions& piece, int width, int height, std::vector<int>* frames,
                 std::vector<TimeValue>* times, PixelRegion* region, std::string* error) {
  int given = !piece.chunk.empty() + !piece.tile.empty() + !piece.region.empty();
  if (given > 1) return *error = "give one of --chunk, --tile and --region", false;
  if (!piece.chunk.empty()) {
    int k = 0, n = 0;
    if (!ParsePieceIndex(piece.chunk, &k, &n, error)) return *error = "--chunk " + *error, false;
    if (static_cast<size_t>(n) > frames->size()) {
      *error = "--chunk " + piece.chunk + ": " + std::to_string(n) + " chunks of " + std::to_string(frames->size()) +
               " frame(s) would leave some empty";
      return false;
    }
    IndexRange c = ChunkOf(frames->size(), k, n);
    *frames = std::vector<int>(frames->begin() + c.first, frames->begin() + c.last);
    *times = std::vector<TimeValue>(times->begin() + c.first, times->begin() + c.last);
    return true;
  }
  if (given == 0) return true;
  if (frames->size() != 1) {
    *error = "--tile and --region are pieces of one picture: give --time or a single frame";
    return false;
  }
  if (!piece.region.empty()) return ParseRegion(piece.region, width, height, region, error);
  int k = 0, n = 0;
  if (!ParsePieceIndex(piece.tile, &k, &n, error)) return *error = "--tile " + *error, false;
  if (!TileRegion(width, height, k, n, region, error)) return *error = "--tile " + piece.tile + ": " + *error, false;
  return true;
}

std::string PieceFileName(const std::string& file, const PixelRegion& region) {
  if (region.Empty()) return file;
  fs::path p(file);
  std::string ext = p.extension().string();
  std::string tag = ".tile-" + std::to_string(region.x0) + "-" + std::to_string(region.y0) + "-" +
                    std::to_string(region.x1) + "-" + std::to_string(region.y1);
  return file.substr(0, file.size() - ext.size()) + tag + ext;
}

HostPictureAdmission ExactSize(int width, int height) {
  return [width, height](int w, int h, int channels, std::string* why) {
    if (w != width || h != height) {
      *why = std::to_string(w) + " x " + std::to_string(h) + " pixels, not " + std::to_string(width) + " x " +
             std::to_string(height);
      return false;
    }
    // The channels still count: a header can claim thousands.
    if (channels <= kMostPieceChannels || HostPictureCharge(w, h, channels) <= HostPixelBudget()) return true;
    *why = HostOverBudget(w, h, channels, HostPixelBudget(), 0);
    return false;
  };
}

std::string PictureFingerprint(const HostPictureInfo& info) {
  for (const auto& [key, value] : info.metadata)
    if (key == kRenderFingerprintKey) return value;
  return {};
}

bool IsCompletePicture(const std::string& file, int width, int height, const std::string& fingerprint, std::string* why,
                       HostPictureInfo* info) {
  std::string reason;
  std::error_code ec;
  HostPictureInfo found;
  if (!fs::exists(file, ec)) {
    reason = "missing";
  } else if (!fs::is_regular_file(file, ec)) {
    reason = "not a file";
  } else if (!HostProbePicture(file, &found, &reason, ExactSize(width, height))) {
    if (reason.rfind(file + ": ", 0) == 0) reason.erase(0, file.size() + 2);  // the caller names the file
  } else if (!found.complete) {
    reason = found.damage;
  } else if (!fingerprint.empty() && PictureFingerprint(found) != fingerprint) {
    reason = "made by another render (its scene or settings differ)";
  }
  if (why) *why = reason;
  if (info && reason.empty()) *info = std::move(found);
  return reason.empty();
}

}  // namespace plughost
