#pragma once
// Whether the push service accepted an alert, judged from its answer.
#include <string_view>

#include "core/Text.h"

namespace uptorra {

// True when the answer (GBK text, as SendAlert returns it) is a JSON object whose "code" is
// the integer 1000 or whose "success" is true. Everything else is a refusal: an empty answer,
// an error page, a truncated or malformed document, or the word "true" anywhere else.
bool PushAccepted(std::string_view answer);

}  // namespace uptorra
