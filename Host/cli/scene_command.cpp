#include "cli/scene_command.h"

#include <hostside/class_registry.h>
#include <hostside/file_io.h>
#include <hostside/paramblock_access.h>
#include <hostside/scene_file.h>
#include <imtl.h>

#include <cstdio>
#include <memory>
#include <set>

#include "common/failure.h"
#include "common/text.h"
#include "common/value_readers.h"
#include "scene/param_path.h"
#include "scene/scene_maps.h"

namespace plughost {

namespace {

std::string NameOf(ClassDesc* d) {
  if (d->ClassName()) return d->ClassName();
  return d->InternalName() ? d->InternalName() : "?";
}

std::string SceneClassList() {
  std::string s;
  for (const RegisteredClass& rc : HostClasses()) {
    if (!HostIsSceneSuperClass(rc.desc->SuperClassID()) || rc.desc->SuperClassID() == PARAMETER_BLOCK_CLASS_ID)
      continue;
    s += "\n  ";
    s += NameOf(rc.desc);
    s += rc.source == "(host)" ? " (the host's own)" : " (" + rc.source + ")";
  }
  return s.empty() ? " none (no plug-in file with such classes was loaded)" : s;
}

}  // namespace

int SceneNew(const std::string& out, const std::vector<std::string>& classes) {
  // Every class is found before anything is made.
  std::vector<ClassDesc*> descs;
  for (const std::string& name : classes) {
    ClassDesc* d = HostFindClassByName(name);
    if (!d) return Fail("unknown class '" + name + "'. Classes that can be placed in a scene:" + SceneClassList());
    if (!HostIsSceneSuperClass(d->SuperClassID())) {
      return Fail("class '" + NameOf(d) + "' (super class " + HostHexWord(d->SuperClassID()) +
                  ") cannot be placed in a scene. Classes that can:" + SceneClassList());
    }
    if (d->SuperClassID() == PARAMETER_BLOCK_CLASS_ID) {
      return Fail(
          "a parameter block is made by the object that uses it, not on its own. Classes that can be "
          "placed in a scene:" +
          SceneClassList());
    }
    descs.push_back(d);
  }
  Scene scene;
  for (ClassDesc* d : descs) {
    auto* obj = static_cast<ReferenceTarget*>(d->Create(FALSE));
    if (!obj) return Fail("class '" + NameOf(d) + "' created no object");
    scene.AddRoot(obj);
  }
  std::string error;
  if (!HostSaveScene(scene, out, &error)) return Fail(error);
  return 0;
}

int SceneSet(const std::string& file, const std::vector<std::string>& sets, const std::vector<std::string>& keys,
             const std::string& out) {
  ParamAssignments assignments;
  std::string error;
  if (!ParseAssignments(sets, keys, &assignments, &error)) return Fail(error);
  // Locked from the read to the save, so that edits of one file at once
  // queue instead of one undoing another.
  std::unique_ptr<HostFileLock> lock = HostLockFile(file, &error);
  if (!lock) return Fail("cannot read " + file + ": " + error);
  std::unique_ptr<Scene> scene = HostLoadScene(file, &error);
  if (!scene) return Fail(error);
  if (!ApplyAssignments(SceneRoots(*scene), assignments, &error)) return Fail(error);
  if (!HostSaveScene(*scene, out.empty() ? file : out, &error)) return Fail(error);
  return 0;
}

namespace {

// The effects channels the material editor offers.
constexpr int kMaxEffectsChannel = 15;

// Whether `to` is `from` or among what `from` references, however deep.
bool Reaches(ReferenceTarget* from, ReferenceTarget* to) {
  std::vector<ReferenceTarget*> open = {from};
  std::set<ReferenceTarget*> seen;
  while (!open.empty()) {
    ReferenceTarget* t = open.back();
    open.pop_back();
    if (t == to) return true;
    if (!t || !seen.insert(t).second) continue;
    for (int i = 0; i < t->NumRefs(); ++i) open.push_back(t->GetReference(i));
  }
  return false;
}

}  // namespace

int SceneMapVerb(const std::string& file, const MapVerb& verb, const std::string& out) {
  std::string error;
  int channel = 0;
  if (verb.kind == MapVerb::kChannel) {
    if (!ParseInt(verb.value, &channel, &error)) return Fail(error);
    if (channel < 0 || channel > kMaxEffectsChannel)
      return Fail("'" + verb.value + "' is out of range for an effects channel (0 to 15)");
  }
  if (verb.kind == MapVerb::kInstance && verb.into.empty())
    return Fail("instance needs --into: the map whose sub-map slot is to show the same map");
  std::unique_ptr<Scene> scene = HostLoadScene(file, &error);
  if (!scene) return Fail(error);
  Texmap* map = FindMap(*scene, verb.map, &error);
  if (!map) return Fail(file + ": " + error);
  Texmap* into = nullptr;
  if (!verb.into.empty()) {
    into = FindMap(*scene, verb.into, &error);
    if (!into) return Fail(file + ": --into " + error);
    if (verb.slot < 0 || verb.slot >= into->NumSubTexmaps()) {
      return Fail("'" + HostClassName(into) + "' has " + std::to_string(into->NumSubTexmaps()) +
                  " sub-map slot(s); there is no slot " + std::to_string(verb.slot));
    }
    if (verb.kind == MapVerb::kInstance && Reaches(map, into))
      return Fail("a map cannot show itself: '" + verb.into + "' is the map or a part of it");
  }
  switch (verb.kind) {
    case MapVerb::kReset: map->Reset(); break;
    case MapVerb::kRename: map->SetName(verb.value.c_str()); break;
    case MapVerb::kChannel: map->SetGBufID(static_cast<unsigned int>(channel)); break;
    case MapVerb::kCopy: {
      auto* copy = static_cast<Texmap*>(CloneRefHierarchy(map));
      if (!copy) return Fail("'" + HostClassName(map) + "' cannot be copied: its class makes no copy");
      if (into)
        into->SetSubTexmap(verb.slot, copy);
      else
        scene->AddRoot(copy);
      break;
    }
    case MapVerb::kInstance: into->SetSubTexmap(verb.slot, map); break;
  }
  if (!HostSaveScene(*scene, out.empty() ? file : out, &error)) return Fail(error);
  return 0;
}

namespace {

class Printer : public SceneVisitor {
 public:
  void Object(int depth, const std::string& name, ReferenceTarget* t, bool again) override {
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    if (!t) {
      line += name + ": none";
    } else {
      std::string cls = HostClassName(t);
      line += depth == 0 || name == cls ? cls : name + ": " + cls;
      if (t->SuperClassID() == TEXMAP_CLASS_ID) {
        auto* map = static_cast<MtlBase*>(t);
        if (!map->GetName().isNull()) line += std::string(" \"") + map->GetName().data() + "\"";
        if (map->GetGBufID() != 0) line += "  channel " + std::to_string(map->GetGBufID());
      }
      if (depth == 0) line += "  class " + HostHexWord(t->ClassID().PartA()) + ", " + HostHexWord(t->ClassID().PartB());
      if (again) line += "  (shared: shown above)";
    }
    std::printf("%s\n", line.c_str());
  }
  void Param(int depth, const ParamEntry& p) override {
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    line += p.name + " (" + HostParamTypeName(p.type) + ")";
    HostParamValue v = HostGetParam(p.block, p.index);
    if (v.keys.empty()) {
      line += " = " + FormatParamValue(p.type, v.constant);
    } else {
      line += " keys:";
      for (size_t k = 0; k < v.keys.size(); ++k) {
        line += (k ? ", " : " ") + TimeText(v.keys[k].time) + "=" + FormatParamValue(p.type, v.keys[k]);
      }
    }
    std::printf("%s\n", line.c_str());
  }
};

}  // namespace

int SceneShow(const std::string& file) {
  std::string error;
  std::unique_ptr<Scene> scene = HostLoadScene(file, &error);
  if (!scene) return Fail(error);
  std::vector<ReferenceTarget*> roots = SceneRoots(*scene);
  std::printf("%s: %zu root object(s); times in frames (%d ticks each) or ticks with t\n", file.c_str(), roots.size(),
              GetTicksPerFrame());
  Printer printer;
  WalkScene(roots, printer);
  return 0;
}

}  // namespace plughost
