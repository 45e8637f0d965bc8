// The perturbation rollup at the level of window messages, in the host's
// material editor.
#include <gtest/gtest.h>

#include <algorithm>

#include "PerturbDlg.h"
#include "QuorlLib.h"
#include "hostside/paramblock_access.h"
#include "resource.h"
#include "ui_helpers.h"

namespace {

// Spinner, edit, limits, scale and the parameter it edits, in creation order.
struct Binding {
  int spin, edit;
  float minimum, maximum, scale;
  int param;
};
const Binding kBindings[] = {
    {1056, 1055, 0, 1000, 0.1f, 12}, {1052, 1051, 0, 1000, 0.1f, 0}, {1003, 1000, 0, 1000, 0.1f, 1},
    {1004, 1008, 0, 1, 0.01f, 2},    {1005, 1001, 0, 1, 0.01f, 3},   {1006, 1009, 1, 1000, 0.1f, 4},
    {1007, 1002, 0, 1000, 0.1f, 5},  {1064, 1063, 0, 1000, 0.1f, 6}, {1054, 1053, 0, 1000, 0.1f, 7},
    {1512, 1510, 0, 1, 0.01f, 8},    {1513, 1511, 0, 1, 0.01f, 9},   {1061, 1059, 1, 1000, 0.1f, 10},
    {1062, 1060, 0, 1000, 0.1f, 11},
};

float BlockValue(Perturb* p, int index, TimeValue t) {
  float v = 0.0f;
  Interval scratch;
  p->pblock->GetValue(index, t, v, scratch);
  return v;
}

class PerturbDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    perturb = new Perturb(FALSE);
    dlg = static_cast<PerturbDlg*>(perturb->CreateParamDlg(editor.Window(), &editor));
    ASSERT_NE(dlg, nullptr);
    HostPumpMessages();
  }
  void TearDown() override {
    if (dlg) dlg->DeleteThis();
    editor.CloseDialog();  // removes the pages left
    perturb->DeleteThis();
    SetAnimateMode(FALSE);
  }
  HWND Control(int id) { return GetDlgItem(dlg->panel, id); }
  float Shown(int spinId) { return Info(Control(spinId)).value; }
  // Shows the page and lets its first paint happen.
  bool NeedsPaint() {
    std::vector<HWND> w = HostWindowsNeedingPaint();
    return std::find(w.begin(), w.end(), dlg->panel) != w.end();
  }
  void OpenPage() {
    editor.SetRollupOpen(dlg->panel, true);
    HostPumpMessages();
  }

  AssertCapture asserts;
  HostMtlEditor editor;
  Perturb* perturb = nullptr;
  PerturbDlg* dlg = nullptr;
};

}  // namespace

TEST(PerturbTemplate, EveryControlAsScripted) {
  HostDialogTemplate t = ExpectTemplateAsScripted(hInstance, QUORLLIB_RC, IDD_PERTURB);
  EXPECT_EQ(t.faceName, "MS Sans Serif");
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.style & (WS_CHILD | WS_VISIBLE | DS_SETFONT), static_cast<DWORD>(WS_CHILD | WS_VISIBLE | DS_SETFONT));
  for (const HostDialogItem& it : t.items) {
    SCOPED_TRACE(it.id);
    if (SameClass(it.className, "CustEdit")) {
      EXPECT_TRUE(it.style & WS_TABSTOP);
    }
    if (SameClass(it.className, "Static")) {
      EXPECT_EQ(it.style & SS_TYPEMASK, static_cast<DWORD>(SS_RIGHT));
      EXPECT_TRUE(it.style & WS_GROUP);
    }
    if (it.id == IDC_PERTURB_ON) {
      EXPECT_EQ(it.style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));
      EXPECT_TRUE(it.style & BS_LEFTTEXT);
      EXPECT_TRUE(it.style & WS_TABSTOP);
    }
  }
}

TEST_F(PerturbDlgTest, PageStartsRolledUpWithTheTemplatesWindows) {
  std::vector<HostRollupInfo> rollups = editor.Rollups();
  ASSERT_EQ(rollups.size(), 1u);
  EXPECT_EQ(rollups[0].page, dlg->panel);
  EXPECT_EQ(rollups[0].title, "Perturbation Parameters");
  EXPECT_FALSE(rollups[0].open);
  EXPECT_EQ(rollups[0].category, ROLLUP_CAT_STANDARD);
  EXPECT_EQ(rollups[0].instance, hInstance);
  EXPECT_EQ(Info(dlg->panel).userData, reinterpret_cast<LONG_PTR>(dlg));
  EXPECT_EQ(perturb->paramDlg, dlg);
  EXPECT_EQ(dlg->curTime, editor.GetTime());

  std::vector<HWND> children = Info(dlg->panel).children;
  HostDialogTemplate t = LoadTemplate(IDD_PERTURB);
  ASSERT_EQ(children.size(), t.items.size());
  for (size_t i = 0; i < children.size(); ++i) {
    const HostDialogItem& w = t.items[i];
    HostWindowInfo c = Info(children[i]);
    SCOPED_TRACE(w.id);
    EXPECT_EQ(c.id, w.id);
    EXPECT_TRUE(SameClass(c.className, w.className.c_str())) << c.className;
    EXPECT_EQ(c.visible, (w.style & WS_VISIBLE) != 0);
    // Dialog units to pixels with the host's fixed base units, 6 x 13.
    EXPECT_EQ(c.rect.left, MulDiv(w.x, 6, 4));
    EXPECT_EQ(c.rect.top, MulDiv(w.y, 13, 8));
    if (w.id == -1 || w.id == IDC_PERTURB_ON) {
      EXPECT_EQ(c.text, w.text);
    }
  }
}

TEST_F(PerturbDlgTest, SpinnersAreBoundWithTheirLimitsScalesAndValues) {
  perturb->SetP1Lev(3.0f, 0);
  perturb->SetPertOn(0, 0);
  dlg->DeleteThis();
  dlg = static_cast<PerturbDlg*>(perturb->CreateParamDlg(editor.Window(), &editor));
  for (const Binding& b : kBindings) {
    SCOPED_TRACE(b.spin);
    HostWindowInfo s = Info(Control(b.spin));
    ASSERT_EQ(s.kind, HostValueKind::kSpinner);
    EXPECT_EQ(s.minimum, b.minimum);
    EXPECT_EQ(s.maximum, b.maximum);
    EXPECT_EQ(s.scale, b.scale);
    EXPECT_EQ(s.linkedEdit, Control(b.edit));
    EXPECT_EQ(s.value, BlockValue(perturb, b.param, 0));
  }
  EXPECT_EQ(Shown(IDC_P1_LEVELS_SPIN), 3.0f);
  EXPECT_EQ(Shown(IDC_PERT_SIZE_SPIN), 20.0f);
  EXPECT_EQ(IsDlgButtonChecked(dlg->panel, IDC_PERTURB_ON), static_cast<UINT>(BST_UNCHECKED));
}

TEST_F(PerturbDlgTest, SpinnerWritesAtTheDialogsTimeCheckBoxAtTheEditors) {
  OpenPage();
  SetAnimateMode(TRUE);
  dlg->SetTime(160);
  editor.SetTime(480);  // the editor moves without telling this dialog
  ASSERT_TRUE(HostDragSpinner(Control(IDC_P1_SIZE_SPIN), 3.0f));
  ASSERT_TRUE(HostClickButton(Control(IDC_PERTURB_ON)));

  HostParamValue size = HostGetParam(perturb->pblock, 0);
  ASSERT_FALSE(size.keys.empty());
  EXPECT_EQ(size.keys.back().time, 160);
  EXPECT_EQ(size.keys.back().v[0], 3.0f);
  HostParamValue on = HostGetParam(perturb->pblock, 13);
  ASSERT_FALSE(on.keys.empty());
  EXPECT_EQ(on.keys.back().time, 480);
  EXPECT_EQ(on.keys.back().i, 0);
  EXPECT_EQ(perturb->GetPertOn(480), 0);
  EXPECT_EQ(perturb->GetP1Size(160), 3.0f);
}

TEST_F(PerturbDlgTest, SetTimeToTheSameTimeDoesNothing) {
  OpenPage();
  ISpinnerControl* spin = GetISpinner(Control(IDC_P1_SIZE_SPIN));
  spin->SetValue(7.0f, FALSE);  // what the page shows, not what the block holds
  dlg->SetTime(dlg->curTime);
  EXPECT_EQ(Shown(IDC_P1_SIZE_SPIN), 7.0f);
  EXPECT_FALSE(NeedsPaint());

  dlg->SetTime(320);
  EXPECT_EQ(dlg->curTime, 320);
  EXPECT_EQ(Shown(IDC_P1_SIZE_SPIN), 2.0f);
  EXPECT_TRUE(NeedsPaint());
  ReleaseISpinner(spin);
}

TEST_F(PerturbDlgTest, OnlyTheFirstPaintReloads) {
  // Changed behind the dialog's back while the page is rolled up: shown
  // stale until the page is first painted.
  perturb->SetP2Freq(4.0f, 0);
  EXPECT_EQ(Shown(IDC_P2_FREQ_SPIN), 0.5f);
  EXPECT_EQ(dlg->valid, 0);
  OpenPage();
  EXPECT_EQ(dlg->valid, 1);
  EXPECT_EQ(Shown(IDC_P2_FREQ_SPIN), 4.0f);

  int paints = Info(dlg->panel).paintCount;
  perturb->SetP2Freq(6.0f, 0);  // invalidates the page
  HostPumpMessages();
  EXPECT_EQ(Info(dlg->panel).paintCount, paints + 1);
  EXPECT_EQ(Shown(IDC_P2_FREQ_SPIN), 4.0f);  // repainted, not reloaded
  dlg->ReloadDialog();
  EXPECT_EQ(Shown(IDC_P2_FREQ_SPIN), 6.0f);
}

TEST_F(PerturbDlgTest, OwnWritesDoNotInvalidateThePageOthersDo) {
  OpenPage();
  ASSERT_TRUE(HostDragSpinner(Control(IDC_P1_FREQ_SPIN), 1.5f));
  EXPECT_FALSE(NeedsPaint());
  EXPECT_EQ(dlg->inProc, 0);
  perturb->SetP1Freq(2.5f, 0);
  EXPECT_TRUE(NeedsPaint());
}

TEST_F(PerturbDlgTest, HiddenSpinnersLoadAndWrite) {
  OpenPage();
  EXPECT_FALSE(IsWindowVisible(Control(IDC_PERT_SIZE_SPIN)));
  EXPECT_EQ(Shown(IDC_PERT_SIZE_SPIN), 20.0f);
  EXPECT_EQ(Shown(IDC_P2_HIGH_SPIN), 1.0f);
  // A user cannot reach them; a notifying set stands in for one.
  ISpinnerControl* size = GetISpinner(Control(IDC_PERT_SIZE_SPIN));
  size->SetValue(35.0f, TRUE);
  EXPECT_EQ(perturb->GetPertSize(0), 35.0f);
  ISpinnerControl* high = GetISpinner(Control(IDC_P1_HIGH_SPIN));
  high->SetValue(0.5f, TRUE);
  EXPECT_EQ(BlockValue(perturb, 2, 0), 0.5f);
  ReleaseISpinner(size);
  ReleaseISpinner(high);
}

TEST_F(PerturbDlgTest, SpinnersKeepTheirRanges) {
  OpenPage();
  ASSERT_TRUE(HostDragSpinner(Control(IDC_P1_LEVELS_SPIN), 0.0f));
  EXPECT_EQ(perturb->GetP1Lev(0), 1.0f);
  ASSERT_TRUE(HostDragSpinner(Control(IDC_P2_SIZE_SPIN), 5000.0f));
  EXPECT_EQ(perturb->GetP2Size(0), 1000.0f);
  ASSERT_TRUE(HostTypeText(GetDlgItem(dlg->panel, IDC_P2_PHASE_EDIT), "-4"));
  EXPECT_EQ(perturb->GetP2Phase(0), 0.0f);
}

TEST_F(PerturbDlgTest, SetThingLoadsTheNewObjectAndKeepsTheCheckBox) {
  Perturb* other = new Perturb(FALSE);
  other->SetP1Size(9.0f, 0);
  other->SetPertOn(0, 0);
  dlg->SetThing(other);
  EXPECT_TRUE(asserts.empty());
  EXPECT_EQ(dlg->GetThing(), other);
  EXPECT_EQ(perturb->paramDlg, nullptr);
  EXPECT_EQ(other->paramDlg, nullptr);  // the texture's dialog links it
  EXPECT_EQ(Shown(IDC_P1_SIZE_SPIN), 9.0f);
  EXPECT_EQ(IsDlgButtonChecked(dlg->panel, IDC_PERTURB_ON), static_cast<UINT>(BST_CHECKED));
  dlg->SetThing(perturb);
  other->DeleteThis();
}

TEST_F(PerturbDlgTest, SetThingWithAnotherClassReportsAndKeepsItsObject) {
  // A parameter block: neither the class nor the super class of a Perturb.
  ReferenceTarget* block = perturb->pblock;
  dlg->SetThing(block);
  ASSERT_EQ(asserts.size(), 2u);
  EXPECT_EQ(asserts[0].first, 177);
  EXPECT_EQ(asserts[1].first, 178);
  for (const auto& [line, file] : asserts) EXPECT_TRUE(asserts.Reported(line, "PerturbDlg.cpp")) << file;
  EXPECT_EQ(dlg->GetThing(), perturb);
  EXPECT_EQ(perturb->paramDlg, dlg);
}

TEST_F(PerturbDlgTest, MouseMessagesGoToTheEditorOthersDoNot) {
  for (UINT m : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEWHEEL})
    EXPECT_EQ(SendMessageA(dlg->panel, m, 1, 2), 0);
  const std::vector<HostMouseMessage>& got = editor.MouseMessages();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].message, static_cast<UINT>(WM_MOUSEMOVE));
  EXPECT_EQ(got[2].message, static_cast<UINT>(WM_LBUTTONUP));
  EXPECT_EQ(got[1].hwnd, dlg->panel);
  EXPECT_EQ(got[1].lParam, 2);
}

TEST_F(PerturbDlgTest, DestructionDetachesFromObjectAndPage) {
  OpenPage();
  HWND page = dlg->panel;
  dlg->DeleteThis();
  dlg = nullptr;
  EXPECT_EQ(perturb->paramDlg, nullptr);
  ASSERT_TRUE(IsWindow(page));  // the editor removes it, not the dialog
  EXPECT_EQ(Info(page).userData, 0);
  EXPECT_EQ(SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_PERTURB_ON, BN_CLICKED), 0), 0);
  EXPECT_EQ(SendMessageA(page, WM_PAINT, 0, 0), 0);
  perturb->SetP1Size(4.0f, 0);  // no dialog to reach any more
  EXPECT_TRUE(asserts.empty());
}

TEST_F(PerturbDlgTest, WithoutAnObjectItReportsAndStaysUsable) {
  auto* bare = new PerturbDlg(editor.Window(), &editor, nullptr);
  ASSERT_EQ(asserts.size(), 1u);
  EXPECT_EQ(asserts[0].first, 83);
  EXPECT_EQ(SendMessageA(bare->panel, WM_COMMAND, MAKEWPARAM(IDC_PERTURB_ON, BN_CLICKED), 0), 0);
  ASSERT_EQ(asserts.size(), 2u);
  EXPECT_EQ(asserts[1].first, 102);
  EXPECT_EQ(Info(GetDlgItem(bare->panel, IDC_P1_LEVELS_SPIN)).value, 1.0f);

  perturb->SetP1Lev(2.0f, 0);
  bare->SetThing(perturb);
  EXPECT_EQ(Info(GetDlgItem(bare->panel, IDC_P1_LEVELS_SPIN)).value, 2.0f);
  bare->DeleteThis();  // leaves the first dialog's link: it was never bare's
  EXPECT_EQ(perturb->paramDlg, dlg);
  EXPECT_EQ(asserts.size(), 2u);
}
