// The panels and what lives in them: rollups in the material editor, the
// command panel and the utility panel; parameter maps kept in step with their
// block; the editor's sub-map button; the coordinates generator's rollup.
#include <gtest/gtest.h>

#include "hostside/paramblock_access.h"
#include "iparamm.h"
#include "plugapi.h"
#include "test_module_ids.h"
#include "test_node.h"
#include "win_test_util.h"

namespace {

enum { kFloat, kInt, kPoint, kColor, kOn, kChoice, kCount };
ParamBlockDescID kDesc[] = {
    {TYPE_FLOAT, nullptr, TRUE, 0}, {TYPE_INT, nullptr, TRUE, 1}, {TYPE_POINT3, nullptr, TRUE, 2},
    {TYPE_RGBA, nullptr, TRUE, 3},  {TYPE_INT, nullptr, TRUE, 4}, {TYPE_INT, nullptr, FALSE, 5},
};
const int kChoiceButtons[] = {IDC_M_RADIO1, IDC_M_RADIO2};
ParamUIDesc kUI[] = {
    ParamUIDesc(kFloat, EDITTYPE_FLOAT, IDC_M_FLOAT_EDIT, IDC_M_FLOAT_SPIN, 0.0f, 10.0f, 0.1f),
    ParamUIDesc(kInt, EDITTYPE_INT, IDC_M_INT_EDIT, IDC_M_INT_SPIN, 0.0f, 100.0f, 1.0f),
    ParamUIDesc(kPoint, EDITTYPE_FLOAT, IDC_M_PX_EDIT, IDC_M_PX_SPIN, IDC_M_PY_EDIT, IDC_M_PY_SPIN, IDC_M_PZ_EDIT,
                IDC_M_PZ_SPIN, -100.0f, 100.0f, 0.1f),
    ParamUIDesc(kColor, TYPE_COLORSWATCH, IDC_M_COLOR),
    ParamUIDesc(kOn, TYPE_SINGLECHEKBOX, IDC_M_CHECK),
    ParamUIDesc(kChoice, TYPE_RADIO, kChoiceButtons, 2),
};

IParamBlock* NewBlock() {
  IParamBlock* pb = CreateParameterBlock(kDesc, kCount, 1);
  Point3 p(1.0f, 2.0f, 3.0f);
  Color c(0.25f, 0.5f, 0.75f);
  pb->SetValue(kFloat, 0, 2.5f);
  pb->SetValue(kInt, 0, 7);
  pb->SetValue(kPoint, 0, p);
  pb->SetValue(kColor, 0, c);
  pb->SetValue(kOn, 0, 1);
  pb->SetValue(kChoice, 0, 0);
  return pb;
}

float F(IParamBlock* pb, int i, TimeValue t = 0) {
  float v = 0;
  Interval iv = FOREVER;
  pb->GetValue(i, t, v, iv);
  return v;
}
int I(IParamBlock* pb, int i, TimeValue t = 0) {
  int v = 0;
  Interval iv = FOREVER;
  pb->GetValue(i, t, v, iv);
  return v;
}
Point3 P(IParamBlock* pb, int i, TimeValue t = 0) {
  Point3 v(0.0f, 0.0f, 0.0f);
  Interval iv = FOREVER;
  pb->GetValue(i, t, v, iv);
  return v;
}
float SpinValue(HWND page, int id) { return HostGetWindowInfo(GetDlgItem(page, id))->value; }

// A user procedure that records what it sees, with the block's float value
// at that moment.
struct UserProc : ParamMapUserDlgProc {
  explicit UserProc(int* deleted) : deleted_(deleted) {}
  INT_PTR DlgProc(TimeValue, IParamMap* map, HWND, UINT msg, WPARAM, LPARAM) override {
    seen.push_back({msg, map->GetParamBlock() ? F(map->GetParamBlock(), kFloat) : -1.0f});
    return msg == WM_INITDIALOG ? TRUE : FALSE;
  }
  void DeleteThis() override {
    ++*deleted_;
    delete this;
  }
  struct Msg {
    UINT msg;
    float blockValue;
  };
  std::vector<Msg> seen;
  int* deleted_;
};

IParamMap* NewMap(HostMtlEditor& ed, IParamBlock* pb, DWORD flags = 0) {
  return CreateMParamMap(kUI, kCount, pb, &ed, TestInstance(), MAKEINTRESOURCE(IDD_TEST_MAP), "Test Map", flags);
}

}  // namespace

TEST(MtlEditor, RollupsStackInOrderAndARolledUpPageWaitsToBePainted) {
  HostMtlEditor ed;
  std::vector<Seen> a, b;
  HWND first = ed.AddRollupPage(TestInstance(), MAKEINTRESOURCE(IDD_TEST_PLAIN), RecordingProc, "First",
                                reinterpret_cast<LPARAM>(&a), 0, ROLLUP_CAT_STANDARD);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(a.front().msg, static_cast<UINT>(WM_INITDIALOG));  // inside the call
  HWND second = ed.AddRollupPage(TestInstance(), MAKEINTRESOURCE(IDD_TEST_SMALL), RecordingProc, "Second",
                                 reinterpret_cast<LPARAM>(&b), APPENDROLL_CLOSED, ROLLUP_CAT_STANDARD);
  auto rollups = ed.Rollups();
  ASSERT_EQ(rollups.size(), 2u);
  EXPECT_EQ(rollups[0].page, first);
  EXPECT_EQ(rollups[0].title, "First");
  EXPECT_TRUE(rollups[0].open);
  EXPECT_EQ(rollups[1].title, "Second");
  EXPECT_FALSE(rollups[1].open);
  EXPECT_FALSE(IsWindowVisible(second));
  EXPECT_FALSE(ed.IsRollupPanelOpen(second));
  HostPumpMessages();
  EXPECT_EQ(HostGetWindowInfo(first)->paintCount, 1);
  EXPECT_EQ(HostGetWindowInfo(second)->paintCount, 0);
  EXPECT_TRUE(ed.SetRollupOpen(second, true));
  HostPumpMessages();
  EXPECT_EQ(HostGetWindowInfo(second)->paintCount, 1);
  // The second page sits below the first.
  RECT r1, r2;
  GetWindowRect(first, &r1);
  GetWindowRect(second, &r2);
  EXPECT_GT(r2.top, r1.bottom);

  SendMessageA(first, WM_LBUTTONDOWN, 1, 2);
  ed.RollupMouseMessage(first, WM_LBUTTONDOWN, 1, 2);
  ASSERT_EQ(ed.MouseMessages().size(), 1u);
  EXPECT_EQ(ed.MouseMessages()[0].lParam, 2);

  ed.DeleteRollupPage(first);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(a.back().msg, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_EQ(ed.Rollups().size(), 1u);
  // A page its plug-in destroys itself leaves the stack too.
  DestroyWindow(second);
  EXPECT_TRUE(ed.Rollups().empty());
}

TEST(ParamMap, ControlsShowTheBlockAndUserChangesWriteItAtTheEditorsTime) {
  HostMtlEditor ed;
  IParamBlock* pb = NewBlock();
  IParamMap* map = NewMap(ed, pb);
  ASSERT_NE(map, nullptr) << HostLastDialogError();
  HWND page = map->GetHWnd();
  ASSERT_EQ(ed.Rollups().size(), 1u);
  EXPECT_EQ(ed.Rollups()[0].page, page);
  EXPECT_EQ(ed.Rollups()[0].title, "Test Map");
  EXPECT_EQ(SpinValue(page, IDC_M_FLOAT_SPIN), 2.5f);
  EXPECT_EQ(SpinValue(page, IDC_M_INT_SPIN), 7.0f);
  EXPECT_EQ(SpinValue(page, IDC_M_PY_SPIN), 2.0f);
  EXPECT_EQ(HostGetWindowInfo(GetDlgItem(page, IDC_M_COLOR))->color, RGB(64, 128, 191));
  EXPECT_EQ(IsDlgButtonChecked(page, IDC_M_CHECK), 1u);
  EXPECT_EQ(IsDlgButtonChecked(page, IDC_M_RADIO1), 1u);
  char text[16];
  GetDlgItemTextA(page, IDC_M_FLOAT_EDIT, text, sizeof text);
  EXPECT_STREQ(text, "2.5");

  HostDragSpinner(GetDlgItem(page, IDC_M_FLOAT_SPIN), 4.0f);
  EXPECT_EQ(F(pb, kFloat), 4.0f);
  HostDragSpinner(GetDlgItem(page, IDC_M_FLOAT_SPIN), 50.0f);  // beyond the table's limit
  EXPECT_EQ(F(pb, kFloat), 10.0f);
  HostTypeText(GetDlgItem(page, IDC_M_PY_EDIT), "-5");
  EXPECT_EQ(P(pb, kPoint), Point3(1.0f, -5.0f, 3.0f));
  HostClickButton(GetDlgItem(page, IDC_M_CHECK));
  EXPECT_EQ(I(pb, kOn), 0);
  HostClickButton(GetDlgItem(page, IDC_M_RADIO2));
  EXPECT_EQ(I(pb, kChoice), 1);
  HostPickColor(GetDlgItem(page, IDC_M_COLOR), RGB(255, 0, 0));
  Color c;
  Interval iv = FOREVER;
  pb->GetValue(kColor, 0, c, iv);
  EXPECT_EQ(c, Color(1.0f, 0.0f, 0.0f));
  EXPECT_TRUE(HostGetParam(pb, kFloat).keys.empty());

  // In animate mode at another time a change makes a key there; the spinner
  // shows the key marks once the page is painted at that time.
  ed.SetTime(160);
  SetAnimateMode(TRUE);
  HostDragSpinner(GetDlgItem(page, IDC_M_FLOAT_SPIN), 6.0f);
  SetAnimateMode(FALSE);
  auto keys = HostGetParam(pb, kFloat).keys;
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].time, 0);
  EXPECT_EQ(keys[0].v[0], 10.0f);
  EXPECT_EQ(keys[1].time, 160);
  EXPECT_EQ(keys[1].v[0], 6.0f);
  HostPumpMessages();
  EXPECT_TRUE(HostGetWindowInfo(GetDlgItem(page, IDC_M_FLOAT_SPIN))->keyBrackets);
  EXPECT_FALSE(HostGetWindowInfo(GetDlgItem(page, IDC_M_INT_SPIN))->keyBrackets);
  // Back at 0, a repaint shows the value there.
  ed.SetTime(0);
  map->Invalidate();
  HostPumpMessages();
  EXPECT_EQ(SpinValue(page, IDC_M_FLOAT_SPIN), 10.0f);

  DestroyMParamMap(map);
  EXPECT_FALSE(IsWindow(page));
  EXPECT_TRUE(ed.Rollups().empty());
  EXPECT_EQ(F(pb, kFloat), 10.0f);  // the block, which nobody owned, lives on
  EXPECT_EQ(pb->DependentCount(), 0);
  pb->DeleteThis();
}

TEST(ParamMap, ABlockChangeRepaintsTheControlsAtTheNextPaint) {
  HostMtlEditor ed;
  IParamBlock* pb = NewBlock();
  IParamMap* map = NewMap(ed, pb);
  HWND page = map->GetHWnd();
  HostPumpMessages();
  pb->SetValue(kInt, 0, 42);
  EXPECT_EQ(SpinValue(page, IDC_M_INT_SPIN), 7.0f);  // not yet
  EXPECT_FALSE(HostWindowsNeedingPaint().empty());
  HostPumpMessages();
  EXPECT_EQ(SpinValue(page, IDC_M_INT_SPIN), 42.0f);

  // Another block: the controls follow it at once.
  IParamBlock* other = NewBlock();
  other->SetValue(kInt, 0, 3);
  map->SetParamBlock(other);
  EXPECT_EQ(SpinValue(page, IDC_M_INT_SPIN), 3.0f);
  EXPECT_EQ(map->GetParamBlock(), other);
  pb->SetValue(kInt, 0, 99);  // the old block no longer reaches the page
  HostPumpMessages();
  EXPECT_EQ(SpinValue(page, IDC_M_INT_SPIN), 3.0f);
  DestroyMParamMap(map);
  pb->DeleteThis();
  other->DeleteThis();
}

TEST(ParamMap, TheMapObservesItsBlockWithoutOwningIt) {
  HostMtlEditor ed;
  auto* owner = new TestNode(1);
  IParamBlock* pb = NewBlock();
  owner->ReplaceReference(0, pb);
  IParamMap* map = NewMap(ed, pb);
  // The owner drops the block: it would be deleted but for the map's watch,
  // which lets it go (and so deletes it) when it next looks.
  owner->DeleteReference(0);
  EXPECT_EQ(map->GetParamBlock(), nullptr);

  // A block deleted under the map leaves the map without one; the controls
  // stay and a user change writes nothing anywhere.
  IParamBlock* second = NewBlock();
  owner->ReplaceReference(0, second);
  map->SetParamBlock(second);
  second->DeleteThis();
  EXPECT_EQ(owner->GetReference(0), nullptr);
  EXPECT_EQ(map->GetParamBlock(), nullptr);
  EXPECT_TRUE(HostDragSpinner(GetDlgItem(map->GetHWnd(), IDC_M_FLOAT_SPIN), 1.0f));
  DestroyMParamMap(map);
  owner->DeleteThis();
}

TEST(ParamMap, UserProcedureComesAfterTheMapAndIsOwnedByIt) {
  HostMtlEditor ed;
  IParamBlock* pb = NewBlock();
  IParamMap* map = NewMap(ed, pb);
  int deleted = 0;
  auto* first = new UserProc(&deleted);
  map->SetUserDlgProc(first);
  ASSERT_EQ(first->seen.size(), 1u);
  EXPECT_EQ(first->seen[0].msg, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(map->GetUserDlgProc(), first);

  HostDragSpinner(GetDlgItem(map->GetHWnd(), IDC_M_FLOAT_SPIN), 3.0f);
  bool sawChange = false;
  for (const auto& m : first->seen)
    if (m.msg == CC_SPINNER_CHANGE) {
      sawChange = true;
      EXPECT_EQ(m.blockValue, 3.0f);  // the map wrote the block first
    }
  EXPECT_TRUE(sawChange);

  auto* second = new UserProc(&deleted);
  map->SetUserDlgProc(second);
  EXPECT_EQ(deleted, 1);
  map->SetUserDlgProc(second);  // the same one again: kept
  EXPECT_EQ(deleted, 1);
  DestroyMParamMap(map);
  EXPECT_EQ(deleted, 2);
  DestroyMParamMap(nullptr);
  pb->DeleteThis();
}

TEST(ParamMap, ATemplateThatCannotBeLoadedLeavesNothing) {
  HostMtlEditor ed;
  IParamBlock* pb = NewBlock();
  int windows = HostLiveWindowCount();
  EXPECT_EQ(CreateMParamMap(kUI, kCount, pb, &ed, TestInstance(), MAKEINTRESOURCE(4242), "x", 0), nullptr);
  EXPECT_EQ(CreateMParamMap(nullptr, 3, pb, &ed, TestInstance(), MAKEINTRESOURCE(IDD_TEST_MAP), "x", 0), nullptr);
  EXPECT_EQ(HostLiveWindowCount(), windows);
  EXPECT_TRUE(ed.Rollups().empty());
  EXPECT_EQ(pb->DependentCount(), 0);
  pb->DeleteThis();
}

// ---- The sub-map button -------------------------------------------------------

namespace {

class SubMapTex;

// The test map's dialog: a parameter map whose button posts the editor's
// sub-map message, as a map with a sub-map slot does.
class SubMapDlg : public ParamDlg {
 public:
  SubMapDlg(HWND editor, IMtlParams* ip, SubMapTex* tex);
  ~SubMapDlg() override { DestroyMParamMap(map_); }
  Class_ID ClassID() override { return Class_ID(0x5EB, 1); }
  void SetThing(ReferenceTarget* m) override;
  ReferenceTarget* GetThing() override;
  void SetTime(TimeValue) override {}
  void ReloadDialog() override {}
  void DeleteThis() override {
    ++deletes;
    delete this;
  }
  HWND Page() { return map_->GetHWnd(); }
  static inline int deletes = 0;

  struct Proc : ParamMapUserDlgProc {
    explicit Proc(SubMapDlg* d) : dlg(d) {}
    INT_PTR DlgProc(TimeValue, IParamMap*, HWND, UINT msg, WPARAM wParam, LPARAM) override {
      if (msg == WM_COMMAND && LOWORD(wParam) == IDC_M_BUTTON)
        PostMessageA(dlg->editor_, MTLEDIT_SUBMAP_BUTTON, 0, reinterpret_cast<LPARAM>(dlg->tex_));
      return FALSE;
    }
    void DeleteThis() override { delete this; }
    SubMapDlg* dlg;
  };

 private:
  HWND editor_;
  SubMapTex* tex_;
  IParamMap* map_;
};

class SubMapTex : public Texmap {
 public:
  SubMapTex() { ReplaceReference(0, NewBlock()); }
  Class_ID ClassID() override { return Class_ID(0x5EB, 1); }
  SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
  int NumRefs() override { return 2; }
  RefTargetHandle GetReference(int i) override {
    if (i == 0) return pb;
    return i == 1 ? sub : nullptr;
  }
  void SetReference(int i, RefTargetHandle t) override {
    if (i == 0) pb = static_cast<IParamBlock*>(t);
    if (i == 1) sub = static_cast<Texmap*>(t);
  }
  RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
  void Update(TimeValue, Interval&) override {}
  void Reset() override {}
  Interval Validity(TimeValue) override { return FOREVER; }
  ParamDlg* CreateParamDlg(HWND editor, IMtlParams* imp) override { return new SubMapDlg(editor, imp, this); }
  AColor EvalColor(ShadeContext&) override { return AColor(0.0f, 0.0f, 0.0f); }
  Point3 EvalNormalPerturb(ShadeContext&) override { return Point3(0.0f, 0.0f, 0.0f); }
  int NumSubTexmaps() override { return 1; }
  Texmap* GetSubTexmap(int i) override { return i == 0 ? sub : nullptr; }
  void SetSubTexmap(int i, Texmap* m) override {
    if (i == 0) ReplaceReference(1, m);
  }

  IParamBlock* pb = nullptr;
  Texmap* sub = nullptr;
};

SubMapDlg::SubMapDlg(HWND editor, IMtlParams* ip, SubMapTex* tex) : editor_(editor), tex_(tex) {
  map_ = CreateMParamMap(kUI, kCount, tex->pb, ip, TestInstance(), MAKEINTRESOURCE(IDD_TEST_MAP), "Sub Map Test", 0);
  map_->SetUserDlgProc(new Proc(this));
}
void SubMapDlg::SetThing(ReferenceTarget* m) {
  tex_ = static_cast<SubMapTex*>(m);
  map_->SetParamBlock(tex_->pb);
}
ReferenceTarget* SubMapDlg::GetThing() { return tex_; }

}  // namespace

TEST(MtlEditor, TheSubMapButtonLetsTheUserChooseAMapForTheSlot) {
  HostMtlEditor ed;
  auto* tex = new SubMapTex;
  auto* chosenMap = new SubMapTex;
  std::vector<std::pair<MtlBase*, int>> asked;
  bool answer = true;
  ed.SetSubMapChooser([&](MtlBase* owner, int slot, Texmap** chosen) {
    asked.push_back({owner, slot});
    *chosen = chosenMap;
    return answer;
  });
  int deletesBefore = SubMapDlg::deletes;
  auto* dlg = static_cast<SubMapDlg*>(ed.Show(tex));
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(ed.Dialog(), dlg);
  EXPECT_EQ(ed.Rollups()[0].title, "Sub Map Test");

  answer = false;  // the user cancels: nothing changes
  HostClickButton(GetDlgItem(dlg->Page(), IDC_M_BUTTON));
  HostPumpMessages();
  EXPECT_EQ(tex->sub, nullptr);

  answer = true;
  EXPECT_TRUE(HostClickButton(GetDlgItem(dlg->Page(), IDC_M_BUTTON)));
  auto queued = HostQueuedMessages();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].hwnd, ed.Window());
  EXPECT_EQ(queued[0].message, 0x4402u);
  EXPECT_EQ(queued[0].wParam, 0u);
  EXPECT_EQ(queued[0].lParam, reinterpret_cast<LPARAM>(tex));
  EXPECT_EQ(tex->sub, nullptr);  // only once the editor takes it from its queue
  HostPumpMessages();
  EXPECT_EQ(tex->sub, chosenMap);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].first, tex);
  EXPECT_EQ(asked[1].second, 0);

  // Requests for a map the editor does not show, or a slot the map lacks,
  // are refused without touching anything.
  SubMapTex stranger;
  PostMessageA(ed.Window(), MTLEDIT_SUBMAP_BUTTON, 0, reinterpret_cast<LPARAM>(&stranger));
  PostMessageA(ed.Window(), MTLEDIT_SUBMAP_BUTTON, 1, reinterpret_cast<LPARAM>(tex));
  PostMessageA(ed.Window(), MTLEDIT_SUBMAP_BUTTON, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(tex));
  HostPumpMessages();
  EXPECT_EQ(ed.SubMapRequests(), 5);
  EXPECT_EQ(ed.SubMapRequestsRefused(), 3);
  EXPECT_EQ(asked.size(), 2u);

  // Another map of the same class reuses the dialog.
  auto* next = new SubMapTex;
  EXPECT_EQ(ed.Show(next), dlg);
  EXPECT_EQ(dlg->GetThing(), next);
  ed.CloseDialog();
  EXPECT_EQ(SubMapDlg::deletes, deletesBefore + 1);
  EXPECT_TRUE(ed.Rollups().empty());
  tex->DeleteThis();  // and with it the chosen map it referenced
  next->DeleteThis();
}

// ---- The coordinates generator's rollup ---------------------------------------------

TEST(XYZGenDialog, CoordinatesRollupEditsTheGeneratorsBlock) {
  HostMtlEditor ed;
  XYZGen* gen = GetNewDefaultXYZGen();
  ParamDlg* dlg = ed.Show(gen);
  ASSERT_NE(dlg, nullptr) << HostLastDialogError();
  EXPECT_EQ(dlg->GetThing(), gen);
  ASSERT_EQ(ed.Rollups().size(), 1u);
  EXPECT_EQ(ed.Rollups()[0].title, "Coordinates");
  HWND page = ed.Rollups()[0].page;
  constexpr int kOffsetX = 3021, kTilingZ = 3035, kAngleZ = 3045, kWorld = 3011, kObject = 3010;
  EXPECT_EQ(SpinValue(page, kOffsetX), 0.0f);
  EXPECT_EQ(SpinValue(page, kTilingZ), 1.0f);
  EXPECT_EQ(IsDlgButtonChecked(page, kObject), 1u);

  auto* pb = static_cast<IParamBlock*>(gen->GetReference(0));
  HostDragSpinner(GetDlgItem(page, kOffsetX), 2.5f);
  EXPECT_EQ(P(pb, 1), Point3(2.5f, 0.0f, 0.0f));
  HostClickButton(GetDlgItem(page, kWorld));
  EXPECT_EQ(I(pb, 0), 1);
  ed.SetTime(320);
  SetAnimateMode(TRUE);
  HostDragSpinner(GetDlgItem(page, kAngleZ), 90.0f);
  SetAnimateMode(FALSE);
  EXPECT_EQ(HostGetParam(pb, 3).keys.size(), 2u);
  EXPECT_EQ(P(pb, 3, 320).z, 90.0f);

  // Reset gives the generator a new block: the open rollup shows and edits it.
  gen->Reset();
  auto* fresh = static_cast<IParamBlock*>(gen->GetReference(0));
  HostPumpMessages();
  EXPECT_EQ(SpinValue(page, kAngleZ), 0.0f);
  HostDragSpinner(GetDlgItem(page, kOffsetX), 4.0f);
  EXPECT_EQ(P(fresh, 1), Point3(4.0f, 0.0f, 0.0f));
  EXPECT_EQ(SpinValue(page, kOffsetX), 4.0f);

  // Another generator takes over the same dialog.
  XYZGen* other = GetNewDefaultXYZGen();
  EXPECT_EQ(ed.Show(other), dlg);
  EXPECT_EQ(SpinValue(page, kOffsetX), 0.0f);
  EXPECT_EQ(IsDlgButtonChecked(page, kObject), 1u);
  ed.CloseDialog();
  EXPECT_FALSE(IsWindow(page));
  gen->DeleteThis();
  other->DeleteThis();
}

// ---- Command panel and utility panel ------------------------------------------------

TEST(CommandPanel, RollupsAddedOpenOrClosedAndRemoved) {
  HostCommandPanel cp;
  cp.SetTime(480);
  EXPECT_EQ(cp.GetTime(), 480);
  HWND closed =
      cp.AddRollupPage(TestInstance(), MAKEINTRESOURCE(IDD_TEST_PLAIN), RecordingProc, "About", 0, APPENDROLL_CLOSED);
  HWND open = cp.AddRollupPage(TestInstance(), MAKEINTRESOURCE(IDD_TEST_SMALL), RecordingProc, "Open", 0, 0);
  ASSERT_EQ(cp.Rollups().size(), 2u);
  EXPECT_FALSE(cp.Rollups()[0].open);
  EXPECT_FALSE(IsWindowVisible(closed));
  EXPECT_TRUE(IsWindowVisible(open));  // shown by the panel although its template is not visible
  cp.DeleteRollupPage(closed);
  EXPECT_FALSE(IsWindow(closed));
  cp.DeleteRollupPage(closed);  // gone already: nothing
  EXPECT_EQ(cp.Rollups().size(), 1u);
}

namespace {

INT_PTR CALLBACK UtilityProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

struct TestUtility : UtilityObj {
  void BeginEditParams(Interface* ip, IUtil* iu) override {
    ++begins;
    util = iu;
    page = ip->AddRollupPage(TestInstance(), MAKEINTRESOURCE(IDD_TEST_SMALL), UtilityProc, "Test Utility",
                             reinterpret_cast<LPARAM>(this));
  }
  void EndEditParams(Interface* ip, IUtil*) override {
    ++ends;
    ip->DeleteRollupPage(page);
    page = nullptr;
  }
  void DeleteThis() override { ++deletes; }
  IUtil* util = nullptr;
  HWND page = nullptr;
  int begins = 0, ends = 0, deletes = 0;
};

INT_PTR CALLBACK UtilityProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
  auto* u = reinterpret_cast<TestUtility*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (msg == WM_COMMAND && LOWORD(wParam) == IDC_T_CUSTBUTTON && u) u->util->CloseUtility();
  return msg == WM_INITDIALOG;
}

struct TestUtilityDesc : ClassDesc {
  int IsPublic() override { return 1; }
  void* Create(BOOL) override { return static_cast<UtilityObj*>(&utility); }
  const char* ClassName() override { return "Test Utility"; }
  SClass_ID SuperClassID() override { return super; }
  Class_ID ClassID() override { return Class_ID(0x5EB, 2); }
  const char* Category() override { return ""; }
  TestUtility utility;
  SClass_ID super = UTILITY_CLASS_ID;
};

}  // namespace

TEST(UtilityPanel, OpensAUtilityAndClosesItWhenAsked) {
  HostUtilityPanel up;
  TestUtilityDesc desc;
  ASSERT_TRUE(up.Open(&desc));
  EXPECT_EQ(desc.utility.begins, 1);
  EXPECT_EQ(desc.utility.util, up.Util());
  ASSERT_EQ(up.Rollups().size(), 1u);
  EXPECT_EQ(up.Rollups()[0].title, "Test Utility");
  HWND page = desc.utility.page;
  // The utility asks to be closed from its own dialog: that happens once its
  // call has returned, at the next pump.
  EXPECT_TRUE(HostClickButton(GetDlgItem(page, IDC_T_CUSTBUTTON)));
  EXPECT_TRUE(up.IsOpen());
  HostPumpMessages();
  EXPECT_FALSE(up.IsOpen());
  EXPECT_EQ(desc.utility.ends, 1);
  EXPECT_EQ(desc.utility.deletes, 1);
  EXPECT_FALSE(IsWindow(page));
  EXPECT_TRUE(up.Rollups().empty());

  TestUtilityDesc notUtility;
  notUtility.super = TEXMAP_CLASS_ID;
  EXPECT_FALSE(up.Open(&notUtility));
  EXPECT_EQ(notUtility.utility.begins, 0);
}
