// Dialogs made from the module's compiled templates: every control read back,
// the order of messages at creation and destruction, window data, and
// templates that are damaged or name what does not exist.
#include <gtest/gtest.h>
#include <strings.h>

#include <random>

#include "hostside/module_table.h"
#include "resource_scripts.h"
#include "test_module_ids.h"
#include "win_test_util.h"

namespace {

std::span<const uint8_t> TemplateBytes(int id) {
  return HostFindResource(TestInstance(), ResId::From(RT_DIALOG), ResId::Num(static_cast<uint16_t>(id)));
}

}  // namespace

TEST(DialogTemplate, EveryControlOfACompiledTemplateComesThrough) {
  HWND d = CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(IDD_TEST_VARIETY), nullptr, RecordingProc, 0);
  ASSERT_NE(d, nullptr) << HostLastDialogError();
  WindowGuard guard(d);
  auto dlg = HostGetWindowInfo(d);
  ASSERT_TRUE(dlg);
  EXPECT_EQ(dlg->className, "#32770");
  EXPECT_EQ(dlg->text, "Variety");
  EXPECT_TRUE(dlg->visible);
  // 10, 20, 200, 120 dialog units at 6 x 13 base units: x * 6 / 4, y * 13 / 8.
  EXPECT_EQ(dlg->rect.left, 15);
  EXPECT_EQ(dlg->rect.top, 33);
  EXPECT_EQ(dlg->rect.right, 315);
  EXPECT_EQ(dlg->rect.bottom, 228);

  // Every control as the script has it; a bitmap static's text is the
  // bitmap's resource id, which the script gives as a symbol.
  ScriptedDialog script = ReadScriptedDialog(HOSTSDK_TEST_RC, IDD_TEST_VARIETY);
  ASSERT_EQ(dlg->children.size(), script.controls.size());
  for (size_t i = 0; i < script.controls.size(); ++i) {
    const ScriptedControl& want = script.controls[i];
    auto c = HostGetWindowInfo(dlg->children[i]);
    ASSERT_TRUE(c);
    SCOPED_TRACE(HostDescribeWindowTree(dlg->children[i]));
    EXPECT_EQ(strcasecmp(c->className.c_str(), want.cls.c_str()), 0) << want.cls;
    EXPECT_EQ(c->id, want.id);
    EXPECT_EQ(c->text, want.text);
    EXPECT_EQ(c->visible, want.shown);
    EXPECT_EQ(c->shown, want.shown);
    EXPECT_EQ(c->parent, d);
    EXPECT_TRUE(c->style & WS_CHILD);
    EXPECT_EQ(GetDlgItem(d, want.id) == dlg->children[i] || want.id == -1, true);
  }
  auto edit = HostGetWindowInfo(GetDlgItem(d, IDC_T_EDIT));  // 37, 4, 34, 10
  EXPECT_EQ(edit->rect.left, 56);
  EXPECT_EQ(edit->rect.top, 7);
  EXPECT_EQ(edit->rect.right - edit->rect.left, 51);
  EXPECT_EQ(edit->rect.bottom - edit->rect.top, 16);
  auto label = HostGetWindowInfo(dlg->children[0]);
  EXPECT_EQ(label->style & SS_TYPEMASK, static_cast<DWORD>(SS_RIGHT));
  auto check = HostGetWindowInfo(GetDlgItem(d, IDC_T_CHECK));
  EXPECT_EQ(check->style & BS_TYPEMASK, static_cast<DWORD>(BS_AUTOCHECKBOX));
  EXPECT_TRUE(check->style & BS_LEFTTEXT);
  EXPECT_TRUE(check->style & WS_TABSTOP);
  // A bitmap static shows the module's bitmap named in the template and takes its size.
  auto bitmap = HostGetWindowInfo(GetDlgItem(d, IDC_T_BITMAP));
  EXPECT_EQ(bitmap->kind, HostValueKind::kImage);
  ASSERT_NE(bitmap->image, nullptr);
  EXPECT_EQ(bitmap->rect.right - bitmap->rect.left, 5);
  EXPECT_EQ(bitmap->rect.bottom - bitmap->rect.top, 3);
  // Every control has the template's font.
  auto font = HostGetFontInfo(check->font);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->faceName, "MS Sans Serif");
  EXPECT_EQ(font->height, -11);
  EXPECT_EQ(dlg->font, check->font);
}

TEST(DialogTemplate, HeaderAndItemsParse) {
  auto ex = HostParseDialogTemplate(TemplateBytes(IDD_TEST_VARIETY));
  ASSERT_TRUE(ex);
  EXPECT_TRUE(ex->extended);
  EXPECT_EQ(ex->pointSize, 8);
  EXPECT_EQ(ex->faceName, "MS Sans Serif");
  EXPECT_EQ(ex->cx, 200);
  EXPECT_EQ(ex->cy, 120);
  ASSERT_EQ(ex->items.size(), 16u);
  EXPECT_EQ(ex->items[10].textOrdinal, IDB_TEST_BITMAP);
  EXPECT_EQ(ex->items[11].style & WS_VISIBLE, 0u);

  auto plain = HostParseDialogTemplate(TemplateBytes(IDD_TEST_PLAIN));
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->extended);
  EXPECT_EQ(plain->faceName, "MS Sans Serif");
  ASSERT_EQ(plain->items.size(), 2u);
  EXPECT_EQ(plain->items[0].id, -1);
  EXPECT_EQ(plain->items[0].className, "Static");
  EXPECT_EQ(plain->items[0].text, "Plain");
  EXPECT_EQ(plain->items[1].id, IDC_T_CHECK);
  HWND d = CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(IDD_TEST_PLAIN), nullptr, RecordingProc, 0);
  WindowGuard guard(d);
  ASSERT_NE(d, nullptr);
  EXPECT_NE(GetDlgItem(d, IDC_T_CHECK), nullptr);
}

TEST(DialogTemplate, DamagedBytesAreRefusedWithoutReadingPastThem) {
  auto good = TemplateBytes(IDD_TEST_VARIETY);
  ASSERT_FALSE(good.empty());
  // Every cut: a copy on the heap, so a read past its end would be caught.
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    std::string error;
    auto t = HostParseDialogTemplate(cut, &error);
    if (t) {
      EXPECT_LE(t->items.size(), 16u);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
  // More items announced than the bytes hold.
  std::vector<uint8_t> more(good.begin(), good.end());
  more[16] = 200;  // DIALOGEX item count, after version, signature, help id, exstyle and style
  std::string error;
  EXPECT_FALSE(HostParseDialogTemplate(more, &error));
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
  // Random damage never crashes.
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> bad(good.begin(), good.end());
    for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
    bad.resize(rng() % (bad.size() + 1));
    HostParseDialogTemplate(bad);
  }
}

TEST(DialogTemplate, MissingTemplateAndUnknownClassMakeNoWindow) {
  int before = HostLiveWindowCount();
  EXPECT_EQ(CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(4242), nullptr, RecordingProc, 0), nullptr);
  EXPECT_NE(HostLastDialogError().find("4242"), std::string::npos);
  std::vector<Seen> log;
  EXPECT_EQ(CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(IDD_TEST_BADCLASS), nullptr, RecordingProc,
                               reinterpret_cast<LPARAM>(&log)),
            nullptr);
  EXPECT_NE(HostLastDialogError().find("SpinerControl"), std::string::npos);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCE(IDD_TEST_VARIETY), nullptr, RecordingProc, 0), nullptr);
  EXPECT_EQ(HostLiveWindowCount(), before);
}

TEST(DialogMessages, FontBeforeControlsThenInitDialogInsideTheCall) {
  std::vector<MSG> spied;
  HostMessageSpy old = HostSetMessageSpy([&](const MSG& m) { spied.push_back(m); });
  std::vector<Seen> log;
  HWND d = CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(IDD_TEST_VARIETY), nullptr, RecordingProc,
                              reinterpret_cast<LPARAM>(&log));
  HostSetMessageSpy(old);
  WindowGuard guard(d);
  ASSERT_NE(d, nullptr);
  std::vector<UINT> toDialog;
  for (const MSG& m : spied)
    if (m.hwnd == d) toDialog.push_back(m.message);
  EXPECT_EQ(toDialog, (std::vector<UINT>{WM_SETFONT, WM_INITDIALOG, WM_SHOWWINDOW}));
  // The procedure saw WM_INITDIALOG (with the creation parameter) before the
  // call returned, with every control there already.
  ASSERT_GE(log.size(), 1u);
  EXPECT_EQ(log[0].msg, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(log[0].lParam, reinterpret_cast<LPARAM>(&log));
  EXPECT_EQ(log[0].children, 16);
  EXPECT_EQ(log[0].wParam, reinterpret_cast<WPARAM>(GetDlgItem(d, IDC_T_EDIT)));  // first tab stop
  // No WM_CREATE reaches a dialog procedure; each control got the font.
  int fontsToControls = 0;
  for (const MSG& m : spied) fontsToControls += m.message == WM_SETFONT && m.hwnd != d;
  EXPECT_EQ(fontsToControls, 16);
}

TEST(DialogMessages, DestroyReachesParentFirstThenChildrenAndEndsEveryHandle) {
  HWND d = CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(IDD_TEST_PLAIN), nullptr, RecordingProc, 0);
  ASSERT_NE(d, nullptr);
  HWND check = GetDlgItem(d, IDC_T_CHECK);
  PostMessageA(check, BM_SETCHECK, BST_CHECKED, 0);
  std::vector<MSG> spied;
  HostMessageSpy old = HostSetMessageSpy([&](const MSG& m) { spied.push_back(m); });
  EXPECT_TRUE(DestroyWindow(d));
  HostSetMessageSpy(old);
  ASSERT_EQ(spied.size(), 6u);  // WM_DESTROY and WM_NCDESTROY to the dialog and its two controls
  EXPECT_EQ(spied[0].hwnd, d);
  EXPECT_EQ(spied[0].message, static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(spied[1].message, static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(spied[2].message, static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(spied[3].message, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_EQ(spied[5].hwnd, d);
  EXPECT_EQ(spied[5].message, static_cast<UINT>(WM_NCDESTROY));
  EXPECT_FALSE(IsWindow(d));
  EXPECT_FALSE(IsWindow(check));
  EXPECT_EQ(SendMessageA(d, WM_GETTEXTLENGTH, 0, 0), 0);
  EXPECT_FALSE(DestroyWindow(d));
  EXPECT_EQ(GetWindowLongPtrA(d, GWLP_USERDATA), 0);
  // The message posted to the control went with it.
  for (const MSG& m : HostQueuedMessages()) EXPECT_NE(m.hwnd, check);
}

namespace {
INT_PTR CALLBACK DestroyAtInit(HWND hwnd, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) DestroyWindow(hwnd);
  return TRUE;
}
}  // namespace

TEST(DialogMessages, ADialogThatDestroysItselfAtInitIsNotReturned) {
  int before = HostLiveWindowCount();
  EXPECT_EQ(CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(IDD_TEST_PLAIN), nullptr, DestroyAtInit, 0), nullptr);
  EXPECT_EQ(HostLiveWindowCount(), before);
}

TEST(WindowData, UserDataHoldsAWholePointer) {
  HWND d = CreateDialogParamA(TestInstance(), MAKEINTRESOURCE(IDD_TEST_PLAIN), nullptr, RecordingProc, 0);
  WindowGuard guard(d);
  HWND check = GetDlgItem(d, IDC_T_CHECK);
  auto wide = static_cast<LONG_PTR>(0x7EDCBA9876543210LL);
  EXPECT_EQ(SetWindowLongPtrA(check, GWLP_USERDATA, wide), 0);
  EXPECT_EQ(GetWindowLongPtrA(check, GWLP_USERDATA), wide);
  EXPECT_EQ(SetWindowLongA(check, GWL_USERDATA, 5), static_cast<LONG>(wide));
  EXPECT_EQ(GetWindowLongA(check, GWL_USERDATA), 5);
  EXPECT_EQ(GetWindowLongA(check, GWL_ID), IDC_T_CHECK);
  EXPECT_EQ(GetDlgCtrlID(check), IDC_T_CHECK);
  EXPECT_TRUE(GetWindowLongA(check, GWL_STYLE) & WS_CHILD);
  // A dialog has its own slot besides the user data; a control has none.
  SetWindowLongPtrA(d, DWLP_USER, 9);
  EXPECT_EQ(GetWindowLongPtrA(d, DWLP_USER), 9);
  EXPECT_EQ(SetWindowLongPtrA(check, DWLP_USER, 9), 0);
  EXPECT_EQ(GetWindowLongPtrA(check, DWLP_USER), 0);
  EXPECT_EQ(GetParent(check), d);
  char cls[32];
  EXPECT_EQ(GetClassNameA(check, cls, sizeof cls), 6);
  EXPECT_STREQ(cls, "Button");
}
