#include "log/EventLogWriter.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <system_error>
#include <utility>

namespace uptorra {
namespace {

// The copy of the log is kept between rewrites while entries keep coming: a fresh buffer of
// tens of megabytes costs a page fault per page on every rewrite, which on a busy machine
// takes longer than reading and writing the file. After this long without entries it is
// given back.
constexpr std::chrono::seconds kKeepBufferWhileIdle{30};
// Room for the entries of the next rewrites, so that putting them in front of the log's bytes
// moves the bytes within the buffer instead of allocating a new one.
constexpr std::size_t kBufferHeadroom = 64 * 1024;

}  // namespace

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
  closed_ = false;
}

bool EventLogWriter::Write(const Text& entry) { return Put(entry, false); }

bool EventLogWriter::WriteLast(const Text& entry) { return Put(entry, true); }

void EventLogWriter::Reopen() {
  std::lock_guard lock(mutex_);
  closed_ = false;
}

bool EventLogWriter::Put(const Text& entry, bool last) {
  Pending pending{&entry};
  std::unique_lock lock(mutex_);
  if (closed_) return false;
  // Closed in the same step as the entry is queued: nothing can slip in between.
  if (last) closed_ = true;
  if (!threadRunning_) {
    // Holding the lock through the rewrite keeps the rewrites one at a time.
    ++rewrites_;
    const bool written = Rewrite(path_, {&pending});
    Bytes().swap(buffer_);
    return written;
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
  const auto hasWork = [&] { return !queue_.empty() || stopping_; };
  for (;;) {
    if (!wake_.wait_for(lock, kKeepBufferWhileIdle, hasWork)) {
      Bytes().swap(buffer_);
      wake_.wait(lock, hasWork);
    }
    if (queue_.empty()) return;  // stopping, and nothing is left to write
    std::vector<Pending*> batch;
    batch.swap(queue_);
    Text path;
    try {
      path = path_;
    } catch (const std::exception&) {
      // Out of memory: with no path the batch is reported lost, and the thread lives on.
    }
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
    // The batch is oldest first; the newest entry goes on top.
    Text entries;
    for (auto it = batch.rbegin(); it != batch.rend(); ++it) entries += *(*it)->entry;
    buffer_.reserve(buffer_.size() + entries.size() + kBufferHeadroom);
    if (!storage_.Read(path, buffer_)) return false;
    buffer_.insert(0, entries);
    return storage_.Replace(path, buffer_);
  } catch (const std::exception&) {
    Bytes().swap(buffer_);
    return false;  // no memory for a log this large: this batch is lost, the file stays
  }
}

}  // namespace uptorra
