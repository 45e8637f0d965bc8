// The host's own maps, as the host program drives them.
#pragma once

#include <string>

#include "../imtl.h"

// Points a bitmap map at a PNG file and loads it; false with a reason when
// the file cannot be read (the map then shows transparent black).
HOSTSDK_API bool HostSetBitmapFile(Texmap* map, const char* file, std::string* error);
