#include "editor/ui_queue.h"

#include <chrono>
#include <cstdio>
#include <exception>

namespace plughost {

bool UiQueue::Call(std::function<void()> task) {
  auto done = std::make_shared<std::promise<bool>>();
  std::future<bool> ran = done->get_future();
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return false;
    tasks_.push_back({std::move(task), done});
  }
  wake_.notify_one();
  return ran.get();
}

void UiQueue::Run(const std::function<bool()>& stop) {
  while (!stop()) {
    Task t;
    {
      std::unique_lock lock(mutex_);
      if (!wake_.wait_for(lock, std::chrono::milliseconds(100), [&] { return !tasks_.empty(); })) continue;
      t = std::move(tasks_.front());
      tasks_.pop_front();
    }
    try {
      t.run();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "plughost: a request failed: %s\n", e.what());
    }
    t.done->set_value(true);
  }
  std::lock_guard lock(mutex_);
  stopped_ = true;
  for (Task& t : tasks_) t.done->set_value(false);
  tasks_.clear();
}

}  // namespace plughost
