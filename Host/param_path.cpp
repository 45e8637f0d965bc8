#include "param_path.h"

#include <hostside/class_registry.h>
#include <hostside/scene_file.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>
#include <unordered_map>

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool ParseFloat(const std::string& text, float* out) {
  std::string t = Trim(text);
  const char* b = t.data();
  const char* e = b + t.size();
  if (b != e && *b == '+') ++b;
  float v = 0;
  auto r = std::from_chars(b, e, v);
  if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

std::string ListOf(const std::vector<const ParamEntry*>& entries) {
  std::string s;
  for (const ParamEntry* p : entries) s += "\n  " + p->path + " (" + HostParamTypeName(p->type) + ")";
  return s;
}

}  // namespace

std::string NormalizeName(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == ' ' || c == '-' || c == '_' || c == '\t') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

std::string ClassNameOf(ReferenceTarget* t) {
  if (ClassDesc* d = HostFindClass(t->SuperClassID(), t->ClassID())) {
    if (d->ClassName()) return d->ClassName();
  }
  CStr s;
  t->GetClassName(s);
  return s.data();
}

namespace {

void VisitBlock(SceneVisitor& v, int depth, const std::string& prefix, ReferenceMaker* owner, IParamBlock* block) {
  for (int j = 0; j < block->NumParams(); ++j) {
    ParamEntry e;
    std::string name = HostParamName(owner, block, j);
    if (name.empty()) name = "Parameter " + std::to_string(j);
    e.path = prefix + name;
    e.name = name;
    e.owner = owner;
    e.block = block;
    e.index = j;
    ParamBlockDescID d = HostParamDesc(block, j);
    e.type = d.type;
    e.animatable = d.animatable != 0;
    v.Param(depth, e);
  }
}

}  // namespace

void WalkScene(const std::vector<ReferenceTarget*>& roots, SceneVisitor& visitor) {
  std::set<ReferenceTarget*> seen;
  // Depth first with a stack of our own: scenes can be deep.
  struct Frame {
    ReferenceTarget* obj;
    std::string prefix;
    int depth, next, count;
  };
  std::vector<Frame> stack;
  std::unordered_map<std::string, int> labels;  // roots of each class so far
  for (ReferenceTarget* root : roots) {
    std::string label = ClassNameOf(root);
    int same = labels[label]++;
    if (same > 0) label += " #" + std::to_string(same + 1);
    std::string rootPrefix = roots.size() == 1 ? "" : label + ".";
    bool again = !seen.insert(root).second;
    visitor.Object(0, label, root, again);
    if (again) continue;
    if (HostIsParamBlock(root)) {
      VisitBlock(visitor, 1, rootPrefix, nullptr, static_cast<IParamBlock*>(root));
      continue;
    }
    stack.push_back({root, rootPrefix, 0, 0, root->NumSubs()});
    while (!stack.empty()) {
      Frame& f = stack.back();
      if (f.next >= f.count) {
        stack.pop_back();
        continue;
      }
      int i = f.next++, depth = f.depth + 1;
      ReferenceTarget* owner = f.obj;
      std::string prefix = f.prefix;  // f dies when a frame is pushed
      auto* sub = dynamic_cast<ReferenceTarget*>(owner->SubAnim(i));
      std::string segment = owner->SubAnimName(i).data();
      if (sub && HostIsParamBlock(sub)) {
        // A block's parameters are its owner's; shown once, where first met.
        if (seen.insert(sub).second) VisitBlock(visitor, depth, prefix, owner, static_cast<IParamBlock*>(sub));
        continue;
      }
      if (!sub) {
        if (!segment.empty()) visitor.Object(depth, segment, nullptr, false);
        continue;
      }
      if (segment.empty()) segment = ClassNameOf(sub);
      again = !seen.insert(sub).second;
      visitor.Object(depth, segment, sub, again);
      if (!again) stack.push_back({sub, prefix + segment + ".", depth, 0, sub->NumSubs()});
    }
  }
}

std::vector<ParamEntry> CollectParams(const std::vector<ReferenceTarget*>& roots) {
  struct Collector : SceneVisitor {
    std::vector<ParamEntry> params;
    void Param(int, const ParamEntry& p) override { params.push_back(p); }
  } collector;
  WalkScene(roots, collector);
  return collector.params;
}

const ParamEntry* FindParam(const std::vector<ParamEntry>& params, const std::string& name, std::string* error) {
  std::string key = NormalizeName(name);
  std::vector<const ParamEntry*> exact, tail, all;
  for (const ParamEntry& p : params) {
    std::string path = NormalizeName(p.path);
    all.push_back(&p);
    if (path == key)
      exact.push_back(&p);
    else if (path.size() > key.size() && path.compare(path.size() - key.size(), key.size(), key) == 0 &&
             path[path.size() - key.size() - 1] == '.')
      tail.push_back(&p);
  }
  const std::vector<const ParamEntry*>& found = exact.empty() ? tail : exact;
  if (found.size() == 1) return found[0];
  if (error) {
    if (found.size() > 1)
      *error = "parameter '" + name + "' could mean any of:" + ListOf(found);
    else if (all.empty())
      *error = "unknown parameter '" + name + "': the scene has no parameters";
    else
      *error = "unknown parameter '" + name + "'. The parameters are:" + ListOf(all);
  }
  return nullptr;
}

std::string ParamTypeHelp(ParamType type) {
  switch (type) {
    case TYPE_FLOAT: return "float: a number such as 0.5";
    case TYPE_INT: return "int: a whole number";
    case TYPE_RGBA: return "color: three numbers r,g,b such as 1,0.5,0";
    case TYPE_POINT3: return "point3: three numbers x,y,z";
    case TYPE_BOOL: return "bool: 0 or 1, off or on";
  }
  return "unknown type";
}

bool ParseParamValue(ParamType type, const std::string& text, HostParamSample* out, std::string* error) {
  auto bad = [&]() {
    if (error) *error = "bad value '" + text + "' for a " + ParamTypeHelp(type);
    return false;
  };
  HostParamSample s;
  switch (type) {
    case TYPE_FLOAT:
      if (!ParseFloat(text, &s.v[0])) return bad();
      break;
    case TYPE_INT: {
      std::string t = Trim(text);
      const char* b = t.data();
      const char* e = b + t.size();
      if (b != e && *b == '+') ++b;
      auto r = std::from_chars(b, e, s.i);
      if (r.ec != std::errc() || r.ptr != e) return bad();
      break;
    }
    case TYPE_BOOL: {
      std::string t = Lower(Trim(text));
      if (t == "1" || t == "on" || t == "true" || t == "yes")
        s.i = 1;
      else if (t == "0" || t == "off" || t == "false" || t == "no")
        s.i = 0;
      else
        return bad();
      break;
    }
    case TYPE_RGBA:
    case TYPE_POINT3: {
      size_t a = text.find(','), b = a == std::string::npos ? a : text.find(',', a + 1);
      if (b == std::string::npos || text.find(',', b + 1) != std::string::npos) return bad();
      if (!ParseFloat(text.substr(0, a), &s.v[0]) || !ParseFloat(text.substr(a + 1, b - a - 1), &s.v[1]) ||
          !ParseFloat(text.substr(b + 1), &s.v[2]))
        return bad();
      break;
    }
    default: return bad();
  }
  *out = s;
  return true;
}

std::string FormatParamValue(ParamType type, const HostParamSample& s) {
  auto num = [](float f) {
    char buf[64];
    auto end = std::to_chars(buf, buf + sizeof buf, f).ptr;
    return std::string(buf, end);
  };
  switch (type) {
    case TYPE_FLOAT: return num(s.v[0]);
    case TYPE_INT: return std::to_string(s.i);
    case TYPE_BOOL: return s.i ? "on" : "off";
    case TYPE_RGBA:
    case TYPE_POINT3: return num(s.v[0]) + "," + num(s.v[1]) + "," + num(s.v[2]);
  }
  return "?";
}

bool ParseTime(const std::string& text, TimeValue* out, std::string* error) {
  std::string t = Trim(text);
  bool ticks = !t.empty() && (t.back() == 't' || t.back() == 'T');
  if (ticks) t.pop_back();
  const char* b = t.data();
  const char* e = b + t.size();
  if (b != e && *b == '+') ++b;
  long long v = 0;
  auto r = std::from_chars(b, e, v);
  long long scale = ticks ? 1 : GetTicksPerFrame();
  bool ok = r.ec == std::errc() && r.ptr == e && b != e;
  if (ok && (v > std::numeric_limits<TimeValue>::max() / scale || v < std::numeric_limits<TimeValue>::min() / scale))
    ok = false;
  if (!ok) {
    if (error) {
      *error = "bad time '" + text + "': give a whole frame number (" + std::to_string(GetTicksPerFrame()) +
               " ticks a frame) or ticks with a t suffix, like 320t";
    }
    return false;
  }
  *out = static_cast<TimeValue>(v * scale);
  return true;
}

std::string FormatTime(TimeValue t) {
  if (t % GetTicksPerFrame() == 0) return std::to_string(t / GetTicksPerFrame());
  return std::to_string(t) + "t";
}

bool ParseAssignment(const std::string& text, bool withTime, ParamAssignment* out, std::string* error) {
  const char* form = withTime ? "NAME@TIME=VALUE" : "NAME=VALUE";
  size_t eq = text.find('=');
  if (eq == std::string::npos) {
    if (error) *error = "'" + text + "' is not " + form;
    return false;
  }
  ParamAssignment a;
  a.name = text.substr(0, eq);
  a.value = text.substr(eq + 1);
  if (withTime) {
    size_t at = a.name.rfind('@');
    if (at == std::string::npos) {
      if (error) *error = "'" + text + "' is not " + form + ": the time is missing";
      return false;
    }
    if (!ParseTime(a.name.substr(at + 1), &a.time, error)) return false;
    a.name.erase(at);
  }
  a.name = Trim(a.name);
  if (a.name.empty()) {
    if (error) *error = "'" + text + "' is not " + form + ": the name is missing";
    return false;
  }
  *out = std::move(a);
  return true;
}

bool SetParamConstant(const ParamEntry& p, const std::string& value, std::string* error) {
  HostParamValue v;
  v.type = p.type;
  if (!ParseParamValue(p.type, value, &v.constant, error)) {
    if (error) *error = p.path + ": " + *error;
    return false;
  }
  if (!HostSetParam(p.block, p.index, v)) {
    if (error) *error = p.path + ": the parameter block refused the value";
    return false;
  }
  return true;
}

bool SetParamKey(const ParamEntry& p, TimeValue t, const std::string& value, std::string* error) {
  if (!p.animatable) {
    if (error) *error = p.path + " is not animatable";
    return false;
  }
  HostParamSample s;
  if (!ParseParamValue(p.type, value, &s, error)) {
    if (error) *error = p.path + ": " + *error;
    return false;
  }
  HostParamValue now = HostGetParam(p.block, p.index);
  BOOL ok = FALSE;
  if (t == 0 && now.keys.empty()) {
    // Animate mode at time 0 would only set the value; a key was asked for.
    s.time = 0;
    now.keys = {s};
    ok = HostSetParam(p.block, p.index, now) ? TRUE : FALSE;
  } else {
    BOOL was = IsAnimateModeOn();
    SetAnimateMode(TRUE);
    switch (p.type) {
      case TYPE_FLOAT: ok = p.block->SetValue(p.index, t, s.v[0]); break;
      case TYPE_INT:
      case TYPE_BOOL: ok = p.block->SetValue(p.index, t, s.i); break;
      case TYPE_RGBA: {
        Color c(s.v[0], s.v[1], s.v[2]);
        ok = p.block->SetValue(p.index, t, c);
        break;
      }
      case TYPE_POINT3: {
        Point3 pt(s.v[0], s.v[1], s.v[2]);
        ok = p.block->SetValue(p.index, t, pt);
        break;
      }
    }
    SetAnimateMode(was);
  }
  if (!ok) {
    if (error) *error = p.path + ": the parameter block refused the key";
    return false;
  }
  return true;
}
