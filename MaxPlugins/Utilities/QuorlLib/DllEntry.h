// The library's plug-in entry points, which the host looks up by these names
// in the file; and its info utility's descriptor.
#pragma once

#include "QuorlLib.h"

extern "C" {
QUORLLIB_API const char* LibDescription();
QUORLLIB_API int LibNumberClasses();
QUORLLIB_API ClassDesc* LibClassDesc(int i);
QUORLLIB_API ULONG LibVersion();
}

// The info utility's class descriptor (inside the library only).
ClassDesc* GetLibInfoDesc();
