// plughost scene: create, edit and inspect scene files. Each command reports
// problems on standard error as one message, and a command that fails writes
// nothing.
#include <hostside/class_registry.h>
#include <hostside/file_io.h>
#include <hostside/paramblock_access.h>
#include <hostside/scene_file.h>
#include <imtl.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "cli/cli_options.h"
#include "cli/verbs.h"
#include "common/failure.h"
#include "common/text.h"
#include "scene/map_verbs.h"
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

// A scene with one new object of each named class (names compared ignoring
// case, spaces, hyphens and underscores), saved to `out`.
int SceneNew(const std::string& out, const std::vector<std::string>& classes) {
  // Every class is found before anything is made.
  std::vector<ClassDesc*> descs;
  for (const std::string& name : classes) {
    ClassDesc* d = HostFindClassByName(name);
    if (!d)
      return FailBadInput("unknown class '" + name + "'. Classes that can be placed in a scene:" + SceneClassList());
    if (!HostIsSceneSuperClass(d->SuperClassID())) {
      return FailBadInput("class '" + NameOf(d) + "' (super class " + HostHexWord(d->SuperClassID()) +
                          ") cannot be placed in a scene. Classes that can:" + SceneClassList());
    }
    if (d->SuperClassID() == PARAMETER_BLOCK_CLASS_ID) {
      return FailBadInput(
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

// Every edit of a scene file goes through here: locked from the read to the
// save, so that edits of one file at once queue instead of one undoing
// another. Saves to `out`, or back to `file` when `out` is empty. The exit
// status: a scene or an edit that is wrong is bad input, a save that fails
// a failure while running.
int EditSceneFile(const std::string& file, const std::string& out,
                  const std::function<bool(Scene&, std::string*)>& edit) {
  std::string error;
  std::unique_ptr<HostFileLock> lock = HostLockFile(file, &error);
  if (!lock) return FailBadInput("cannot read " + file + ": " + error);
  std::unique_ptr<Scene> scene = HostLoadScene(file, &error);
  if (!scene || !edit(*scene, &error)) return FailBadInput(error);
  return HostSaveScene(*scene, out.empty() ? file : out, &error) ? 0 : Fail(error);
}

// Loads `file`, applies every --set (NAME=VALUE) and then every --key
// (NAME@TIME=VALUE) in the order given, and saves.
int SceneSet(const std::string& file, const std::vector<std::string>& sets, const std::vector<std::string>& keys,
             const std::string& out) {
  ParamAssignments assignments;
  std::string error;
  if (!ParseAssignments(sets, keys, &assignments, &error)) return FailBadInput(error);
  auto apply = [&](Scene& scene, std::string* e) { return ApplyAssignments(SceneRoots(scene), assignments, e); };
  return EditSceneFile(file, out, apply);
}

int SceneMapVerb(const std::string& file, const MapVerb& verb, const std::string& out) {
  std::string error;
  if (!CheckMapVerb(verb, &error)) return FailBadInput(error);
  auto apply = [&](Scene& scene, std::string* e) { return ApplyMapVerb(scene, file, verb, e); };
  return EditSceneFile(file, out, apply);
}

class Printer : public SceneVisitor {
 public:
  void Object(int depth, const std::string& name, ReferenceTarget* t, bool again) override {
    path_.resize(static_cast<size_t>(depth));
    path_.push_back(name);
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    if (!t) {
      line += name + ": none";
    } else {
      std::string cls = HostClassName(t);
      // A root shows its place ("Vede #2" for the second Vede), which tells
      // apart roots of one class and name.
      line += depth == 0 ? TerminalSafe(name) : name == cls ? cls : name + ": " + cls;
      if (t->SuperClassID() == TEXMAP_CLASS_ID) {
        auto* map = static_cast<MtlBase*>(t);
        if (!map->GetName().isNull()) line += " " + QuoteText(map->GetName().data());
        if (map->GetGBufID() != 0) line += "  channel " + std::to_string(map->GetGBufID());
        if (depth > 0 && !again) line += "  place " + TerminalSafe(JoinPlace(path_));
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
      line += " = " + FormatParamValue(p, v.constant);
    } else {
      line += " keys:";
      for (size_t k = 0; k < v.keys.size(); ++k) {
        line += (k ? ", " : " ") + TimeText(v.keys[k].time) + "=" + FormatParamValue(p, v.keys[k]);
      }
    }
    std::printf("%s\n", line.c_str());
  }

 private:
  std::vector<std::string> path_;  // the names that lead to the object shown last
};

// Prints the scene's objects as a tree with their parameters' values and keys,
// and each map's name and effects channel.
int SceneShow(const std::string& file) {
  std::string error;
  std::unique_ptr<Scene> scene = HostLoadScene(file, &error);
  if (!scene) return FailBadInput(error);
  std::vector<ReferenceTarget*> roots = SceneRoots(*scene);
  std::printf("%s: %zu root object(s); times in frames (%d ticks each) or ticks with t\n", file.c_str(), roots.size(),
              GetTicksPerFrame());
  Printer printer;
  WalkScene(roots, printer);
  return 0;
}

// The map verbs: each FILE [VALUE] [--map MAP] [--into MAP --slot N] [-o OUT].
void AddMapVerbs(CLI::App* scene, Verbs& verbs) {
  struct VerbSpec {
    const char* name;
    MapVerb::Kind kind;
    const char* help;
    const char* value;  // the name of the verb's value, if it takes one
  };
  const VerbSpec specs[] = {
      {"reset", MapVerb::kReset, "Reset a map: its parameters back to their defaults", nullptr},
      {"copy", MapVerb::kCopy, "Copy a map with everything it references: a new root, or --into a sub-map slot",
       nullptr},
      {"instance", MapVerb::kInstance, "Show the same map --into a sub-map slot of another map", nullptr},
      {"rename", MapVerb::kRename, "Name a map", "name"},
      {"channel", MapVerb::kChannel, "Set a map's effects channel (G-buffer id), 0 to 15", "channel"},
  };
  for (const VerbSpec& v : specs) {
    struct State {
      MapVerb verb;
      std::string file, out;
    };
    auto state = std::make_shared<State>();
    state->verb.kind = v.kind;
    CLI::App* cmd = scene->add_subcommand(v.name, v.help);
    cmd->add_option("file", state->file, "The scene file to read")->required();
    if (v.value) cmd->add_option(v.value, state->verb.value, v.help)->required();
    cmd->add_option("--map", state->verb.map,
                    "Which map: its name, or its place as show prints it, e.g. \"Vede #2.Map\" (default: the first "
                    "map among the roots)");
    if (v.kind == MapVerb::kCopy || v.kind == MapVerb::kInstance) {
      cmd->add_option("--into", state->verb.into, "The map whose sub-map slot takes it");
      AddNumberOption(cmd, "--slot", state->verb.slot, "That sub-map slot");
    }
    cmd->add_option("-o,--output", state->out, "Save to this file instead of the one read");
    verbs.push_back({cmd, [state] { return SceneMapVerb(state->file, state->verb, state->out); }});
  }
}

}  // namespace

void AddSceneVerbs(CLI::App& app, Verbs& verbs) {
  CLI::App* scene = app.add_subcommand("scene", "Create, edit and inspect scene files");
  scene->require_subcommand(1);

  struct NewOptions {
    std::string file;
    std::vector<std::string> classes;
  };
  auto made = std::make_shared<NewOptions>();
  CLI::App* sceneNew = scene->add_subcommand("new", "Write a new scene holding one object of each --class");
  sceneNew->add_option("file", made->file, "The scene file to write")->required();
  sceneNew->add_option("--class", made->classes, "A class by name (case, spaces, hyphens and underscores ignored)")
      ->required()
      ->allow_extra_args(false);
  verbs.push_back({sceneNew, [made] { return SceneNew(made->file, made->classes); }});

  struct SetOptions {
    std::string file, out;
    std::vector<std::string> sets, keys;
  };
  auto set = std::make_shared<SetOptions>();
  CLI::App* sceneSet = scene->add_subcommand("set", "Set parameters and keys, then save the scene");
  sceneSet->add_option("file", set->file, "The scene file to read")->required();
  sceneSet
      ->add_option("--set", set->sets,
                   "NAME=VALUE: the parameter holds VALUE at all times (its keys go). NAME is the path the "
                   "show command prints, e.g. \"Perturb.Primary Perturb Size\"; colours as r,g,b, booleans as "
                   "0/1 or on/off")
      ->allow_extra_args(false);
  sceneSet
      ->add_option("--key", set->keys,
                   "NAME@TIME=VALUE: a key at TIME, a frame number (160 ticks each) or ticks with a t suffix "
                   "(320t). The first key away from time 0 also keys time 0 with the value before")
      ->allow_extra_args(false);
  sceneSet->add_option("-o,--output", set->out, "Save to this file instead of the one read");
  verbs.push_back({sceneSet, [set] { return SceneSet(set->file, set->sets, set->keys, set->out); }});

  auto shown = std::make_shared<std::string>();
  CLI::App* sceneShow = scene->add_subcommand("show", "Print the scene's objects, parameters, values and keys");
  sceneShow->add_option("file", *shown, "The scene file to read")->required();
  verbs.push_back({sceneShow, [shown] { return SceneShow(*shown); }});

  AddMapVerbs(scene, verbs);
}

}  // namespace plughost
