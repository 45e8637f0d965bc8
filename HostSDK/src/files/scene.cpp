// Scenes: the roots a scene holds, and the names the host gives parameters.
#include <algorithm>
#include <cstdio>

#include "files/scene_format.h"
#include "hostside/class_registry.h"
#include "hostside/scene_file.h"
#include "ioapi.h"

using hostscene::TargetHolder;

class Scene::Holder : public TargetHolder {};

Scene::Scene() : holder_(new Holder) {}
Scene::~Scene() {
  // Dropped while the holder is whole, so each reference it loses reaches its
  // own SetReference; then the holder itself goes.
  holder_->DropAll();
  delete holder_;
}

void Scene::AddRoot(ReferenceTarget* root) {
  if (root && !holder_->Holds(root)) holder_->Add(root);
}
int Scene::NumRoots() const { return holder_->NumRefs(); }
ReferenceTarget* Scene::Root(int i) const { return holder_->GetReference(i); }

bool HostIsSceneSuperClass(SClass_ID superClass) {
  // A utility's Create hands out a UtilityObj, which is no Animatable at all.
  return superClass != UTILITY_CLASS_ID;
}

namespace {
ParamNameFallback g_paramNameFallback = nullptr;
}

ParamNameFallback HostSetParamNameFallback(ParamNameFallback fallback) {
  ParamNameFallback old = g_paramNameFallback;
  g_paramNameFallback = fallback;
  return old;
}

std::string HostParamName(ReferenceMaker* owner, ReferenceTarget* block, int index) {
  if (!owner) return {};
  GetParamName query(CStr(""), index);
  PartID part = reinterpret_cast<PartID>(&query);
  if (owner->NotifyRefChanged(FOREVER, block, part, REFMSG_GET_PARAM_NAME) == REF_STOP) return query.name.data();
  return g_paramNameFallback ? g_paramNameFallback(owner, block, index) : std::string();
}

const char* HostParamTypeName(ParamType type) {
  switch (type) {
    case TYPE_FLOAT: return "float";
    case TYPE_INT: return "int";
    case TYPE_RGBA: return "color";
    case TYPE_POINT3: return "point3";
    case TYPE_BOOL: return "bool";
  }
  return "unknown";
}

namespace hostscene {

bool IsBlockClass(SClass_ID superClass, Class_ID classId) {
  return superClass == PARAMETER_BLOCK_CLASS_ID && classId == PARAMETER_BLOCK_CLASS;
}

std::string Hex32(unsigned long v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", v & 0xFFFFFFFFul);
  return buf;
}

std::string ClassIdText(Class_ID id) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "(0x%08lX, 0x%08lX)", id.PartA() & 0xFFFFFFFFul, id.PartB() & 0xFFFFFFFFul);
  return buf;
}

std::string ClassNameOf(ReferenceTarget* t) {
  if (ClassDesc* d = HostFindClass(t->SuperClassID(), t->ClassID())) return d->ClassName() ? d->ClassName() : "";
  CStr s;
  t->GetClassName(s);
  return s.data();
}

}  // namespace hostscene
