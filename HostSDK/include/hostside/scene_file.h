// Scenes: a set of root objects and everything they reference, saved to and
// loaded from a versioned JSON file (docs/scene-format.md describes it).
//
// Saving walks the reference graph from the roots (NumRefs/GetReference, in
// slot order) and writes each object once: its class and super-class ids, the
// class name for readers, its references as object indexes (a target
// referenced from several places is written once and referenced by index), and
// for a parameter block its version and every parameter whole. Each object's
// Save(ISave*) runs; the texts it writes with SaveString are kept with it and
// answered by ILoad::LoadString while its Load runs.
//
// Loading is the host's order:
//  1. every object is created: a parameter block with CreateParameterBlock and
//     the file's layout (then its values are set), any other object through its
//     registered class's Create(TRUE);
//  2. Load(ILoad*) runs on each object, in file order;
//  3. each reference is installed with HostInstallReference, which calls the
//     maker's SetReference. A target the maker's construction had installed in
//     that slot is displaced: it stays alive, and ILoad::DisplacedReference
//     answers it;
//  4. the post-load callbacks registered during 2 run, lowest Priority first
//     (in registration order within a priority), and are deleted;
//  5. where a loaded parameter block displaced one the object made, the block
//     now in that slot must have the made block's version and layout (a
//     converter may have brought an older one up to date);
//  6. displaced targets that nothing references any more are deleted, and so
//     is every loaded object that no root reaches now (a block a converter
//     replaced, say).
// A file that cannot be loaded leaves nothing behind: every object created so
// far is deleted, and the error names the file and the place in it.
//
// All of this runs on the user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "../iparamb.h"
#include "../ref.h"

// Version of the file layout written. Version 2 added a map's name and
// G-buffer id; files of version 1 still load (their maps unnamed, channel 0).
constexpr int kSceneFormatVersion = 2;
constexpr int kOldestSceneFormatVersion = 1;

// What a scene file may hold, so that no file exhausts the memory or the
// stack of the host that reads it (docs/scene-format.md lists them). The
// format itself nests at most nine levels, and the deepest reference chain of
// a texture is a handful.
inline constexpr uint64_t kSceneMaxFileBytes = 64ull << 20;
inline constexpr int kSceneMaxNesting = 32;          // levels of JSON arrays and objects
inline constexpr size_t kSceneMaxObjects = 1000000;  // entries of "objects"
inline constexpr int kSceneMaxReferenceDepth = 128;  // objects on the longest chain of references from a root
// The "format" member of every scene file.
inline constexpr const char* kSceneFormatName = "quorl-scene";

// The root objects of a scene. The scene references each root (through a
// reference maker of the host's), so a root lives at least as long as the
// scene holds it; deleting the scene drops those references, which deletes
// every object nobody else references.
class HOSTSDK_API Scene {
 public:
  Scene();
  ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Adds a root (ignored when null or already a root).
  void AddRoot(ReferenceTarget* root);
  int NumRoots() const;
  ReferenceTarget* Root(int i) const;

  // Numbers the scene keeps for its host beside the objects, by name (the
  // sample slot's bump amount, the animation range); saved as "settings",
  // which a scene without any does not write.
  void SetSetting(const std::string& name, double value);
  bool GetSetting(const std::string& name, double* value) const;
  const std::map<std::string, double>& Settings() const;

 private:
  class Holder;
  Holder* holder_;
};

// Whether objects of this super class can be placed in a scene: the class's
// Create gives a ReferenceTarget. Utilities, for one, are not.
HOSTSDK_API bool HostIsSceneSuperClass(SClass_ID superClass);

// The name the host shows for parameter `index` of `block`, as `owner` (an
// object that references the block) answers the parameter-name query
// (REFMSG_GET_PARAM_NAME); empty when it does not answer.
HOSTSDK_API std::string HostParamName(ReferenceMaker* owner, ReferenceTarget* block, int index);
// Names for parameters whose owner does not answer the query; the host
// program may install one (empty: no name).
using ParamNameFallback = std::string (*)(ReferenceMaker* owner, ReferenceTarget* block, int index);
HOSTSDK_API ParamNameFallback HostSetParamNameFallback(ParamNameFallback fallback);
// One value of an integer parameter that is a choice, and the name shown for it.
struct HostParamChoice {
  int value = 0;
  std::string name;
};
// An owner that names the values of its integer parameters that are choices.
class HostParamChoiceSource {
 public:
  virtual std::vector<HostParamChoice> ParamChoices(ReferenceTarget* block, int index) = 0;

 protected:
  ~HostParamChoiceSource() = default;
};
// The choices of parameter `index` of `block` where its owner names them (the
// host's own objects do, with the texts of their rollups' radio buttons);
// empty for a plain number.
HOSTSDK_API std::vector<HostParamChoice> HostParamChoices(ReferenceMaker* owner, ReferenceTarget* block, int index);
// "float", "int", "color", "point3" or "bool": the type names of scene files
// and of the command line.
HOSTSDK_API const char* HostParamTypeName(ParamType type);

// The scene as the text of a scene file. On failure (a reference cycle, an
// object of a class that is not registered, an object whose Save fails, a
// text past the limits above, which no host would read back) the result is
// false and *error says why.
HOSTSDK_API bool HostWriteScene(const Scene& scene, std::string* text, std::string* error);
// A scene from the text of a scene file; `source` names the text in messages.
// On failure: null, and *error is one line, "<source>: <place>: <problem>",
// where the place is a line and column or a path into the document
// ("objects[3].refs[1]"); what it quotes from the text is escaped and cut
// short. Loading takes time in proportion to the file.
HOSTSDK_API std::unique_ptr<Scene> HostReadScene(std::string_view text, const std::string& source, std::string* error);

// Writes the scene to `file` through HostWriteFileAtomically
// (hostside/file_io.h): a failed save leaves the previous file as it was.
HOSTSDK_API bool HostSaveScene(const Scene& scene, const std::filesystem::path& file, std::string* error);
// Reads a scene from a regular file of at most kSceneMaxFileBytes.
HOSTSDK_API std::unique_ptr<Scene> HostLoadScene(const std::filesystem::path& file, std::string* error);
