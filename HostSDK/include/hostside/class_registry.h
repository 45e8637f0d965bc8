// The process's list of classes: the host's own and every loaded plug-in
// file's. One registry per process, in the host layer.
#pragma once

#include <string>
#include <vector>

#include "../plugapi.h"

struct RegisteredClass {
  ClassDesc* desc;
  std::string source;  // the plug-in file, or "(host)" for the host's own classes
};

// Registers a descriptor. A second descriptor with the same super class and
// class id is refused (false), the first one stays.
HOSTSDK_API bool HostRegisterClass(ClassDesc* desc, const std::string& source);
// Drops every class registered from `source` (a plug-in file being closed).
HOSTSDK_API void HostUnregisterClasses(const std::string& source);
HOSTSDK_API std::vector<RegisteredClass> HostClasses();
HOSTSDK_API ClassDesc* HostFindClass(SClass_ID superClass, Class_ID classId);
// By ClassName or InternalName, ignoring case, spaces, hyphens and underscores.
HOSTSDK_API ClassDesc* HostFindClassByName(const std::string& name);
// Ensures the host's own classes (parameter blocks, ...) are registered.
HOSTSDK_API void HostRegisterBuiltinClasses();
