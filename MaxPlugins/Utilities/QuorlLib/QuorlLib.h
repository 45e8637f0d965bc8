// The public interface of QuorlLib.dlu: what the maker's plug-ins import.
#pragma once

#include <max.h>

#if defined(_WIN32)
#  if defined(QUORLLIB_BUILDING)
#    define QUORLLIB_API __declspec(dllexport)
#  else
#    define QUORLLIB_API __declspec(dllimport)
#  endif
#else
#  define QUORLLIB_API __attribute__((visibility("default")))
#endif

// ---- Identity, version check, categories, notifier -------------------------

// Version word of the library: minor in hundredths in bits 0-7, major in bits
// 8-15, compatibility generation (the host API number) in bits 16-23.
constexpr unsigned long QUORLLIB_VERSION = 0x8010B;  // 1.11, generation 8

QUORLLIB_API int testFunction();
QUORLLIB_API unsigned long QuorlLibVersion();
QUORLLIB_API char* QuorlLibName();
// 1 when the loaded library serves a plug-in built for host release `release`
// (release x 1000) that requires library version word `required`; otherwise
// tells the user why not in a message box and returns 0.
QUORLLIB_API int CheckQuorlLibVersion(unsigned long release, unsigned long required, char* name);
// Formats a message and shows it in a warning box captioned "Notifier...".
QUORLLIB_API void notifier(char* format, ...);
// Category text of the maker's plug-ins for code 1 to 15; owned by the library.
QUORLLIB_API char* GetQuorlCategoryString(int code);
QUORLLIB_API char* QGetString(int id);

// ---- Lattice value noise ---------------------------------------------------

// Deterministic value noise in [0, 1]. The lattice repeats every 43 units along
// x, y and z and every 13 along w, and mirrors at -10000 on every axis.
QUORLLIB_API float qnoise2(Point2 p);
QUORLLIB_API float qnoise3(Point3 p);
QUORLLIB_API float qnoise4(Point3 p, float w);
