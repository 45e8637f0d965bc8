// Progress of long work on standard error: a bar that redraws itself, on a
// terminal only, from the first second on.
#pragma once

#include <chrono>
#include <string>

namespace plughost {

class Progress {
 public:
  // `enabled` false (a quiet command) or a standard error that is no
  // terminal shows nothing.
  Progress(bool enabled, long total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `done` of the total, with what is being done ("frame 12").
  void Set(long done, const std::string& what);

 private:
  bool enabled_;
  long total_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), last_;
};

}  // namespace plughost
