// Loading: objects created through their classes, their Load, the
// references installed, then the post-load callbacks, as the host does.
#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

#include "files/scene_format.h"
#include "hostside/class_registry.h"
#include "imtl.h"
#include "ioapi.h"

namespace hostscene {

namespace {

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
      r_.Fail(ObjPlace(i), "class '" + name + "' created an object of another class " + HostClassIdText(t->ClassID()));
      return nullptr;
    }
    // Set before the object's own Load, which may read more of its base.
    if (o.superClass == TEXMAP_CLASS_ID) {
      auto* map = static_cast<MtlBase*>(t);
      map->SetName(o.mapName.c_str());
      map->SetGBufID(o.gbufferId);
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

  bool InstallAll() {
    for (size_t i = 0; i < live_.size(); ++i) {
      ReferenceTarget* maker = live_[i];
      const std::vector<int>& refs = objects_[i].refs;
      for (size_t k = 0; k < refs.size(); ++k) {
        if (refs[k] < 0) continue;
        int slot = static_cast<int>(k);
        ReferenceTarget* target = live_[static_cast<size_t>(refs[k])];
        ReferenceTarget* old = maker->HostRefTarget(slot);
        if (old == target) continue;
        if (old) {
          // The maker made a target of some kind here: the loaded one must be
          // of that kind, or the maker would use it as what it is not.
          bool oldBlock = HostIsParamBlock(old), newBlock = HostIsParamBlock(target);
          if (oldBlock != newBlock || (!oldBlock && old->SuperClassID() != target->SuperClassID())) {
            return r_.Fail(ObjPlace(i) + ".refs[" + std::to_string(k) + "]",
                           "'" + HostClassName(maker) + "' holds " + Kind(old) + " in this reference, the file gives " +
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
    std::unordered_map<const void*, size_t> loadedAt;
    for (size_t j = 0; j < live_.size(); ++j) loadedAt.emplace(static_cast<const void*>(live_[j]), j);
    for (size_t i = 0; i < live_.size(); ++i) {
      if (live_[i]->SuperClassID() != TEXMAP_CLASS_ID) continue;
      auto* map = static_cast<Texmap*>(live_[i]);
      for (int s = 0; s < map->NumSubTexmaps(); ++s) {
        auto found = loadedAt.find(static_cast<const void*>(map->GetSubTexmap(s)));
        if (found == loadedAt.end() || live_[found->second]->SuperClassID() == TEXMAP_CLASS_ID) continue;
        size_t j = found->second;
        return r_.Fail(ObjPlace(i), "'" + HostClassName(live_[i]) + "' takes a texture map as its sub-map " +
                                        std::to_string(s) + ", the file gives object " + std::to_string(j) + ", " +
                                        Kind(live_[j]));
      }
    }
    return true;
  }

  static std::string Kind(ReferenceTarget* t) {
    if (HostIsParamBlock(t)) return "a parameter block";
    return "an object of class '" + HostClassName(t) + "' (super class " + HostHexWord(t->SuperClassID()) + ")";
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
      ReferenceTarget* now = maker->HostRefTarget(slot);
      if (!made || !now || !HostIsParamBlock(made) || !HostIsParamBlock(now)) continue;
      auto* mb = static_cast<IParamBlock*>(made);
      auto* nb = static_cast<IParamBlock*>(now);
      int diff = LayoutDifference(mb, nb);
      if (mb->GetVersion() == nb->GetVersion() && diff < 0) continue;
      std::string what = "'" + HostClassName(maker) + "' uses a parameter block of " + LayoutText(mb) +
                         " in reference " + std::to_string(slot) + "; the file's block (object " +
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

}  // namespace

std::unique_ptr<Scene> LoadSceneObjects(const std::vector<FileObject>& objects, const std::vector<int>& roots,
                                        Reader& reader) {
  SceneLoader loader(objects, reader);
  return loader.Load(roots);
}

}  // namespace hostscene

using namespace hostscene;

std::unique_ptr<Scene> HostReadScene(std::string_view text, const std::string& source, std::string* error) {
  // One line, whatever the file held.
  auto fail = [&](const std::string& what) -> std::unique_ptr<Scene> {
    if (error) *error = Printable(source + ": " + what);
    return nullptr;
  };
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return fail("the file is empty");
  Json doc;
  std::string why;
  if (!ParseSceneText(text, &doc, &why)) return fail(why);
  Reader reader;
  std::vector<FileObject> objects;
  std::vector<int> roots;
  if (!ReadSceneDocument(reader, doc, &objects, &roots)) return fail(reader.Error());
  std::map<std::string, double> settings;
  if (auto it = doc.find("settings"); it != doc.end()) {
    if (!it->is_object()) return fail("settings: expected an object, found " + Reader::Describe(*it));
    for (const auto& [name, value] : it->items()) {
      if (!value.is_number()) return fail("settings." + name + ": expected a number, found " + Reader::Describe(value));
      settings[name] = value.get<double>();
    }
  }
  doc = Json();  // not needed any more: the objects take its place in memory
  std::unique_ptr<Scene> scene = LoadSceneObjects(objects, roots, reader);
  if (!scene) return fail(reader.Error());
  for (const auto& [name, value] : settings) scene->SetSetting(name, value);
  return scene;
}
