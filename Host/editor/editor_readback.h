// The state of a panel's windows as the editor page draws it: every rollup
// and, depth first in creation order, every control of its page with its
// class, what a person sees of it (text, font, rectangle in pixels from the
// dialog template, visibility, enabled state) and what it holds (check, spinner
// value and range, key brackets, colour, image). All of it is read back from
// the host's window table; nothing is derived from a plug-in.
#pragma once

#include <hostside/ui.h>

#include <nlohmann/json.hpp>
#include <vector>

namespace plughost {

// One entry per rollup, in stacking order.
nlohmann::json RollupsJson(const std::vector<HostRollupInfo>& rollups);

// The bitmap a static shows, when `hwnd` is one below `root`; else null.
HBITMAP BitmapBelow(HWND root, HWND hwnd);

}  // namespace plughost
