#include "log/EventLog.h"

#include <mutex>

#include "core/FileIo.h"

namespace uptorra {

// Interim version: one prepend at a time under a lock; replaced by the single writer.
namespace {
std::mutex gLogMutex;
Text gLogPath;
}  // namespace

void SetEventLogPath(const Text& path) {
  std::lock_guard lock(gLogMutex);
  gLogPath = path;
}

void EventLog(const Text& entry) {
  std::lock_guard lock(gLogMutex);
  if (gLogPath.empty()) return;
  Bytes old;
  ReadWholeFile(gLogPath, old);
  ReplaceFileAtomically(gLogPath, entry + old);
}

}  // namespace uptorra
