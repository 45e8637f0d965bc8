#include "render/render_plan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "render/renderer.h"

namespace plughost {

TEST(FrameList, RangesStepsAndLists) {
  std::vector<int> f;
  std::string err;
  ASSERT_TRUE(ParseFrameList("0-4", &f, &err));
  EXPECT_EQ(f, (std::vector<int>{0, 1, 2, 3, 4}));
  ASSERT_TRUE(ParseFrameList("0-100x25", &f, &err));
  EXPECT_EQ(f, (std::vector<int>{0, 25, 50, 75, 100}));
  ASSERT_TRUE(ParseFrameList("1,5,9-10", &f, &err));
  EXPECT_EQ(f, (std::vector<int>{1, 5, 9, 10}));
  ASSERT_TRUE(ParseFrameList("-2--1", &f, &err));
  EXPECT_EQ(f, (std::vector<int>{-2, -1}));
  for (const char* bad : {"", "5-1", "a-b", "0-10x0", "3x2", "1,,2", "0-10x-1", "0-99999999", "16777216", "-13421773",
                          "0-2147483647x2147483647", "0-60000,0-60000"}) {
    EXPECT_FALSE(ParseFrameList(bad, &f, &err)) << bad;
    EXPECT_FALSE(err.empty());
  }
}

TEST(FrameList, OutputNamesPadFramesIntoHashRuns) {
  EXPECT_EQ(FrameFileName("dirt.####.png", 7, true), "dirt.0007.png");
  EXPECT_EQ(FrameFileName("dirt.#.png", 123, true), "dirt.123.png");
  EXPECT_EQ(FrameFileName("a##/b###.png", 5, false), "a05/b005.png");
  EXPECT_EQ(FrameFileName("vede.png", 3, false), "vede.png");
  EXPECT_EQ(FrameFileName("vede.png", 3, true), "vede.0003.png");  // several frames need distinct names
  EXPECT_EQ(FrameFileName("a.%04d.png", 7, true), "a.0007.png");
  EXPECT_EQ(FrameFileName("a.%d.png", -12, true), "a.-12.png");
  EXPECT_EQ(FrameFileName("take%u/a.%4d.%.png", 7, true), "take%u/a.%4d.%.0007.png");  // not frame numbers
  EXPECT_EQ(FrameFileName("me@home/a.@@@.png", 7, true), "me@home/a.007.png");
  EXPECT_EQ(FrameFileName("out/seq", 12, true), "out/seq.0012");
  EXPECT_EQ(FrameFileName("f.###.png", -5, true), "f.-05.png");
  EXPECT_EQ(FrameFileName("f." + std::string(40, '#'), 13421772, true), "f.0000000000000000000000000000000013421772");
}

TEST(RenderSettings, ViewAndChannelNames) {
  RenderView v;
  RenderChannel c;
  EXPECT_TRUE(ParseRenderView("sphere", &v));
  EXPECT_EQ(v, RenderView::Sphere);
  EXPECT_TRUE(ParseRenderView("swatch", &v));
  EXPECT_EQ(v, RenderView::Flat);
  EXPECT_FALSE(ParseRenderView("Sphere ", &v));
  EXPECT_TRUE(ParseRenderChannel("bump", &c));
  EXPECT_EQ(c, RenderChannel::Bump);
  EXPECT_FALSE(ParseRenderChannel("alpha", &c));
  EXPECT_EQ(RenderThreadCount(3), std::min(3, RenderThreadCount(0)));
  EXPECT_GE(RenderThreadCount(0), 1);
}

// What a fingerprint tells apart: the scene's bytes and the picture's
// options, not where the scene or the pictures are, nor how this process
// renders its piece.
TEST(RenderFingerprint, FollowsTheSceneBytesAndPictureOptionsOnly) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("render_fingerprint_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "a.json") << "{\"scene\": 1}";
  std::ofstream(dir / "copy.json") << "{\"scene\": 1}";
  std::ofstream(dir / "other.json") << "{\"scene\": 2}";
  RenderRequest base;
  base.texture.sceneFile = (dir / "a.json").string();
  base.output = "shot/still.exr";
  auto of = [](const RenderRequest& r) {
    std::string hex, err;
    EXPECT_TRUE(FingerprintRender(r, &hex, &err)) << err;
    return hex;
  };
  const std::string f = of(base);
  EXPECT_EQ(f.size(), 64u);
  RenderRequest same = base;
  same.texture.sceneFile = (dir / "copy.json").string();
  same.output = "/farm/take2/still.exr";
  same.threads = 3;
  same.quiet = true;
  same.piece.tile = "2/16";
  EXPECT_EQ(of(same), f);
  std::vector<RenderRequest> others(6, base);
  others[0].texture.sceneFile = (dir / "other.json").string();
  others[1].texture.sets = {"Size=2"};
  others[2].depth = "float";
  others[3].output = "shot/still.png";
  others[4].width = 257;
  others[5].time = "3";
  for (const RenderRequest& r : others) EXPECT_NE(of(r), f);
  // A model counts by its bytes, wherever it lies and however it is named.
  std::ofstream(dir / "m.obj") << "v 0 0 0\n";
  std::ofstream(dir / "same.obj") << "v 0 0 0\n";
  std::ofstream(dir / "moved.obj") << "v 1 0 0\n";
  RenderRequest model = base, sameModel = base, movedModel = base;
  model.mesh = (dir / "m.obj").string();
  sameModel.mesh = (dir / "same.obj").string();
  movedModel.mesh = (dir / "moved.obj").string();
  EXPECT_EQ(of(model), of(sameModel));
  EXPECT_NE(of(model), of(movedModel));
  EXPECT_NE(of(model), f);
  RenderRequest missing = base;
  missing.texture.sceneFile = (dir / "none.json").string();
  std::string hex, err;
  EXPECT_FALSE(FingerprintRender(missing, &hex, &err));
  EXPECT_NE(err.find("none.json"), std::string::npos) << err;
  fs::remove_all(dir);
}

}  // namespace plughost
