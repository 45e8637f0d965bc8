// The process's list of classes: the host's own and every loaded plug-in
// file's. One registry per process, in the host layer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "../plugapi.h"

class ReferenceTarget;

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
// The key a name is compared by: lower case, without spaces, tabs, hyphens
// and underscores ("Host Test-Widget" and "host_test_widget" are one name).
HOSTSDK_API std::string HostNameKey(std::string_view name);
// The class name the host shows for an object: its registered class's, or
// the object's own GetClassName where the class gives none.
HOSTSDK_API std::string HostClassName(ReferenceTarget* object);
// "0x0000ABCD": how the host writes a 32-bit word (class ids, super classes).
HOSTSDK_API std::string HostHexWord(unsigned long word);
// "(0x761983AE, 0x9B35C99C)".
HOSTSDK_API std::string HostClassIdText(Class_ID id);
// Ensures the host's own classes (parameter blocks, ...) are registered.
HOSTSDK_API void HostRegisterBuiltinClasses();
