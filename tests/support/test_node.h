// A reference target for tests: holds any number of references (keeping
// what it references alive, as a material keeps its maps) and logs the
// messages that reach it.
#pragma once

#include <vector>

#include "ref.h"

// A target with `n` reference slots that logs what reaches it.
class TestNode : public ReferenceTarget {
 public:
  explicit TestNode(int n = 2, int* liveCounter = nullptr)
      : slots_(static_cast<size_t>(n), nullptr), live_(liveCounter) {
    if (live_) ++*live_;
  }
  ~TestNode() override {
    if (live_) --*live_;
  }

  int NumRefs() override { return static_cast<int>(slots_.size()); }
  RefTargetHandle GetReference(int i) override { return slots_[static_cast<size_t>(i)]; }
  void SetReference(int i, RefTargetHandle t) override { slots_[static_cast<size_t>(i)] = t; }

  RefResult NotifyRefChanged(Interval, RefTargetHandle target, PartID&, RefMessage message) override {
    received.push_back({target, message});
    return answer;
  }

  RefTargetHandle Clone(RemapDir& remap) override {
    auto* copy = new TestNode(NumRefs(), live_);
    copy->tag = tag;
    for (int i = 0; i < NumRefs(); ++i)
      if (slots_[static_cast<size_t>(i)]) copy->ReplaceReference(i, remap.CloneRef(slots_[static_cast<size_t>(i)]));
    return copy;
  }

  struct Received {
    RefTargetHandle target;
    RefMessage message;
  };
  std::vector<Received> received;
  RefResult answer = REF_SUCCEED;
  int tag = 0;

 private:
  std::vector<RefTargetHandle> slots_;
  int* live_;
};
