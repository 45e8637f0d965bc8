// Dialog templates (DIALOG and DIALOGEX) as compiled resources hold them.
#include <hostside/ui.h>

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  (void)HostParseDialogTemplate(std::span<const uint8_t>(data, size), &error);
  return 0;
}
