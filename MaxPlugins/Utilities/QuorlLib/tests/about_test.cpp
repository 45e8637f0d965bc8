// The About rollups and the info utility, at the level of window messages,
// in the host's panels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DllEntry.h"
#include "QuorlLib.h"
#include "resource.h"
#include "ui_helpers.h"

namespace {

// A plug-in's descriptor that records the order it is asked in.
template <class Base>
class RecordingDesc : public Base {
 public:
  int IsPublic() override { return 1; }
  void* Create(BOOL) override { return nullptr; }
  const char* ClassName() override {
    calls.push_back("ClassName");
    return "Test Map";
  }
  SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x1234, 0x5678); }
  const char* Category() override { return "Tests"; }
  float PluginVersion() override {
    calls.push_back("PluginVersion");
    return version;
  }
  CStr BuildDate() override {
    calls.push_back("BuildDate");
    return CStr("Jan 10 2001");
  }
  int MaxVersion() override {
    calls.push_back("MaxVersion");
    return maxVersion;
  }
  CStr RightsNotice() override {
    calls.push_back("RightsNotice");
    return CStr(rights.c_str());
  }

  float version = 2.02f;
  int maxVersion = 0xFA00800;
  std::string rights = "Copyright (C) 2001 Quorl Studio.\nAll Rights Reserved.";
  std::vector<std::string> calls;
};
using TestDesc = RecordingDesc<QuorlClassDesc>;
using TestDesc2 = RecordingDesc<QuorlClassDesc2>;

const std::vector<std::string> kGatherOrder = {"RightsNotice", "PluginVersion", "MaxVersion", "BuildDate", "ClassName"};
const char kTwoLines[] = "Version 2.02, Jan 10 2001\n3D Studio Max 4.0 build";

// What the shell was asked to open.
struct ShellLog {
  struct Call {
    HWND owner;
    std::string operation, file;
    std::string parameters, directory;
    int show;
  };
  std::vector<Call> calls;
  INT_PTR answer = 42;
};

INT_PTR RecordShell(HWND owner, const char* op, const char* file, const char* params, const char* dir, int show,
                    void* user) {
  auto* log = static_cast<ShellLog*>(user);
  log->calls.push_back({owner, op ? op : "", file ? file : "", params ? params : "", dir ? dir : "", show});
  return log->answer;
}

class ShellCatcher {
 public:
  ShellCatcher() : old_(HostSetShellExecuteHandler({RecordShell, &log})) {}
  ~ShellCatcher() { HostSetShellExecuteHandler(old_); }
  ShellCatcher(const ShellCatcher&) = delete;
  ShellCatcher& operator=(const ShellCatcher&) = delete;
  ShellLog log;

 private:
  ShellExecuteHook old_;
};

COLORREF LinkColor(HWND page, int id) { return static_cast<COLORREF>(Info(GetDlgItem(page, id)).userData); }

HWND OnlyPage(const std::vector<HostRollupInfo>& rollups) {
  EXPECT_EQ(rollups.size(), 1u);
  return rollups.empty() ? nullptr : rollups[0].page;
}

}  // namespace

// ---- Templates and logo ---------------------------------------------------------

TEST(AboutTemplates, BothKindsAsCompiled) {
  HostDialogTemplate mtl = ExpectTemplateAsScripted(hInstance, QUORLLIB_RC, IDD_ABOUT_MTLEDIT);
  EXPECT_FALSE(mtl.style & WS_VISIBLE);
  EXPECT_EQ(mtl.faceName, "MS Sans Serif");
  HostDialogTemplate cp = ExpectTemplateAsScripted(hInstance, QUORLLIB_RC, IDD_ABOUT_CMDPANEL);
  EXPECT_TRUE(cp.style & WS_VISIBLE);
  for (const HostDialogTemplate* t : {&mtl, &cp}) {
    DWORD align = t == &mtl ? SS_RIGHT : SS_CENTER;
    EXPECT_EQ(t->items[0].style & SS_TYPEMASK, align);
    EXPECT_EQ(t->items[1].style & SS_TYPEMASK, align);
    for (int i : {2, 3}) {
      EXPECT_EQ(t->items[static_cast<size_t>(i)].style & SS_TYPEMASK, static_cast<DWORD>(SS_CENTER));
      EXPECT_TRUE(t->items[static_cast<size_t>(i)].style & SS_NOTIFY);
    }
    EXPECT_EQ(t->items[4].style & SS_TYPEMASK, static_cast<DWORD>(SS_BITMAP));
    EXPECT_TRUE(t->items[4].style & SS_NOTIFY);
    EXPECT_EQ(t->items[4].textOrdinal, IDB_LOGO);
  }
}

TEST(AboutTemplates, LogoIs125By62In16Colours) {
  std::string error;
  std::optional<HostBitmapInfo> logo =
      HostParseDib(HostFindResource(hInstance, ResId::Num(2), ResId::Num(IDB_LOGO)), &error);
  ASSERT_TRUE(logo.has_value()) << error;
  EXPECT_EQ(logo->width, 125);
  EXPECT_EQ(logo->height, 62);
  EXPECT_EQ(logo->bitCount, 4);
  EXPECT_EQ(logo->palette.size(), 16u);
}

// ---- Material editor ------------------------------------------------------------

TEST(MtlEditorAbout, ShowsTheDescriptorsTextsInItsFonts) {
  HostMtlEditor editor;
  TestDesc desc;
  AddAboutPanel(&editor, &desc);
  EXPECT_EQ(desc.calls, kGatherOrder);
  std::vector<HostRollupInfo> rollups = editor.Rollups();
  HWND page = OnlyPage(rollups);
  EXPECT_EQ(rollups[0].title, "About");
  EXPECT_TRUE(rollups[0].open);
  EXPECT_EQ(rollups[0].category, ROLLUP_CAT_STANDARD);
  HostPumpMessages();
  EXPECT_TRUE(IsWindowVisible(page));

  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_ABOUT_NAME)), "Test Map");
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_ABOUT_VERSION)), kTwoLines);
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_ABOUT_RIGHTS)), "Copyright (C) 2001 Quorl Studio.\nAll Rights Reserved.");
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_ABOUT_WEB)), "Website:  http://www.quorlstudio.example");

  std::optional<HostFontInfo> font = HostGetFontInfo(Info(GetDlgItem(page, IDC_ABOUT_NAME)).font);
  ASSERT_TRUE(font.has_value());
  EXPECT_EQ(font->height, 32);
  EXPECT_EQ(font->weight, 700);
  EXPECT_EQ(font->pitchAndFamily, 18u);
  EXPECT_EQ(font->italic + font->underline + font->strikeOut + font->charSet, 0u);
  EXPECT_EQ(font->faceName, "");
  EXPECT_FALSE(font->dialogFont);

  HostWindowInfo logo = Info(GetDlgItem(page, IDC_ABOUT_LOGO));
  ASSERT_EQ(logo.kind, HostValueKind::kImage);
  std::optional<HostBitmapInfo> image = HostGetBitmapInfo(logo.image);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width, 125);
}

TEST(MtlEditorAbout, OnlyTheReleaseOfTheHostVersionShows) {
  HostMtlEditor editor;
  TestDesc desc;
  desc.maxVersion = (3000 << 16) | 0xFFFF;
  desc.version = 1.5f;
  desc.rights = "";
  AddAboutPanel(&editor, &desc);
  HWND page = OnlyPage(editor.Rollups());
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_ABOUT_VERSION)), "Version 1.50, Jan 10 2001\n3D Studio Max 3.0 build");
  // The placeholder goes even for an empty notice.
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_ABOUT_RIGHTS)), "");
}

TEST(MtlEditorAbout, TheClassDesc2FormReadsItsAboutPart) {
  HostMtlEditor editor;
  TestDesc2 desc;
  AddAboutPanel(&editor, &desc);
  EXPECT_EQ(desc.calls, kGatherOrder);
  HWND page = OnlyPage(editor.Rollups());
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_ABOUT_VERSION)), kTwoLines);
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_ABOUT_NAME)), "Test Map");
}

TEST(MtlEditorAbout, TitleFontsAreReleasedWithTheirPages) {
  int before = HostLiveFontCount();
  for (int i = 0; i < 50; ++i) {
    HostMtlEditor editor;
    HostCommandPanel panel;
    TestDesc desc;
    TestDesc2 desc2;
    AddAboutPanel(&editor, &desc);
    AddAboutPanel(&editor, &desc2);  // two pages of one kind at once
    AddCommandPanelAbout(&panel, &desc2, 0);
    EXPECT_EQ(HostLiveFontCount(), before + 3);
  }
  EXPECT_EQ(HostLiveFontCount(), before);
}

// ---- Links --------------------------------------------------------------------
//
// The panels remember opened links for the life of the library, so each test
// here uses links no other test opens.

TEST(AboutLinks, OpeningTheWebLinkTurnsItVisitedInBothPanels) {
  ShellCatcher shell;
  HostMtlEditor editor;
  HostCommandPanel panel;
  TestDesc desc;
  TestDesc2 desc2;
  AddAboutPanel(&editor, &desc);
  AddCommandPanelAbout(&panel, &desc2, 0);
  HostPumpMessages();
  for (HWND page : {OnlyPage(editor.Rollups()), OnlyPage(panel.Rollups())}) {
    SCOPED_TRACE(page == OnlyPage(editor.Rollups()) ? "material editor" : "command panel");
    EXPECT_EQ(LinkColor(page, IDC_ABOUT_WEB), 0xFF0000u);
    size_t before = shell.log.calls.size();
    ASSERT_TRUE(HostClickButton(GetDlgItem(page, IDC_ABOUT_WEB)));
    ASSERT_EQ(shell.log.calls.size(), before + 1);
    const ShellLog::Call& c = shell.log.calls.back();
    EXPECT_EQ(c.owner, nullptr);
    EXPECT_EQ(c.operation, "open");
    EXPECT_EQ(c.file, "http://www.quorlstudio.example");
    EXPECT_EQ(c.parameters, "");
    EXPECT_EQ(c.directory, "");
    EXPECT_EQ(c.show, SW_SHOWNORMAL);
    EXPECT_EQ(LinkColor(page, IDC_ABOUT_WEB), 0x800080u);
  }
}

TEST(AboutLinks, MailLinkStaysUnvisitedUntilTheShellTakesIt) {
  ShellCatcher shell;
  HostCommandPanel panel;
  TestDesc2 desc;
  AddCommandPanelAbout(&panel, &desc, 0);
  HostPumpMessages();
  HWND page = OnlyPage(panel.Rollups());
  shell.log.answer = 2;  // file not found
  ASSERT_TRUE(HostClickButton(GetDlgItem(page, IDC_ABOUT_MAIL)));
  ASSERT_EQ(shell.log.calls.size(), 1u);
  EXPECT_EQ(shell.log.calls[0].file, "mailto:support@quorlstudio.example");
  EXPECT_EQ(LinkColor(page, IDC_ABOUT_MAIL), 0xFF0000u);
  shell.log.answer = 33;
  ASSERT_TRUE(HostClickButton(GetDlgItem(page, IDC_ABOUT_MAIL)));
  EXPECT_EQ(LinkColor(page, IDC_ABOUT_MAIL), 0x800080u);
  // A page opened later shows the line as visited from the start.
  HostCommandPanel again;
  AddCommandPanelAbout(&again, &desc, 0);
  EXPECT_EQ(LinkColor(OnlyPage(again.Rollups()), IDC_ABOUT_MAIL), 0x800080u);
}

// ---- Command panel ------------------------------------------------------------

TEST(CmdPanelAbout, ClosedFlagAndRemoveWithBitZero) {
  HostCommandPanel panel;
  TestDesc2 desc;
  AddCommandPanelAbout(&panel, &desc, 1);
  EXPECT_EQ(desc.calls, kGatherOrder);
  std::vector<HostRollupInfo> rollups = panel.Rollups();
  HWND page = OnlyPage(rollups);
  EXPECT_FALSE(rollups[0].open);
  EXPECT_EQ(rollups[0].title, "About");
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_ABOUT_VERSION)), kTwoLines);
  std::optional<HostFontInfo> font = HostGetFontInfo(Info(GetDlgItem(page, IDC_ABOUT_NAME)).font);
  ASSERT_TRUE(font.has_value());
  EXPECT_EQ(font->height, 22);

  RemoveCommandPanelAbout(&panel, 2);
  EXPECT_TRUE(IsWindow(page));
  RemoveCommandPanelAbout(&panel, 3);
  EXPECT_FALSE(IsWindow(page));
  EXPECT_TRUE(panel.Rollups().empty());
  RemoveCommandPanelAbout(&panel, 1);  // nothing left to remove

  AddCommandPanelAbout(&panel, &desc, 0);
  EXPECT_TRUE(panel.Rollups().at(0).open);
}

// ---- Info utility ---------------------------------------------------------------

namespace {

// An interface of the host's that records what the utility asks of it.
class RecordingInterface : public Interface {
 public:
  HWND AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title, LPARAM param,
                     DWORD flags, int category) override {
    return panel.AddRollupPage(instance, dlgTemplate, proc, title, param, flags, category);
  }
  void DeleteRollupPage(HWND rollup) override {
    deleted.push_back(rollup);
    panel.DeleteRollupPage(rollup);
  }
  void RollupMouseMessage(HWND h, UINT m, WPARAM w, LPARAM l) override { panel.RollupMouseMessage(h, m, w, l); }
  int GetTime() override { return 0; }

  HostCommandPanel panel;
  std::vector<HWND> deleted;
};

}  // namespace

TEST(InfoUtility, TemplateAsCompiled) {
  HostDialogTemplate t = ExpectTemplateAsScripted(hInstance, QUORLLIB_RC, IDD_LIBINFO);
  EXPECT_TRUE(t.style & WS_VISIBLE);
  EXPECT_EQ(t.items[0].style & SS_TYPEMASK, static_cast<DWORD>(SS_CENTER));
  EXPECT_TRUE(t.items[1].style & SS_SUNKEN);
}

TEST(InfoUtility, ShowsTheLibraryVersionAndForwardsOnlyLeftMouse) {
  HostUtilityPanel panel;
  ASSERT_TRUE(panel.Open(GetLibInfoDesc()));
  std::vector<HostRollupInfo> rollups = panel.Rollups();
  HWND page = OnlyPage(rollups);
  EXPECT_EQ(rollups[0].title, "QuorlLib Info");
  EXPECT_EQ(WindowText(GetDlgItem(page, IDC_LIBINFO_VERSION)), "1.11");

  for (UINT m : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}) EXPECT_EQ(SendMessageA(page, m, 0, 7), TRUE);
  for (UINT m : {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEWHEEL}) EXPECT_EQ(SendMessageA(page, m, 0, 7), FALSE);
  const std::vector<HostMouseMessage>& got = panel.MouseMessages();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].message, static_cast<UINT>(WM_MOUSEMOVE));
  EXPECT_EQ(got[2].message, static_cast<UINT>(WM_LBUTTONUP));
  EXPECT_EQ(got[0].hwnd, page);
  panel.Close();
  EXPECT_FALSE(IsWindow(page));
}

TEST(InfoUtility, ClosingDeletesThroughTheInterfacePassedIn) {
  RecordingInterface opened, closing;
  auto* util = static_cast<UtilityObj*>(GetLibInfoDesc()->Create(FALSE));
  util->BeginEditParams(&opened, nullptr);
  HWND page = OnlyPage(opened.panel.Rollups());
  util->EndEditParams(&closing, nullptr);
  util->DeleteThis();
  EXPECT_TRUE(opened.deleted.empty());
  ASSERT_EQ(closing.deleted.size(), 1u);
  EXPECT_EQ(closing.deleted[0], page);
  // Mouse messages after the close have no interface to go to.
  EXPECT_EQ(SendMessageA(page, WM_LBUTTONDOWN, 0, 0), TRUE);
  EXPECT_TRUE(opened.panel.MouseMessages().empty());
  // The same object serves the next opening.
  EXPECT_EQ(GetLibInfoDesc()->Create(FALSE), util);
}
