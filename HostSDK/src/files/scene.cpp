// Scenes: the roots a scene holds, and the names the host gives parameters.
#include <algorithm>

#include "files/scene_format.h"
#include "hostside/class_registry.h"
#include "hostside/scene_file.h"
#include "ioapi.h"

using hostscene::TargetHolder;

class Scene::Holder : public TargetHolder {
 public:
  std::map<std::string, double> settings;
};

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

void Scene::SetSetting(const std::string& name, double value) { holder_->settings[name] = value; }
bool Scene::GetSetting(const std::string& name, double* value) const {
  auto it = holder_->settings.find(name);
  if (it == holder_->settings.end()) return false;
  *value = it->second;
  return true;
}
const std::map<std::string, double>& Scene::Settings() const { return holder_->settings; }

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

std::vector<HostParamChoice> HostParamChoices(ReferenceMaker* owner, ReferenceTarget* block, int index) {
  auto* source = dynamic_cast<HostParamChoiceSource*>(owner);
  return source ? source->ParamChoices(block, index) : std::vector<HostParamChoice>{};
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

}  // namespace hostscene
