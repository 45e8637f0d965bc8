// Compiled resource files (.res): parsed whole, then read through as a
// module's resources are: string tables through LoadStringA, bitmaps through
// the DIB reader.
#include <hostside/module_table.h>
#include <hostside/ui.h>
#include <windows.h>

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto parsed = HostParseResFile(std::span<const uint8_t>(data, size));
  if (!parsed) return 0;
  // A module of these resources, at an instance handle no module has.
  auto* instance = reinterpret_cast<HINSTANCE>(uintptr_t{0x7E570000});
  HostRegisterModule(instance, "fuzz.res", data, size);
  char text[64];
  for (const ResEntry& e : *parsed) {
    if (e.type.isNumber && e.type.number == 6 && e.name.isNumber && e.name.number > 0) {
      for (UINT k = 0; k < 16; ++k) LoadStringA(instance, (e.name.number - 1u) * 16u + k, text, sizeof text);
    }
    if (e.type.isNumber && e.type.number == 2) (void)HostParseDib(e.data);
  }
  HostUnregisterModule(instance);
  return 0;
}
