// A bake's fingerprint and task arguments: what makes two bakes the same
// (and their pieces joinable), and what a farm task is told.
#include "bake/bake_plan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace plughost {

// The model's bytes and the bake's options count; where the model and the
// pictures are, and how this process bakes its piece, do not. A render of
// the same inputs is another thing.
TEST(BakeFingerprint, FollowsTheModelBytesAndBakeOptionsOnly) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("bake_fingerprint_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "m.obj") << "v 0 0 0\n";
  std::ofstream(dir / "copy.obj") << "v 0 0 0\n";
  std::ofstream(dir / "moved.obj") << "v 1 0 0\n";
  BakeRequest base;
  base.model = (dir / "m.obj").string();
  base.output = "chair/dirt.<UDIM>.exr";
  auto of = [](const BakeRequest& r) {
    std::string hex, err;
    EXPECT_TRUE(FingerprintBake(r, &hex, &err)) << err;
    return hex;
  };
  const std::string f = of(base);
  EXPECT_EQ(f.size(), 64u);
  BakeRequest same = base;
  same.model = (dir / "copy.obj").string();
  same.output = "/farm/dirt.exr";
  same.threads = 5;
  same.quiet = true;
  same.tile = "3/8";
  same.udim = 1002;
  same.overwrite = true;
  EXPECT_EQ(of(same), f);
  std::vector<BakeRequest> others(8, base);
  others[0].model = (dir / "moved.obj").string();
  others[1].source.texture.sets = {"Size=2"};
  others[2].what = "mono";
  others[3].size = 512;
  others[4].uv = 2;
  others[5].margin = 4;
  others[6].time = "3";
  others[7].output = "dirt.png";
  for (const BakeRequest& r : others) EXPECT_NE(of(r), f);
  RenderRequest render;
  render.mesh = base.model;
  std::string hex, err;
  ASSERT_TRUE(FingerprintRender(render, &hex, &err)) << err;
  EXPECT_NE(hex, f);
  BakeRequest missing = base;
  missing.model = (dir / "none.obj").string();
  EXPECT_FALSE(FingerprintBake(missing, &hex, &err));
  EXPECT_NE(err.find("none.obj"), std::string::npos) << err;
  fs::remove_all(dir);
}

// A task gets the model by its absolute path and none of this process's
// own options: the farm adds its piece, threads and --overwrite itself.
TEST(BakeTaskArguments, NameTheModelAbsolutelyAndLeaveTheProcessOut) {
  BakeRequest r;
  r.model = "models/chair.glb";
  r.source.texture.sets = {"Size=2"};
  r.tile = "1/4";
  r.udim = 1001;
  r.threads = 7;
  std::vector<std::string> args = BakeTaskArguments(r);
  ASSERT_FALSE(args.empty());
  EXPECT_TRUE(std::filesystem::path(args[0]).is_absolute()) << args[0];
  EXPECT_EQ(std::filesystem::path(args[0]).filename(), "chair.glb");
  for (const char* process : {"--tile", "--udim", "--threads", "--overwrite", "-q"})
    EXPECT_EQ(std::find(args.begin(), args.end(), process), args.end()) << process;
  auto set = std::find(args.begin(), args.end(), "--set");
  ASSERT_NE(set, args.end());
  EXPECT_EQ(set[1], "Size=2");
}

}  // namespace plughost
