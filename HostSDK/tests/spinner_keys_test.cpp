// Key marks on the spinners of a dialog that drives them by hand: the host
// learns the parameter each shows from what the dialog reads and writes.
#include <gtest/gtest.h>

#include "hostside/paramblock_access.h"
#include "imtl.h"
#include "test_module_ids.h"
#include "win_test_util.h"

namespace {

enum { kSize, kCount, kLevels, kParams };
ParamBlockDescID kDesc[] = {
    {TYPE_FLOAT, nullptr, TRUE, 0}, {TYPE_INT, nullptr, TRUE, 1}, {TYPE_FLOAT, nullptr, TRUE, 2}};

// A rollup written as plug-ins write theirs: spinners set up from the values
// its object gives and changes handed back to it, with no word to the host of
// which parameter a spinner stands for. The float spinner shows Size; the int
// spinner shows Count but writes Levels; the third spinner shows Size in
// hundredths, so no read of the block matches it.
struct HandDialog {
  IParamBlock* pb = nullptr;
  IMtlParams* ip = nullptr;
  bool ownMarks = false;  // sets the marks itself, always off
  ISpinnerControl* spins[3] = {nullptr, nullptr, nullptr};

  float Read(int i) {
    Interval iv = FOREVER;
    int whole = 0;
    float v = 0.0f;
    if (pb->GetParameterType(i) != TYPE_INT) return pb->GetValue(i, ip->GetTime(), v, iv), v;
    pb->GetValue(i, ip->GetTime(), whole, iv);
    return static_cast<float>(whole);
  }
  void Load() {
    Read(kLevels);  // an object's Update reads its neighbours first
    spins[0]->SetValue(Read(kSize), FALSE);
    spins[1]->SetValue(Read(kCount), FALSE);
    spins[2]->SetValue(Read(kSize) * 100.0f, FALSE);
    if (ownMarks)
      for (ISpinnerControl* s : spins) s->SetKeyBrackets(FALSE);
  }
  INT_PTR Proc(HWND page, UINT msg, WPARAM wParam) {
    if (msg == WM_INITDIALOG) {
      spins[0] = SetupFloatSpinner(page, IDC_M_FLOAT_SPIN, IDC_M_FLOAT_EDIT, 0.0f, 100.0f, Read(kSize));
      spins[1] = SetupFloatSpinner(page, IDC_M_INT_SPIN, IDC_M_INT_EDIT, 0.0f, 100.0f, Read(kCount));
      spins[2] = SetupFloatSpinner(page, IDC_M_PX_SPIN, IDC_M_PX_EDIT, 0.0f, 10000.0f, Read(kSize) * 100.0f);
      if (ownMarks)
        for (ISpinnerControl* s : spins) s->SetKeyBrackets(FALSE);
      return TRUE;
    }
    if (msg == CC_SPINNER_CHANGE) {
      TimeValue t = ip->GetTime();
      if (LOWORD(wParam) == IDC_M_FLOAT_SPIN) pb->SetValue(kSize, t, spins[0]->GetFVal());
      if (LOWORD(wParam) == IDC_M_INT_SPIN) pb->SetValue(kLevels, t, spins[1]->GetFVal());
      if (LOWORD(wParam) == IDC_M_PX_SPIN) pb->SetValue(kSize, t, spins[2]->GetFVal() / 100.0f);
    }
    return FALSE;
  }
  ~HandDialog() {
    for (ISpinnerControl* s : spins) ReleaseISpinner(s);
  }
};

INT_PTR CALLBACK HandProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) SetWindowLongPtrA(page, GWLP_USERDATA, lParam);
  auto* d = reinterpret_cast<HandDialog*>(GetWindowLongPtrA(page, GWLP_USERDATA));
  return d ? d->Proc(page, msg, wParam) : FALSE;
}

void SetKeys(IParamBlock* pb, int i, std::initializer_list<TimeValue> times) {
  HostParamValue v = HostGetParam(pb, i);
  v.keys.clear();
  for (TimeValue t : times) {
    HostParamSample s = v.constant;
    s.time = t;
    s.v[0] = static_cast<float>(t) / 160.0f;
    s.i = t / 160;
    v.keys.push_back(s);
  }
  ASSERT_TRUE(HostSetParam(pb, i, v));
}

class SpinnerKeys : public testing::Test {
 protected:
  void SetUp() override {
    pb = CreateParameterBlock(kDesc, kParams, 1);
    pb->SetValue(kSize, 0, 2.0f);
    pb->SetValue(kCount, 0, 3);
    pb->SetValue(kLevels, 0, 3.0f);  // the same number as Count
    dlg.pb = pb;
    dlg.ip = ed.get();
  }
  void Open() {
    page = ed->AddRollupPage(TestInstance(), MAKEINTRESOURCE(IDD_TEST_MAP), HandProc, "Hand",
                             reinterpret_cast<LPARAM>(&dlg), 0, ROLLUP_CAT_STANDARD);
    ASSERT_NE(page, nullptr) << HostLastDialogError();
  }
  void TearDown() override {
    ed.reset();  // the pages and their watches on the block go first
    EXPECT_EQ(pb->DependentCount(), 0);
    pb->DeleteThis();
  }
  bool Marked(int spinId) { return HostGetWindowInfo(GetDlgItem(page, spinId))->keyBrackets; }

  std::unique_ptr<HostMtlEditor> ed = std::make_unique<HostMtlEditor>();
  HandDialog dlg;
  IParamBlock* pb = nullptr;
  HWND page = nullptr;
};

}  // namespace

TEST_F(SpinnerKeys, ASpinnerLoadedFromAParameterShowsItsKeysAtTheEditorsTime) {
  SetKeys(pb, kSize, {160, 320});
  Open();
  EXPECT_FALSE(Marked(IDC_M_FLOAT_SPIN));  // frame 0 lies before the first key
  ed->SetTime(160);                        // the dialog does not reload: the host moves the marks
  EXPECT_TRUE(Marked(IDC_M_FLOAT_SPIN));
  EXPECT_FALSE(Marked(IDC_M_INT_SPIN));
  EXPECT_FALSE(Marked(IDC_M_PX_SPIN));  // a scaled value tells nothing until it is written
  ed->SetTime(240);
  EXPECT_FALSE(Marked(IDC_M_FLOAT_SPIN));  // between keys
  // A key added at the time shown marks it; taking the keys away unmarks it.
  SetAnimateMode(TRUE);
  pb->SetValue(kSize, 240, 1.25f);
  SetAnimateMode(FALSE);
  EXPECT_TRUE(Marked(IDC_M_FLOAT_SPIN));
  SetKeys(pb, kSize, {});
  EXPECT_FALSE(Marked(IDC_M_FLOAT_SPIN));
  // The int spinner follows Count, which it was loaded from.
  SetKeys(pb, kCount, {240});
  EXPECT_TRUE(Marked(IDC_M_INT_SPIN));
  dlg.Load();
  EXPECT_TRUE(Marked(IDC_M_INT_SPIN));
}

TEST_F(SpinnerKeys, WhatTheChangeMessageWritesWinsOverWhatWasRead) {
  Open();
  ed->SetTime(160);
  SetKeys(pb, kLevels, {160});
  EXPECT_FALSE(Marked(IDC_M_INT_SPIN));  // loaded from Count, which has no key
  // The user's change writes Levels: from now on the spinner follows it,
  // through later loads that read Count again.
  HostStepSpinner(GetDlgItem(page, IDC_M_INT_SPIN), 1);
  EXPECT_TRUE(Marked(IDC_M_INT_SPIN));
  dlg.Load();
  EXPECT_TRUE(Marked(IDC_M_INT_SPIN));
  ed->SetTime(0);
  EXPECT_FALSE(Marked(IDC_M_INT_SPIN));
  // The scaled spinner is bound once it writes Size.
  SetKeys(pb, kSize, {0});
  EXPECT_FALSE(Marked(IDC_M_PX_SPIN));
  HostTypeText(GetDlgItem(page, IDC_M_PX_EDIT), "150");
  EXPECT_TRUE(Marked(IDC_M_PX_SPIN));

  // Turned to another object, the dialog's reads bind the spinners to its block.
  IParamBlock* other = CreateParameterBlock(kDesc, kParams, 1);
  other->SetValue(kCount, 0, 9);
  dlg.pb = other;
  dlg.Load();
  EXPECT_FALSE(Marked(IDC_M_INT_SPIN));
  SetKeys(other, kCount, {0});
  EXPECT_TRUE(Marked(IDC_M_INT_SPIN));
  dlg.pb = pb;
  dlg.Load();
  DestroyWindow(page);
  EXPECT_EQ(other->DependentCount(), 0);
  other->DeleteThis();
}

TEST_F(SpinnerKeys, ADialogThatMarksItsSpinnersItselfKeepsItsWord) {
  dlg.ownMarks = true;
  SetKeys(pb, kSize, {0});
  Open();
  EXPECT_FALSE(Marked(IDC_M_FLOAT_SPIN));
  HostStepSpinner(GetDlgItem(page, IDC_M_FLOAT_SPIN), 1);
  ed->SetTime(160);
  ed->SetTime(0);
  EXPECT_FALSE(Marked(IDC_M_FLOAT_SPIN));
  EXPECT_EQ(pb->DependentCount(), 0);  // nothing bound, nothing watched
}
