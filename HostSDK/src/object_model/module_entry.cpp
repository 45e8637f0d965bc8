// The entry object, compiled into every module built with the host layer and
// linked after the module's own sources.
//
// A shared object runs its static initialisers in link order, so this one
// runs after every static object of the module exists: it registers the
// module's embedded resources under the module's instance handle (its load
// address) and then calls the module's DllMain(instance, DLL_PROCESS_ATTACH).
// At unload its destructor, which runs before the module's other static
// objects are destroyed, calls DllMain(instance, DLL_PROCESS_DETACH).
#include <dlfcn.h>

#include "hostside/module_table.h"
#include "windows.h"

extern "C" {
// Bounds of the module's compiled resources (see cmake/resource_embed.S.in).
extern const uint8_t hostsdk_module_res_begin[] __attribute__((visibility("hidden")));
extern const uint8_t hostsdk_module_res_end[] __attribute__((visibility("hidden")));
}

// Each module defines its own; hidden, so the call binds inside the module.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

class ModuleEntry {
 public:
  ModuleEntry() {
    Dl_info info{};
    dladdr(static_cast<const void*>(hostsdk_module_res_begin), &info);
    instance_ = static_cast<HINSTANCE>(info.dli_fbase);
    HostRegisterModule(instance_, info.dli_fname, hostsdk_module_res_begin,
                       static_cast<size_t>(hostsdk_module_res_end - hostsdk_module_res_begin));
    DllMain(instance_, DLL_PROCESS_ATTACH, nullptr);
  }
  ~ModuleEntry() {
    DllMain(instance_, DLL_PROCESS_DETACH, nullptr);
    HostUnregisterModule(instance_);
  }
  ModuleEntry(const ModuleEntry&) = delete;
  ModuleEntry& operator=(const ModuleEntry&) = delete;

 private:
  HINSTANCE instance_ = nullptr;
};

ModuleEntry g_moduleEntry;

}  // namespace
