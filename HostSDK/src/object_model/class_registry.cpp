// The process's class registry.
#include "hostside/class_registry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>

#include "iparamb.h"
#include "object_model/builtin_classes.h"
#include "ref.h"

namespace {

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}
std::vector<RegisteredClass>& Registry() {
  static std::vector<RegisteredClass> r;
  return r;
}

// Parameter blocks are the host's own class; the scene loader makes them.
class ParamBlockClassDesc : public ClassDesc {
 public:
  int IsPublic() override { return 0; }
  void* Create(BOOL) override { return CreateParameterBlock(nullptr, 0, 0); }
  const char* ClassName() override { return "ParamBlock"; }
  SClass_ID SuperClassID() override { return PARAMETER_BLOCK_CLASS_ID; }
  Class_ID ClassID() override { return PARAMETER_BLOCK_CLASS; }
  const char* Category() override { return ""; }
};

}  // namespace

bool HostRegisterClass(ClassDesc* desc, const std::string& source) {
  if (!desc) return false;
  std::lock_guard lock(RegistryMutex());
  for (const RegisteredClass& c : Registry())
    if (c.desc == desc || (c.desc->SuperClassID() == desc->SuperClassID() && c.desc->ClassID() == desc->ClassID()))
      return false;
  Registry().push_back({desc, source});
  return true;
}

void HostUnregisterClasses(const std::string& source) {
  std::lock_guard lock(RegistryMutex());
  auto& r = Registry();
  r.erase(std::remove_if(r.begin(), r.end(), [&](const RegisteredClass& c) { return c.source == source; }), r.end());
}

std::vector<RegisteredClass> HostClasses() {
  HostRegisterBuiltinClasses();
  std::lock_guard lock(RegistryMutex());
  return Registry();
}

ClassDesc* HostFindClass(SClass_ID superClass, Class_ID classId) {
  HostRegisterBuiltinClasses();
  std::lock_guard lock(RegistryMutex());
  for (const RegisteredClass& c : Registry())
    if (c.desc->SuperClassID() == superClass && c.desc->ClassID() == classId) return c.desc;
  return nullptr;
}

ClassDesc* HostFindClassByName(const std::string& name) {
  HostRegisterBuiltinClasses();
  std::string want = HostNameKey(name);
  std::lock_guard lock(RegistryMutex());
  for (const RegisteredClass& c : Registry()) {
    if (c.desc->ClassName() && HostNameKey(c.desc->ClassName()) == want) return c.desc;
    if (c.desc->InternalName() && HostNameKey(c.desc->InternalName()) == want) return c.desc;
  }
  return nullptr;
}

std::string HostNameKey(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c != ' ' && c != '\t' && c != '-' && c != '_')
      out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

std::string HostClassName(ReferenceTarget* object) {
  ClassDesc* d = HostFindClass(object->SuperClassID(), object->ClassID());
  if (d && d->ClassName()) return d->ClassName();
  CStr s;
  object->GetClassName(s);
  return s.data();
}

std::string HostHexWord(unsigned long word) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", word & 0xFFFFFFFFul);
  return buf;
}

std::string HostClassIdText(Class_ID id) {
  return "(" + HostHexWord(id.PartA()) + ", " + HostHexWord(id.PartB()) + ")";
}

void HostRegisterBuiltinClasses() {
  static ParamBlockClassDesc paramBlockDesc;
  static std::once_flag once;
  std::call_once(once, [] {
    HostRegisterClass(&paramBlockDesc, "(host)");
    HostRegisterClass(StdXYZGenDesc(), "(host)");
    HostRegisterClass(CheckerMapDesc(), "(host)");
    HostRegisterClass(BitmapMapDesc(), "(host)");
  });
}

void* CreateInstance(SClass_ID superClass, Class_ID classId) {
  ClassDesc* cd = HostFindClass(superClass, classId);
  return cd ? cd->Create(FALSE) : nullptr;
}
