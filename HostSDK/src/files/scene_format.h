// What the scene file's parts share inside the host layer: the holder of
// references, the reader of the file's values, what the file says of each
// object, and the small texts of class ids and words.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "hostside/class_registry.h"
#include "hostside/paramblock_access.h"
#include "hostside/scene_file.h"
#include "plugapi.h"
#include "ref.h"

namespace hostscene {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

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

  bool Holds(ReferenceTarget* t) const { return held_.count(t) != 0; }
  void Add(ReferenceTarget* t) {
    targets_.push_back(nullptr);
    held_.insert(t);
    ReplaceReference(NumRefs() - 1, t, 0);
  }
  // Drops every reference; a target nothing else references is deleted.
  void DropAll() {
    DeleteAllRefsFromMe();
    targets_.clear();
    held_.clear();
  }

 private:
  std::vector<ReferenceTarget*> targets_;
  std::unordered_set<ReferenceTarget*> held_;
};

constexpr int kMaxTypes = 5;
constexpr ParamType kTypes[kMaxTypes] = {TYPE_FLOAT, TYPE_INT, TYPE_RGBA, TYPE_POINT3, TYPE_BOOL};

bool IsBlockClass(SClass_ID superClass, Class_ID classId);
inline std::string ObjPlace(size_t i) { return "objects[" + std::to_string(i) + "]"; }

// A text fit for a one-line message: control characters, and bytes that are
// not UTF-8, escaped as \xNN; longer than `max` bytes, cut with "...".
std::string Printable(std::string_view text, size_t max = std::string_view::npos);
// A text from the file as a message quotes it: printable, in double quotes,
// at most 60 bytes of it.
inline std::string Quote(std::string_view text) { return "\"" + Printable(text, 60) + "\""; }

// The JSON document of a scene file's text, within the limits on size and
// nesting. On failure *error is "<line and column>: <problem>".
bool ParseSceneText(std::string_view text, Json* doc, std::string* error);

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
      return Fail(place, Quote(s) + " is not a 32-bit hexadecimal word like \"0x0000ABCD\"");
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
        return Fail(place, "expected a number, found " + Quote(s));
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
  std::string mapName;                         // a map's name
  unsigned int gbufferId = 0;                  // a map's G-buffer id
  std::vector<int> refs;                       // object indexes, -1 for an empty slot
  std::map<std::string, std::string> strings;  // what its Save wrote with SaveString
};

// Reads the whole document into objects and roots, checking every value and
// the reference graph; the first problem is left in the reader.
bool ReadSceneDocument(Reader& r, const Json& doc, std::vector<FileObject>* objects, std::vector<int>* roots);

// Creates, loads and links the objects read; null with the reader's error on
// failure, when everything created is gone again.
std::unique_ptr<Scene> LoadSceneObjects(const std::vector<FileObject>& objects, const std::vector<int>& roots,
                                        Reader& reader);

// The file's text of a document, laid out for people to read and diff.
std::string LayoutSceneJson(const OrderedJson& doc);

}  // namespace hostscene
