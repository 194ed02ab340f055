#include "ui/Restart.h"

#include "log/EventLog.h"
#include "log/TimeText.h"

namespace uptorra {

void OnRestartClicked(WindowServices& window, const std::function<void()>& restart) {
  if (window.ShowMessage(Text(kConfirmRestartMessage), kTipCaption, MessageButtons::OkCancel) != MessageAnswer::Ok) {
    return;
  }
  // The restart entry stays the newest: probe tasks cut off by the restart log nothing more.
  EventLogLast(TimeText() + Text(kRestartLogEntrySuffix));
  if (restart) restart();
  // Back here only when no new copy could be started: the program goes on, and so does its log.
  ReopenEventLog();
}

}  // namespace uptorra
