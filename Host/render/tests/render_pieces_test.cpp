#include "render/render_pieces.h"

#include <gtest/gtest.h>
#include <hostside/class_registry.h>
#include <hostside/host_maps.h>
#include <hostside/picture_io.h>
#include <hostside/png_image.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace plughost {

TEST(RenderPieces, ChunksSplitTheFramesInOrderEvenly) {
  for (size_t count : {1, 7, 24, 1000}) {
    for (int n = 1; n <= static_cast<int>(std::min<size_t>(count, 9)); ++n) {
      size_t next = 0, shortest = count, longest = 0;
      for (int k = 1; k <= n; ++k) {
        IndexRange c = ChunkOf(count, k, n);
        EXPECT_EQ(c.first, next) << count << " " << k << "/" << n;
        shortest = std::min(shortest, c.last - c.first);
        longest = std::max(longest, c.last - c.first);
        next = c.last;
      }
      EXPECT_EQ(next, count);
      EXPECT_LE(longest - shortest, 1u);
    }
  }
}

TEST(RenderPieces, TilesCoverEveryPixelOnce) {
  for (auto [w, h] : {std::pair{64, 48}, {5, 7}, {2048, 2048}}) {
    for (int n : {1, 2, 5, 6, 16, 35}) {
      TileGrid g = TileGridFor(n);
      EXPECT_EQ(g.columns * g.rows, n);
      EXPECT_LE(g.columns, g.rows);
      std::vector<int> hits(static_cast<size_t>(w) * static_cast<size_t>(h));
      std::string err;
      for (int k = 1; k <= n; ++k) {
        PixelRegion r;
        ASSERT_TRUE(TileRegion(w, h, k, n, &r, &err)) << err;
        ASSERT_FALSE(r.Empty());
        for (int y = r.y0; y < r.y1; ++y)
          for (int x = r.x0; x < r.x1; ++x) ++hits[static_cast<size_t>(y) * static_cast<size_t>(w) + x];
      }
      EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), w * h) << w << "x" << h << " in " << n;
    }
  }
  EXPECT_EQ(TileGridFor(16).columns, 4);
  PixelRegion r;
  std::string err;
  EXPECT_FALSE(TileRegion(4, 4, 1, 7, &r, &err));  // seven rows of four pixels
  EXPECT_FALSE(err.empty());
}

TEST(RenderPieces, PieceNamesAndChoices) {
  EXPECT_EQ(PieceFileName("out/still.png", {0, 512, 256, 1024}), "out/still.tile-0-512-256-1024.png");
  EXPECT_EQ(PieceFileName("still", {1, 2, 3, 4}), "still.tile-1-2-3-4");
  EXPECT_EQ(PieceFileName("still.png", {}), "still.png");

  std::vector<int> frames = {1, 2, 3, 4, 5};
  std::vector<TimeValue> times = {160, 320, 480, 640, 800};
  PixelRegion region;
  std::string err;
  ASSERT_TRUE(SelectPiece({"2/2", "", "", false}, 64, 64, &frames, &times, &region, &err)) << err;
  EXPECT_EQ(frames, (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(times, (std::vector<TimeValue>{480, 640, 800}));
  EXPECT_TRUE(region.Empty());
  // A tile or region is of one picture; one piece at a time.
  EXPECT_FALSE(SelectPiece({"", "1/4", "", false}, 64, 64, &frames, &times, &region, &err));
  frames = {3};
  times = {480};
  ASSERT_TRUE(SelectPiece({"", "", "8,0,64,8", false}, 64, 64, &frames, &times, &region, &err)) << err;
  EXPECT_EQ(region, (PixelRegion{8, 0, 64, 8}));
  for (const char* bad : {"8,0,65,8", "8,8,8,9", "1,2,3", "1,2,3,4,5", "a,0,1,1"})
    EXPECT_FALSE(SelectPiece({"", "", bad, false}, 64, 64, &frames, &times, &region, &err)) << bad;
  EXPECT_FALSE(SelectPiece({"1/2", "", "", false}, 64, 64, &frames, &times, &region, &err));  // an empty chunk
  EXPECT_FALSE(SelectPiece({"", "1/2", "0,0,1,1", false}, 64, 64, &frames, &times, &region, &err));
  int k, n;
  for (const char* bad : {"0/4", "5/4", "1/0", "1", "1/", "/4", "1/4x", "-1/4"})
    EXPECT_FALSE(ParsePieceIndex(bad, &k, &n, &err)) << bad;
}

// A pixel of a region is the whole picture's pixel there, in every view and
// channel: tiles join into the very picture.
TEST(RenderPieces, RegionsAreThePixelsOfTheWholePicture) {
  auto* map = static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, CHECKER_CLASS));
  ASSERT_NE(map, nullptr);
  for (RenderView view : {RenderView::Flat, RenderView::Sphere, RenderView::Cube}) {
    for (RenderChannel channel : {RenderChannel::Color, RenderChannel::Bump}) {
      RenderSettings s;
      s.width = 61;
      s.height = 47;
      s.view = view;
      s.channel = channel;
      s.threads = 2;
      HostImage whole = RenderTexmap(map, s);
      for (PixelRegion r : {PixelRegion{0, 0, 61, 47}, PixelRegion{13, 5, 40, 46}, PixelRegion{60, 0, 61, 1}}) {
        s.region = r;
        HostImage part = RenderTexmap(map, s);
        ASSERT_EQ(part.width, r.Width());
        ASSERT_EQ(part.height, r.Height());
        for (int y = 0; y < r.Height(); ++y) {
          for (int x = 0; x < r.Width() * 4; ++x) {
            ASSERT_EQ(part.rgba[static_cast<size_t>(y * r.Width() * 4 + x)],
                      whole.rgba[static_cast<size_t>((r.y0 + y) * s.width * 4 + r.x0 * 4 + x)])
                << RenderViewName(view) << " " << RenderChannelName(channel) << " at " << x / 4 << "," << y;
          }
        }
      }
    }
  }
  map->DeleteThis();
}

TEST(RenderPieces, CompletePicturesDecodeWholeAtTheirSizeFromTheirRender) {
  fs::path dir = fs::temp_directory_path() / ("render_pieces_test_" + std::to_string(getpid()));
  fs::create_directories(dir);
  HostPicture pic;
  pic.width = 40;
  pic.height = 30;
  HostPictureLayer& layer = pic.AddLayer("", {"R", "G", "B", "A"}, HostSampleType::kUint8);
  for (size_t i = 0; i < layer.bytes.size(); ++i) layer.bytes[i] = static_cast<uint8_t>(i * 7);
  std::string why, err;
  for (const char* ext : {".png", ".exr"}) {
    HostPictureWriteOptions options;
    options.metadata = {{kRenderFingerprintKey, "abc"}};
    std::string file = (dir / (std::string("a") + ext)).string();
    ASSERT_TRUE(HostWritePicture(file, pic, options, &err)) << err;
    HostPictureInfo info;
    EXPECT_TRUE(IsCompletePicture(file, 40, 30, "abc", &why, &info)) << why;
    EXPECT_EQ(PictureFingerprint(info), "abc");
    EXPECT_TRUE(IsCompletePicture(file, 40, 30, "", &why)) << why;
    EXPECT_FALSE(IsCompletePicture(file, 40, 30, "abd", &why));
    EXPECT_NE(why.find("another render"), std::string::npos) << why;
    EXPECT_FALSE(IsCompletePicture(file, 40, 31, "abc", &why));
    EXPECT_NE(why.find("40 x 30"), std::string::npos) << why;
    // Cut short: the last rows are gone.
    std::stringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    std::string cut = (dir / (std::string("cut") + ext)).string();
    std::ofstream(cut, std::ios::binary) << bytes.str().substr(0, bytes.str().size() - 40);
    EXPECT_FALSE(IsCompletePicture(cut, 40, 30, "", &why)) << ext;
    EXPECT_FALSE(why.empty());
  }
  EXPECT_FALSE(IsCompletePicture((dir / "none.png").string(), 40, 30, "", &why));
  EXPECT_EQ(why, "missing");
  fs::remove_all(dir);
}

TEST(RenderPieces, TileCountsUpToTheTopOfAnIntAreBounded) {
  PixelRegion r;
  std::string err;
  EXPECT_EQ(TileGridFor(2147483647).rows, 2147483647);  // prime
  EXPECT_EQ(TileGridFor(2147395600).columns, 46340);    // 46340 squared
  EXPECT_FALSE(TileRegion(64, 64, 1, 2147483647, &r, &err));
  EXPECT_NE(err.find("1 to 4096 tiles (one a pixel), not 2147483647"), std::string::npos) << err;
  ASSERT_TRUE(TileRegion(64, 64, 4096, 4096, &r, &err)) << err;
  EXPECT_EQ(r, (PixelRegion{63, 63, 64, 64}));
}

}  // namespace plughost
