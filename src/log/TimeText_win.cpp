#include <windows.h>

#include "log/TimeText.h"

namespace uptorra {

LocalTime SystemLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace uptorra
