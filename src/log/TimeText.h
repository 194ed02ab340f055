#pragma once
// The time text that stamps log entries and the test-time column: "YYYY-MM-DD hh:mm:ss".
#include "core/Text.h"

namespace uptorra {

// A local calendar date and time of day, as the system clock reports it (month 1-12, day
// 1-31, hour 0-23, minute and second 0-59).
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The current local time as "YYYY-MM-DD hh:mm:ss" (19 ASCII characters).
Text TimeText();

// The time text of a given local time.
Text TimeTextOf(const LocalTime& time);

// Where TimeText reads the clock. nullptr (the default) is the system's local clock; tests put
// a fixed clock here. Safe to change while other threads take time texts.
using LocalClock = LocalTime (*)();
void SetLocalClock(LocalClock clock);

// The system's local date and time.
LocalTime SystemLocalTime();

}  // namespace uptorra
