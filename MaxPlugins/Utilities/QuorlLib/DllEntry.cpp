// The library's module entry point, the host's entry points and the notifier.
#include "DllEntry.h"

#include <custcont.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "NoisePaths.h"
#include "QuorlLib.h"
#include "QuorlLibInternal.h"

HINSTANCE hInstance = nullptr;

// The info utility's descriptor (QuorlLib.cpp).

namespace {
int controlsInit = 0;
const char libDescription[] = "Quorl Studio's 3D Studio Max Plugins - http://www.quorlstudio.example";
}  // namespace

BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD reason, LPVOID /*reserved*/) {
  hInstance = hinstDLL;
  // Which noise code this process runs is worth knowing when comparing
  // timings; the host shows the note with the library.
  if (reason == DLL_PROCESS_ATTACH) SetModuleNote(hinstDLL, LoadedNoisePathNote());
  // The entry point runs for every thread that starts or ends; the controls
  // are registered once per process.
  if (!controlsInit) {
    controlsInit = 1;
    InitCustomControls(hInstance);
    InitCommonControls();
  }
  return TRUE;
}

// ---- Entry points the host looks up by name --------------------------------

const char* LibDescription() { return libDescription; }

int LibNumberClasses() { return 2; }

ClassDesc* LibClassDesc(int i) {
  switch (i) {
    case 0: return GetPerturbDesc();
    case 1: return GetLibInfoDesc();
    default: assert1(34, __FILE__); return nullptr;
  }
}

// The host version the library is built for; the host refuses other ones.
ULONG LibVersion() { return VERSION_3DSMAX; }

// ---- Notifier --------------------------------------------------------------

void notifier(char* format, ...) {
  // Messages up to 255 characters are formatted in place; a longer one gets a
  // buffer of its own size, so it is shown whole and never overruns.
  char buf[256];
  va_list ap;
  va_start(ap, format);
  va_list again;
  va_copy(again, ap);
  int n = std::vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  if (n >= static_cast<int>(sizeof buf)) {
    size_t size = static_cast<size_t>(n) + 1;
    char* big = static_cast<char*>(std::malloc(size));
    if (big) std::vsnprintf(big, size, format, again);
    va_end(again);
    MessageBoxA(nullptr, big ? big : buf, "Notifier...", MB_OK | MB_ICONEXCLAMATION);
    std::free(big);
    return;
  }
  va_end(again);
  if (n < 0) buf[0] = 0;
  MessageBoxA(nullptr, buf, "Notifier...", MB_OK | MB_ICONEXCLAMATION);
}
