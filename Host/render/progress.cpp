#include "render/progress.h"

#include <unistd.h>

#include <cstdio>

namespace plughost {

bool ParseProgressStyle(const std::string& text, ProgressStyle* out) {
  if (text == "auto")
    *out = ProgressStyle::kAuto;
  else if (text == "bar")
    *out = ProgressStyle::kBar;
  else if (text == "lines")
    *out = ProgressStyle::kLines;
  else if (text == "none")
    *out = ProgressStyle::kNone;
  else
    return false;
  return true;
}

Progress::Progress(ProgressStyle style, long total)
    : style_(style != ProgressStyle::kAuto ? style
             : isatty(2)                   ? ProgressStyle::kBar
                                           : ProgressStyle::kLines),
      total_(total) {}

Progress::~Progress() {
  if (shown_ && style_ == ProgressStyle::kBar) std::fprintf(stderr, "\n");
}

void Progress::Set(long done, const std::string& what) {
  if (style_ == ProgressStyle::kBar) Bar(done, what);
  if (style_ == ProgressStyle::kLines) Line(done, what);
}

void Progress::Bar(long done, const std::string& what) {
  auto now = std::chrono::steady_clock::now();
  if (!shown_ && now - start_ < std::chrono::seconds(1)) return;
  if (shown_ && now - last_ < std::chrono::milliseconds(100) && done < total_) return;
  last_ = now;
  shown_ = true;
  int width = 30;
  int fill = total_ > 0 ? static_cast<int>(done * width / total_) : width;
  std::string bar(static_cast<size_t>(fill), '#');
  bar.resize(static_cast<size_t>(width), ' ');
  std::fprintf(stderr, "\r%s [%s] %3ld%%", what.empty() ? "rendering" : what.c_str(), bar.c_str(),
               total_ > 0 ? done * 100 / total_ : 100);
  std::fflush(stderr);
}

void Progress::Line(long done, const std::string& what) {
  // A log parser wants few lines and a last one that says the work is done;
  // a percent already given is not given again.
  auto now = std::chrono::steady_clock::now();
  long percent = total_ > 0 && done < total_ ? done * 100 / total_ : 100;
  if (percent == lastPercent_) return;
  if (percent < 100 && now - (shown_ ? last_ : start_) < std::chrono::milliseconds(250)) return;
  last_ = now;
  shown_ = true;
  lastPercent_ = percent;
  std::fprintf(stderr, "plughost: progress %ld%%%s%s\n", percent, what.empty() ? "" : " ", what.c_str());
  std::fflush(stderr);
}

}  // namespace plughost
