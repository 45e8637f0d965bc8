// The edits the editor's page posts over the network: any body either asks for
// an action of a known kind, or is refused with one line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "editor/http_front.h"

using namespace plughost;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  EditAction action{};
  std::string reason;
  if (!ActionFromRequest(body, &action, &reason)) {
    if (reason.empty() || reason.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  if (action.arg.empty() || ActionText(action).rfind("--", 0) != 0) std::abort();
  return 0;
}
