#include "scene_commands.h"

#include <hostside/class_registry.h>
#include <hostside/file_io.h>
#include <hostside/paramblock_access.h>
#include <hostside/scene_file.h>

#include <cstdio>
#include <memory>

#include "param_path.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "plughost: %s\n", message.c_str());
  return 1;
}

std::vector<ReferenceTarget*> Roots(const Scene& scene) {
  std::vector<ReferenceTarget*> roots;
  for (int i = 0; i < scene.NumRoots(); ++i) {
    if (ReferenceTarget* r = scene.Root(i)) roots.push_back(r);
  }
  return roots;
}

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

std::string Hex(unsigned long v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", v & 0xFFFFFFFFul);
  return buf;
}

}  // namespace

int SceneNew(const std::string& out, const std::vector<std::string>& classes) {
  // Every class is found before anything is made.
  std::vector<ClassDesc*> descs;
  for (const std::string& name : classes) {
    ClassDesc* d = HostFindClassByName(name);
    if (!d) return Fail("unknown class '" + name + "'. Classes that can be placed in a scene:" + SceneClassList());
    if (!HostIsSceneSuperClass(d->SuperClassID())) {
      return Fail("class '" + NameOf(d) + "' (super class " + Hex(d->SuperClassID()) +
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
  // Every assignment is read before the file, so a typo costs no load.
  std::vector<ParamAssignment> setList, keyList;
  std::string error;
  for (const std::string& s : sets) {
    ParamAssignment a;
    if (!ParseAssignment(s, false, &a, &error)) return Fail("--set " + error);
    setList.push_back(a);
  }
  for (const std::string& k : keys) {
    ParamAssignment a;
    if (!ParseAssignment(k, true, &a, &error)) return Fail("--key " + error);
    keyList.push_back(a);
  }
  // Locked from the read to the save, so that edits of one file at once
  // queue instead of one undoing another.
  std::unique_ptr<HostFileLock> lock = HostLockFile(file, &error);
  if (!lock) return Fail("cannot read " + file + ": " + error);
  std::unique_ptr<Scene> scene = HostLoadScene(file, &error);
  if (!scene) return Fail(error);
  std::vector<ParamEntry> params = CollectParams(Roots(*scene));
  for (const ParamAssignment& a : setList) {
    const ParamEntry* p = FindParam(params, a.name, &error);
    if (!p || !SetParamConstant(*p, a.value, &error)) return Fail(error);
  }
  for (const ParamAssignment& a : keyList) {
    const ParamEntry* p = FindParam(params, a.name, &error);
    if (!p || !SetParamKey(*p, a.time, a.value, &error)) return Fail(error);
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
      std::string cls = ClassNameOf(t);
      line += depth == 0 || name == cls ? cls : name + ": " + cls;
      if (depth == 0) line += "  class " + Hex(t->ClassID().PartA()) + ", " + Hex(t->ClassID().PartB());
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
        line += (k ? ", " : " ") + FormatTime(v.keys[k].time) + "=" + FormatParamValue(p.type, v.keys[k]);
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
  std::vector<ReferenceTarget*> roots = Roots(*scene);
  std::printf("%s: %zu root object(s); times in frames (%d ticks each) or ticks with t\n", file.c_str(), roots.size(),
              GetTicksPerFrame());
  Printer printer;
  WalkScene(roots, printer);
  return 0;
}
