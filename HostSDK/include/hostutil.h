// Small services of the host that plug-ins call by name.
#pragma once

#include <cstdlib>

#include "hostsdk_api.h"
#include "windows.h"

// Reports an internal fault of a plug-in (line and source file) and returns;
// the caller goes on with its fallback result. The host decides what a report
// does (hostside/handlers.h); by default one line goes to standard error.
HOSTSDK_API void assert1(int line, const char* file);

// The value limited to [low, high]. A value that compares with neither bound
// (NaN) comes back unchanged.
template <typename T>
inline T clamp(T value, T low, T high) {
  return value < low ? low : (value > high ? high : value);
}
inline float clamp(float value, float low, float high) { return value < low ? low : (value > high ? high : value); }

// A short note a module publishes about itself while it starts, one line of
// text that the host shows with the module's description (for instance which
// code path it chose for this processor). A later call replaces the note; an
// empty text or null removes it. Calls for a module that is not loaded are
// ignored.
HOSTSDK_API void SetModuleNote(HINSTANCE module, const char* text);

// Frees a block from malloc and nulls the pointer.
template <typename T>
inline void zfree(T** p) {
  if (*p) {
    std::free(*p);
    *p = nullptr;
  }
}

// Category texts of the host's standard texture-map groups, exported by the
// host's core library so that plug-in maps sort into the host's own lists.
extern HOSTSDK_API char TEXMAP_CAT_2D[];
extern HOSTSDK_API char TEXMAP_CAT_3D[];
extern HOSTSDK_API char TEXMAP_CAT_COMP[];
extern HOSTSDK_API char TEXMAP_CAT_COLMOD[];

class Point3;
// The host's smooth noise: a value in [-1, 1] for a point and a fourth
// coordinate (phase), continuous in all four.
HOSTSDK_API float noise4(Point3 p, float phase);
