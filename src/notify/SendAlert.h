#pragma once
// The WeChat alert for a host whose probe cycle failed completely.
#include "core/Text.h"
#include "notify/PushAnswer.h"
#include "notify/PushMessage.h"

namespace uptorra {

// Posts the alert to the push address (PushApiUrl) and returns the service's answer as GBK
// text; empty when no answer could be obtained. Keeps no state and does not retry; may run on
// several threads at once. Judge the answer with PushAccepted.
Text SendAlert(const Text& appToken, const Text& topicId, const Text& timeText, const Text& address,
               const Text& displayName, const Text& probeType);

}  // namespace uptorra
