#include "scene/param_path.h"

#include <hostside/class_registry.h>
#include <hostside/scene_file.h>

#include <algorithm>
#include <set>
#include <unordered_map>

#include "common/text.h"
#include "common/value_readers.h"

namespace plughost {

namespace {

std::string ListOf(const std::vector<const ParamEntry*>& entries) {
  std::string s;
  for (const ParamEntry* p : entries) s += "\n  " + p->path + " (" + HostParamTypeName(p->type) + ")";
  return s;
}

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
    if (e.type == TYPE_INT) e.choices = HostParamChoices(owner, block, j);
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
    std::string label = HostClassName(root);
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
      if (segment.empty()) segment = HostClassName(sub);
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
  std::string key = HostNameKey(name);
  std::vector<const ParamEntry*> exact, tail, all;
  for (const ParamEntry& p : params) {
    std::string path = HostNameKey(p.path);
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

bool ParseParamValue(ParamType type, const std::string& text, HostParamSample* out, std::string* error) {
  HostParamSample s;
  bool ok = false, on = false;
  switch (type) {
    case TYPE_FLOAT: ok = ParseFloat(text, &s.v[0], error); break;
    case TYPE_INT: ok = ParseInt(text, &s.i, error); break;
    case TYPE_BOOL:
      ok = ParseBool(text, &on, error);
      s.i = on ? 1 : 0;
      break;
    case TYPE_RGBA:
    case TYPE_POINT3: ok = ParseTriple(text, s.v, error); break;
  }
  if (ok) *out = s;
  return ok;
}

std::string FormatParamValue(ParamType type, const HostParamSample& s) {
  switch (type) {
    case TYPE_FLOAT: return FloatText(s.v[0]);
    case TYPE_INT: return std::to_string(s.i);
    case TYPE_BOOL: return s.i ? "on" : "off";
    case TYPE_RGBA:
    case TYPE_POINT3: return FloatText(s.v[0]) + "," + FloatText(s.v[1]) + "," + FloatText(s.v[2]);
  }
  return "?";
}

bool ParseParamValue(const ParamEntry& p, const std::string& text, HostParamSample* out, std::string* error) {
  if (p.choices.empty()) return ParseParamValue(p.type, text, out, error);
  HostParamSample number;
  std::string ignored, list;
  bool isNumber = ParseParamValue(p.type, text, &number, &ignored);
  for (const HostParamChoice& c : p.choices) {
    if ((isNumber && number.i == c.value) || HostNameKey(c.name) == HostNameKey(text)) {
      *out = HostParamSample{};
      out->i = c.value;
      return true;
    }
    list += (list.empty() ? "" : ", ") + c.name + " (" + std::to_string(c.value) + ")";
  }
  return *error = "'" + TerminalSafe(text) + "' is not one of its choices: " + list, false;
}

std::string FormatParamValue(const ParamEntry& p, const HostParamSample& s) {
  for (const HostParamChoice& c : p.choices) {
    if (c.value == s.i) return c.name;
  }
  return FormatParamValue(p.type, s);
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

bool ParseAssignments(const std::vector<std::string>& sets, const std::vector<std::string>& keys, ParamAssignments* out,
                      std::string* error) {
  for (bool keyed : {false, true}) {
    for (const std::string& text : keyed ? keys : sets) {
      ParamAssignment a;
      if (!ParseAssignment(text, keyed, &a, error)) return *error = (keyed ? "--key " : "--set ") + *error, false;
      (keyed ? out->keys : out->sets).push_back(std::move(a));
    }
  }
  return true;
}

bool ApplyAssignments(const std::vector<ReferenceTarget*>& roots, const ParamAssignments& assignments,
                      std::string* error) {
  std::vector<ParamEntry> params = CollectParams(roots);
  for (const ParamAssignment& a : assignments.sets) {
    const ParamEntry* p = FindParam(params, a.name, error);
    if (!p || !SetParamConstant(*p, a.value, error)) return false;
  }
  for (const ParamAssignment& a : assignments.keys) {
    const ParamEntry* p = FindParam(params, a.name, error);
    if (!p || !SetParamKey(*p, a.time, a.value, error)) return false;
  }
  return true;
}

bool SetParamConstant(const ParamEntry& p, const std::string& value, std::string* error) {
  HostParamValue v;
  v.type = p.type;
  if (!ParseParamValue(p, value, &v.constant, error)) {
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
  if (!ParseParamValue(p, value, &s, error)) {
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

HostParamSample ParamValueAt(const ParamEntry& p, TimeValue t) {
  HostParamSample s;
  s.time = t;
  Interval valid = FOREVER;
  switch (p.type) {
    case TYPE_FLOAT: p.block->GetValue(p.index, t, s.v[0], valid); break;
    case TYPE_INT:
    case TYPE_BOOL: p.block->GetValue(p.index, t, s.i, valid); break;
    case TYPE_RGBA: {
      Color c;
      p.block->GetValue(p.index, t, c, valid);
      s.v[0] = c.r, s.v[1] = c.g, s.v[2] = c.b;
      break;
    }
    case TYPE_POINT3: {
      Point3 pt;
      p.block->GetValue(p.index, t, pt, valid);
      s.v[0] = pt.x, s.v[1] = pt.y, s.v[2] = pt.z;
      break;
    }
  }
  return s;
}

}  // namespace plughost
