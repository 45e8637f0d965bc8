// The controls as a dialog and a user meet them: spinners and their edit
// fields, check boxes and radio buttons, swatches, buttons, combo boxes.
#include <gtest/gtest.h>

#include <cmath>

#include "custcont.h"
#include "test_module_ids.h"
#include "win_test_util.h"

namespace {

class Controls : public testing::Test {
 protected:
  void SetUp() override {
    dlg = CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(IDD_TEST_VARIETY), nullptr, RecordingProc,
                             reinterpret_cast<LPARAM>(&log));
    ASSERT_NE(dlg, nullptr) << HostLastDialogError();
    interfacesBefore = HostLiveControlInterfaces();
    log.clear();
  }
  void TearDown() override {
    if (IsWindow(dlg)) DestroyWindow(dlg);
  }
  HWND Item(int id) { return GetDlgItem(dlg, id); }
  std::vector<Seen> Of(UINT msg) {
    std::vector<Seen> out;
    for (const Seen& s : log)
      if (s.msg == msg) out.push_back(s);
    return out;
  }
  std::string Text(int id) {
    char buf[64];
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return buf;
  }

  HWND dlg = nullptr;
  std::vector<Seen> log;
  int interfacesBefore = 0;
};

}  // namespace

TEST_F(Controls, SpinnerKeepsItsValueWithinItsLimitsAndShowsItInItsEdit) {
  ISpinnerControl* s = SetupFloatSpinner(dlg, IDC_T_SPIN, IDC_T_EDIT, 1.0f, 1000.0f, 0.5f, 0.1f);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetFVal(), 1.0f);  // set below the minimum: limited
  EXPECT_EQ(Text(IDC_T_EDIT), "1.0");
  s->SetValue(12.345f, FALSE);
  EXPECT_EQ(Text(IDC_T_EDIT), "12.345");
  s->SetValue(5000.0f, FALSE);
  EXPECT_EQ(s->GetFVal(), 1000.0f);
  s->SetValue(NAN, FALSE);
  EXPECT_EQ(s->GetFVal(), 1000.0f);
  s->SetValue(-INFINITY, FALSE);
  EXPECT_EQ(s->GetFVal(), 1.0f);
  EXPECT_TRUE(log.empty());  // no notification without `notify`
  // Limits given the wrong way round still make a range; narrowing them
  // brings the value in.
  s->SetValue(500.0f, FALSE);
  s->SetLimits(10.0f, 0.0f, TRUE);
  EXPECT_EQ(s->GetMin(), 0.0f);
  EXPECT_EQ(s->GetMax(), 10.0f);
  EXPECT_EQ(s->GetFVal(), 10.0f);
  auto info = HostGetWindowInfo(Item(IDC_T_SPIN));
  EXPECT_EQ(info->kind, HostValueKind::kSpinner);
  EXPECT_EQ(info->value, 10.0f);
  EXPECT_EQ(info->linkedEdit, Item(IDC_T_EDIT));
  ReleaseISpinner(s);
  EXPECT_EQ(HostLiveControlInterfaces(), interfacesBefore);
}

TEST_F(Controls, SpinnerTellsItsParentOfUserChanges) {
  ISpinnerControl* s = SetupFloatSpinner(dlg, IDC_T_SPIN, IDC_T_EDIT, 0.0f, 1.0f, 0.5f, 0.01f);
  s->SetValue(0.25f, TRUE);
  auto changes = Of(CC_SPINNER_CHANGE);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].wParam, MAKEWPARAM(IDC_T_SPIN, 0));
  EXPECT_EQ(changes[0].lParam, reinterpret_cast<LPARAM>(Item(IDC_T_SPIN)));
  EXPECT_EQ(CC_SPINNER_CHANGE, 1624);

  // A drag: press, change with the drag flag, release; the value limited.
  log.clear();
  EXPECT_TRUE(HostDragSpinner(Item(IDC_T_SPIN), 7.0f));
  EXPECT_EQ(Messages(log), (std::vector<UINT>{CC_SPINNER_BUTTONDOWN, CC_SPINNER_CHANGE, CC_SPINNER_BUTTONUP}));
  EXPECT_EQ(HIWORD(log[1].wParam), 1);
  EXPECT_EQ(LOWORD(log[1].wParam), IDC_T_SPIN);
  EXPECT_EQ(s->GetFVal(), 1.0f);

  // Arrows and pixel drags move by the scale, within the range.
  log.clear();
  EXPECT_TRUE(HostStepSpinner(Item(IDC_T_SPIN), -30));
  EXPECT_EQ(Messages(log), (std::vector<UINT>{CC_SPINNER_BUTTONDOWN, CC_SPINNER_CHANGE, CC_SPINNER_BUTTONUP}));
  EXPECT_EQ(s->GetFVal(), static_cast<float>(1.0 - 30 * static_cast<double>(0.01f)));
  EXPECT_TRUE(HostStepSpinner(Item(IDC_T_SPIN), -1000));
  EXPECT_EQ(s->GetFVal(), 0.0f);

  // Typing into the linked edit: a number is taken, limited and shown; a
  // text that is no number is replaced by the value again.
  log.clear();
  EXPECT_TRUE(HostTypeText(Item(IDC_T_EDIT), " 0.75 "));
  EXPECT_EQ(s->GetFVal(), 0.75f);
  ASSERT_EQ(Of(CC_SPINNER_CHANGE).size(), 1u);
  EXPECT_EQ(HIWORD(Of(CC_SPINNER_CHANGE)[0].wParam), 0);
  EXPECT_TRUE(HostTypeText(Item(IDC_T_EDIT), "-3"));
  EXPECT_EQ(s->GetFVal(), 0.0f);
  EXPECT_EQ(Text(IDC_T_EDIT), "0.0");
  log.clear();
  EXPECT_TRUE(HostTypeText(Item(IDC_T_EDIT), "lots"));
  EXPECT_EQ(Text(IDC_T_EDIT), "0.0");
  EXPECT_TRUE(Of(CC_SPINNER_CHANGE).empty());
  ReleaseISpinner(s);
}

TEST_F(Controls, IntSpinnerRoundsAndALoneEditReportsEnter) {
  ISpinnerControl* s = SetupIntSpinner(dlg, IDC_T_SPIN, IDC_T_EDIT, 0, 10, 3);
  s->SetValue(4.6f, FALSE);
  EXPECT_EQ(s->GetIVal(), 5);
  EXPECT_EQ(Text(IDC_T_EDIT), "5");
  HostStepSpinner(Item(IDC_T_SPIN), 2);  // a whole-number spinner steps by at least 1
  EXPECT_EQ(s->GetIVal(), 7);
  ReleaseISpinner(s);
  // The hidden edit field has no spinner: Enter goes to the dialog, but a
  // user cannot type into a hidden field at all.
  EXPECT_FALSE(HostTypeText(Item(IDC_T_HIDDEN), "x"));
  ShowWindow(Item(IDC_T_HIDDEN), SW_SHOW);
  EXPECT_TRUE(HostTypeText(Item(IDC_T_HIDDEN), "x"));
  ASSERT_EQ(Of(WM_CUSTEDIT_ENTER).size(), 1u);
  ICustEdit* e = GetICustEdit(Item(IDC_T_HIDDEN));
  BOOL valid = TRUE;
  e->GetFloat(&valid);
  EXPECT_FALSE(valid);
  e->SetText(2.5f, 2);
  EXPECT_EQ(e->GetFloat(&valid), 2.5f);
  EXPECT_TRUE(valid);
  ReleaseICustEdit(e);
}

TEST_F(Controls, CheckBoxToggleNotifiesAndProgramChangesDoNot) {
  HWND check = Item(IDC_T_CHECK);
  EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_T_CHECK), 0u);
  EXPECT_TRUE(HostClickButton(check));
  EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_T_CHECK), static_cast<UINT>(BST_CHECKED));
  auto commands = Of(WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(LOWORD(commands[0].wParam), IDC_T_CHECK);
  EXPECT_EQ(HIWORD(commands[0].wParam), BN_CLICKED);
  EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(check));
  HostClickButton(check);
  EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_T_CHECK), static_cast<UINT>(BST_UNCHECKED));
  log.clear();
  CheckDlgButton(dlg, IDC_T_CHECK, BST_CHECKED);
  EXPECT_EQ(HostGetWindowInfo(check)->check, BST_CHECKED);
  EXPECT_TRUE(log.empty());
  // A disabled box cannot be clicked; a group box never.
  EnableWindow(check, FALSE);
  EXPECT_FALSE(HostClickButton(check));
  EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_T_CHECK), static_cast<UINT>(BST_CHECKED));
  EXPECT_FALSE(HostClickButton(HostGetWindowInfo(dlg)->children[6]));
}

TEST_F(Controls, RadioButtonsCheckOneOfTheirGroup) {
  HostClickButton(Item(IDC_T_RADIO3));
  HostClickButton(Item(IDC_T_RADIO1));
  HostClickButton(Item(IDC_T_RADIO2));
  EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_T_RADIO1), 0u);
  EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_T_RADIO2), 1u);
  EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_T_RADIO3), 1u);  // its own group
  EXPECT_EQ(Of(WM_COMMAND).size(), 3u);
}

TEST_F(Controls, SwatchButtonComboAndNotifyingStatic) {
  IColorSwatch* sw = GetIColorSwatch(Item(IDC_T_SWATCH), RGB(10, 20, 30), "Vede Color");
  ASSERT_NE(sw, nullptr);
  EXPECT_EQ(sw->GetColor(), RGB(10, 20, 30));
  sw->SetColor(Color(0.3f, 0.6f, 0.9f));
  EXPECT_EQ(sw->GetColorFloat(), Color(0.3f, 0.6f, 0.9f));  // not rounded to bytes
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(HostPickColor(Item(IDC_T_SWATCH), RGB(255, 0, 128)));
  auto changes = Of(CC_COLOR_CHANGE);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(LOWORD(changes[0].wParam), IDC_T_SWATCH);
  EXPECT_EQ(sw->GetColor(), RGB(255, 0, 128));
  EXPECT_EQ(HostGetWindowInfo(Item(IDC_T_SWATCH))->color, RGB(255, 0, 128));
  ReleaseIColorSwatch(sw);

  ICustButton* b = GetICustButton(Item(IDC_T_CUSTBUTTON));
  b->SetText("(None)");
  EXPECT_EQ(Text(IDC_T_CUSTBUTTON), "(None)");
  log.clear();
  EXPECT_TRUE(HostClickButton(Item(IDC_T_CUSTBUTTON)));
  ASSERT_EQ(Of(WM_COMMAND).size(), 1u);
  EXPECT_EQ(Of(WM_COMMAND)[0].wParam, MAKEWPARAM(IDC_T_CUSTBUTTON, BN_CLICKED));
  ReleaseICustButton(b);

  HWND combo = Item(IDC_T_COMBO);
  SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Object XYZ"));
  SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("World XYZ"));
  log.clear();
  EXPECT_TRUE(HostSelectComboItem(combo, 1));
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(Text(IDC_T_COMBO), "World XYZ");
  EXPECT_EQ(HIWORD(Of(WM_COMMAND)[0].wParam), CBN_SELCHANGE);
  EXPECT_FALSE(HostSelectComboItem(combo, 2));

  log.clear();
  EXPECT_TRUE(HostClickButton(Item(IDC_T_BITMAP)));
  EXPECT_EQ(Of(WM_COMMAND)[0].wParam, MAKEWPARAM(IDC_T_BITMAP, STN_CLICKED));
  EXPECT_FALSE(HostClickButton(HostGetWindowInfo(dlg)->children[0]));  // a label without SS_NOTIFY
  EXPECT_EQ(GetISpinner(Item(IDC_T_SWATCH)), nullptr);                 // not a spinner
}

TEST_F(Controls, InterfacesOutliveTheirWindowsHarmlessly) {
  ISpinnerControl* s = SetupFloatSpinner(dlg, IDC_T_SPIN, IDC_T_EDIT, 0.0f, 1.0f, 0.5f, 0.01f);
  IColorSwatch* sw = GetIColorSwatch(Item(IDC_T_SWATCH));
  DestroyWindow(dlg);
  s->SetValue(0.2f, TRUE);
  EXPECT_EQ(s->GetFVal(), 0.0f);
  sw->SetColor(RGB(1, 2, 3), TRUE);
  EXPECT_EQ(sw->GetColor(), 0u);
  EXPECT_EQ(HostLiveControlInterfaces(), interfacesBefore + 2);
  ReleaseISpinner(s);
  ReleaseISpinner(s);  // a second release is ignored
  ReleaseIColorSwatch(sw);
  ReleaseISpinner(nullptr);
  EXPECT_EQ(HostLiveControlInterfaces(), interfacesBefore);
  EXPECT_EQ(SetupFloatSpinner(dlg, IDC_T_SPIN, IDC_T_EDIT, 0.0f, 1.0f, 0.5f, 0.01f), nullptr);
}
