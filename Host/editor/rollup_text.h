// The rollups of a panel as text, for the command line: each rollup's title
// and, depth first, every shown control with its id, class, text, value,
// state and rectangle, as the host's window table reads them back.
#pragma once

#include <hostside/ui.h>

#include <vector>

namespace plughost {

void PrintRollups(const std::vector<HostRollupInfo>& rollups);

}  // namespace plughost
