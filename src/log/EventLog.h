#pragma once
#include "core/Text.h"

namespace uptorra {

class LogStorage;

// Where EventLog writes: set once at start-up (the program's MyLog.log).
void SetEventLogPath(const Text& path);

// Puts one entry (its caller builds it, time text first, CR LF last) in front of the log and
// returns once it is in the file. Calls from any number of threads are taken by one writer;
// a failed write is not reported (the entry is lost, the old content stays).
void EventLog(const Text& entry);

// Puts the entry that ends the program's log in front of it (the close or restart entry):
// entries that come later, from probe tasks still finishing a cycle while the program ends,
// are dropped, so that the ending stays the newest entry. ReopenEventLog undoes it when the
// program goes on after all (a restart that could not start the new copy).
void EventLogLast(const Text& entry);
void ReopenEventLog();

// The log files on disk: read whole, replaced atomically. For writers of other log files
// (tests, benchmarks).
LogStorage& LogFileStorage();

}  // namespace uptorra
