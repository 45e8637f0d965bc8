#include "hostside/scene_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "hostside/class_registry.h"
#include "hostside/paramblock_access.h"
#include "imtl.h"
#include "ioapi.h"
#include "plugapi.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// ---- Holding references for the host ---------------------------------------

namespace hostscene {

// A reference maker of the host's own that holds any number of targets: the
// scene's roots, or the objects a loader keeps alive until it is done.
class TargetHolder : public ReferenceMaker {
 public:
  ~TargetHolder() override { DropAll(); }

  int NumRefs() override { return static_cast<int>(targets_.size()); }
  RefTargetHandle GetReference(int i) override {
    return i >= 0 && i < NumRefs() ? targets_[static_cast<size_t>(i)] : nullptr;
  }
  void SetReference(int i, RefTargetHandle target) override {
    if (i >= 0 && i < NumRefs()) targets_[static_cast<size_t>(i)] = target;
  }
  RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

  bool Holds(ReferenceTarget* t) const { return std::find(targets_.begin(), targets_.end(), t) != targets_.end(); }
  void Add(ReferenceTarget* t) {
    targets_.push_back(nullptr);
    ReplaceReference(NumRefs() - 1, t, 0);
  }
  // Drops every reference; a target nothing else references is deleted.
  void DropAll() {
    DeleteAllRefsFromMe();
    targets_.clear();
  }

 private:
  std::vector<ReferenceTarget*> targets_;
};

}  // namespace hostscene

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

// ---- Small pieces of the file format ---------------------------------------

namespace {

constexpr int kMaxTypes = 5;
constexpr ParamType kTypes[kMaxTypes] = {TYPE_FLOAT, TYPE_INT, TYPE_RGBA, TYPE_POINT3, TYPE_BOOL};

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

// A float as the shortest decimal that reads back as the same float, written
// so that a JSON reader's double reads back exactly too. Where the shortest
// text could round differently through a double, the double of the float
// itself is written (longer, always exact).
OrderedJson FloatToJson(float f) {
  if (std::isnan(f)) return "nan";
  if (std::isinf(f)) return f > 0 ? "inf" : "-inf";
  char buf[64];
  auto end = std::to_chars(buf, buf + sizeof buf, f).ptr;
  double d = 0;
  std::from_chars(buf, end, d);
  float back = static_cast<float>(d);
  if (std::memcmp(&back, &f, sizeof f) == 0) return d;
  return static_cast<double>(f);
}

OrderedJson SampleToJson(ParamType type, const HostParamSample& s) {
  switch (type) {
    case TYPE_FLOAT: return FloatToJson(s.v[0]);
    case TYPE_INT: return s.i;
    case TYPE_BOOL: return s.i != 0;
    case TYPE_RGBA:
    case TYPE_POINT3: return OrderedJson::array({FloatToJson(s.v[0]), FloatToJson(s.v[1]), FloatToJson(s.v[2])});
  }
  return nullptr;
}

// Reads the parts of a scene file, stopping at the first problem, which it
// keeps with the place where it was found.
class Reader {
 public:
  bool Fail(const std::string& place, const std::string& what) {
    if (error_.empty()) error_ = place.empty() ? what : place + ": " + what;
    return false;
  }
  const std::string& Error() const { return error_; }

  const Json* Member(const Json& obj, const char* key, const std::string& place) {
    auto it = obj.find(key);
    if (it == obj.end()) {
      Fail(place, std::string("missing \"") + key + "\"");
      return nullptr;
    }
    return &*it;
  }

  bool Int(const Json& j, const std::string& place, int64_t lo, int64_t hi, int64_t* out) {
    int64_t v = 0;
    if (j.is_number_unsigned()) {
      uint64_t u = j.get<uint64_t>();
      if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return Fail(place, "number out of range");
      v = static_cast<int64_t>(u);
    } else if (j.is_number_integer()) {
      v = j.get<int64_t>();
    } else {
      return Fail(place, "expected a whole number, found " + Describe(j));
    }
    if (v < lo || v > hi) {
      return Fail(place,
                  std::to_string(v) + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    }
    *out = v;
    return true;
  }

  // A 32-bit word: "0x1234ABCD" (as written) or a plain number.
  bool Word(const Json& j, const std::string& place, uint32_t* out) {
    if (j.is_string()) {
      const std::string& s = j.get_ref<const std::string&>();
      if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && s.size() <= 10) {
        uint32_t v = 0;
        auto r = std::from_chars(s.data() + 2, s.data() + s.size(), v, 16);
        if (r.ec == std::errc() && r.ptr == s.data() + s.size()) {
          *out = v;
          return true;
        }
      }
      return Fail(place, "\"" + s + "\" is not a 32-bit hexadecimal word like \"0x0000ABCD\"");
    }
    int64_t v = 0;
    if (!Int(j, place, 0, 0xFFFFFFFFll, &v)) return false;
    *out = static_cast<uint32_t>(v);
    return true;
  }

  bool Float(const Json& j, const std::string& place, float* out) {
    if (j.is_string()) {
      const std::string& s = j.get_ref<const std::string&>();
      if (s == "nan")
        *out = std::numeric_limits<float>::quiet_NaN();
      else if (s == "inf")
        *out = std::numeric_limits<float>::infinity();
      else if (s == "-inf")
        *out = -std::numeric_limits<float>::infinity();
      else
        return Fail(place, "expected a number, found \"" + s + "\"");
      return true;
    }
    if (!j.is_number()) return Fail(place, "expected a number, found " + Describe(j));
    double d = j.get<double>();
    // Up to half a step above the largest float, a number still rounds to it
    // (the shortest text of the largest float reads a little above it).
    constexpr double kRoundsToMax = 0x1.ffffffp127;
    if (!(std::fabs(d) < kRoundsToMax)) return Fail(place, "number out of range of a float");
    float big = std::numeric_limits<float>::max();
    *out = std::fabs(d) > big ? std::copysign(big, static_cast<float>(d > 0 ? 1 : -1)) : static_cast<float>(d);
    return true;
  }

  bool Sample(const Json& j, const std::string& place, ParamType type, HostParamSample* s) {
    switch (type) {
      case TYPE_FLOAT: return Float(j, place, &s->v[0]);
      case TYPE_INT: {
        int64_t v = 0;
        if (!Int(j, place, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), &v)) return false;
        s->i = static_cast<int>(v);
        return true;
      }
      case TYPE_BOOL:
        if (!j.is_boolean()) return Fail(place, "expected true or false, found " + Describe(j));
        s->i = j.get<bool>() ? 1 : 0;
        return true;
      case TYPE_RGBA:
      case TYPE_POINT3:
        if (!j.is_array() || j.size() != 3) return Fail(place, "expected an array of three numbers");
        for (size_t k = 0; k < 3; ++k) {
          if (!Float(j[k], place + "[" + std::to_string(k) + "]", &s->v[k])) return false;
        }
        return true;
    }
    return Fail(place, "unknown parameter type");
  }

  static std::string Describe(const Json& j) {
    switch (j.type()) {
      case Json::value_t::null: return "null";
      case Json::value_t::object: return "an object";
      case Json::value_t::array: return "an array";
      case Json::value_t::string: return "a text";
      case Json::value_t::boolean: return j.get<bool>() ? "true" : "false";
      case Json::value_t::number_float: return "the number " + j.dump();
      case Json::value_t::number_integer:
      case Json::value_t::number_unsigned: return "the number " + j.dump();
      default: return "something else";
    }
  }

 private:
  std::string error_;
};

// What the file says about one object.
struct FileParam {
  ParamBlockDescID desc{};
  HostParamValue value;
};
struct FileObject {
  SClass_ID superClass = 0;
  Class_ID classId;
  std::string className;
  ClassDesc* desc = nullptr;  // its registered class; null for a block
  bool isBlock = false;
  DWORD blockVersion = 0;
  std::vector<FileParam> params;
  std::vector<int> refs;                       // object indexes, -1 for an empty slot
  std::map<std::string, std::string> strings;  // what its Save wrote with SaveString
};

std::string ObjPlace(size_t i) { return "objects[" + std::to_string(i) + "]"; }

bool ReadParam(Reader& r, const Json& jp, const std::string& place, FileParam* p) {
  if (!jp.is_object()) return r.Fail(place, "expected an object, found " + Reader::Describe(jp));
  const Json* id = r.Member(jp, "id", place);
  const Json* type = id ? r.Member(jp, "type", place) : nullptr;
  const Json* anim = type ? r.Member(jp, "animatable", place) : nullptr;
  if (!anim) return false;
  uint32_t idv = 0;
  if (!r.Word(*id, place + ".id", &idv)) return false;
  p->desc.id = idv;
  if (!type->is_string()) return r.Fail(place + ".type", "expected a type name, found " + Reader::Describe(*type));
  const std::string& tn = type->get_ref<const std::string&>();
  auto found =
      std::find_if(std::begin(kTypes), std::end(kTypes), [&](ParamType t) { return tn == HostParamTypeName(t); });
  if (found == std::end(kTypes)) {
    return r.Fail(place + ".type", "unknown type \"" + tn + "\" (float, int, color, point3 or bool)");
  }
  p->desc.type = *found;
  p->desc.user = nullptr;
  if (!anim->is_boolean())
    return r.Fail(place + ".animatable", "expected true or false, found " + Reader::Describe(*anim));
  p->desc.animatable = anim->get<bool>() ? TRUE : FALSE;
  p->value.type = p->desc.type;

  auto value = jp.find("value");
  auto keys = jp.find("keys");
  if ((value == jp.end()) == (keys == jp.end())) return r.Fail(place, "give either \"value\" or \"keys\"");
  if (value != jp.end()) return r.Sample(*value, place + ".value", p->desc.type, &p->value.constant);

  if (!keys->is_array() || keys->empty()) return r.Fail(place + ".keys", "expected a non-empty array of keys");
  if (!p->desc.animatable) return r.Fail(place + ".keys", "a parameter that is not animatable has no keys");
  for (size_t k = 0; k < keys->size(); ++k) {
    std::string kp = place + ".keys[" + std::to_string(k) + "]";
    const Json& jk = (*keys)[k];
    if (!jk.is_object()) return r.Fail(kp, "expected an object, found " + Reader::Describe(jk));
    const Json* t = r.Member(jk, "time", kp);
    const Json* v = t ? r.Member(jk, "value", kp) : nullptr;
    if (!v) return false;
    HostParamSample s;
    int64_t tv = 0;
    if (!r.Int(*t, kp + ".time", std::numeric_limits<TimeValue>::min(), std::numeric_limits<TimeValue>::max(), &tv))
      return false;
    s.time = static_cast<TimeValue>(tv);
    if (!p->value.keys.empty() && s.time <= p->value.keys.back().time) {
      return r.Fail(kp + ".time", "keys must be in increasing time order, one key at a time");
    }
    if (!r.Sample(*v, kp + ".value", p->desc.type, &s)) return false;
    p->value.keys.push_back(s);
  }
  return true;
}

bool ReadObject(Reader& r, const Json& jo, size_t i, size_t count, FileObject* o) {
  std::string place = ObjPlace(i);
  if (!jo.is_object()) return r.Fail(place, "expected an object, found " + Reader::Describe(jo));
  const Json* index = r.Member(jo, "index", place);
  const Json* cls = index ? r.Member(jo, "classId", place) : nullptr;
  const Json* super = cls ? r.Member(jo, "superClassId", place) : nullptr;
  const Json* refs = super ? r.Member(jo, "refs", place) : nullptr;
  if (!refs) return false;
  int64_t iv = 0;
  if (!r.Int(*index, place + ".index", 0, std::numeric_limits<int64_t>::max(), &iv)) return false;
  if (static_cast<size_t>(iv) != i) {
    return r.Fail(place + ".index", "is " + std::to_string(iv) + ", but this is object " + std::to_string(i));
  }
  if (!cls->is_array() || cls->size() != 2) return r.Fail(place + ".classId", "expected two 32-bit words");
  uint32_t a = 0, b = 0, s = 0;
  if (!r.Word((*cls)[0], place + ".classId[0]", &a) || !r.Word((*cls)[1], place + ".classId[1]", &b) ||
      !r.Word(*super, place + ".superClassId", &s))
    return false;
  o->classId = Class_ID(a, b);
  o->superClass = s;
  auto readerName = jo.find("class");
  if (readerName != jo.end() && readerName->is_string()) o->className = readerName->get<std::string>();

  if (!refs->is_array()) return r.Fail(place + ".refs", "expected an array, found " + Reader::Describe(*refs));
  for (size_t k = 0; k < refs->size(); ++k) {
    const Json& jr = (*refs)[k];
    std::string rp = place + ".refs[" + std::to_string(k) + "]";
    if (jr.is_null()) {
      o->refs.push_back(-1);
      continue;
    }
    int64_t target = 0;
    if (!jr.is_number_integer()) return r.Fail(rp, "expected an object index or null, found " + Reader::Describe(jr));
    if (!r.Int(jr, rp, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), &target)) return false;
    if (target < 0 || static_cast<uint64_t>(target) >= count) {
      return r.Fail(rp, "refers to object " + std::to_string(target) + ", but the file has " + std::to_string(count) +
                            " object(s)");
    }
    o->refs.push_back(static_cast<int>(target));
  }

  auto strings = jo.find("strings");
  if (strings != jo.end()) {
    if (!strings->is_object()) return r.Fail(place + ".strings", "expected an object of texts");
    for (auto it = strings->begin(); it != strings->end(); ++it) {
      if (!it->is_string()) {
        return r.Fail(place + ".strings." + it.key(), "expected a text, found " + Reader::Describe(*it));
      }
      o->strings[it.key()] = it->get<std::string>();
    }
  }

  o->isBlock = IsBlockClass(o->superClass, o->classId);
  auto pb = jo.find("paramBlock");
  if (!o->isBlock) {
    if (pb != jo.end()) return r.Fail(place + ".paramBlock", "only a parameter block has parameters");
    o->desc = HostFindClass(o->superClass, o->classId);
    // The registered name where there is one; the file's is for readers.
    std::string name = o->desc && o->desc->ClassName() ? o->desc->ClassName() : o->className;
    std::string label = (name.empty() ? "" : "'" + name + "' ") + ClassIdText(o->classId);
    if (!o->desc) {
      return r.Fail(place, "unknown class " + label + ", super class " + Hex32(o->superClass) +
                               " (is the plug-in file that defines it loaded?)");
    }
    if (!HostIsSceneSuperClass(o->superClass)) {
      return r.Fail(place, "class " + label + " (super class " + Hex32(o->superClass) + ") is not a scene object");
    }
    return true;
  }
  if (pb == jo.end()) return r.Fail(place, "missing \"paramBlock\" of this parameter block");
  std::string bp = place + ".paramBlock";
  if (!pb->is_object()) return r.Fail(bp, "expected an object, found " + Reader::Describe(*pb));
  const Json* version = r.Member(*pb, "version", bp);
  const Json* params = version ? r.Member(*pb, "params", bp) : nullptr;
  if (!params) return false;
  int64_t ver = 0;
  if (!r.Int(*version, bp + ".version", 0, 0xFFFFFFFFll, &ver)) return false;
  o->blockVersion = static_cast<DWORD>(ver);
  if (!params->is_array()) return r.Fail(bp + ".params", "expected an array, found " + Reader::Describe(*params));
  std::set<DWORD> ids;
  for (size_t k = 0; k < params->size(); ++k) {
    std::string pp = bp + ".params[" + std::to_string(k) + "]";
    FileParam p;
    if (!ReadParam(r, (*params)[k], pp, &p)) return false;
    if (!ids.insert(p.desc.id).second) return r.Fail(pp + ".id", "id " + std::to_string(p.desc.id) + " is used twice");
    o->params.push_back(std::move(p));
  }
  return true;
}

// No object may reach itself through its references, and every object must
// be reached from a root: the first would never be freed, the second would
// be lost on the next save.
bool CheckGraph(Reader& r, const std::vector<FileObject>& objects, const std::vector<int>& roots) {
  enum : char { kNew, kOpen, kDone };
  std::vector<char> state(objects.size(), kNew);
  struct Frame {
    int obj;
    size_t next;
  };
  std::vector<Frame> stack;
  for (int root : roots) {
    if (state[static_cast<size_t>(root)] != kNew) continue;
    state[static_cast<size_t>(root)] = kOpen;
    stack.push_back({root, 0});
    while (!stack.empty()) {
      Frame& f = stack.back();
      const FileObject& o = objects[static_cast<size_t>(f.obj)];
      if (f.next == o.refs.size()) {
        state[static_cast<size_t>(f.obj)] = kDone;
        stack.pop_back();
        continue;
      }
      size_t slot = f.next++;
      int child = o.refs[slot];
      if (child < 0) continue;
      char& cs = state[static_cast<size_t>(child)];
      if (cs == kOpen) {
        return r.Fail(
            ObjPlace(static_cast<size_t>(f.obj)) + ".refs[" + std::to_string(slot) + "]",
            "reference cycle: this refers to object " + std::to_string(child) + ", which reaches this object again");
      }
      if (cs == kNew) {
        cs = kOpen;
        stack.push_back({child, 0});
      }
    }
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    if (state[i] == kNew) return r.Fail(ObjPlace(i), "no root reaches this object");
  }
  return true;
}

bool ReadFile(Reader& r, const Json& doc, std::vector<FileObject>* objects, std::vector<int>* roots) {
  if (!doc.is_object()) return r.Fail("", "not a scene file (the top level is not a JSON object)");
  auto format = doc.find("format");
  if (format == doc.end() || !format->is_string() || format->get<std::string>() != kSceneFormatName) {
    return r.Fail("", std::string("not a scene file (no \"format\": \"") + kSceneFormatName + "\")");
  }
  const Json* version = r.Member(doc, "version", "");
  if (!version) return false;
  if (!version->is_number_integer() || *version != kSceneFormatVersion) {
    return r.Fail("version", "format version " + version->dump() + " is not supported (this host reads version " +
                                 std::to_string(kSceneFormatVersion) + ")");
  }
  const Json* jobjects = r.Member(doc, "objects", "");
  const Json* jroots = jobjects ? r.Member(doc, "roots", "") : nullptr;
  if (!jroots) return false;
  if (!jobjects->is_array()) return r.Fail("objects", "expected an array, found " + Reader::Describe(*jobjects));
  if (!jroots->is_array()) return r.Fail("roots", "expected an array, found " + Reader::Describe(*jroots));
  objects->resize(jobjects->size());
  for (size_t i = 0; i < jobjects->size(); ++i) {
    if (!ReadObject(r, (*jobjects)[i], i, jobjects->size(), &(*objects)[i])) return false;
  }
  for (size_t k = 0; k < jroots->size(); ++k) {
    std::string place = "roots[" + std::to_string(k) + "]";
    int64_t v = 0;
    if (!r.Int((*jroots)[k], place, 0, static_cast<int64_t>(objects->size()) - 1, &v)) return false;
    if (std::find(roots->begin(), roots->end(), static_cast<int>(v)) != roots->end()) {
      return r.Fail(place, "object " + std::to_string(v) + " is a root already");
    }
    roots->push_back(static_cast<int>(v));
  }
  return CheckGraph(r, *objects, *roots);
}

std::string LayoutText(IParamBlock* b) {
  return "version " + std::to_string(b->GetVersion()) + " with " + std::to_string(b->NumParams()) + " parameter(s)";
}

// The first parameter where two blocks' layouts differ, or -1 when they agree.
int LayoutDifference(IParamBlock* a, IParamBlock* b) {
  int n = std::min(a->NumParams(), b->NumParams());
  for (int i = 0; i < n; ++i) {
    ParamBlockDescID da = HostParamDesc(a, i), db = HostParamDesc(b, i);
    if (da.type != db.type || da.id != db.id || (da.animatable != 0) != (db.animatable != 0)) return i;
  }
  return a->NumParams() == b->NumParams() ? -1 : n;
}

// ---- Loading ---------------------------------------------------------------

class SceneLoader : public ILoad {
 public:
  SceneLoader(const std::vector<FileObject>& objects, Reader& reader) : objects_(objects), r_(reader) {}
  ~SceneLoader() override {
    // Whatever happened, everything created here that no scene holds goes.
    callbacks_.clear();
    displaced_.DropAll();
    created_.DropAll();
  }

  void RegisterPostLoadCallback(PostLoadCallback* cb) override {
    if (cb) callbacks_.emplace_back(cb);
  }
  RefTargetHandle DisplacedReference(ReferenceMaker* maker, int which) override {
    auto it = displacedBy_.find({maker, which});
    return it == displacedBy_.end() ? nullptr : it->second;
  }
  // The texts of the object whose Load is running.
  bool LoadString(const char* key, CStr& value) override {
    if (!loading_ || !key) return false;
    auto it = loading_->strings.find(key);
    if (it == loading_->strings.end()) return false;
    value = it->second.c_str();
    return true;
  }

  std::unique_ptr<Scene> Load(const std::vector<int>& roots) {
    if (!CreateAll() || !LoadAll() || !InstallAll()) return nullptr;
    RunCallbacks();
    if (!CheckConvertedBlocks()) return nullptr;
    auto scene = std::make_unique<Scene>();
    for (int root : roots) scene->AddRoot(live_[static_cast<size_t>(root)]);
    return scene;
  }

 private:
  bool CreateAll() {
    live_.reserve(objects_.size());
    for (size_t i = 0; i < objects_.size(); ++i) {
      const FileObject& o = objects_[i];
      ReferenceTarget* t = o.isBlock ? CreateBlock(i) : CreateObject(i);
      if (!t) return false;
      live_.push_back(t);
    }
    return true;
  }

  ReferenceTarget* CreateBlock(size_t i) {
    const FileObject& o = objects_[i];
    std::vector<ParamBlockDescID> descs;
    for (const FileParam& p : o.params) descs.push_back(p.desc);
    IParamBlock* b = CreateParameterBlock(descs.data(), static_cast<int>(descs.size()), o.blockVersion);
    if (!b) {
      r_.Fail(ObjPlace(i), "the host could not create this parameter block");
      return nullptr;
    }
    created_.Add(b);
    for (size_t k = 0; k < o.params.size(); ++k) {
      if (!HostSetParam(b, static_cast<int>(k), o.params[k].value)) {
        r_.Fail(ObjPlace(i) + ".paramBlock.params[" + std::to_string(k) + "]", "the block refused this value");
        return nullptr;
      }
    }
    return b;
  }

  ReferenceTarget* CreateObject(size_t i) {
    const FileObject& o = objects_[i];
    std::string name = o.desc->ClassName() ? o.desc->ClassName() : "";
    void* made = o.desc->Create(TRUE);
    if (!made) {
      r_.Fail(ObjPlace(i), "class '" + name + "' created no object");
      return nullptr;
    }
    auto* t = static_cast<ReferenceTarget*>(made);
    created_.Add(t);
    if (t->ClassID() != o.classId || t->SuperClassID() != o.superClass) {
      r_.Fail(ObjPlace(i), "class '" + name + "' created an object of another class " + ClassIdText(t->ClassID()));
      return nullptr;
    }
    int slots = t->NumRefs();
    if (static_cast<int>(o.refs.size()) > slots) {
      r_.Fail(ObjPlace(i) + ".refs", "class '" + name + "' has " + std::to_string(slots) +
                                         " reference(s), the file gives " + std::to_string(o.refs.size()));
      return nullptr;
    }
    return t;
  }

  bool LoadAll() {
    for (size_t i = 0; i < live_.size(); ++i) {
      loading_ = &objects_[i];
      IOResult result = live_[i]->Load(this);
      loading_ = nullptr;
      if (result != IO_OK) return r_.Fail(ObjPlace(i), "the object failed to load");
    }
    return true;
  }

  static ReferenceTarget* RecordedTarget(ReferenceMaker* maker, int slot) {
    for (const ReferenceMaker::HostRefRecord& rec : maker->HostRefs()) {
      if (rec.slot == slot) return rec.target;
    }
    return nullptr;
  }

  bool InstallAll() {
    for (size_t i = 0; i < live_.size(); ++i) {
      ReferenceTarget* maker = live_[i];
      const std::vector<int>& refs = objects_[i].refs;
      for (size_t k = 0; k < refs.size(); ++k) {
        if (refs[k] < 0) continue;
        int slot = static_cast<int>(k);
        ReferenceTarget* target = live_[static_cast<size_t>(refs[k])];
        ReferenceTarget* old = RecordedTarget(maker, slot);
        if (old == target) continue;
        if (old) {
          // The maker made a target of some kind here: the loaded one must be
          // of that kind, or the maker would use it as what it is not.
          bool oldBlock = HostIsParamBlock(old), newBlock = HostIsParamBlock(target);
          if (oldBlock != newBlock || (!oldBlock && old->SuperClassID() != target->SuperClassID())) {
            return r_.Fail(ObjPlace(i) + ".refs[" + std::to_string(k) + "]",
                           "'" + ClassNameOf(maker) + "' holds " + Kind(old) + " in this reference, the file gives " +
                               "object " + std::to_string(refs[k]) + ", " + Kind(target));
          }
          displaced_.Add(old);
          displacedBy_[{maker, slot}] = old;
          displacedSlots_.push_back({i, slot});
        }
        HostInstallReference(maker, slot, target);
      }
    }
    return CheckSubMaps();
  }

  // A slot that construction leaves empty (a map's sub-map) says nothing of
  // what it takes; but a map names its sub-maps, and each must be a map, or
  // the map would evaluate an object as what it is not. Addresses are
  // compared as they are: the map's own view of the slot is not trusted.
  bool CheckSubMaps() {
    for (size_t i = 0; i < live_.size(); ++i) {
      if (live_[i]->SuperClassID() != TEXMAP_CLASS_ID) continue;
      auto* map = static_cast<Texmap*>(live_[i]);
      for (int s = 0; s < map->NumSubTexmaps(); ++s) {
        const void* sub = static_cast<const void*>(map->GetSubTexmap(s));
        if (!sub) continue;
        for (size_t j = 0; j < live_.size(); ++j) {
          if (static_cast<const void*>(live_[j]) != sub || live_[j]->SuperClassID() == TEXMAP_CLASS_ID) continue;
          return r_.Fail(ObjPlace(i), "'" + ClassNameOf(live_[i]) + "' takes a texture map as its sub-map " +
                                          std::to_string(s) + ", the file gives object " + std::to_string(j) + ", " +
                                          Kind(live_[j]));
        }
      }
    }
    return true;
  }

  static std::string Kind(ReferenceTarget* t) {
    if (HostIsParamBlock(t)) return "a parameter block";
    return "an object of class '" + ClassNameOf(t) + "' (super class " + Hex32(t->SuperClassID()) + ")";
  }

  void RunCallbacks() {
    // Callbacks registered while others run go in the next round.
    while (!callbacks_.empty()) {
      std::vector<std::unique_ptr<PostLoadCallback>> round = std::move(callbacks_);
      callbacks_.clear();
      std::vector<std::pair<int, size_t>> order;
      for (size_t k = 0; k < round.size(); ++k) order.push_back({round[k]->Priority(), k});
      std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      for (const auto& [priority, k] : order) round[k]->proc(this);
    }
  }

  // Where construction made a parameter block that the file's block
  // displaced, the block in place after the converters ran must have the
  // layout the object makes: an older version nobody converted, or a block of
  // the same version with other parameters, would be read at the wrong
  // indexes.
  bool CheckConvertedBlocks() {
    for (const auto& [i, slot] : displacedSlots_) {
      ReferenceTarget* maker = live_[i];
      ReferenceTarget* made = displacedBy_[{maker, slot}];
      ReferenceTarget* now = RecordedTarget(maker, slot);
      if (!made || !now || !HostIsParamBlock(made) || !HostIsParamBlock(now)) continue;
      auto* mb = static_cast<IParamBlock*>(made);
      auto* nb = static_cast<IParamBlock*>(now);
      int diff = LayoutDifference(mb, nb);
      if (mb->GetVersion() == nb->GetVersion() && diff < 0) continue;
      std::string what = "'" + ClassNameOf(maker) + "' uses a parameter block of " + LayoutText(mb) + " in reference " +
                         std::to_string(slot) + "; the file's block (object " +
                         std::to_string(objects_[i].refs[static_cast<size_t>(slot)]) + ") has " + LayoutText(nb);
      if (mb->GetVersion() == nb->GetVersion() && diff >= 0) {
        what += " and differs at parameter " + std::to_string(diff);
      } else if (mb->GetVersion() != nb->GetVersion()) {
        what += ", which the object does not convert";
      }
      return r_.Fail(ObjPlace(i), what);
    }
    return true;
  }

  const std::vector<FileObject>& objects_;
  const FileObject* loading_ = nullptr;
  Reader& r_;
  std::vector<ReferenceTarget*> live_;
  TargetHolder created_;    // every object created, until the scene holds the roots
  TargetHolder displaced_;  // targets displaced by loaded ones, until the callbacks ran
  std::map<std::pair<ReferenceMaker*, int>, ReferenceTarget*> displacedBy_;
  std::vector<std::pair<size_t, int>> displacedSlots_;
  std::vector<std::unique_ptr<PostLoadCallback>> callbacks_;
};

// ---- Saving ----------------------------------------------------------------

// Collects the texts one object's Save writes.
class SceneSaver : public ISave {
 public:
  void SaveString(const char* key, const char* value) override {
    if (!key) return;
    for (auto& [k, v] : strings) {
      if (k == key) {
        v = value ? value : "";
        return;
      }
    }
    strings.emplace_back(key, value ? value : "");
  }
  std::vector<std::pair<std::string, std::string>> strings;
};

struct SaveOrder {
  std::vector<ReferenceTarget*> objects;
  std::vector<ReferenceMaker*> firstMaker;  // the object through which each was first reached
  std::vector<std::vector<int>> refs;       // each object's references as indexes, -1 for none
  std::unordered_map<ReferenceTarget*, int> index;
};

// Objects in the order written: depth first from each root in turn, each
// object's references in slot order, an object at its first meeting.
bool OrderObjects(const Scene& scene, SaveOrder* order, std::string* error) {
  std::unordered_map<ReferenceTarget*, bool> open;
  struct Frame {
    ReferenceTarget* obj;
    int at, next, count;
  };
  std::vector<Frame> stack;
  auto enter = [&](ReferenceTarget* t, ReferenceMaker* from) {
    int at = static_cast<int>(order->objects.size());
    order->index[t] = at;
    order->objects.push_back(t);
    order->firstMaker.push_back(from);
    int count = std::max(t->NumRefs(), 0);
    order->refs.emplace_back(static_cast<size_t>(count), -1);
    open[t] = true;
    stack.push_back({t, at, 0, count});
  };
  for (int r = 0; r < scene.NumRoots(); ++r) {
    ReferenceTarget* root = scene.Root(r);
    if (!root || order->index.count(root)) continue;
    enter(root, nullptr);
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next >= f.count) {
        open[f.obj] = false;
        stack.pop_back();
        continue;
      }
      ReferenceTarget* parent = f.obj;
      int at = f.at, slot = f.next++;
      ReferenceTarget* child = parent->GetReference(slot);
      if (!child) continue;
      auto known = order->index.find(child);
      if (known != order->index.end()) {
        if (open[child]) {
          *error = "reference cycle: '" + ClassNameOf(child) + "' (object " + std::to_string(known->second) +
                   ") reaches itself through its references";
          return false;
        }
        order->refs[static_cast<size_t>(at)][static_cast<size_t>(slot)] = known->second;
        continue;
      }
      order->refs[static_cast<size_t>(at)][static_cast<size_t>(slot)] = static_cast<int>(order->objects.size());
      enter(child, parent);
    }
  }
  return true;
}

OrderedJson BlockToJson(IParamBlock* block, ReferenceMaker* owner) {
  OrderedJson params = OrderedJson::array();
  for (int i = 0; i < block->NumParams(); ++i) {
    ParamBlockDescID d = HostParamDesc(block, i);
    HostParamValue v = HostGetParam(block, i);
    OrderedJson p;
    std::string name = HostParamName(owner, block, i);
    if (!name.empty()) p["name"] = name;
    p["id"] = d.id;
    p["type"] = HostParamTypeName(d.type);
    p["animatable"] = d.animatable != 0;
    if (v.keys.empty()) {
      p["value"] = SampleToJson(d.type, v.constant);
    } else {
      OrderedJson keys = OrderedJson::array();
      for (const HostParamSample& s : v.keys) {
        OrderedJson k;
        k["time"] = s.time;
        k["value"] = SampleToJson(d.type, s);
        keys.push_back(std::move(k));
      }
      p["keys"] = std::move(keys);
    }
    params.push_back(std::move(p));
  }
  OrderedJson b;
  b["version"] = block->GetVersion();
  b["params"] = std::move(params);
  return b;
}

// The file's layout: one member a line, except that a small array or object
// of plain values (ids, a colour, a key, a parameter) stays on one line.
constexpr size_t kLineWidth = 120;

std::string Scalar(const OrderedJson& j) {
  // Texts from plug-ins need not be UTF-8; replace what is not rather than fail.
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool Flat(const OrderedJson& j) {
  for (const OrderedJson& m : j) {
    if (m.is_object()) return false;
    if (m.is_array()) {
      for (const OrderedJson& e : m)
        if (e.is_structured()) return false;
    }
  }
  return true;
}

std::string OneLine(const OrderedJson& j) {
  if (!j.is_structured()) return Scalar(j);
  std::string s(1, j.is_array() ? '[' : '{');
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) s += ", ";
    first = false;
    if (j.is_object()) s += Scalar(OrderedJson(it.key())) + ": ";
    s += OneLine(*it);
  }
  return s + (j.is_array() ? ']' : '}');
}

void Emit(const OrderedJson& j, size_t indent, std::string& out) {
  if (!j.is_structured() || j.empty()) {
    out += j.is_structured() ? (j.is_array() ? "[]" : "{}") : Scalar(j);
    return;
  }
  if (Flat(j)) {
    std::string line = OneLine(j);
    if (indent + line.size() <= kLineWidth) {
      out += line;
      return;
    }
  }
  out += j.is_array() ? "[\n" : "{\n";
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) out += ",\n";
    first = false;
    out.append(indent + 2, ' ');
    if (j.is_object()) out += Scalar(OrderedJson(it.key())) + ": ";
    Emit(*it, indent + 2, out);
  }
  out += "\n";
  out.append(indent, ' ');
  out += j.is_array() ? ']' : '}';
}

std::string ErrnoText(int e) { return std::strerror(e); }

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool HostWriteScene(const Scene& scene, std::string* text, std::string* error) {
  std::string err;
  SaveOrder order;
  if (!OrderObjects(scene, &order, &err)) {
    if (error) *error = err;
    return false;
  }
  OrderedJson objects = OrderedJson::array();
  for (size_t i = 0; i < order.objects.size(); ++i) {
    ReferenceTarget* t = order.objects[i];
    bool block = HostIsParamBlock(t);
    SClass_ID super = block ? PARAMETER_BLOCK_CLASS_ID : t->SuperClassID();
    Class_ID id = block ? PARAMETER_BLOCK_CLASS : t->ClassID();
    ClassDesc* desc = HostFindClass(super, id);
    if (!block && !desc) {
      if (error) {
        *error = "object " + std::to_string(i) + " is of class " + ClassIdText(id) + ", super class " + Hex32(super) +
                 ", which is not registered: the scene could not be loaded again";
      }
      return false;
    }
    SceneSaver saver;
    if (t->Save(&saver) != IO_OK) {
      if (error) *error = "object " + std::to_string(i) + " ('" + ClassNameOf(t) + "') failed to save";
      return false;
    }
    OrderedJson o;
    o["index"] = i;
    o["class"] = desc && desc->ClassName() ? desc->ClassName() : (block ? "ParamBlock" : "");
    o["classId"] = OrderedJson::array({Hex32(id.PartA()), Hex32(id.PartB())});
    o["superClassId"] = Hex32(super);
    OrderedJson refs = OrderedJson::array();
    for (int r : order.refs[i]) {
      if (r >= 0)
        refs.push_back(r);
      else
        refs.push_back(nullptr);
    }
    o["refs"] = std::move(refs);
    if (!saver.strings.empty()) {
      OrderedJson strings = OrderedJson::object();
      for (const auto& [k, v] : saver.strings) strings[k] = v;
      o["strings"] = std::move(strings);
    }
    if (block) o["paramBlock"] = BlockToJson(static_cast<IParamBlock*>(t), order.firstMaker[i]);
    objects.push_back(std::move(o));
  }
  OrderedJson roots = OrderedJson::array();
  for (int r = 0; r < scene.NumRoots(); ++r) {
    if (scene.Root(r)) roots.push_back(order.index[scene.Root(r)]);
  }
  OrderedJson doc;
  doc["format"] = kSceneFormatName;
  doc["version"] = kSceneFormatVersion;
  doc["roots"] = std::move(roots);
  doc["objects"] = std::move(objects);
  text->clear();
  Emit(doc, 0, *text);
  *text += "\n";
  return true;
}

std::unique_ptr<Scene> HostReadScene(std::string_view text, const std::string& source, std::string* error) {
  auto fail = [&](const std::string& what) -> std::unique_ptr<Scene> {
    if (error) *error = source + ": " + what;
    return nullptr;
  };
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return fail("the file is empty");
  Json doc;
  try {
    doc = Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error& e) {
    // The library's text after its "[json.exception...] " tag names line and column.
    std::string what = e.what();
    size_t tag = what.find("] ");
    if (tag != std::string::npos) what = what.substr(tag + 2);
    return fail("not valid JSON: " + what);
  }
  Reader reader;
  std::vector<FileObject> objects;
  std::vector<int> roots;
  if (!ReadFile(reader, doc, &objects, &roots)) return fail(reader.Error());
  SceneLoader loader(objects, reader);
  std::unique_ptr<Scene> scene = loader.Load(roots);
  if (!scene) return fail(reader.Error());
  return scene;
}

bool HostSaveScene(const Scene& scene, const fs::path& file, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = "cannot save " + file.string() + ": " + what;
    return false;
  };
  std::string text, err;
  if (!HostWriteScene(scene, &text, &err)) return fail(err);

  // Saving through a link replaces the file it points to, not the link.
  std::error_code ec;
  fs::path target = file;
  if (fs::is_symlink(file, ec)) {
    target = fs::weakly_canonical(file, ec);
    if (ec) return fail(ec.message());
  }
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  struct stat old {};
  mode_t mode;
  if (::stat(target.c_str(), &old) == 0) {
    if (S_ISDIR(old.st_mode)) return fail("it is a folder");
    // A file its owner made read-only is not replaced behind their back.
    if (::access(target.c_str(), W_OK) != 0) return fail(ErrnoText(errno));
    mode = old.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return fail(ErrnoText(errno));
  bool ok = WriteAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  int e = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    e = errno;
  }
  if (ok && ::rename(name.data(), target.c_str()) != 0) {
    ok = false;
    e = errno;
  }
  if (!ok) {
    ::unlink(name.data());
    return fail(ErrnoText(e));
  }
  // The new name lasts once the folder's entry is on disk too.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::unique_ptr<Scene> HostLoadScene(const fs::path& file, std::string* error) {
  auto fail = [&](const std::string& what) -> std::unique_ptr<Scene> {
    if (error) *error = "cannot read " + file.string() + ": " + what;
    return nullptr;
  };
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(ErrnoText(errno));
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return fail("it is a folder");
  }
  std::string text;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int e = errno;
      ::close(fd);
      return fail(ErrnoText(e));
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return HostReadScene(text, file.string(), error);
}
