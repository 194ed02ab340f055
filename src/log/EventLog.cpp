#include "log/EventLog.h"

#include "core/FileIo.h"
#include "log/EventLogWriter.h"

namespace uptorra {
namespace {

class FileStorage final : public LogStorage {
 public:
  bool Read(const Text& path, Bytes& out) override {
    if (ReadWholeFile(path, out)) return true;
    // Missing is the empty log; a file that is there but unreadable (opened without sharing
    // by another program) must not be rewritten from nothing.
    return !FileExists(path);
  }
  // The atomic replace matters here: the program ends itself by TerminateProcess on restart,
  // and a kill in the middle of a truncate-and-write would leave the log empty or torn.
  bool Replace(const Text& path, std::string_view content) override {
    return ReplaceFileAtomically(path, content);
  }
};

// The process's writer is never destroyed. The program ends by ExitProcess or
// TerminateProcess while probe tasks may still be logging; a destructor would join a thread
// that is already gone or free a lock other threads still wait on. Nothing is lost by this:
// EventLog returns only after its entry is in the file, and a rewrite cut off by the end of
// the process leaves the old file whole.
EventLogWriter& ProcessWriter() {
  static EventLogWriter* const writer = new EventLogWriter(LogFileStorage());
  return *writer;
}

}  // namespace

LogStorage& LogFileStorage() {
  static FileStorage* const storage = new FileStorage;  // outlives the process's writer
  return *storage;
}

void SetEventLogPath(const Text& path) { ProcessWriter().SetPath(path); }

void EventLog(const Text& entry) { ProcessWriter().Write(entry); }

void EventLogLast(const Text& entry) { ProcessWriter().WriteLast(entry); }

void ReopenEventLog() { ProcessWriter().Reopen(); }

}  // namespace uptorra
