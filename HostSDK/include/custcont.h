// The host's custom controls (edit fields, spinners, colour swatches, buttons).
#pragma once

#include "windows.h"

// Registers the host's custom control classes for a module; records that it ran.
HOSTSDK_API void InitCustomControls(HINSTANCE instance);
