// References between the host's objects: the record of who references whom,
// change messages, deletion of unreferenced targets, and cloning.
#include <algorithm>
#include <map>
#include <unordered_set>

#include "ref.h"

// ---- The record -------------------------------------------------------------

void ReferenceMaker::RecordRef(int which, RefTargetHandle target) {
  for (HostRefRecord& r : hostRefs_) {
    if (r.slot == which) {
      r.target = target;
      target->dependents_.push_back(this);
      return;
    }
  }
  hostRefs_.push_back({which, target});
  target->dependents_.push_back(this);
}

RefTargetHandle ReferenceMaker::UnrecordRef(int which) {
  for (auto it = hostRefs_.begin(); it != hostRefs_.end(); ++it) {
    if (it->slot != which) continue;
    RefTargetHandle old = it->target;
    hostRefs_.erase(it);
    auto& deps = old->dependents_;
    auto d = std::find(deps.begin(), deps.end(), this);
    if (d != deps.end()) deps.erase(d);
    return old;
  }
  return nullptr;
}

RefResult ReferenceMaker::ReplaceReference(int which, RefTargetHandle target, int delOld) {
  RefTargetHandle old = nullptr;
  for (const HostRefRecord& r : hostRefs_)
    if (r.slot == which) old = r.target;
  if (old == target) {
    SetReference(which, target);
    return REF_SUCCEED;
  }
  // Record the new target before dropping the old one, so that a target
  // reachable through both stays alive.
  if (old) UnrecordRef(which);
  if (target) RecordRef(which, target);
  SetReference(which, target);
  if (old && delOld && old->dependents_.empty()) old->DeleteThis();
  return REF_SUCCEED;
}

RefResult ReferenceMaker::DeleteReference(int which) { return ReplaceReference(which, nullptr, 1); }

void ReferenceMaker::DeleteAllRefsFromMe() {
  std::vector<HostRefRecord> refs = hostRefs_;
  for (const HostRefRecord& r : refs) DeleteReference(r.slot);
}

ReferenceMaker::~ReferenceMaker() {
  // The derived object is gone, so no SetReference calls: drop the record and
  // delete what nobody references any more.
  std::vector<HostRefRecord> refs;
  refs.swap(hostRefs_);
  for (const HostRefRecord& r : refs) {
    auto& deps = r.target->dependents_;
    auto d = std::find(deps.begin(), deps.end(), this);
    if (d != deps.end()) deps.erase(d);
  }
  for (const HostRefRecord& r : refs) {
    // A target may appear in several slots; delete it once, when its last
    // dependent is gone.
    bool laterSlotHoldsIt = false;
    for (const HostRefRecord& other : refs)
      if (&other > &r && other.target == r.target) laterSlotHoldsIt = true;
    if (!laterSlotHoldsIt && r.target->dependents_.empty()) r.target->DeleteThis();
  }
}

void HostInstallReference(ReferenceMaker* maker, int which, RefTargetHandle target) {
  maker->UnrecordRef(which);
  if (target) maker->RecordRef(which, target);
  maker->SetReference(which, target);
}

// ---- Targets ----------------------------------------------------------------

ReferenceTarget::~ReferenceTarget() {
  // Whoever still references this target loses the reference now.
  while (!dependents_.empty()) {
    ReferenceMaker* dep = dependents_.front();
    int slot = -1;
    for (const HostRefRecord& r : dep->hostRefs_)
      if (r.target == this) slot = r.slot;
    if (slot < 0) {  // out of step; should not happen
      dependents_.erase(dependents_.begin());
      continue;
    }
    dep->UnrecordRef(slot);
    PartID part = PART_ALL;
    dep->NotifyRefChanged(FOREVER, this, part, REFMSG_TARGET_DELETED);
    dep->SetReference(slot, nullptr);
  }
}

std::vector<ReferenceMaker*> ReferenceTarget::Dependents() const {
  std::vector<ReferenceMaker*> out;
  for (ReferenceMaker* d : dependents_)
    if (std::find(out.begin(), out.end(), d) == out.end()) out.push_back(d);
  return out;
}

namespace {

void Propagate(ReferenceTarget* from, Interval changeInt, PartID partID, RefMessage message,
               std::unordered_set<ReferenceMaker*>& reached) {
  for (ReferenceMaker* dep : from->Dependents()) {
    if (!reached.insert(dep).second) continue;
    PartID part = partID;
    RefResult r = dep->NotifyRefChanged(changeInt, from, part, message);
    if (r == REF_STOP) continue;
    if (dep->IsRefTarget()) Propagate(static_cast<ReferenceTarget*>(dep), changeInt, partID, message, reached);
  }
}

}  // namespace

RefResult ReferenceTarget::NotifyDependents(Interval changeInt, PartID partID, RefMessage message) {
  std::unordered_set<ReferenceMaker*> reached;
  Propagate(this, changeInt, partID, message, reached);
  return REF_SUCCEED;
}

// ---- Cloning ----------------------------------------------------------------

namespace {

class HostRemapDir : public RemapDir {
 public:
  RefTargetHandle CloneRef(RefTargetHandle oldTarget) override {
    if (!oldTarget) return nullptr;
    if (RefTargetHandle done = FindMapping(oldTarget)) return done;
    RefTargetHandle copy = oldTarget->Clone(*this);
    if (copy) AddEntry(oldTarget, copy);
    return copy;
  }
  RefTargetHandle FindMapping(RefTargetHandle oldTarget) override {
    auto it = map_.find(oldTarget);
    return it == map_.end() ? nullptr : it->second;
  }
  void AddEntry(RefTargetHandle oldTarget, RefTargetHandle newTarget) override { map_[oldTarget] = newTarget; }

 private:
  std::map<RefTargetHandle, RefTargetHandle> map_;
};

}  // namespace

RemapDir* NewRemapDir() { return new HostRemapDir; }
void DeleteRemapDir(RemapDir* remap) { delete remap; }

RefTargetHandle CloneRefHierarchy(RefTargetHandle target) {
  HostRemapDir remap;
  return remap.CloneRef(target);
}
