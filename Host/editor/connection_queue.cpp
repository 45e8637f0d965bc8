#include "editor/connection_queue.h"

#include <system_error>
#include <thread>

namespace plughost {

void ConnectionQueue::enqueue(std::function<void()> fn) {
  {
    std::lock_guard lock(m_);
    if (running_ >= max_) {
      waiting_.push_back(std::move(fn));
      return;
    }
    ++running_;
  }
  try {
    std::thread(&ConnectionQueue::Serve, this, fn).detach();
  } catch (const std::system_error&) {
    // No thread to be had now: the listening thread serves it, and takes the
    // next connection once it is done.
    Serve(std::move(fn));
  }
}

void ConnectionQueue::Serve(std::function<void()> fn) {
  for (;;) {
    fn();
    std::lock_guard lock(m_);
    if (waiting_.empty()) {
      --running_;
      // The last touch of the queue: shutdown may destroy it once this
      // thread lets go of the lock.
      done_.notify_all();
      return;
    }
    fn = std::move(waiting_.front());
    waiting_.pop_front();
  }
}

void ConnectionQueue::shutdown() {
  std::unique_lock lock(m_);
  done_.wait(lock, [this] { return running_ == 0 && waiting_.empty(); });
}

}  // namespace plughost
