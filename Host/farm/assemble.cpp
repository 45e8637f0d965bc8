#include "farm/assemble.h"

#include <hostside/picture_io.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "bake/texture_bake.h"
#include "common/failure.h"
#include "render/render_pieces.h"

namespace plughost {

namespace {

// A missing tile of a huge grid must not make a message of gigabytes.
constexpr int kTilesNamed = 100;

HostPictureDepth DepthOf(HostSampleType type) {
  switch (type) {
    case HostSampleType::kUint8: return HostPictureDepth::k8;
    case HostSampleType::kUint16: return HostPictureDepth::k16;
    case HostSampleType::kHalf: return HostPictureDepth::kHalf;
    case HostSampleType::kFloat: return HostPictureDepth::kFloat;
  }
  return HostPictureDepth::kDefault;
}

// Why a tile cannot join the first one; empty when it can.
std::string Mismatch(const HostPictureInfo& first, int firstTile, const HostPictureInfo& tile) {
  std::string than = " than tile " + std::to_string(firstTile);
  if (PictureFingerprint(tile) != PictureFingerprint(first) || tile.metadata != first.metadata)
    return "of another render" + than;
  if (tile.format != first.format || tile.type != first.type || tile.shape.layers != first.shape.layers ||
      tile.display != first.display || tile.compression != first.compression || tile.fileChannels != first.fileChannels)
    return "of another format, depth or channels" + than;
  return {};
}

// An 8-bit PNG is read as R, G, B, A whatever it stores; a tile that stores
// fewer channels (grey, grey and alpha, RGB) gets its own back, exactly, so
// that the picture is written as the whole render wrote it.
bool KeepStoredChannels(int stored, HostPicture* tile) {
  static const std::vector<int> kFrom[] = {{0}, {0, 3}, {0, 1, 2}};
  static const std::vector<std::string> kNames[] = {{"Y"}, {"Y", "A"}, {"R", "G", "B"}};
  if (stored < 1 || stored > 3) return true;
  HostPictureLayer& rgba = tile->layers[0];
  if (rgba.type != HostSampleType::kUint8 || rgba.channels.size() != 4) return false;
  const std::vector<int>& from = kFrom[stored - 1];
  std::vector<uint8_t> kept;
  kept.reserve(static_cast<size_t>(tile->Pixels()) * from.size());
  for (size_t at = 0; at < rgba.bytes.size(); at += 4)
    for (int c : from) kept.push_back(rgba.bytes[at + static_cast<size_t>(c)]);
  rgba.bytes = std::move(kept);
  rgba.channels = kNames[stored - 1];
  return true;
}

}  // namespace

bool AssembleTiles(const AssembleOptions& opts, std::string* error) {
  const int width = opts.width, height = opts.height, tiles = opts.tiles;
  if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide || tiles < 1) {
    *error = "assemble needs a size of 1 to " + std::to_string(kMaxPictureSide) + " pixels a side and a tile count";
    return false;
  }
  HostPictureFormat format;
  if (!HostPictureFormatFor(opts.output, &format, error)) return *error = "-o " + *error, false;
  PixelRegion r;
  if (!TileRegion(width, height, 1, tiles, &r, error))
    return *error = "--tiles " + std::to_string(tiles) + ": " + *error, false;
  const TileGrid grid = TileGridFor(tiles);

  // Every tile from its header and rows, a few rows at a time; nothing of the
  // picture is allocated before all are found.
  HostPictureInfo first;
  int firstTile = 0;
  std::string problems;
  int bad = 0;
  for (int k = 1; k <= tiles; ++k) {
    r = TileIn(grid, width, height, k);
    std::string name = PieceFileName(opts.output, r), why;
    HostPictureInfo info;
    if (IsCompletePicture(name, r.Width(), r.Height(), opts.fingerprint, &why, &info)) {
      if (firstTile == 0) {
        first = std::move(info);
        firstTile = k;
      } else {
        why = Mismatch(first, firstTile, info);
      }
    }
    if (why.empty()) continue;
    if (++bad <= kTilesNamed)
      problems += "\n  tile " + std::to_string(k) + "/" + std::to_string(tiles) + " " + name + ": " + why;
  }
  if (bad) {
    if (bad > kTilesNamed) problems += "\n  and " + std::to_string(bad - kTilesNamed) + " more";
    *error = opts.output + ": " + std::to_string(bad) + " of " + std::to_string(tiles) +
             " tiles missing or broken:" + problems;
    return false;
  }
  if (first.format != format) {
    *error = "-o " + opts.output + " is not of the tiles' format (" + HostPictureFormatName(first.format) + ")";
    return false;
  }

  HostPictureWriteOptions options;
  options.format = format;
  options.depth = DepthOf(first.type);
  options.compression = opts.compression.empty() ? first.compression : opts.compression;
  options.display = first.display;
  options.metadata = first.metadata;
  options.threads = static_cast<int>(std::thread::hardware_concurrency());
  HostPictureShape shape = first.shape;
  shape.width = width;
  shape.height = height;
  int stored = first.format == HostPictureFormat::kPng && first.type == HostSampleType::kUint8 ? first.fileChannels : 0;
  if (stored >= 1 && stored <= 3) shape.layers[0].channels.resize(static_cast<size_t>(stored));
  std::unique_ptr<HostPictureWriter> writer = HostPictureWriter::Begin(opts.output, shape, options, error);
  if (!writer) return false;
  // One row of tiles at a time: the picture's width by a tile's height.
  for (int row = 0; row < grid.rows; ++row) {
    HostPicture band;
    for (int col = 0; col < grid.columns; ++col) {
      int k = row * grid.columns + col + 1;
      r = TileIn(grid, width, height, k);
      std::string name = PieceFileName(opts.output, r);
      HostPicture tile;
      if (!HostReadPicture(name, &tile, error, {}, ExactSize(r.Width(), r.Height()))) return false;
      if (!KeepStoredChannels(stored, &tile)) return *error = name + ": changed while the tiles were joined", false;
      if (col == 0) {
        band.width = width;
        band.height = r.Height();
        for (const HostPictureLayer& l : tile.layers) band.AddLayer(l.name, l.channels, l.type);
      }
      if (!HostPlacePicture(tile, r.x0, 0, &band))
        return *error = name + ": changed while the tiles were joined", false;
    }
    if (!writer->WriteRows(band, 0, band.height, error)) return false;
  }
  return writer->Finish(error);
}

bool AssembleAll(const AssembleOptions& opts, std::vector<std::string>* files, std::string* error) {
  files->clear();
  if (opts.udims.empty()) {
    files->push_back(opts.output);
    return AssembleTiles(opts, error);
  }
  std::string problems, fingerprint = opts.fingerprint;
  for (int udim : opts.udims) {
    AssembleOptions tile = opts;
    tile.output = BakeTileFileName(opts.output, udim, opts.udims.size() > 1);
    // Each UDIM tile's pieces are of one bake, and so are the UDIM tiles:
    // the first piece found whole says which, when the caller did not.
    PixelRegion first;
    HostPictureInfo info;
    std::string unused;
    if (fingerprint.empty() && TileRegion(opts.width, opts.height, 1, opts.tiles, &first, &unused) &&
        IsCompletePicture(PieceFileName(tile.output, first), first.Width(), first.Height(), "", nullptr, &info))
      fingerprint = PictureFingerprint(info);
    tile.fingerprint = fingerprint;
    std::string why;
    if (AssembleTiles(tile, &why))
      files->push_back(tile.output);
    else
      problems += (problems.empty() ? "" : "\n") + why;
  }
  if (problems.empty()) return true;
  *error = problems;
  return false;
}

int AssembleCommand(const AssembleOptions& opts) {
  std::string error;
  if (opts.tiles < 1) return FailBadInput("--tiles must be the N the tiles were rendered with (--tile K/N)");
  for (size_t i = 0; i < opts.udims.size(); ++i) {
    if (opts.udims[i] < 1001 || opts.udims[i] > 1999 ||
        std::find(opts.udims.begin(), opts.udims.begin() + static_cast<std::ptrdiff_t>(i), opts.udims[i]) !=
            opts.udims.begin() + static_cast<std::ptrdiff_t>(i))
      return FailBadInput("--udim takes UDIM tiles from 1001 to 1999, each once");
  }
  std::vector<std::string> files;
  // Missing or broken tiles may yet come: a failure, not bad input.
  return AssembleAll(opts, &files, &error) ? 0 : Fail(error);
}

}  // namespace plughost
