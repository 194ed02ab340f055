#pragma once
#include "core/Text.h"

namespace uptorra {

// Where EventLog writes: set once at start-up (the program's MyLog.log).
void SetEventLogPath(const Text& path);

// Puts one entry (its caller builds it, time text first, CR LF last) in front of the log.
void EventLog(const Text& entry);

}  // namespace uptorra
