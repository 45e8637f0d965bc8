// What parameter blocks tell the host's controls about the values a dialog
// moves: the last value this thread read, and the first value written while a
// spinner's change message is being handled. Internal to the host layer; the
// controls use it to learn which parameter a spinner shows
// (windows/spinner_keys.cpp).
#pragma once

#include "iparamb.h"

namespace hostparam {

// A parameter of a block, and for a read the number it gave.
struct ParamTouch {
  IParamBlock* block = nullptr;
  int index = -1;
  bool scalar = false;  // a float or int read; a point or colour read is not one number
  float value = 0.0f;
};

// The last read on this thread (GetValue), forgotten once taken: one read
// accounts for one spinner at most.
ParamTouch TakeLastRead();

// While one is alive on a thread, the first SetValue on that thread is kept in
// it. They nest: the innermost open capture takes the writes.
class WriteCapture {
 public:
  WriteCapture();
  ~WriteCapture();
  WriteCapture(const WriteCapture&) = delete;
  WriteCapture& operator=(const WriteCapture&) = delete;
  const ParamTouch& First() const { return first_; }

 private:
  friend void NoteWrite(IParamBlock* block, int index);
  friend void ForgetBlock(IParamBlock* block);
  WriteCapture* outer_;
  ParamTouch first_;
};

// Called by the blocks themselves; a block that goes is forgotten, so that
// nothing learns a parameter of a block no longer there.
void NoteRead(IParamBlock* block, int index, bool scalar, float value);
void NoteWrite(IParamBlock* block, int index);
void ForgetBlock(IParamBlock* block);

}  // namespace hostparam
