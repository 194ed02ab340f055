#include "ui/Restart.h"

#include "log/EventLog.h"
#include "log/TimeText.h"

namespace uptorra {

void OnRestartClicked(WindowServices& window, const std::function<void()>& restart) {
  if (window.ShowMessage(Text(kConfirmRestartMessage), kTipCaption, MessageButtons::OkCancel) != MessageAnswer::Ok) {
    return;
  }
  EventLog(TimeText() + Text(kRestartLogEntrySuffix));
  if (restart) restart();
}

}  // namespace uptorra
