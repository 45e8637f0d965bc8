#include "scene/param_path.h"

#include <gtest/gtest.h>
#include <hostside/class_registry.h>
#include <hostside/scene_file.h>

#include "plugins/plugin_loader.h"

namespace plughost {

namespace {

// The tests' own plug-in file (test_plugin.cpp) gives the classes.
class ParamPathTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { LoadPlugins({PLUGHOST_TEST_PLUGINS}, nullptr); }
  void SetUp() override { SetAnimateMode(FALSE); }

  ReferenceTarget* NewWidget() {
    ClassDesc* d = HostFindClassByName("host_test-WIDGET");
    EXPECT_NE(d, nullptr);
    auto* w = static_cast<ReferenceTarget*>(d->Create(FALSE));
    scene.AddRoot(w);
    return w;
  }
  std::vector<ReferenceTarget*> Roots() {
    std::vector<ReferenceTarget*> r;
    for (int i = 0; i < scene.NumRoots(); ++i) r.push_back(scene.Root(i));
    return r;
  }
  Scene scene;
};

std::vector<std::string> Paths(const std::vector<ParamEntry>& params) {
  std::vector<std::string> out;
  for (const ParamEntry& p : params) out.push_back(p.path);
  return out;
}

}  // namespace

TEST(ParamSyntax, Assignments) {
  ParamAssignment a;
  std::string error;
  ASSERT_TRUE(ParseAssignment("Part.Strength@10=0.5=x", true, &a, &error));
  EXPECT_EQ(a.name, "Part.Strength");
  EXPECT_EQ(a.time, 1600);
  EXPECT_EQ(a.value, "0.5=x");  // only the first = splits
  EXPECT_FALSE(ParseAssignment("size", false, &a, &error));
  EXPECT_FALSE(ParseAssignment(" =1", false, &a, &error));
  EXPECT_FALSE(ParseAssignment("size=1", true, &a, &error));
  EXPECT_NE(error.find("the time is missing"), std::string::npos);
}

TEST_F(ParamPathTest, PathsFollowSubAnimNamesAndBlocksAddNothing) {
  NewWidget();
  std::vector<ParamEntry> params = CollectParams(Roots());
  EXPECT_EQ(Paths(params), (std::vector<std::string>{"Size", "Count", "Enabled", "Tint", "Offset", "Part.Strength"}));
  std::string error;
  const ParamEntry* p = FindParam(params, "part . STRENGTH", &error);
  ASSERT_NE(p, nullptr) << error;
  EXPECT_EQ(p->path, "Part.Strength");
  EXPECT_EQ(FindParam(params, "strength", &error), p);  // the end of exactly one path
  EXPECT_EQ(FindParam(params, "Tint", &error)->type, TYPE_RGBA);
  EXPECT_EQ(FindParam(params, "Strenth", &error), nullptr);
  EXPECT_NE(error.find("unknown parameter 'Strenth'. The parameters are:\n  Size (float)"), std::string::npos);
  EXPECT_NE(error.find("\n  Part.Strength (float)"), std::string::npos);

  // Two roots of one class: each path starts with its root.
  NewWidget();
  params = CollectParams(Roots());
  EXPECT_EQ(params.size(), 12u);
  EXPECT_EQ(params[6].path, "Host Test Widget #2.Size");
  EXPECT_EQ(FindParam(params, "host test widget #2.part.strength", &error), &params[11]);
  EXPECT_EQ(FindParam(params, "Size", &error), nullptr);
  EXPECT_NE(error.find("could mean any of:\n  Host Test Widget.Size (float)\n  Host Test Widget #2.Size"),
            std::string::npos)
      << error;
}

TEST_F(ParamPathTest, SetAndKeyWriteTheBlockAsTheHostDoes) {
  NewWidget();
  std::vector<ParamEntry> params = CollectParams(Roots());
  std::string error;
  const ParamEntry& size = *FindParam(params, "Size", &error);
  // A key away from 0 keys 0 with the value before, whatever the animate
  // button says, and leaves it as it was.
  ASSERT_TRUE(SetParamKey(size, 1600, "5", &error)) << error;
  EXPECT_FALSE(IsAnimateModeOn());
  HostParamValue v = HostGetParam(size.block, size.index);
  ASSERT_EQ(v.keys.size(), 2u);
  EXPECT_EQ(v.keys[0].time, 0);
  EXPECT_EQ(v.keys[0].v[0], 1.0f);
  EXPECT_EQ(v.keys[1].v[0], 5.0f);
  // --set gives one value for all time.
  ASSERT_TRUE(SetParamConstant(size, "2", &error));
  v = HostGetParam(size.block, size.index);
  EXPECT_TRUE(v.keys.empty());
  EXPECT_EQ(v.constant.v[0], 2.0f);
  // A key at 0 on a constant is a key, not a new constant.
  const ParamEntry& count = *FindParam(params, "count", &error);
  ASSERT_TRUE(SetParamKey(count, 0, "4", &error));
  v = HostGetParam(count.block, count.index);
  ASSERT_EQ(v.keys.size(), 1u);
  EXPECT_EQ(v.keys[0].i, 4);

  EXPECT_FALSE(SetParamKey(*FindParam(params, "offset", &error), 160, "1,2,3", &error));
  EXPECT_EQ(error, "Offset is not animatable");
  EXPECT_FALSE(SetParamConstant(*FindParam(params, "enabled", &error), "maybe", &error));
  EXPECT_EQ(error, "Enabled: 'maybe' is not on or off (nor 1 or 0, true or false, yes or no)");
}

}  // namespace plughost
