// Pictures written on a thread of their own, so that a render goes on
// shading while what it shaded is encoded and put in place: the next frame
// of a sequence shades while the last one is still being written.
//
// The caller hands on, in order, a picture's beginning, its rows and its
// end, for one picture after another; the writer thread takes them in the
// same order through HostPictureWriter (hostside/picture_io.h), so the files
// are the same bytes as a writer on the calling thread would make. Rows are
// copied into a queue of at most `maxQueuedBytes` of samples (one band is
// always let in), and a caller that runs ahead waits there: memory stays
// bounded whatever the sequence's length.
//
// The first failure stops the writing: what was queued after it is dropped
// (those pictures are not begun, no file of theirs is made), every later call
// answers false, and Wait gives the failure's one line. Destroying the writer
// abandons a picture not finished, leaving no file of it.
#pragma once

#include <hostside/picture_io.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace plughost {

// The samples a render lets wait for the writer: a whole picture where it is
// not too large, so that the next one starts shading at once.
constexpr size_t kMostQueuedPictureBytes = size_t{256} << 20;

class QueuedPictureWriter {
 public:
  // Without `ownThread` everything is written on the caller's thread as it
  // is handed on: a render asked to use one thread uses one.
  explicit QueuedPictureWriter(size_t maxQueuedBytes, bool ownThread = true);
  ~QueuedPictureWriter();
  QueuedPictureWriter(const QueuedPictureWriter&) = delete;
  QueuedPictureWriter& operator=(const QueuedPictureWriter&) = delete;

  // Each is false once a write has failed.
  bool Begin(const std::string& path, const HostPictureShape& shape, const HostPictureWriteOptions& options);
  // Rows [0, count) of `band`: the picture's next rows.
  bool Rows(const HostPicture& band, int count);
  bool Finish();

  // Once everything handed on is written: true, or false with the first
  // failure.
  bool Wait(std::string* error);
  // The most bytes of samples that waited at once, for the tests.
  size_t PeakQueuedBytes() const;

 private:
  struct Item {
    enum Kind { kBegin, kRows, kFinish } kind;
    std::string path;
    HostPictureShape shape;
    HostPictureWriteOptions options;
    HostPicture band;
    int count = 0;
    size_t bytes = 0;
  };
  bool Push(Item item);
  // Writes one item: empty, or the failure. On the writer thread, or on the
  // caller's where none started.
  std::string Take(const Item& item);
  std::string TakeRows(const HostPicture& band, int count);
  void Done(const std::string& error);  // under the lock: a failure stops the writing
  void Run();

  const size_t max_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  size_t queued_ = 0, peak_ = 0;
  bool busy_ = false, failed_ = false, stop_ = false;
  std::string error_;
  std::unique_ptr<HostPictureWriter> writer_;  // the writer thread's
  std::thread thread_;
};

}  // namespace plughost
