// What the library's window-level tests share: dialog templates as compiled
// into this module and windows read back.
#pragma once

#include <gtest/gtest.h>
#include <strings.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "QuorlLibInternal.h"
#include "assert_capture.h"
#include "hostside/handlers.h"
#include "hostside/module_table.h"
#include "hostside/ui.h"
#include "resource_scripts.h"

inline HostDialogTemplate LoadTemplate(int id) { return LoadTemplate(hInstance, id); }

inline bool SameClass(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

inline std::string WindowText(HWND hwnd) { return Info(hwnd).text; }
