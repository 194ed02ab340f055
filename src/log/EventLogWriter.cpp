#include "log/EventLogWriter.h"

#include <exception>
#include <system_error>
#include <utility>

namespace uptorra {

EventLogWriter::EventLogWriter(LogStorage& storage, Text path) : storage_(storage), path_(std::move(path)) {
  try {
    thread_ = std::thread([this] { Run(); });
    threadRunning_ = true;
  } catch (const std::system_error&) {
    // No thread to be had: every caller then rewrites the log itself, one at a time.
  }
}

EventLogWriter::~EventLogWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void EventLogWriter::SetPath(const Text& path) {
  std::lock_guard lock(mutex_);
  path_ = path;
}

bool EventLogWriter::Write(const Text& entry) {
  Pending pending{&entry};
  std::unique_lock lock(mutex_);
  if (!threadRunning_) {
    // Holding the lock through the rewrite keeps the rewrites one at a time.
    ++rewrites_;
    return Rewrite(path_, {&pending});
  }
  try {
    queue_.push_back(&pending);
  } catch (const std::exception&) {
    return false;  // out of memory: the entry is lost, like a failed write
  }
  wake_.notify_one();
  done_.wait(lock, [&] { return pending.done; });
  return pending.written;
}

std::uint64_t EventLogWriter::RewriteCount() const {
  std::lock_guard lock(mutex_);
  return rewrites_;
}

std::size_t EventLogWriter::QueuedCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

void EventLogWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;  // stopping, and nothing is left to write
    std::vector<Pending*> batch;
    batch.swap(queue_);
    const Text path = path_;
    ++rewrites_;
    lock.unlock();
    const bool written = Rewrite(path, batch);
    lock.lock();
    // A caller may return and free its record as soon as it sees done: touch none afterwards.
    for (Pending* pending : batch) {
      pending->written = written;
      pending->done = true;
    }
    done_.notify_all();
  }
}

bool EventLogWriter::Rewrite(const Text& path, const std::vector<Pending*>& batch) {
  if (path.empty()) return false;
  try {
    Bytes old;
    if (!storage_.Read(path, old)) return false;
    std::size_t size = old.size();
    for (const Pending* pending : batch) size += pending->entry->size();
    Bytes content;
    content.reserve(size);
    // The batch is oldest first; the newest entry goes on top.
    for (auto it = batch.rbegin(); it != batch.rend(); ++it) content += *(*it)->entry;
    content += old;
    return storage_.Replace(path, content);
  } catch (const std::exception&) {
    return false;  // no memory for a log this large: this batch is lost, the file stays
  }
}

}  // namespace uptorra
