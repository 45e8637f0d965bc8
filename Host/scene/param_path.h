// Parameters by the names the host shows, for the command line.
//
// A parameter lives in a parameter block; the object that references the
// block names it (the parameter-name query). From a root, the path to a
// parameter follows sub-anims by their names: "Perturb.Primary Perturb Size"
// is parameter "Primary Perturb Size" of the object that the root shows as its
// sub-anim "Perturb". A parameter block itself adds nothing to the path: its
// parameters are the referencing object's. A sub-anim with an empty name is
// called by its class name. With several roots, each path begins with its
// root's class name ("Name #2" for the second root of the same class).
//
// Names are compared ignoring case, spaces, hyphens and underscores.
#pragma once

#include <hostside/paramblock_access.h>
#include <hostside/scene_file.h>
#include <ref.h>

#include <string>
#include <vector>

namespace plughost {

struct ParamEntry {
  std::string path;  // segments joined with "."
  std::string name;  // the last segment: the parameter's own name
  ReferenceMaker* owner = nullptr;
  IParamBlock* block = nullptr;
  int index = 0;
  ParamType type = TYPE_FLOAT;
  bool animatable = true;
  std::vector<HostParamChoice> choices;  // an integer's named values, where it is a choice
};

// A walk over the scene as the host shows it: each root, then depth first
// each object's sub-anims in order. An object met a second time (shared) is
// reported again with `again` set, and its own sub-anims are not repeated.
class SceneVisitor {
 public:
  virtual ~SceneVisitor() = default;
  // `target` is null for an empty sub-anim slot; `name` is the path segment.
  virtual void Object(int /*depth*/, const std::string& /*name*/, ReferenceTarget* /*target*/, bool /*again*/) {}
  virtual void Param(int /*depth*/, const ParamEntry& /*param*/) {}
};
void WalkScene(const std::vector<ReferenceTarget*>& roots, SceneVisitor& visitor);

// Every parameter reachable from the roots, in the order the host shows them.
// A block reached twice (shared) is listed where it is first met.
std::vector<ParamEntry> CollectParams(const std::vector<ReferenceTarget*>& roots);

// The parameter a user named: its whole path, or, failing that, the end of
// exactly one path. Null with a message that lists what exists otherwise.
const ParamEntry* FindParam(const std::vector<ParamEntry>& params, const std::string& name, std::string* error);

// A value of the type as the command line writes it (command_line.h): a
// number, a whole number, a colour or point as "r,g,b", a boolean as on/off.
bool ParseParamValue(ParamType type, const std::string& text, HostParamSample* out, std::string* error);
std::string FormatParamValue(ParamType type, const HostParamSample& s);
// The same for one parameter: a choice is written by its name, and read by
// its name or value and nothing else.
bool ParseParamValue(const ParamEntry& p, const std::string& text, HostParamSample* out, std::string* error);
std::string FormatParamValue(const ParamEntry& p, const HostParamSample& s);

// "NAME=VALUE" and "NAME@TIME=VALUE" as given to --set and --key.
struct ParamAssignment {
  std::string name, value;
  TimeValue time = 0;
};
bool ParseAssignment(const std::string& text, bool withTime, ParamAssignment* out, std::string* error);

// Every --set and --key of a command, read before anything is loaded so
// that a typo costs no work, then applied in the order given (sets first).
struct ParamAssignments {
  std::vector<ParamAssignment> sets, keys;
};
bool ParseAssignments(const std::vector<std::string>& sets, const std::vector<std::string>& keys, ParamAssignments* out,
                      std::string* error);
bool ApplyAssignments(const std::vector<ReferenceTarget*>& roots, const ParamAssignments& assignments,
                      std::string* error);

// --set: the parameter holds `value` at every time (its keys are dropped).
bool SetParamConstant(const ParamEntry& p, const std::string& value, std::string* error);
// --key: a key at time t, as the host's animate mode makes it (the first key
// away from time 0 also keys time 0 with the value the parameter had).
bool SetParamKey(const ParamEntry& p, TimeValue t, const std::string& value, std::string* error);

// The value the parameter has at time t, as the plug-in's GetValue reads it
// (between keys, on the curve).
HostParamSample ParamValueAt(const ParamEntry& p, TimeValue t);

}  // namespace plughost
