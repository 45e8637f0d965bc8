// Identity, version check, categories and strings of the library.
#include "QuorlLib.h"

#include "QuorlLibInternal.h"

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
    default:
      assert1(67, __FILE__);
      return emptyText;
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
