// Saving: the objects in order from the roots, each with its class, its
// references by index, its texts and, for a block, its parameters and keys.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "files/scene_format.h"
#include "hostside/class_registry.h"
#include "imtl.h"
#include "ioapi.h"

namespace hostscene {

namespace {

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
  std::vector<int> height;                  // objects on the longest chain from each, itself included
  std::unordered_map<ReferenceTarget*, int> index;
};

// Objects in the order written: depth first from each root in turn, each
// object's references in slot order, an object at its first meeting. A
// chain of references longer than the reader takes is refused here, before
// anything is written, so that no save makes a file that cannot be loaded.
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
    order->height.push_back(0);
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
        // Every reference is done by now: reached below, or earlier and closed.
        int h = 0;
        for (int child : order->refs[static_cast<size_t>(f.at)])
          if (child >= 0) h = std::max(h, order->height[static_cast<size_t>(child)]);
        if (h + 1 > kSceneMaxReferenceDepth) {
          *error = "references would nest more than " + std::to_string(kSceneMaxReferenceDepth) +
                   " objects deep from '" + HostClassName(f.obj) + "' (object " + std::to_string(f.at) +
                   "): the scene could not be loaded again";
          return false;
        }
        order->height[static_cast<size_t>(f.at)] = h + 1;
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
          *error = "reference cycle: '" + HostClassName(child) + "' (object " + std::to_string(known->second) +
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

}  // namespace

}  // namespace hostscene

using namespace hostscene;

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
        *error = "object " + std::to_string(i) + " is of class " + HostClassIdText(id) + ", super class " +
                 HostHexWord(super) + ", which is not registered: the scene could not be loaded again";
      }
      return false;
    }
    SceneSaver saver;
    if (t->Save(&saver) != IO_OK) {
      if (error) *error = "object " + std::to_string(i) + " ('" + HostClassName(t) + "') failed to save";
      return false;
    }
    OrderedJson o;
    o["index"] = i;
    o["class"] = desc && desc->ClassName() ? desc->ClassName() : (block ? "ParamBlock" : "");
    o["classId"] = OrderedJson::array({HostHexWord(id.PartA()), HostHexWord(id.PartB())});
    o["superClassId"] = HostHexWord(super);
    if (super == TEXMAP_CLASS_ID) {
      auto* map = static_cast<MtlBase*>(t);
      o["name"] = map->GetName().data();
      o["gbufferId"] = map->GetGBufID();
    }
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
  if (!scene.Settings().empty()) {
    OrderedJson settings = OrderedJson::object();
    for (const auto& [name, value] : scene.Settings()) settings[name] = value;
    doc["settings"] = std::move(settings);
  }
  *text = LayoutSceneJson(doc);
  if (text->size() > kSceneMaxFileBytes || order.objects.size() > kSceneMaxObjects) {
    if (error) {
      *error = "the scene would take " + std::to_string(text->size()) + " bytes and " +
               std::to_string(order.objects.size()) + " objects, more than a scene file may hold (" +
               std::to_string(kSceneMaxFileBytes) + " bytes, " + std::to_string(kSceneMaxObjects) + " objects)";
    }
    text->clear();
    return false;
  }
  return true;
}
