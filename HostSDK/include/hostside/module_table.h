// Loaded modules and their compiled resources.
//
// Each plug-in file (and any other module built with the host layer's entry
// object) registers itself here while it loads, before its DllMain runs, with
// its instance handle (its load address), its file and the bytes of its
// compiled resource file (.res). It unregisters after its last DllMain call.
// The table is how LoadStringA and later the dialog and bitmap loaders find a
// module's resources from its instance handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "../windows.h"

// A resource type or name: a 16-bit number or a text (upper-cased, as
// Windows compares resource names without case).
struct HOSTSDK_API ResId {
  bool isNumber = true;
  uint16_t number = 0;
  std::string text;

  static ResId Num(uint16_t n) { return ResId{true, n, {}}; }
  static ResId Name(std::string s);
  static ResId From(LPCSTR p);  // MAKEINTRESOURCE value or a text
  bool operator==(const ResId& o) const;
  std::string ToString() const;
};

struct ResEntry {
  ResId type;
  ResId name;
  uint16_t language = 0;
  std::span<const uint8_t> data;
};

// Parses a compiled resource file. Returns nullopt, with a reason in *error,
// for bytes that are not a well-formed .res file; nothing is read outside
// `bytes`.
HOSTSDK_API std::optional<std::vector<ResEntry>> HostParseResFile(std::span<const uint8_t> bytes,
                                                                  std::string* error = nullptr);

// Called by the entry object of each module.
HOSTSDK_API void HostRegisterModule(HINSTANCE instance, const char* path, const uint8_t* res, size_t resSize);
HOSTSDK_API void HostUnregisterModule(HINSTANCE instance);

HOSTSDK_API bool HostIsModuleLoaded(HINSTANCE instance);
HOSTSDK_API std::string HostModulePath(HINSTANCE instance);
// The first resource of that type and name in the module (any language), or
// an empty span. The bytes live as long as the module.
HOSTSDK_API std::span<const uint8_t> HostFindResource(HINSTANCE instance, const ResId& type, const ResId& name);
// The note the module published about itself (SetModuleNote); empty if none.
HOSTSDK_API std::string HostModuleNote(HINSTANCE instance);
// Problems met while registering the module's resources (empty when fine).
HOSTSDK_API std::string HostModuleResourceError(HINSTANCE instance);
