// The edit session as plughost edit and the editor's page drive it: every
// action finds its control from the read-back of the open rollups, refuses
// what a user cannot do there, and otherwise reaches the plug-in as the
// window messages of the gesture.
#include "editor/edit_session.h"

#include <gtest/gtest.h>
#include <hostside/paramblock_access.h>
#include <hostside/scene_file.h>

#include "plugins/plugin_loader.h"
#include "scene/scene_maps.h"

namespace plughost {

namespace {

class EditSessionTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { LoadPlugins({DefaultPluginFolder()}, nullptr); }
  void SetUp() override {
    ASSERT_TRUE(OpenMapScene("", kNewMapClass, &scene, &tex, &error)) << error;
    ASSERT_TRUE(session.Show(tex, &error)) << error;
  }
  void TearDown() override {
    session.Close();
    SetAnimateMode(FALSE);
  }

  // The first shown spinner of an open rollup whose title begins with `title`.
  HostWindowInfo Spinner(const std::string& title) {
    for (const HostRollupInfo& r : session.Rollups()) {
      if (r.title.rfind(title, 0) != 0) continue;
      std::vector<HWND> open = {r.page};
      while (!open.empty()) {
        HWND h = open.back();
        open.pop_back();
        std::optional<HostWindowInfo> w = HostGetWindowInfo(h);
        if (w && w->kind == HostValueKind::kSpinner && w->shown) return *w;
        if (w) open.insert(open.end(), w->children.rbegin(), w->children.rend());
      }
    }
    ADD_FAILURE() << "no spinner in " << title;
    return {};
  }
  bool Apply(EditAction::Kind kind, const std::string& arg) { return session.Apply({kind, arg}, &error); }
  std::string SceneText() {
    std::string text, why;
    HostWriteScene(*scene, &text, &why);
    return text;
  }

  std::unique_ptr<Scene> scene;
  Texmap* tex = nullptr;
  EditSession session;
  std::string error;
};

}  // namespace

TEST_F(EditSessionTest, SpinnersTakeValuesInTheirRangeOnly) {
  HostWindowInfo s = Spinner("Vede Parameters");
  std::string id = std::to_string(s.id), before = SceneText();
  EXPECT_FALSE(Apply(EditAction::kSpin, id + "=" + std::to_string(s.maximum + 1)));
  EXPECT_NE(error.find("is outside the range of spinner " + id), std::string::npos) << error;
  EXPECT_EQ(SceneText(), before);
  EXPECT_FALSE(Apply(EditAction::kSpin, id + "=lots"));
  EXPECT_EQ(error, "'lots' is not a number");
  EXPECT_FALSE(Apply(EditAction::kType, std::to_string(GetDlgCtrlID(s.linkedEdit)) + "=1e"));
  EXPECT_EQ(SceneText(), before);

  ASSERT_TRUE(Apply(EditAction::kSpin, "Vede Parameters:" + id + "=" + std::to_string(s.maximum))) << error;
  EXPECT_EQ(HostGetWindowInfo(s.hwnd)->value, s.maximum);
  EXPECT_NE(SceneText(), before);
  ASSERT_TRUE(Apply(EditAction::kStep, id + "=-2")) << error;
  EXPECT_LT(HostGetWindowInfo(s.hwnd)->value, s.maximum);
}

TEST_F(EditSessionTest, ControlsAreFoundOnlyWhereAUserSeesThem) {
  EXPECT_FALSE(Apply(EditAction::kClick, "99999"));
  EXPECT_EQ(error, "no control 99999 in any rollup");
  EXPECT_FALSE(Apply(EditAction::kClick, "Nowhere:1"));
  EXPECT_EQ(error.rfind("no rollup \"Nowhere\"; the rollups are: ", 0), 0u) << error;
  EXPECT_FALSE(Apply(EditAction::kOpen, "Nowhere"));

  // The perturbation's rollup starts rolled up: its spinners wait for --open.
  HostWindowInfo hidden;
  for (const HostRollupInfo& r : session.Rollups())
    if (!r.open) hidden.id = -1, hidden.text = r.title;
  ASSERT_EQ(hidden.id, -1) << "no rolled-up rollup";
  ASSERT_TRUE(Apply(EditAction::kOpen, hidden.text.substr(0, 5))) << error;  // a title's beginning will do
  HostWindowInfo s = Spinner(hidden.text);
  ASSERT_TRUE(Apply(EditAction::kClose, hidden.text)) << error;
  EXPECT_FALSE(Apply(EditAction::kSpin, hidden.text + ":" + std::to_string(s.id) + "=1"));
  EXPECT_NE(error.find("rolled-up rollup \"" + hidden.text + "\"; open it first"), std::string::npos) << error;
}

TEST_F(EditSessionTest, TheMapButtonTakesTheChoiceItIsGiven) {
  ASSERT_EQ(tex->GetSubTexmap(0), nullptr);
  ASSERT_TRUE(Apply(EditAction::kMap, "checker")) << error;
  ASSERT_NE(tex->GetSubTexmap(0), nullptr);
  EXPECT_FALSE(session.AskedForMap());
  EXPECT_FALSE(Apply(EditAction::kMap, "/no/such.png"));
  EXPECT_NE(tex->GetSubTexmap(0), nullptr);  // a refused choice changes nothing
  ASSERT_TRUE(Apply(EditAction::kMap, "none")) << error;
  EXPECT_EQ(tex->GetSubTexmap(0), nullptr);
}

TEST_F(EditSessionTest, AnimateAndTimeMakeKeysWhereTheSpinnerMoves) {
  HostWindowInfo s = Spinner("Vede Parameters");
  EXPECT_FALSE(Apply(EditAction::kAnimate, "maybe"));
  EXPECT_FALSE(Apply(EditAction::kTime, "1.5"));
  ASSERT_TRUE(Apply(EditAction::kAnimate, "on")) << error;
  ASSERT_TRUE(Apply(EditAction::kTime, "10")) << error;
  EXPECT_EQ(session.Editor().GetTime(), 10 * GetTicksPerFrame());
  ASSERT_TRUE(Apply(EditAction::kSpin, std::to_string(s.id) + "=" + std::to_string(s.minimum))) << error;
  EXPECT_TRUE(HostGetWindowInfo(s.hwnd)->keyBrackets);
  ASSERT_TRUE(Apply(EditAction::kTime, "0")) << error;
  EXPECT_EQ(HostGetWindowInfo(s.hwnd)->value, s.value);  // the value before the key, at frame 0
}

}  // namespace plughost

namespace plughost {

namespace {

// The id of the one shown control of a class in the rollup titled `title`.
int ControlOfClass(const EditSession& session, const std::string& title, const char* cls) {
  for (const HostRollupInfo& r : session.Rollups()) {
    if (r.title != title) continue;
    std::vector<HWND> children = HostGetWindowInfo(r.page)->children;
    for (HWND c : children)
      if (SameClassName(HostGetWindowInfo(c)->className, cls)) return GetDlgCtrlID(c);
  }
  return 0;
}

std::vector<std::string> Titles(const EditSession& session) {
  std::vector<std::string> titles;
  for (const HostRollupInfo& r : session.Rollups()) titles.push_back(r.title);
  return titles;
}

}  // namespace

// A map button whose slot holds a map goes down into it; Go to Parent comes
// back; the tree names every map by its place, and an action may name the
// place it is for.
TEST_F(EditSessionTest, TheMapButtonWalksTheTreeAndActionsReachEveryLevel) {
  int button = ControlOfClass(session, "Vede Parameters", "CustButton");
  ASSERT_NE(button, 0);
  ASSERT_TRUE(Apply(EditAction::kMap, "checker")) << error;
  ASSERT_TRUE(Apply(EditAction::kClick, std::to_string(button))) << error;
  EXPECT_FALSE(session.AskedForMap());
  EXPECT_EQ(Titles(session), std::vector<std::string>{"Checker Parameters"});
  std::vector<MapTreeNode> tree = session.Tree();
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].place, "Vede");
  EXPECT_EQ(tree[1].place, "Vede.Map");
  EXPECT_EQ(tree[1].className, "Checker");
  EXPECT_EQ(tree[1].depth, 1);
  EXPECT_TRUE(tree[1].shown && !tree[0].shown);

  std::string before = SceneText();
  int swatch = ControlOfClass(session, "Checker Parameters", "ColorSwatch");
  ASSERT_TRUE(Apply(EditAction::kColor, std::to_string(swatch) + "=255,0,0")) << error;
  EXPECT_NE(SceneText(), before);

  ASSERT_TRUE(Apply(EditAction::kParent, "")) << error;
  EXPECT_EQ(session.ShownPlace(), "Vede");
  EXPECT_FALSE(Apply(EditAction::kParent, ""));
  EXPECT_NE(error.find("no parent"), std::string::npos) << error;

  // By place: --open goes down, and an action names the map it is for.
  ASSERT_TRUE(Apply(EditAction::kOpen, "vede.map")) << error;
  EXPECT_EQ(session.ShownPlace(), "Vede.Map");
  EXPECT_TRUE(session.Apply({EditAction::kMap, "Vede", "Vede"}, &error)) << error;  // a plug-in map in the slot
  EXPECT_EQ(session.ShownPlace(), "Vede");
  tree = session.Tree();
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[1].className, "Vede");
  EXPECT_FALSE(session.Apply({EditAction::kClick, std::to_string(button), "Vede.Nowhere"}, &error));
  EXPECT_NE(error.find("the places are: \"Vede\", \"Vede.Map\""), std::string::npos) << error;
}

}  // namespace plughost
