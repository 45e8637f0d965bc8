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
    return r.Fail(place + ".type", "unknown type " + Quote(tn) + " (float, int, color, point3 or bool)");
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
        return r.Fail(place + ".strings[" + Quote(it.key()) + "]", "expected a text, found " + Reader::Describe(*it));
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
    const char* known = o->desc ? o->desc->ClassName() : nullptr;
    std::string name = known ? std::string(known) : Printable(o->className, 60);
    std::string label = name.empty() ? "" : "'" + name + "' ";
    label += HostClassIdText(o->classId);
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
  if (!o->refs.empty()) {
    return r.Fail(place + ".refs",
                  "a parameter block has no references, the file gives " + std::to_string(o->refs.size()));
  }
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
// be lost on the next save. Chains of references are at most
// kSceneMaxReferenceDepth objects long, so that whatever walks them later
// (names of parameters, say) has bounded work and stack.
bool CheckGraph(Reader& r, const std::vector<FileObject>& objects, const std::vector<int>& roots) {
  enum : char { kNew, kOpen, kDone };
  std::vector<char> state(objects.size(), kNew);
  std::vector<int> height(objects.size(), 0);  // objects on the longest chain from each, itself included
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
        int h = 0;
        for (int child : o.refs) h = std::max(h, child < 0 ? 0 : height[static_cast<size_t>(child)]);
        if (h + 1 > kSceneMaxReferenceDepth) {
          return r.Fail(
              ObjPlace(static_cast<size_t>(f.obj)),
              "references nest more than " + std::to_string(kSceneMaxReferenceDepth) + " objects deep from here");
        }
        height[static_cast<size_t>(f.obj)] = h + 1;
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

// "line L, column C" of byte `at`, both counted from 1.
std::string LineAndColumn(std::string_view text, size_t at) {
  at = std::min(at, text.size());
  size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(at), '\n'));
  size_t lineStart = text.rfind('\n', at == 0 ? 0 : at - 1);
  size_t column = lineStart == std::string_view::npos || at == 0 ? at + 1 : at - lineStart;
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Nesting past the limit is refused before the JSON reader builds it, so
// nothing later (a message that prints a value, the release of the document)
// meets a deep one.
bool CheckNesting(std::string_view text, std::string* error) {
  int depth = 0;
  bool inText = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inText) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inText = false;
    } else if (c == '"') {
      inText = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kSceneMaxNesting) {
        *error =
            LineAndColumn(text, i) + ": values nested more than " + std::to_string(kSceneMaxNesting) + " levels deep";
        return false;
      }
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

// The JSON library's reader of a document, keeping where in the text it
// failed and why, whatever kind of error it was (a number too large for a
// double is not a syntax error but fails as well).
class PlacedDomReader : public nlohmann::detail::json_sax_dom_parser<Json> {
 public:
  explicit PlacedDomReader(Json& doc) : json_sax_dom_parser(doc, false) {}
  template <class Exception>
  bool parse_error(std::size_t position, const std::string&, const Exception& e) {
    at = position;
    // The text after the library's "[json.exception....] " tag, and after
    // its own "parse error at line L, column C: ", which the caller gives.
    what = e.what();
    size_t tag = what.find("] ");
    if (tag != std::string::npos) what.erase(0, tag + 2);
    if (what.rfind("parse error", 0) == 0) {
      size_t colon = what.find(": ");
      if (colon != std::string::npos) what.erase(0, colon + 2);
    }
    return false;
  }
  size_t at = 0;
  std::string what;
};

}  // namespace

std::string Printable(std::string_view text, size_t max) {
  std::string out;
  auto escape = [&](unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (out.size() >= max) {
      out += "...";
      break;
    }
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F)
        escape(c);
      else
        out += static_cast<char>(c);
      continue;
    }
    // A whole UTF-8 sequence of a character from U+00A0 on stays; anything
    // else past ASCII (stray bytes, overlong forms, the C1 controls) is
    // escaped byte by byte.
    size_t n = c >= 0xF0 ? (c < 0xF5 ? 4 : 0) : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    uint32_t cp = n == 2 ? c & 0x1Fu : n == 3 ? c & 0x0Fu : c & 0x07u;
    bool whole = n > 0 && i + n <= text.size();
    for (size_t k = 1; whole && k < n; ++k) {
      auto cc = static_cast<unsigned char>(text[i + k]);
      whole = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3Fu);
    }
    uint32_t least = n == 2 ? 0xA0 : n == 3 ? 0x800 : 0x10000;
    if (whole && cp >= least && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
      out.append(text.substr(i, n));
      i += n - 1;
    } else {
      escape(c);
    }
  }
  return out;
}

bool ParseSceneText(std::string_view text, Json* doc, std::string* error) {
  if (text.size() > kSceneMaxFileBytes) {
    *error = "the text is " + std::to_string(text.size()) + " bytes, more than the limit of " +
             std::to_string(kSceneMaxFileBytes);
    return false;
  }
  if (!CheckNesting(text, error)) return false;
  Json parsed;
  PlacedDomReader reader(parsed);
  if (!Json::sax_parse(text.begin(), text.end(), &reader)) {
    *error = LineAndColumn(text, reader.at == 0 ? 0 : reader.at - 1) + ": not valid JSON: " + reader.what;
    return false;
  }
  *doc = std::move(parsed);
  return true;
}

bool ReadSceneDocument(Reader& r, const Json& doc, std::vector<FileObject>* objects, std::vector<int>* roots) {
  if (!doc.is_object()) return r.Fail("", "not a scene file (the top level is not a JSON object)");
  auto format = doc.find("format");
  if (format == doc.end() || !format->is_string() || format->get<std::string>() != kSceneFormatName) {
    return r.Fail("", std::string("not a scene file (no \"format\": \"") + kSceneFormatName + "\")");
  }
  const Json* version = r.Member(doc, "version", "");
  if (!version) return false;
  if (!version->is_number_integer() || *version < kOldestSceneFormatVersion || *version > kSceneFormatVersion) {
    // Dumped only when a number: anything else may be nested deep or long.
    std::string given = version->is_number() ? version->dump() : Reader::Describe(*version);
    return r.Fail("version", "format version " + given + " is not supported (this host reads versions " +
                                 std::to_string(kOldestSceneFormatVersion) + " to " +
                                 std::to_string(kSceneFormatVersion) + ")");
  }
  const Json* jobjects = r.Member(doc, "objects", "");
  const Json* jroots = jobjects ? r.Member(doc, "roots", "") : nullptr;
  if (!jroots) return false;
  if (!jobjects->is_array()) return r.Fail("objects", "expected an array, found " + Reader::Describe(*jobjects));
  if (!jroots->is_array()) return r.Fail("roots", "expected an array, found " + Reader::Describe(*jroots));
  if (jobjects->size() > kSceneMaxObjects) {
    return r.Fail("objects", std::to_string(jobjects->size()) + " objects, more than the limit of " +
                                 std::to_string(kSceneMaxObjects));
  }
  objects->resize(jobjects->size());
  for (size_t i = 0; i < jobjects->size(); ++i) {
    if (!ReadObject(r, (*jobjects)[i], i, jobjects->size(), &(*objects)[i])) return false;
  }
  std::vector<char> isRoot(objects->size(), 0);
  for (size_t k = 0; k < jroots->size(); ++k) {
    std::string place = "roots[" + std::to_string(k) + "]";
    int64_t v = 0;
    if (!r.Int((*jroots)[k], place, 0, static_cast<int64_t>(objects->size()) - 1, &v)) return false;
    if (isRoot[static_cast<size_t>(v)]) return r.Fail(place, "object " + std::to_string(v) + " is a root already");
    isRoot[static_cast<size_t>(v)] = 1;
    roots->push_back(static_cast<int>(v));
  }
  return CheckGraph(r, *objects, *roots);
}

}  // namespace hostscene
