#include "render/queued_writer.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace plughost {

QueuedPictureWriter::QueuedPictureWriter(size_t maxQueuedBytes, bool ownThread) : max_(maxQueuedBytes) {
  // Without a thread of its own (not asked for, or the system gave none)
  // the writer writes on the caller's thread, as each item comes.
  if (!ownThread) return;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
  }
}

QueuedPictureWriter::~QueuedPictureWriter() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

bool QueuedPictureWriter::Begin(const std::string& path, const HostPictureShape& shape,
                                const HostPictureWriteOptions& options) {
  return Push({Item::kBegin, path, shape, options, {}, 0, 0});
}

bool QueuedPictureWriter::Rows(const HostPicture& band, int count) {
  if (!thread_.joinable()) {
    // Written at once: nothing to copy.
    std::lock_guard lock(mutex_);
    if (failed_) return false;
    Done(TakeRows(band, count));
    return !failed_;
  }
  size_t bytes = 0;
  for (const HostPictureLayer& l : band.layers) bytes += l.floats.size() * sizeof(float);
  return Push({Item::kRows, {}, {}, {}, band, count, bytes});
}

bool QueuedPictureWriter::Finish() { return Push({Item::kFinish, {}, {}, {}, {}, 0, 0}); }

bool QueuedPictureWriter::Push(Item item) {
  std::unique_lock lock(mutex_);
  if (failed_) return false;
  if (!thread_.joinable()) {
    Done(Take(item));
    return !failed_;
  }
  changed_.wait(lock, [&] { return failed_ || queue_.empty() || queued_ + item.bytes <= max_; });
  if (failed_) return false;
  queued_ += item.bytes;
  peak_ = std::max(peak_, queued_);
  queue_.push_back(std::move(item));
  changed_.notify_all();
  return true;
}

bool QueuedPictureWriter::Wait(std::string* error) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return failed_ || (queue_.empty() && !busy_); });
  if (failed_) *error = error_;
  return !failed_;
}

size_t QueuedPictureWriter::PeakQueuedBytes() const {
  std::lock_guard lock(mutex_);
  return peak_;
}

std::string QueuedPictureWriter::Take(const Item& item) {
  std::string error;
  if (item.kind == Item::kRows) return TakeRows(item.band, item.count);
  if (item.kind != Item::kBegin && !writer_) return "cannot write: no picture begun";
  switch (item.kind) {
    case Item::kBegin:
      writer_ = HostPictureWriter::Begin(item.path, item.shape, item.options, &error);
      if (!writer_ && error.empty()) error = "cannot write " + item.path;
      break;
    case Item::kRows: break;
    case Item::kFinish:
      writer_->Finish(&error);
      writer_.reset();
      break;
  }
  return error;
}

std::string QueuedPictureWriter::TakeRows(const HostPicture& band, int count) {
  std::string error;
  if (!writer_) return "cannot write: no picture begun";
  if (!writer_->WriteRows(band, 0, count, &error)) writer_.reset();
  return error;
}

void QueuedPictureWriter::Done(const std::string& error) {
  if (error.empty()) return;
  failed_ = true;
  error_ = error;
  queue_.clear();
  queued_ = 0;
}

void QueuedPictureWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || (!failed_ && !queue_.empty()); });
    if (stop_) return;
    Item item = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    // Written without the lock, so the caller queues the next rows meanwhile.
    lock.unlock();
    std::string error = Take(item);
    lock.lock();
    busy_ = false;
    queued_ -= item.bytes;
    Done(error);
    changed_.notify_all();
  }
}

}  // namespace plughost
