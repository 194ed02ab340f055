#include "ui/Restart.h"

namespace uptorra {

int RestartDelayOf(std::optional<int> delaySeconds) {
  return delaySeconds && *delaySeconds >= 1 ? *delaySeconds : kDefaultRestartDelaySeconds;
}

Text RestartScriptText(std::string_view programPath, int delaySeconds) {
  // First occurrences only. The delay's placeholder stands on the line before the path, so a
  // path that happens to hold the text "秒数" cannot take the delay.
  const Text withPath = ReplaceText(kRestartScriptTemplate, kRestartPathPlaceholder, programPath, true);
  return ReplaceText(withPath, kRestartDelayPlaceholder, DecimalText(delaySeconds), true);
}

}  // namespace uptorra
