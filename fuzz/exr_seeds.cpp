// Writes the exr_reader target's seeds: small files of each layout the host's
// writer makes (every compression, the depths, several passes, metadata) and
// of what other writers make (tiles, several parts), into the folder given:
//   exr_seeds fuzz/corpus/exr_reader
#include <Imath/half.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfTiledOutputFile.h>
#include <hostside/picture_io.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Runs of a few values, so that every compression has something to do.
HostPicture Picture(int width, int height, const std::vector<HostLayerShape>& layers) {
  HostPicture p;
  p.width = width;
  p.height = height;
  for (const HostLayerShape& l : layers) {
    std::vector<float>& samples = p.AddLayer(l.name, l.channels).floats;
    for (size_t i = 0; i < samples.size(); ++i)
      samples[i] = static_cast<float>(i / l.channels.size() / 6 % 4) * 0.3f + static_cast<float>(i % 3) * 0.01f;
  }
  return p;
}

bool Write(const std::string& path, const HostPicture& p, HostPictureDepth depth, const std::string& compression,
           std::vector<std::pair<std::string, std::string>> metadata = {}) {
  HostPictureWriteOptions o;
  o.depth = depth;
  o.compression = compression;
  o.metadata = std::move(metadata);
  std::string err;
  if (HostWritePicture(path, p, o, &err)) return true;
  std::fprintf(stderr, "%s\n", err.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: exr_seeds FOLDER\n");
    return 2;
  }
  std::string dir = argv[1];
  const std::vector<HostLayerShape> rgba = {{"", {"R", "G", "B", "A"}}};
  const std::vector<HostLayerShape> passes = {
      {"", {"R", "G", "B", "A"}}, {"bump", {"X", "Y", "Z"}}, {"coverage", {"Y"}}};
  bool ok = true;
  for (const std::string& c : HostPictureCompressions(HostPictureFormat::kExr))
    ok &= Write(dir + "/rgba-half-" + c + ".exr", Picture(32, 32, rgba), HostPictureDepth::kHalf, c);
  ok &= Write(dir + "/passes-float-zip.exr", Picture(6, 5, passes), HostPictureDepth::kFloat, "zip",
              {{"scene", "dirt.json"}, {"map", "Map #1"}, {"time", "160"}, {"frame", "1"}});
  ok &= Write(dir + "/y-float-none.exr", Picture(5, 3, {{"", {"Y"}}}), HostPictureDepth::kFloat, "none");

  // Written by OpenEXR alone: tiles, and two parts in one file.
  try {
    std::vector<Imath::half> pixels(8 * 8, Imath::half(0.5f));
    Imf::Header tiled(8, 8);
    tiled.channels().insert("Y", Imf::Channel(Imf::HALF));
    tiled.setTileDescription(Imf::TileDescription(4, 4, Imf::ONE_LEVEL));
    Imf::TiledOutputFile out((dir + "/y-half-tiled.exr").c_str(), tiled);
    Imf::FrameBuffer fb;
    fb.insert("Y", Imf::Slice(Imf::HALF, reinterpret_cast<char*>(pixels.data()), 2, 16));
    out.setFrameBuffer(fb);
    out.writeTiles(0, out.numXTiles() - 1, 0, out.numYTiles() - 1);

    std::vector<Imf::Header> parts(2, Imf::Header(8, 8));
    for (int i = 0; i < 2; ++i) {
      parts[i].channels().insert("Y", Imf::Channel(Imf::HALF));
      parts[i].setName(i == 0 ? "first" : "second");
      parts[i].setType(Imf::SCANLINEIMAGE);
    }
    Imf::MultiPartOutputFile multi((dir + "/y-half-two-parts.exr").c_str(), parts.data(), 2);
    for (int i = 0; i < 2; ++i) {
      Imf::OutputPart part(multi, i);
      part.setFrameBuffer(fb);
      part.writePixels(8);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    ok = false;
  }
  return ok ? 0 : 1;
}
