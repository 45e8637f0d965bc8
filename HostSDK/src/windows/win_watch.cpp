// A window's non-owning watch on an object of the scene (a parameter map on
// its block, the material editor on the map it shows).
//
// The watch is a reference like any other, so the object's change messages
// and its deletion reach it. What it must not do is change the object's
// life: the reference mechanism deletes a target when its last reference is
// dropped with deletion asked for, and keeps it while any reference remains.
// So the watch remembers whether it has seen the object owned (when it was
// bound, or whenever it looked since). If it has, and all owners have gone,
// the object lives on only because of the watch; the watch lets go of it
// with deletion, as the last owner's drop would have done. An object it never
// saw owned (one its creator holds by pointer) it never deletes.
#include <set>

#include "ref.h"
#include "windows/win_internal.h"

namespace hostui {
namespace {

// Every watch's reference maker. Other watches are no owners: two windows
// watching one object must not take each other for its owner.
std::set<const ReferenceMaker*>& Watchers() {
  static auto* s = new std::set<const ReferenceMaker*>;
  return *s;
}

bool HasOwner(ReferenceTarget* t) {
  for (ReferenceMaker* d : t->Dependents())
    if (!Watchers().count(d)) return true;
  return false;
}

}  // namespace

class Watch::Maker : public ReferenceMaker {
 public:
  explicit Maker(std::function<void(ReferenceTarget*, unsigned int)> onMessage) : onMessage_(std::move(onMessage)) {
    Watchers().insert(this);
  }
  ~Maker() override {
    Bind(nullptr);
    Watchers().erase(this);
  }

  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? target_ : nullptr; }
  void SetReference(int i, RefTargetHandle t) override {
    if (i == 0) target_ = t;
  }
  RefResult NotifyRefChanged(Interval, RefTargetHandle target, PartID&, RefMessage message) override {
    if (message == REFMSG_TARGET_DELETED) owned_ = false;
    if (onMessage_) onMessage_(target, message);
    return REF_SUCCEED;
  }

  void Bind(ReferenceTarget* t) {
    if (t == target_) return;
    if (target_) Release();
    owned_ = t && HasOwner(t);
    if (t) ReplaceReference(0, t, 0);
  }

  bool DropIfOrphaned() {
    if (!target_) return false;
    if (HasOwner(target_)) {
      owned_ = true;  // owned now, so an owner's later drop ends it
      return false;
    }
    if (!owned_) return false;
    Release();
    return true;
  }

  ReferenceTarget* target_ = nullptr;

 private:
  // Lets go of the target; deletes it when the watch has seen it owned and
  // no owner is left, whatever other watches still look at it (they are told
  // of the deletion like any dependent).
  void Release() {
    ReferenceTarget* t = target_;
    bool orphan = owned_ && !HasOwner(t);
    ReplaceReference(0, nullptr, 0);
    if (orphan) t->DeleteThis();
  }

  std::function<void(ReferenceTarget*, unsigned int)> onMessage_;
  bool owned_ = false;
};

Watch::Watch(std::function<void(ReferenceTarget*, unsigned int)> onMessage)
    : maker_(std::make_unique<Maker>(std::move(onMessage))) {}
Watch::~Watch() = default;
void Watch::Set(ReferenceTarget* target) { maker_->Bind(target); }
ReferenceTarget* Watch::Get() const { return maker_->target_; }
bool Watch::DropIfOrphaned() { return maker_->DropIfOrphaned(); }

}  // namespace hostui
