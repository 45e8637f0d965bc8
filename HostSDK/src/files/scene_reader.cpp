// Reading a scene file's JSON into what it says of each object, checking
// every value and the reference graph before anything is created.
#include <algorithm>
#include <set>

#include "files/scene_format.h"
#include "hostside/class_registry.h"

namespace hostscene {

namespace {

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

  auto mapName = jo.find("name");
  auto gbuffer = jo.find("gbufferId");
  if ((mapName != jo.end() || gbuffer != jo.end()) && o->superClass != TEXMAP_CLASS_ID)
    return r.Fail(place, "only a map has a \"name\" and a \"gbufferId\"");
  if (mapName != jo.end()) {
    if (!mapName->is_string()) return r.Fail(place + ".name", "expected a text, found " + Reader::Describe(*mapName));
    o->mapName = mapName->get<std::string>();
  }
  int64_t channel = 0;
  if (gbuffer != jo.end() && !r.Int(*gbuffer, place + ".gbufferId", 0, 0xFFFFFFFFll, &channel)) return false;
  o->gbufferId = static_cast<unsigned int>(channel);

  o->isBlock = IsBlockClass(o->superClass, o->classId);
  auto pb = jo.find("paramBlock");
  if (!o->isBlock) {
    if (pb != jo.end()) return r.Fail(place + ".paramBlock", "only a parameter block has parameters");
    o->desc = HostFindClass(o->superClass, o->classId);
    // The registered name where there is one; the file's is for readers.
    std::string name = o->desc && o->desc->ClassName() ? o->desc->ClassName() : o->className;
    std::string label = (name.empty() ? "" : "'" + name + "' ") + HostClassIdText(o->classId);
    if (!o->desc) {
      return r.Fail(place, "unknown class " + label + ", super class " + HostHexWord(o->superClass) +
                               " (is the plug-in file that defines it loaded?)");
    }
    if (!HostIsSceneSuperClass(o->superClass)) {
      return r.Fail(place,
                    "class " + label + " (super class " + HostHexWord(o->superClass) + ") is not a scene object");
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

}  // namespace

bool ReadSceneDocument(Reader& r, const Json& doc, std::vector<FileObject>* objects, std::vector<int>* roots) {
  if (!doc.is_object()) return r.Fail("", "not a scene file (the top level is not a JSON object)");
  auto format = doc.find("format");
  if (format == doc.end() || !format->is_string() || format->get<std::string>() != kSceneFormatName) {
    return r.Fail("", std::string("not a scene file (no \"format\": \"") + kSceneFormatName + "\")");
  }
  const Json* version = r.Member(doc, "version", "");
  if (!version) return false;
  if (!version->is_number_integer() || *version < kOldestSceneFormatVersion || *version > kSceneFormatVersion) {
    return r.Fail("version", "format version " + version->dump() + " is not supported (this host reads versions " +
                                 std::to_string(kOldestSceneFormatVersion) + " to " +
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

}  // namespace hostscene
