// The maker's About rollup: the plug-in's name in a large bold font, its
// version and build, the host release it was built for, its rights notice,
// the maker's web and mail lines and the logo. One rollup of each kind
// (command panel, material editor) is tracked at a time: each add overwrites
// the texts and the kept handle of its kind.
#include <cstdint>

#include "QuorlLib.h"
#include "QuorlLibInternal.h"
#include "resource.h"

namespace {

const char kWebAddress[] = "http://www.quorlstudio.example";
const char kSupportMail[] = "mailto:support@quorlstudio.example";

// Link lines are drawn blue until opened, purple afterwards (COLORREFs).
constexpr COLORREF kLinkColor = 0xFF0000;
constexpr COLORREF kVisitedColor = 0x800080;

// The title font's look; only the height differs between the kinds.
constexpr int kCmdPanelTitleHeight = 22;
constexpr int kMtlEditorTitleHeight = 32;
constexpr DWORD kRomanVariablePitch = FF_ROMAN | VARIABLE_PITCH;  // 18

class AboutPanel {
 public:
  AboutPanel(int titleHeight, HFONT* titleFont) : titleHeight_(titleHeight), titleFont_(titleFont) {}

  CStr name;
  CStr buildText;
  float version = 0.0f;
  CStr rightsNotice;
  CStr versionText;
  COLORREF linkColor = kLinkColor;
  COLORREF visitedColor = kVisitedColor;
  int webVisited = 0;
  int mailVisited = 0;
  HWND rollup = nullptr;

  // Reads the four About values and the class name, in the order the maker's
  // plug-ins expect to be asked, and formats the version lines.
  template <class Info>
  void Gather(Info* about, ClassDesc* desc) {
    CStr rights = about->RightsNotice();
    float pluginVersion = about->PluginVersion();
    int maxVersion = about->MaxVersion();
    CStr build = about->BuildDate();
    const char* className = desc->ClassName();
    name = className ? className : "";
    buildText = build;
    version = pluginVersion;
    rightsNotice = rights;
    // The host release sits in the upper 16 bits, times 1000; the API and SDK
    // numbers below it are not shown.
    float release = static_cast<float>(static_cast<unsigned>(maxVersion) >> 16) / 1000.0f;
    versionText.printf("Version %.2f, %s\n3D Studio Max %.1f build", static_cast<double>(version), buildText.data(),
                       static_cast<double>(release));
  }

  INT_PTR Handle(HWND hWnd, UINT msg, WPARAM wParam, LPARAM /*lParam*/) {
    switch (msg) {
      case WM_INITDIALOG: {
        HFONT font = CreateFontA(titleHeight_, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, kRomanVariablePitch, "");
        *titleFont_ = font;
        // The page keeps the font it was given, so that it releases its own
        // even when a later page of the same kind has replaced titleFont.
        SetWindowLongPtrA(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(font));
        SetDlgItemTextA(hWnd, IDC_ABOUT_NAME, name);
        SendDlgItemMessageA(hWnd, IDC_ABOUT_NAME, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        SetDlgItemTextA(hWnd, IDC_ABOUT_VERSION, versionText);
        SetDlgItemTextA(hWnd, IDC_ABOUT_RIGHTS, rightsNotice);
        ShowLink(hWnd, IDC_ABOUT_WEB, webVisited);
        ShowLink(hWnd, IDC_ABOUT_MAIL, mailVisited);
        return TRUE;
      }
      case WM_DESTROY: {
        auto font = reinterpret_cast<HFONT>(GetWindowLongPtrA(hWnd, DWLP_USER));
        if (font) {
          SetWindowLongPtrA(hWnd, DWLP_USER, 0);
          if (*titleFont_ == font) *titleFont_ = nullptr;
          DeleteObject(font);
        }
        return TRUE;
      }
      case WM_COMMAND:
        if (HIWORD(wParam) != STN_CLICKED) return FALSE;
        if (LOWORD(wParam) == IDC_ABOUT_WEB) {
          if (OpenWebsite()) ShowLink(hWnd, IDC_ABOUT_WEB, webVisited);
          return TRUE;
        }
        if (LOWORD(wParam) == IDC_ABOUT_MAIL) {
          if (OpenSupportMail()) ShowLink(hWnd, IDC_ABOUT_MAIL, mailVisited);
          return TRUE;
        }
        return FALSE;
      default: return FALSE;
    }
  }

  // Each opens its address in the user's browser or mail program and
  // remembers that it was opened; true when the shell took it.
  bool OpenWebsite() { return Open(kWebAddress, webVisited); }
  bool OpenSupportMail() { return Open(kSupportMail, mailVisited); }

 private:
  static bool Open(const char* address, int& visited) {
    HINSTANCE result = ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<intptr_t>(result) <= 32) return false;
    visited = 1;
    return true;
  }

  // The colour a link line is drawn in is kept in the line's own user data,
  // where the host's drawing (and anybody reading the page) finds it.
  void ShowLink(HWND hWnd, int id, int visited) {
    HWND line = GetDlgItem(hWnd, id);
    if (!line) return;
    SetWindowLongPtrA(line, GWL_USERDATA, static_cast<LONG_PTR>(visited ? visitedColor : linkColor));
    InvalidateRect(line, nullptr, TRUE);
  }

  int titleHeight_;
  HFONT* titleFont_;
};

HFONT cmdPanelTitleFont = nullptr;
HFONT mtlEditorTitleFont = nullptr;

AboutPanel cmdPanelAbout(kCmdPanelTitleHeight, &cmdPanelTitleFont);
AboutPanel mtlEditorAbout(kMtlEditorTitleHeight, &mtlEditorTitleFont);

// Both kinds: the panel object comes with WM_INITDIALOG and stays in the
// page's user data; messages before it are left to the default handling.
INT_PTR AboutDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) SetWindowLongPtrA(hWnd, GWL_USERDATA, lParam);
  auto* panel = reinterpret_cast<AboutPanel*>(GetWindowLongPtrA(hWnd, GWL_USERDATA));
  if (!panel) return FALSE;
  return panel->Handle(hWnd, msg, wParam, lParam);
}

INT_PTR CALLBACK CmdPanelAboutDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return AboutDlgProc(hWnd, msg, wParam, lParam);
}

INT_PTR CALLBACK MtlEditorAboutDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return AboutDlgProc(hWnd, msg, wParam, lParam);
}

void AddToMtlEditor(IMtlParams* ip) {
  mtlEditorAbout.rollup = ip->AddRollupPage(hInstance, MAKEINTRESOURCE(IDD_ABOUT_MTLEDIT), MtlEditorAboutDlgProc,
                                            "About", reinterpret_cast<LPARAM>(&mtlEditorAbout), 0, ROLLUP_CAT_STANDARD);
}

}  // namespace

void AddCommandPanelAbout(IObjParam* ip, QuorlClassDesc2* cd, int closed) {
  cmdPanelAbout.Gather(static_cast<AboutInfo*>(cd), cd);
  cmdPanelAbout.rollup =
      ip->AddRollupPage(hInstance, MAKEINTRESOURCE(IDD_ABOUT_CMDPANEL), CmdPanelAboutDlgProc, "About",
                        reinterpret_cast<LPARAM>(&cmdPanelAbout), closed ? APPENDROLL_CLOSED : 0, ROLLUP_CAT_STANDARD);
}

void RemoveCommandPanelAbout(IObjParam* ip, unsigned long flags) {
  // Bit 0 of EndEditParams' flags: the panel is really closing (not just
  // switching to another object of the same class).
  if (!(flags & 1)) return;
  if (cmdPanelAbout.rollup) ip->DeleteRollupPage(cmdPanelAbout.rollup);
  cmdPanelAbout.rollup = nullptr;
}

void AddAboutPanel(IMtlParams* ip, QuorlClassDesc* cd) {
  mtlEditorAbout.Gather(cd, cd);
  AddToMtlEditor(ip);
}

void AddAboutPanel(IMtlParams* ip, QuorlClassDesc2* cd) {
  mtlEditorAbout.Gather(static_cast<AboutInfo*>(cd), cd);
  AddToMtlEditor(ip);
}
