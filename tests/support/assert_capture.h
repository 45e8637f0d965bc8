// Catches the host's assertion reports (assert1) for its lifetime, as the
// line and source file of each, in order; the handler before it comes back
// when it goes.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "hostside/handlers.h"

class AssertCapture : public std::vector<std::pair<int, std::string>> {
 public:
  AssertCapture()
      : old_(HostSetAssertHandler({[](int line, const char* file, void* self) {
                                     static_cast<AssertCapture*>(self)->push_back({line, file ? file : ""});
                                   },
                                   this})) {}
  ~AssertCapture() { HostSetAssertHandler(old_); }
  AssertCapture(const AssertCapture&) = delete;
  AssertCapture& operator=(const AssertCapture&) = delete;

  // Whether a report came from `line` of a file whose path ends in `file`.
  bool Reported(int line, const std::string& file) const {
    for (const auto& [l, f] : *this) {
      if (l == line && f.size() >= file.size() && f.compare(f.size() - file.size(), file.size(), file) == 0)
        return true;
    }
    return false;
  }

 private:
  AssertHook old_;
};
