// The user-interface thread's queue: tasks from other threads (the HTTP
// server's) run on it one at a time, in the order given, and the caller waits
// for each. The thread that calls Run is the user-interface thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

namespace plughost {

class UiQueue {
 public:
  // Runs `task` there and waits for it. False, with the task not run, once
  // the queue has stopped.
  bool Call(std::function<void()> task);

  // Runs tasks until `stop` answers true (asked after each task and at least
  // every 100 ms), then refuses new ones and cancels those waiting.
  void Run(const std::function<bool()>& stop);

 private:
  struct Task {
    std::function<void()> run;
    std::shared_ptr<std::promise<bool>> done;
  };
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stopped_ = false;
};

}  // namespace plughost
