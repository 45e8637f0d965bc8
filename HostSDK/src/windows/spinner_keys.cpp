// Key marks on spinners that a plug-in's own dialog procedure drives.
//
// A parameter map knows which parameter each of its spinners shows and marks
// keys itself (parammap.cpp). A hand-written dialog only moves numbers: it
// asks its object for a value, which ends in IParamBlock::GetValue, and sets
// the spinner with it; on the spinner's change message it hands the number to
// a setter, which ends in SetValue. The host cannot ask the dialog what a
// spinner stands for, so it watches those two moves instead:
//  - a spinner set without notification just after this thread read a single
//    number equal to the one set is taken to show that parameter;
//  - the parameter first written while the spinner's change message is being
//    handled is taken to be the one it edits. That is the stronger evidence
//    (a dialog may show a value scaled, or read its neighbours first), so a
//    later read of the same block does not undo it; a read of another block
//    means the dialog now edits another object and starts the binding afresh.
// A bound spinner carries the key marks of its parameter at its panel's time
// (a key at exactly that time, as the parameter map rules), brought up to
// date when the dialog loads the spinner, when the block changes (a key added
// or removed) and when the panel's time moves. A dialog that calls
// SetKeyBrackets itself keeps its own word and is never bound.
#include "hostside/paramblock_access.h"
#include "object_model/param_trace.h"
#include "windows/win_internal.h"

namespace hostui {

class SpinnerParamBinding {
 public:
  explicit SpinnerParamBinding(HWND spinner)
      : spinner_(spinner), watch_([this](ReferenceTarget*, unsigned int message) {
          if (message == REFMSG_TARGET_DELETED) index_ = -1;
          if (message == REFMSG_CHANGE || message == REFMSG_TARGET_DELETED) Refresh();
        }) {}

  // Takes what a read or a write told.
  void Learn(const hostparam::ParamTouch& touch, bool fromWrite) {
    if (!touch.block || touch.index < 0) return;
    if (!fromWrite && fromWrite_ && Block() == touch.block) return;
    if (watch_.Get() != touch.block) watch_.Set(touch.block);
    index_ = touch.index;
    fromWrite_ = fromWrite;
  }

  void Refresh() {
    auto w = Find(spinner_);
    if (!w || w->keyMarksByDialog) return;
    std::optional<TimeValue> t = PanelTimeOf(spinner_);
    IParamBlock* pb = Block();
    bool keyed = false;
    if (t && pb && index_ >= 0 && index_ < pb->NumParams())
      for (const HostParamSample& k : HostGetParam(pb, index_).keys) keyed |= k.time == *t;
    if (w->keyBrackets != keyed) {
      w->keyBrackets = keyed;
      MarkForPaint(*w);
    }
  }

 private:
  IParamBlock* Block() const {
    ReferenceTarget* t = watch_.Get();
    return t && HostIsParamBlock(t) ? static_cast<IParamBlock*>(t) : nullptr;
  }

  HWND spinner_;
  Watch watch_;
  int index_ = -1;
  bool fromWrite_ = false;
};

namespace {

void Learn(Window& spinner, const hostparam::ParamTouch& touch, bool fromWrite) {
  if (spinner.keyMarksByDialog || spinner.dead) return;
  if (!spinner.paramBinding) spinner.paramBinding = std::make_shared<SpinnerParamBinding>(spinner.hwnd);
  spinner.paramBinding->Learn(touch, fromWrite);
  spinner.paramBinding->Refresh();
}

void RefreshBelow(HWND root) {
  auto w = Find(root);
  if (!w) return;
  if (w->paramBinding) w->paramBinding->Refresh();
  std::vector<HWND> kids = w->children;
  for (HWND c : kids) RefreshBelow(c);
}

}  // namespace

void LearnSpinnerFromRead(Window& spinner, float value) {
  hostparam::ParamTouch read = hostparam::TakeLastRead();
  if (read.scalar && read.value == value) Learn(spinner, read, false);
}

void LearnSpinnerFromWrite(Window& spinner, const hostparam::ParamTouch& written) { Learn(spinner, written, true); }

void SpinnerMarkedByDialog(Window& spinner) {
  spinner.keyMarksByDialog = true;
  spinner.paramBinding.reset();
}

void RefreshKeyMarks(HWND root) { RefreshBelow(root); }

}  // namespace hostui
