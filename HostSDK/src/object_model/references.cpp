// References between the host's objects: the record of who references whom,
// change messages, deletion of unreferenced targets, and cloning.
#include <algorithm>
#include <map>
#include <unordered_set>

#include "ref.h"

// ---- The record -------------------------------------------------------------

namespace {

using Record = ReferenceMaker::HostRefRecord;

// A maker's records are kept in slot order, so a slot is found in log time
// even in a holder of a whole scene's roots.
template <typename Records>
auto FindSlot(Records& refs, int slot) {
  return std::lower_bound(refs.begin(), refs.end(), slot, [](const Record& r, int s) { return r.slot < s; });
}

// One entry of `maker` leaves a target's dependents. Searched from the end:
// makers tend to go in the reverse order of their coming.
void DropDependent(std::vector<ReferenceMaker*>& deps, ReferenceMaker* maker) {
  auto d = std::find(deps.rbegin(), deps.rend(), maker);
  if (d != deps.rend()) deps.erase(std::next(d).base());
}

// Targets whose last reference went are deleted one after another rather
// than from inside each other's destructors: a chain of thousands of objects
// (sub-maps within sub-maps, from a file) would otherwise recurse that deep.
// A target is deleted only if it is still unreferenced when its turn comes.
// Like the rest of the reference graph, it belongs to the user-interface
// thread. Never freed: targets in static storage may be deleted after every
// other static object is gone.
struct DeletionQueue {
  std::vector<ReferenceTarget*> order;
  std::unordered_set<ReferenceTarget*> pending;
  bool draining = false;
};
DeletionQueue& Deletions() {
  static DeletionQueue* q = new DeletionQueue;
  return *q;
}

void DeleteWhenUnreferenced(ReferenceTarget* target) {
  DeletionQueue& q = Deletions();
  if (q.pending.insert(target).second) q.order.push_back(target);
  if (q.draining) return;
  q.draining = true;
  struct Done {
    DeletionQueue& q;
    ~Done() {
      q.order.clear();
      q.pending.clear();
      q.draining = false;
    }
  } done{q};
  for (size_t i = 0; i < q.order.size(); ++i) {
    ReferenceTarget* next = q.order[i];
    if (q.pending.erase(next) && next->DependentCount() == 0) next->DeleteThis();
  }
}

}  // namespace

RefTargetHandle ReferenceMaker::HostRefTarget(int slot) const {
  auto it = FindSlot(hostRefs_, slot);
  return it != hostRefs_.end() && it->slot == slot ? it->target : nullptr;
}

void ReferenceMaker::RecordRef(int which, RefTargetHandle target) {
  auto it = FindSlot(hostRefs_, which);
  if (it != hostRefs_.end() && it->slot == which)
    it->target = target;
  else
    hostRefs_.insert(it, {which, target});
  target->dependents_.push_back(this);
}

RefTargetHandle ReferenceMaker::UnrecordRef(int which) {
  auto it = FindSlot(hostRefs_, which);
  if (it == hostRefs_.end() || it->slot != which) return nullptr;
  RefTargetHandle old = it->target;
  hostRefs_.erase(it);
  DropDependent(old->dependents_, this);
  return old;
}

RefResult ReferenceMaker::ReplaceReference(int which, RefTargetHandle target, int delOld) {
  RefTargetHandle old = HostRefTarget(which);
  if (old == target) {
    SetReference(which, target);
    return REF_SUCCEED;
  }
  // Record the new target before dropping the old one, so that a target
  // reachable through both stays alive.
  if (old) UnrecordRef(which);
  if (target) RecordRef(which, target);
  SetReference(which, target);
  if (old && delOld && old->dependents_.empty()) DeleteWhenUnreferenced(old);
  return REF_SUCCEED;
}

RefResult ReferenceMaker::DeleteReference(int which) { return ReplaceReference(which, nullptr, 1); }

void ReferenceMaker::DeleteAllRefsFromMe() {
  // The last slot first, so that each drop takes the end off the record.
  std::vector<int> slots;
  slots.reserve(hostRefs_.size());
  for (const HostRefRecord& r : hostRefs_) slots.push_back(r.slot);
  for (auto it = slots.rbegin(); it != slots.rend(); ++it) DeleteReference(*it);
}

ReferenceMaker::~ReferenceMaker() {
  // The derived object is gone, so no SetReference calls: drop the record and
  // delete what nobody references any more, each target once.
  std::vector<HostRefRecord> refs;
  refs.swap(hostRefs_);
  for (auto it = refs.rbegin(); it != refs.rend(); ++it) DropDependent(it->target->dependents_, this);
  std::unordered_set<ReferenceTarget*> unreferenced;
  for (const HostRefRecord& r : refs)
    if (r.target->dependents_.empty()) unreferenced.insert(r.target);
  for (const HostRefRecord& r : refs)
    if (unreferenced.erase(r.target)) DeleteWhenUnreferenced(r.target);
}

void HostInstallReference(ReferenceMaker* maker, int which, RefTargetHandle target) {
  maker->UnrecordRef(which);
  if (target) maker->RecordRef(which, target);
  maker->SetReference(which, target);
}

// ---- Targets ----------------------------------------------------------------

ReferenceTarget::~ReferenceTarget() {
  if (Deletions().draining) Deletions().pending.erase(this);  // deleted by someone else before its turn
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
  std::unordered_set<ReferenceMaker*> seen;
  for (ReferenceMaker* d : dependents_)
    if (seen.insert(d).second) out.push_back(d);
  return out;
}

RefResult ReferenceTarget::NotifyDependents(Interval changeInt, PartID partID, RefMessage message) {
  // Depth first, each maker once; with a stack of our own, since chains of
  // references come from files and may be long.
  std::unordered_set<ReferenceMaker*> reached;
  struct Frame {
    std::vector<ReferenceMaker*> deps;
    size_t next = 0;
    ReferenceTarget* from;
  };
  std::vector<Frame> stack;
  stack.push_back({Dependents(), 0, this});
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.deps.size()) {
      stack.pop_back();
      continue;
    }
    ReferenceMaker* dep = f.deps[f.next++];
    if (!reached.insert(dep).second) continue;
    PartID part = partID;
    RefResult r = dep->NotifyRefChanged(changeInt, f.from, part, message);
    if (r == REF_STOP || !dep->IsRefTarget()) continue;
    auto* climb = static_cast<ReferenceTarget*>(dep);
    stack.push_back({climb->Dependents(), 0, climb});
  }
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
