#pragma once
#include "core/Text.h"

namespace uptorra {

// The current local time as "YYYY-MM-DD hh:mm:ss" (19 ASCII characters).
Text TimeText();

}  // namespace uptorra
