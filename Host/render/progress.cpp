#include "render/progress.h"

#include <unistd.h>

#include <cstdio>

namespace plughost {

Progress::Progress(bool enabled, long total) : enabled_(enabled && isatty(2)), total_(total) {}

Progress::~Progress() {
  if (shown_) std::fprintf(stderr, "\n");
}

void Progress::Set(long done, const std::string& what) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (!shown_ && now - start_ < std::chrono::seconds(1)) return;
  if (shown_ && now - last_ < std::chrono::milliseconds(100) && done < total_) return;
  last_ = now;
  shown_ = true;
  int width = 30;
  int fill = total_ > 0 ? static_cast<int>(done * width / total_) : width;
  std::string bar(static_cast<size_t>(fill), '#');
  bar.resize(static_cast<size_t>(width), ' ');
  std::fprintf(stderr, "\r%s [%s] %3ld%%", what.c_str(), bar.c_str(), total_ > 0 ? done * 100 / total_ : 100);
  std::fflush(stderr);
}

}  // namespace plughost
