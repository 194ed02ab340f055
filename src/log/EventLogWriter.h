#pragma once
// The one writer of a newest-first log. Every entry goes in front of the file's content by a
// whole-file rewrite; entries that arrive while a rewrite runs wait and go in together with
// the next one, newest first, so a burst of entries costs about one rewrite instead of one
// each. The file ends up exactly as if the entries had been put in front one at a time, in
// the order the calls arrived.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "core/Text.h"

namespace uptorra {

// Where a log's bytes live. Calls come from the writer's thread only.
class LogStorage {
 public:
  virtual ~LogStorage() = default;
  // The log's whole content. A missing log reads as empty and succeeds; false when the log
  // exists but cannot be read (then it must not be rewritten, or its old content would go).
  virtual bool Read(const Text& path, Bytes& out) = 0;
  // Replaces the content as one step: afterwards the log holds either the old or the new
  // content, even if the process is killed meanwhile. False when the old content stays.
  virtual bool Replace(const Text& path, std::string_view content) = 0;
};

class EventLogWriter {
 public:
  // Starts the writer thread. storage must outlive the writer.
  explicit EventLogWriter(LogStorage& storage, Text path = {});
  // Writes whatever is queued, then ends the writer thread. No Write may still be running.
  ~EventLogWriter();
  EventLogWriter(const EventLogWriter&) = delete;
  EventLogWriter& operator=(const EventLogWriter&) = delete;

  // The log file; applies to rewrites that start after the call. With no path, entries are
  // dropped (there is nowhere to put them yet). A new path is a new log: it is open again
  // after WriteLast.
  void SetPath(const Text& path);

  // Puts the entry in front of the log and returns once it is there: true when its rewrite
  // replaced the file, false when the entry was lost (no path, unreadable or unwritable log,
  // or the log was closed by WriteLast). Any number of threads may call it at once.
  bool Write(const Text& entry);

  // Writes the entry that ends the log, as Write does, and closes the log: entries that
  // arrive later are dropped at once, so that this one stays on top. The program ends right
  // after it (closed, or restarted), while probe tasks may still be finishing a cycle; their
  // entries would otherwise land above the ending. Entries that arrived before it still go
  // in, below it.
  bool WriteLast(const Text& entry);
  // Opens the log again after WriteLast, when the program did not end after all.
  void Reopen();

  // Rewrites started so far (each takes every entry that was waiting).
  std::uint64_t RewriteCount() const;
  // Entries queued for the next rewrite and not yet taken by it.
  std::size_t QueuedCount() const;

 private:
  struct Pending {
    const Text* entry;
    bool done = false;
    bool written = false;
  };

  bool Put(const Text& entry, bool last);
  void Run();
  bool Rewrite(const Text& path, const std::vector<Pending*>& batch);

  LogStorage& storage_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // the writer: entries queued, or stop
  std::condition_variable done_;  // the callers: a rewrite finished
  Text path_;
  std::vector<Pending*> queue_;   // oldest first; each points into its waiting caller's frame
  Bytes buffer_;                  // the log's content during a rewrite; used by one rewrite at a time
  std::uint64_t rewrites_ = 0;
  bool stopping_ = false;
  bool closed_ = false;           // by WriteLast: later entries are dropped
  bool threadRunning_ = false;
  std::thread thread_;
};

}  // namespace uptorra
