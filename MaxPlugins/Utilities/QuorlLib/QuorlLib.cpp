// Identity, version check, categories and strings of the library, and its
// info utility.
#include "QuorlLib.h"

#include <cstdio>

#include "DllEntry.h"
#include "QuorlLibInternal.h"
#include "resource.h"

namespace {

char libName[] = "QuorlLib";
char emptyText[] = "";

// Codes 10 to 12 are the host's own texture categories; 6 and 7 are
// separate texts that read the same.
char cat1[] = "Quorl's Geometric/Deformable";
char cat2[] = "Quorl's Modifier-Based";
char cat3[] = "Quorl's Particles & Dynamics";
char cat4[] = "Quorl's Modifiers";
char cat5[] = "Quorl's Particles Only";
char cat6[] = "Quorl's Surface Modifiers";
char cat7[] = "Quorl's Surface Modifiers";
char cat8[] = "Quorl's Renderers";
char cat9[] = "Quorl's Objects";
char cat13[] = "Quorl's Materials";
char cat14[] = "Quorl's Utilities";
char cat15[] = "Quorl's Shadow Plugins";

char stringBuf[256];

struct VersionParts {
  unsigned generation, major, minor;
};
VersionParts Split(unsigned long word) {
  return {static_cast<unsigned>((word >> 16) & 0xFF), static_cast<unsigned>((word >> 8) & 0xFF),
          static_cast<unsigned>(word & 0xFF)};
}
// Display form: major + minor x 0.01, in single precision.
float DisplayVersion(const VersionParts& v) {
  return static_cast<float>(v.major) + static_cast<float>(v.minor) * 0.01f;
}

char obsoleteFormat[] =
    "Obsolete plugin version, %s, which will not work with the current system configuration.  "
    "Make sure you are using at least version %.02f of %s.dlu in Max R%d.x, and that %s is the latest version.";
char newerFormat[] =
    "%s requires at least version %.02f of %s.dlu.  You currently have %s V%.02f installed.  "
    "Please install a new %s.dlu.";

}  // namespace

int testFunction() { return 0; }

unsigned long QuorlLibVersion() { return QUORLLIB_VERSION; }

char* QuorlLibName() { return libName; }

int CheckQuorlLibVersion(unsigned long release, unsigned long required, char* name) {
  VersionParts own = Split(QuorlLibVersion());
  VersionParts req = Split(required);
  double requiredShown = DisplayVersion(req);
  double installedShown = DisplayVersion(own);
  if (req.generation != own.generation || req.major != own.major) {
    notifier(obsoleteFormat, name, requiredShown, QuorlLibName(), static_cast<int>(release / 1000), name);
    return 0;
  }
  if (req.minor > own.minor) {
    notifier(newerFormat, name, requiredShown, QuorlLibName(), QuorlLibName(), installedShown, QuorlLibName());
    return 0;
  }
  return 1;
}

char* GetQuorlCategoryString(int code) {
  switch (code) {
    case 1: return cat1;
    case 2: return cat2;
    case 3: return cat3;
    case 4: return cat4;
    case 5: return cat5;
    case 6: return cat6;
    case 7: return cat7;
    case 8: return cat8;
    case 9: return cat9;
    case 10: return TEXMAP_CAT_2D;
    case 11: return TEXMAP_CAT_3D;
    case 12: return TEXMAP_CAT_COMP;
    case 13: return cat13;
    case 14: return cat14;
    case 15: return cat15;
    default: assert1(67, __FILE__); return emptyText;
  }
}

char* QGetString(int /*id*/) {
  assert1(22, __FILE__);
  return nullptr;
}

char* GetString(int id) {
  if (!hInstance) return nullptr;
  if (id < 0) return nullptr;
  return LoadStringA(hInstance, static_cast<UINT>(id), stringBuf, sizeof stringBuf) > 0 ? stringBuf : nullptr;
}

// ---- Info utility ----------------------------------------------------------
//
// "QuorlLib Info" in the utility panel: a rollup with the library's name and
// version. One static object serves every opening.

namespace {

constexpr int kInfoDialog = IDD_LIBINFO;              // the rollup's dialog template
constexpr int kVersionControl = IDC_LIBINFO_VERSION;  // the static text that shows the version

INT_PTR CALLBACK LibInfoDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

class LibInfoUtility : public UtilityObj {
 public:
  HWND hPanel = nullptr;  // the rollup while the utility is open
  IUtil* iu = nullptr;
  Interface* ip = nullptr;

  void BeginEditParams(Interface* hostIp, IUtil* utilIu) override {
    iu = utilIu;
    ip = hostIp;
    hPanel = hostIp->AddRollupPage(hInstance, MAKEINTRESOURCE(kInfoDialog), LibInfoDlgProc,
                                   GetString(IDS_LIBINFO_TITLE), 0, 0, ROLLUP_CAT_STANDARD);
  }

  void EndEditParams(Interface* hostIp, IUtil* /*utilIu*/) override {
    iu = nullptr;
    ip = nullptr;
    // The page goes through the interface the host passes now, which need
    // not be the one kept at the opening.
    if (hostIp && hPanel) hostIp->DeleteRollupPage(hPanel);
    hPanel = nullptr;
  }

  // The object is the library's static instance, handed out again by the
  // next Create: the host's "done with it" leaves it as it is.
  void DeleteThis() override {}
};

LibInfoUtility theLibInfo;

INT_PTR CALLBACK LibInfoDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      char text[32];
      std::snprintf(text, sizeof text, "%.02f", static_cast<double>(DisplayVersion(Split(QuorlLibVersion()))));
      SendMessageA(GetDlgItem(hWnd, kVersionControl), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
      return TRUE;
    }
    case WM_DESTROY:
    case WM_COMMAND: return TRUE;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      // Dragging in the rollup scrolls the panel; the host does that. A
      // message that arrives while the utility is closed has nobody to go to.
      if (theLibInfo.ip) theLibInfo.ip->RollupMouseMessage(hWnd, msg, wParam, lParam);
      return TRUE;
    default: return FALSE;
  }
}

class LibInfoClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  void* Create(BOOL /*loading*/) override { return static_cast<UtilityObj*>(&theLibInfo); }
  const char* ClassName() override { return "QuorlLib"; }
  SClass_ID SuperClassID() override { return UTILITY_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(0x31A9E10C, 0x41BE84EF); }
  const char* Category() override { return GetQuorlCategoryString(14); }
  const char* InternalName() override { return "QuorlLib"; }
  HINSTANCE HInstance() override { return hInstance; }
};

LibInfoClassDesc theLibInfoDesc;

}  // namespace

ClassDesc* GetLibInfoDesc() { return &theLibInfoDesc; }
