// Progress of long work on standard error, in one of two forms: a bar that
// redraws itself, for a person at a terminal (from the first second on), or
// plain lines that a farm manager's log parser can read, such as
//   plughost: progress 42% frame 3 (2/5)
// at most four a second and always the last one, at 100%. By default a
// terminal gets the bar and anything else (a pipe, a file, a farm's log) the
// lines.
#pragma once

#include <chrono>
#include <string>

namespace plughost {

enum class ProgressStyle { kAuto, kBar, kLines, kNone };
// "auto", "bar", "lines", "none".
bool ParseProgressStyle(const std::string& text, ProgressStyle* out);

class Progress {
 public:
  // kAuto: the bar where standard error is a terminal, lines otherwise.
  Progress(ProgressStyle style, long total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `done` of the total, with what is being done ("frame 12 (2/5)"; empty
  // for a single picture).
  void Set(long done, const std::string& what);

 private:
  void Bar(long done, const std::string& what);
  void Line(long done, const std::string& what);

  ProgressStyle style_;
  long total_;
  bool shown_ = false;
  long lastPercent_ = -1;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), last_;
};

}  // namespace plughost
