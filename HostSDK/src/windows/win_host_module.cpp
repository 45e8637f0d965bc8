// The host layer as a module of its own: its compiled resources (the rollups
// of the host's own objects) are registered under its instance handle, its
// load address, the first time they are needed.
#include <dlfcn.h>

#include "hostside/module_table.h"
#include "windows/win_internal.h"

extern "C" {
// Bounds of the host layer's compiled resources (win_host_resources.S.in).
extern const uint8_t hostsdk_own_res_begin[] __attribute__((visibility("hidden")));
extern const uint8_t hostsdk_own_res_end[] __attribute__((visibility("hidden")));
}

namespace hostui {

HINSTANCE HostOwnInstance() {
  static HINSTANCE instance = [] {
    Dl_info info{};
    dladdr(static_cast<const void*>(hostsdk_own_res_begin), &info);
    auto self = static_cast<HINSTANCE>(info.dli_fbase);
    HostRegisterModule(self, info.dli_fname, hostsdk_own_res_begin,
                       static_cast<size_t>(hostsdk_own_res_end - hostsdk_own_res_begin));
    return self;
  }();
  return instance;
}

}  // namespace hostui
