// The texture's dialog in the host's material editor, at the level of window
// messages. The program is the texture's module, so hInstance and the
// template are the plug-in's own.
#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "PerturbDlg.h"
#include "Vede.h"
#include "VedeDlg.h"
#include "assert_capture.h"
#include "hostside/handlers.h"
#include "hostside/module_table.h"
#include "hostside/paramblock_access.h"
#include "hostside/ui.h"
#include "resource.h"
#include "resource_scripts.h"
#include "test_node.h"

extern HINSTANCE hInstance;

namespace {

Texmap* NewChecker() { return static_cast<Texmap*>(CreateInstance(TEXMAP_CLASS_ID, CHECKER_CLASS)); }

class DirtDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    holder = new TestNode(2);
    tex = NewVede(0);
    editor = new HostMtlEditor;
    dlg = static_cast<DirtDlg*>(editor->Show(tex));
    ASSERT_NE(dlg, nullptr);
    HostPumpMessages();
  }
  void TearDown() override {
    delete editor;  // closes the dialog first
    holder->DeleteThis();
    SetAnimateMode(FALSE);
  }
  Vede* NewVede(int slot) {
    auto* v = static_cast<Vede*>(GetDirtDesc()->Create(FALSE));
    holder->ReplaceReference(slot, v);
    return v;
  }
  HWND Control(int id) { return GetDlgItem(dlg->hPanel, id); }
  std::string MapButton() { return Info(Control(IDC_MAP_BUTTON)).text; }
  bool NeedsPaint(HWND h) {
    std::vector<HWND> w = HostWindowsNeedingPaint();
    return std::find(w.begin(), w.end(), h) != w.end();
  }

  TestNode* holder = nullptr;
  Vede* tex = nullptr;
  HostMtlEditor* editor = nullptr;
  DirtDlg* dlg = nullptr;
  AssertCapture asserts;
};

}  // namespace

TEST(DirtTemplate, EveryControlAsScripted) {
  HostDialogTemplate t = ExpectTemplateAsScripted(hInstance, VEDE_RC, IDD_DIRT);
  EXPECT_EQ(t.faceName, "MS Sans Serif");
  EXPECT_EQ(t.pointSize, 8);
  ASSERT_GT(t.items.size(), 6u);
  EXPECT_EQ(t.items[6].style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));
}

// Each row of the UI table binds a parameter of the texture's block to
// controls of the scripted template that can show its type; every parameter
// has one row.
TEST(DirtTemplate, UiTableTiesEveryParameterToScriptedControls) {
  auto* tex = static_cast<Vede*>(GetDirtDesc()->Create(FALSE));
  IParamBlock* block = tex->pblock;
  ASSERT_NE(block, nullptr);
  ScriptedDialog script = ReadScriptedDialog(VEDE_RC, IDD_DIRT);
  auto scripted = [&](int id) {
    for (const ScriptedControl& c : script.controls)
      if (c.id == id) return c.cls;
    return std::string("(not in the script)");
  };
  std::set<int> params;
  for (int i = 0; i < DIRT_NUM_UI; ++i) {
    const ParamUIDesc& d = dirtUIDesc[i];
    SCOPED_TRACE(i);
    ASSERT_TRUE(d.pbIndex >= 0 && d.pbIndex < block->NumParams());
    EXPECT_TRUE(params.insert(d.pbIndex).second);
    ParamType type = block->GetParameterType(d.pbIndex);
    switch (d.type) {
      case TYPE_SPINNER:
        EXPECT_EQ(type, TYPE_FLOAT);
        EXPECT_EQ(d.spinType, EDITTYPE_FLOAT);
        EXPECT_EQ(scripted(d.ctrlIDs[0]), "CustEdit");
        EXPECT_EQ(scripted(d.ctrlIDs[1]), "SpinnerControl");
        EXPECT_EQ(d.dim, defaultDim);
        break;
      case TYPE_COLORSWATCH:
        EXPECT_EQ(type, TYPE_RGBA);
        EXPECT_EQ(scripted(d.ctrlIDs[0]), "ColorSwatch");
        break;
      case TYPE_SINGLECHEKBOX:
        EXPECT_TRUE(type == TYPE_BOOL || type == TYPE_INT);
        EXPECT_EQ(scripted(d.ctrlIDs[0]), "Button");
        break;
      default: ADD_FAILURE() << "a control type the dialog does not use";
    }
  }
  EXPECT_EQ(params.size(), static_cast<size_t>(block->NumParams()));
  // The ranges and steps the spinners offer.
  struct Range {
    int param;
    float lo, hi, scale;
  };
  for (Range r : {Range{PB_DIRT_ALPHA, 0, 1, 0.01f}, Range{PB_SIZE, 0, 100000, 0.1f}, Range{PB_HIGH, -1, 2, 0.01f},
                  Range{PB_LOW, -1, 2, 0.01f}, Range{PB_NONDIRT_ALPHA, 0, 1, 0.01f}}) {
    const ParamUIDesc* d =
        std::find_if(dirtUIDesc, dirtUIDesc + DIRT_NUM_UI, [&](const ParamUIDesc& u) { return u.pbIndex == r.param; });
    SCOPED_TRACE(r.param);
    EXPECT_EQ(d->lowLim, r.lo);
    EXPECT_EQ(d->highLim, r.hi);
    EXPECT_EQ(d->scale, r.scale);
  }
  tex->DeleteThis();
}

TEST_F(DirtDlgTest, FourRollupsInOrder) {
  std::vector<HostRollupInfo> rollups = editor->Rollups();
  ASSERT_EQ(rollups.size(), 4u);
  EXPECT_EQ(rollups[0].title, "Coordinates");
  EXPECT_EQ(rollups[1].title, "Perturbation Parameters");
  EXPECT_FALSE(rollups[1].open);
  EXPECT_EQ(rollups[2].title, "Vede Parameters");
  EXPECT_TRUE(rollups[2].open);
  EXPECT_EQ(rollups[2].page, dlg->hPanel);
  EXPECT_EQ(rollups[3].title, "About");
  EXPECT_EQ(Info(GetDlgItem(rollups[3].page, 1003)).text, "Version 2.02, Jan 10 2001\n3D Studio Max 4.0 build");
  EXPECT_EQ(tex->paramDlg, dlg);
  EXPECT_EQ(tex->perturb->paramDlg, dlg->perturbDlg);
  EXPECT_EQ(dlg->GetThing(), tex);
  EXPECT_EQ(dlg->ClassID(), DIRT_CLASS_ID);

  // The note shows as stored, on two lines; Non-Vede Alpha stays hidden.
  std::vector<HWND> children = Info(dlg->hPanel).children;
  ScriptedDialog script = ReadScriptedDialog(VEDE_RC, IDD_DIRT);
  ASSERT_EQ(children.size(), script.controls.size());
  EXPECT_EQ(Info(children.back()).text, script.controls.back().text);
  for (int id : {IDC_NONDIRT_EDIT, IDC_NONDIRT_SPIN}) EXPECT_FALSE(IsWindowVisible(Control(id)));
  EXPECT_FALSE(IsWindowVisible(children[18]));
  EXPECT_TRUE(asserts.empty());
}

TEST_F(DirtDlgTest, MapButtonNamesTheSubMap) {
  EXPECT_EQ(MapButton(), "(None)");
  Texmap* checker = NewChecker();
  tex->SetSubTexmap(0, checker);
  EXPECT_EQ(MapButton(), std::string(checker->GetFullName()));
  tex->SetSubTexmap(0, nullptr);
  EXPECT_EQ(MapButton(), "(None)");
}

TEST_F(DirtDlgTest, MapButtonPostsOneRequestToTheEditor) {
  ASSERT_TRUE(HostQueuedMessages().empty());
  ASSERT_TRUE(HostClickButton(Control(IDC_MAP_ON)));  // other commands post nothing
  EXPECT_TRUE(HostQueuedMessages().empty());
  ASSERT_TRUE(HostClickButton(Control(IDC_MAP_BUTTON)));
  std::vector<MSG> queued = HostQueuedMessages();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0].hwnd, editor->Window());
  EXPECT_EQ(queued[0].message, static_cast<UINT>(MTLEDIT_SUBMAP_BUTTON));
  EXPECT_EQ(queued[0].wParam, 0u);
  EXPECT_EQ(queued[0].lParam, reinterpret_cast<LPARAM>(static_cast<MtlBase*>(tex)));

  // The editor lets the user choose; the choice arrives through SetSubTexmap.
  Texmap* checker = NewChecker();
  editor->SetSubMapChooser([&](MtlBase* owner, int slot, Texmap** chosen) {
    EXPECT_EQ(owner, tex);
    EXPECT_EQ(slot, 0);
    *chosen = checker;
    return true;
  });
  HostPumpMessages();
  EXPECT_EQ(editor->SubMapRequests(), 1);
  EXPECT_EQ(tex->subMap, checker);
  EXPECT_EQ(tex->mapOn, 1);
  EXPECT_EQ(MapButton(), std::string(checker->GetFullName()));
}

TEST_F(DirtDlgTest, ControlsWriteTheBlockAtTheEditorsTime) {
  ASSERT_TRUE(HostDragSpinner(Control(IDC_SIZE_SPIN), 4.0f));
  ASSERT_TRUE(HostPickColor(Control(IDC_DIRT_COLOR), RGB(255, 0, 0)));
  ASSERT_TRUE(HostClickButton(Control(IDC_MAP_ON)));
  Interval v = FOREVER;
  tex->Update(0, v);
  EXPECT_EQ(tex->size, 4.0f);
  EXPECT_EQ(tex->dirtColor, Color(1.0f, 0.0f, 0.0f));
  EXPECT_EQ(tex->mapOn, 1);
  // The hidden spinner is still served from the block.
  tex->SetNonDirtAlpha(0.25f, 0);
  HostPumpMessages();
  EXPECT_EQ(Info(Control(IDC_NONDIRT_SPIN)).value, 0.25f);
}

TEST_F(DirtDlgTest, SetTimeMovesEveryRollupOnceAndTheSameTimeNothing) {
  auto* perturbDlg = static_cast<PerturbDlg*>(dlg->perturbDlg);
  editor->SetTime(0);
  EXPECT_FALSE(NeedsPaint(dlg->hPanel));
  tex->SetSubTexmap(0, NewChecker());
  HostPumpMessages();
  SetWindowTextA(Control(IDC_MAP_BUTTON), "stale");
  dlg->SetTime(dlg->curTime);
  EXPECT_EQ(MapButton(), "stale");
  EXPECT_FALSE(NeedsPaint(dlg->hPanel));

  SetAnimateMode(TRUE);
  tex->SetSize(30.0f, 320);
  SetAnimateMode(FALSE);
  HostPumpMessages();
  editor->SetTime(320);
  EXPECT_EQ(dlg->curTime, 320);
  EXPECT_EQ(perturbDlg->curTime, 320);
  EXPECT_TRUE(NeedsPaint(dlg->hPanel));
  EXPECT_NE(MapButton(), "stale");
  EXPECT_EQ(tex->size, 30.0f);  // updated at the new time
  HostPumpMessages();
  EXPECT_EQ(Info(Control(IDC_SIZE_SPIN)).value, 30.0f);
}

TEST_F(DirtDlgTest, ResetRebindsTheMapToTheNewBlock) {
  ASSERT_TRUE(HostDragSpinner(Control(IDC_SIZE_SPIN), 4.0f));
  IParamBlock* before = tex->pblock;
  tex->Reset();
  HostPumpMessages();
  EXPECT_NE(tex->pblock, before);
  EXPECT_EQ(Info(Control(IDC_SIZE_SPIN)).value, 10.0f);
  ASSERT_TRUE(HostDragSpinner(Control(IDC_SIZE_SPIN), 6.0f));
  float size = 0.0f;
  Interval v;
  tex->pblock->GetValue(PB_SIZE, 0, size, v);
  EXPECT_EQ(size, 6.0f);

  // The host's coordinates rollup follows the generator's new block too.
  HWND offsetX = nullptr;
  for (HWND h : Info(editor->Rollups()[0].page).children) {
    if (!offsetX && Info(h).kind == HostValueKind::kSpinner) offsetX = h;
  }
  ASSERT_TRUE(HostDragSpinner(offsetX, 2.0f));
  HostPumpMessages();
  EXPECT_EQ(Info(offsetX).value, 2.0f);
  EXPECT_EQ(HostGetParam(static_cast<IParamBlock*>(tex->xyzGen->GetReference(0)), 1).constant.v[0], 2.0f);
}

TEST_F(DirtDlgTest, BlockChangesRedrawTheRollup) {
  int paints = Info(dlg->hPanel).paintCount;
  tex->SetHigh(0.75f, 0);
  EXPECT_TRUE(NeedsPaint(dlg->hPanel));
  HostPumpMessages();
  EXPECT_GT(Info(dlg->hPanel).paintCount, paints);
  EXPECT_EQ(Info(Control(IDC_HIGH_SPIN)).value, 0.75f);
}

TEST_F(DirtDlgTest, SetThingTurnsEveryRollupToAnotherTexture) {
  Vede* other = NewVede(1);
  other->SetSize(55.0f, 0);
  other->perturb->SetP1Size(7.0f, 0);
  other->SetSubTexmap(0, NewChecker());
  ASSERT_EQ(editor->Show(other), dlg);  // the same class reuses the dialog
  HostPumpMessages();
  EXPECT_TRUE(asserts.empty());
  EXPECT_EQ(dlg->GetThing(), other);
  EXPECT_EQ(tex->paramDlg, nullptr);
  EXPECT_EQ(other->paramDlg, dlg);
  EXPECT_EQ(dlg->perturbDlg->GetThing(), other->perturb);
  EXPECT_EQ(dlg->xyzGenDlg->GetThing(), other->xyzGen);
  EXPECT_EQ(dlg->pmap->GetParamBlock(), other->pblock);
  EXPECT_EQ(Info(Control(IDC_SIZE_SPIN)).value, 55.0f);
  EXPECT_EQ(MapButton(), std::string(other->subMap->GetFullName()));
}

TEST_F(DirtDlgTest, SetThingWithAnotherClassReportsAndStays) {
  dlg->SetThing(tex->perturb);
  ASSERT_EQ(asserts.size(), 2u);
  EXPECT_EQ(asserts[0].first, 294);
  EXPECT_EQ(asserts[1].first, 295);
  for (const auto& a : asserts) {
    EXPECT_GE(a.second.size(), 8u);
    EXPECT_EQ(a.second.substr(a.second.size() - 8), "Vede.cpp") << a.second;
  }
  EXPECT_EQ(dlg->GetThing(), tex);
  EXPECT_EQ(tex->paramDlg, dlg);
}

TEST_F(DirtDlgTest, DeleteThisDetachesAndEndsTheChildren) {
  Perturb* perturb = tex->perturb;
  editor->CloseDialog();
  EXPECT_EQ(tex->paramDlg, nullptr);
  EXPECT_EQ(perturb->paramDlg, nullptr);
  EXPECT_TRUE(editor->Rollups().empty());
  // The texture goes on without a dialog.
  tex->SetSubTexmap(0, NewChecker());
  tex->Reset();
  EXPECT_TRUE(asserts.empty());
}

TEST_F(DirtDlgTest, TextureDeletedUnderItsDialog) {
  Vede* other = NewVede(1);
  auto* second = static_cast<DirtDlg*>(other->CreateParamDlg(editor->Window(), editor));
  holder->ReplaceReference(1, nullptr);  // deletes the texture
  EXPECT_EQ(second->GetThing(), nullptr);
  second->SetTime(480);
  second->ReloadDialog();
  second->DeleteThis();
  EXPECT_TRUE(asserts.empty());
}
