#include "core/ExitCleanup.h"

#include "log/EventLog.h"

namespace uptorra {

namespace {
// Swapped with an empty text, the old one gives its memory back (an assignment may keep it).
void Release(Text& text) { Text().swap(text); }
}  // namespace

void RunExitCleanup(AppState& state, const std::function<void()>& destroyPool) {
  // A task still running ends at the top of its next cycle instead of probing on while the
  // process winds down.
  state.stopFlag.store(1);
  // The close entry stays the log's first line: a failure found by a task from now on is not
  // put in front of it.
  SetEventLogPath({});
  // Used only on the window thread, which is here.
  Release(state.configPath);
  Release(state.hostsPath);
  Release(state.logPath);
  Release(state.programDir);
  if (destroyPool) destroyPool();
}

}  // namespace uptorra
