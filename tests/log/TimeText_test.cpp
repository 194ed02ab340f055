#include "log/TimeText.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace uptorra {
namespace {

struct TimeCase {
  LocalTime time;
  const char* text;
};

class TimeTextTable : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeTextTable, GivesTheFullNineteenCharacterText) {
  const Text text = TimeTextOf(GetParam().time);
  EXPECT_EQ(text, GetParam().text);
  EXPECT_EQ(text.size(), 19u);
}

// The date-time text drops trailing zero fields ("8时3分", "8时", nothing at midnight); each
// of those shapes must still come out whole.
INSTANTIATE_TEST_SUITE_P(
    ClockTimes, TimeTextTable,
    ::testing::Values(TimeCase{{2024, 1, 5, 8, 3, 7}, "2024-01-05 08:03:07"},    // every field one digit
                      TimeCase{{2024, 1, 5, 8, 3, 0}, "2024-01-05 08:03:00"},    // zero seconds
                      TimeCase{{2024, 1, 5, 8, 0, 0}, "2024-01-05 08:00:00"},    // zero minutes and seconds
                      TimeCase{{2024, 1, 5, 0, 5, 0}, "2024-01-05 00:05:00"},    // hour 0 before a minute
                      TimeCase{{2024, 1, 5, 0, 0, 0}, "2024-01-05 00:00:00"},    // midnight: no time part
                      TimeCase{{2024, 1, 5, 0, 0, 7}, "2024-01-05 00:00:07"},    // zero hour and minutes
                      TimeCase{{2024, 1, 5, 10, 0, 0}, "2024-01-05 10:00:00"},   // two-digit hour alone
                      TimeCase{{2024, 1, 5, 20, 10, 0}, "2024-01-05 20:10:00"},  // ends in two-digit minutes
                      TimeCase{{2024, 1, 5, 12, 0, 30}, "2024-01-05 12:00:30"},  // zero minutes inside
                      TimeCase{{2024, 12, 31, 23, 59, 59}, "2024-12-31 23:59:59"},
                      TimeCase{{2024, 10, 10, 10, 10, 10}, "2024-10-10 10:10:10"},
                      TimeCase{{2100, 1, 1, 0, 0, 0}, "2100-01-01 00:00:00"},
                      TimeCase{{2100, 12, 31, 23, 59, 59}, "2100-12-31 23:59:59"},
                      TimeCase{{2000, 2, 29, 1, 1, 1}, "2000-02-29 01:01:01"}));

// Every minute of a day, with zero, one-digit and two-digit seconds, against a plain
// zero-padded formatting.
TEST(TimeText, EveryMinuteOfTheDayGivesTheZeroPaddedText) {
  for (int minuteOfDay = 0; minuteOfDay < 24 * 60; ++minuteOfDay) {
    for (const int second : {0, 1, 59}) {
      const LocalTime t{2024, 1, 5, minuteOfDay / 60, minuteOfDay % 60, second};
      char expected[32];
      std::snprintf(expected, sizeof expected, "2024-01-05 %02d:%02d:%02d", t.hour, t.minute, t.second);
      ASSERT_EQ(TimeTextOf(t), expected);
    }
  }
}

LocalTime FixedClock() { return {2025, 3, 9, 7, 0, 0}; }

TEST(TimeText, ReadsTheInjectedClock) {
  SetLocalClock(&FixedClock);
  const Text text = TimeText();
  SetLocalClock(nullptr);
  EXPECT_EQ(text, "2025-03-09 07:00:00");
}

TEST(TimeText, SystemClockGivesAWellFormedText) {
  const Text text = TimeText();
  ASSERT_EQ(text.size(), 19u);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i == 4 || i == 7) {
      EXPECT_EQ(c, '-') << text;
    } else if (i == 10) {
      EXPECT_EQ(c, ' ') << text;
    } else if (i == 13 || i == 16) {
      EXPECT_EQ(c, ':') << text;
    } else {
      EXPECT_TRUE(c >= '0' && c <= '9') << text;
    }
  }
}

}  // namespace
}  // namespace uptorra
