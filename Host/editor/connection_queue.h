// The editor server's connections, each served on a thread of its own.
//
// The HTTP library hands each accepted connection to a task queue; its own
// queue has a fixed pool of threads, so a few clients that send their request
// a byte at a time (anyone on the machine can, without a token: the request
// has to be read before it can be refused) held every thread, and the page
// waited for as long as they dripped. Here a connection waits for a thread
// only when `maxThreads` are busy, so a slow client holds its own thread and
// nothing else.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace plughost {

// Enough for every browser tab and tool a user has open, and far more than
// the drip attack a fixed pool fell to.
constexpr size_t kMaxConnectionThreads = 256;

class ConnectionQueue : public httplib::TaskQueue {
 public:
  explicit ConnectionQueue(size_t maxThreads = kMaxConnectionThreads) : max_(maxThreads) {}
  ~ConnectionQueue() override { shutdown(); }

  void enqueue(std::function<void()> fn) override;
  // Waits until every connection given so far has been served and closed.
  void shutdown() override;

 private:
  // Serves `fn`, then the connections waiting, until none wait.
  void Serve(std::function<void()> fn);

  std::mutex m_;
  std::condition_variable done_;
  std::deque<std::function<void()>> waiting_;
  size_t running_ = 0;
  const size_t max_;
};

}  // namespace plughost
