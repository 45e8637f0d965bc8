// Key marks on the spinners of a dialog that drives them by hand: the host
// learns the parameter each shows from what the dialog reads and writes.
#include <gtest/gtest.h>

#include "hostside/paramblock_access.h"
#include "imtl.h"
#include "test_module_ids.h"
#include "win_test_util.h"

namespace {

enum { kSize, kCount, kLevels };
ParamBlockDescID kDesc[] = {
    {TYPE_FLOAT, nullptr, TRUE, 0}, {TYPE_FLOAT, nullptr, TRUE, 1}, {TYPE_FLOAT, nullptr, TRUE, 2}};

// A rollup as plug-ins write theirs, naming no parameter to its spinners:
// the first shows and writes Size; the second shows Count but writes Levels.
struct HandDialog {
  IParamBlock* pb;
  IMtlParams* ip;
  ISpinnerControl* spins[2] = {nullptr, nullptr};
  float Read(int i) {
    float v = 0.0f;
    Interval iv = FOREVER;
    return pb->GetValue(i, ip->GetTime(), v, iv), v;
  }
  void Load() {
    Read(kLevels);  // as an object's Update reads its neighbours first
    spins[0]->SetValue(Read(kSize), FALSE);
    spins[1]->SetValue(Read(kCount), FALSE);
  }
  ~HandDialog() {
    for (ISpinnerControl* s : spins) ReleaseISpinner(s);
  }
};

INT_PTR CALLBACK HandProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) SetWindowLongPtrA(page, GWLP_USERDATA, lParam);
  auto* d = reinterpret_cast<HandDialog*>(GetWindowLongPtrA(page, GWLP_USERDATA));
  if (d && msg == WM_INITDIALOG) {
    d->spins[0] = SetupFloatSpinner(page, IDC_M_FLOAT_SPIN, IDC_M_FLOAT_EDIT, 0.0f, 100.0f, d->Read(kSize));
    d->spins[1] = SetupFloatSpinner(page, IDC_M_INT_SPIN, IDC_M_INT_EDIT, 0.0f, 100.0f, d->Read(kCount));
  }
  int which = LOWORD(wParam) == IDC_M_FLOAT_SPIN ? 0 : 1;
  if (d && msg == CC_SPINNER_CHANGE)
    d->pb->SetValue(which ? kLevels : kSize, d->ip->GetTime(), d->spins[which]->GetFVal());
  return msg == WM_INITDIALOG;
}

void SetKeys(IParamBlock* pb, int i, std::vector<TimeValue> times) {
  HostParamValue v = HostGetParam(pb, i);
  v.keys.clear();
  for (TimeValue t : times) v.keys.push_back({t, {1.0f, 0, 0}, 1});
  ASSERT_TRUE(HostSetParam(pb, i, v));
}

}  // namespace

TEST(SpinnerKeys, MarksFollowTheParameterTheDialogReadAndThenWrote) {
  IParamBlock* pb = CreateParameterBlock(kDesc, 3, 1);
  pb->SetValue(kCount, 0, 3.0f);
  pb->SetValue(kLevels, 0, 3.0f);  // the same number as Count
  {
    HostMtlEditor ed;
    HandDialog dlg{pb, &ed};
    HWND page = ed.AddRollupPage(TestInstance(), MAKEINTRESOURCE(IDD_TEST_MAP), HandProc, "Hand",
                                 reinterpret_cast<LPARAM>(&dlg), 0, ROLLUP_CAT_STANDARD);
    ASSERT_NE(page, nullptr) << HostLastDialogError();
    auto marked = [&](int id) { return HostGetWindowInfo(GetDlgItem(page, id))->keyBrackets; };

    // Bound by the read: the marks follow the time (the dialog does not
    // reload) and the keys as they come and go.
    SetKeys(pb, kSize, {160, 320});
    EXPECT_FALSE(marked(IDC_M_FLOAT_SPIN));
    ed.SetTime(160);
    EXPECT_TRUE(marked(IDC_M_FLOAT_SPIN));
    ed.SetTime(240);
    EXPECT_FALSE(marked(IDC_M_FLOAT_SPIN));
    SetAnimateMode(TRUE);
    pb->SetValue(kSize, 240, 1.25f);
    SetAnimateMode(FALSE);
    EXPECT_TRUE(marked(IDC_M_FLOAT_SPIN));
    SetKeys(pb, kSize, {});
    EXPECT_FALSE(marked(IDC_M_FLOAT_SPIN));

    // Loaded from Count, the second spinner writes Levels: the write wins,
    // through later loads that read Count again.
    SetKeys(pb, kLevels, {240});
    EXPECT_FALSE(marked(IDC_M_INT_SPIN));
    HostStepSpinner(GetDlgItem(page, IDC_M_INT_SPIN), 1);
    EXPECT_TRUE(marked(IDC_M_INT_SPIN));
    dlg.Load();
    EXPECT_TRUE(marked(IDC_M_INT_SPIN));

    // A number other than the one just read binds nothing, nor one read from
    // a block deleted since.
    dlg.Read(kLevels);
    dlg.spins[0]->SetValue(42.0f, FALSE);
    EXPECT_FALSE(marked(IDC_M_FLOAT_SPIN));
    HandDialog gone{CreateParameterBlock(kDesc, 3, 1), &ed};
    float v = gone.Read(kSize);
    gone.pb->DeleteThis();
    dlg.spins[0]->SetValue(v, FALSE);
    EXPECT_FALSE(marked(IDC_M_FLOAT_SPIN));

    // A dialog that sets the marks itself keeps its word.
    SetKeys(pb, kSize, {240});
    EXPECT_TRUE(marked(IDC_M_FLOAT_SPIN));
    dlg.spins[0]->SetKeyBrackets(FALSE);
    dlg.Load();
    ed.SetTime(0);
    ed.SetTime(240);
    EXPECT_FALSE(marked(IDC_M_FLOAT_SPIN));
  }
  EXPECT_EQ(pb->DependentCount(), 0);  // the pages' watches went with them
  pb->DeleteThis();
}
