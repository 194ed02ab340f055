#include "log/TimeText.h"

#include <atomic>
#include <cstdio>
#include <exception>

#include <boost/regex.hpp>

#ifndef _WIN32
#include <ctime>
#endif

namespace uptorra {
namespace {

// The Chinese date and time units as GBK bytes. Spelled as escapes so that the bytes are the
// same whatever execution character set a compiler uses.
constexpr const char* kYear = "\xC4\xEA";    // 年
constexpr const char* kMonth = "\xD4\xC2";   // 月
constexpr const char* kDay = "\xC8\xD5";     // 日
constexpr const char* kHour = "\xCA\xB1";    // 时
constexpr const char* kMinute = "\xB7\xD6";  // 分
constexpr const char* kSecond = "\xC3\xEB";  // 秒

constexpr const char* kMidnightTime = "00:00:00";

// The classic C++ locale's character classes, never the thread's Windows locale: with the
// Win32 traits Boost would classify bytes by the ANSI code page of the machine.
using ByteRegex = boost::basic_regex<char, boost::cpp_regex_traits<char>>;

// The units become separators. The end-anchored hour and minute come before the plain ones,
// so a text that ends in an hour or a minute gets the missing fields as ":00".
const ByteRegex& UnitPattern() {
  static const ByteRegex pattern(std::string("(") + kYear + ")|(" + kMonth + ")|(" + kDay + ")|(" + kHour + ")$|(" +
                                 kMinute + ")$|(" + kSecond + ")|(" + kHour + ")|(" + kMinute + ")");
  return pattern;
}
constexpr const char* kUnitFormat = "(?1-)(?2-)(?3 )(?4\\:00\\:00)(?5\\:00)(?7\\:)(?8\\:)";

// A digit with no digit on either side: a one-digit field, which gets its leading zero.
const ByteRegex& LoneDigitPattern() {
  static const ByteRegex pattern("(?<!\\d)\\d(?!\\d)");
  return pattern;
}
constexpr const char* kLoneDigitFormat = "0$&";

// "2024年1月5日8时3分7秒": numbers without leading zeros, and the time part shortened from
// the right while its last fields are zero (nothing at all at midnight).
Text DateTimeText(const LocalTime& t) {
  Text text = DecimalText(t.year) + kYear + DecimalText(t.month) + kMonth + DecimalText(t.day) + kDay;
  if (t.second != 0) {
    text += DecimalText(t.hour) + kHour + DecimalText(t.minute) + kMinute + DecimalText(t.second) + kSecond;
  } else if (t.minute != 0) {
    text += DecimalText(t.hour) + kHour + DecimalText(t.minute) + kMinute;
  } else if (t.hour != 0) {
    text += DecimalText(t.hour) + kHour;
  }
  return text;
}

// Only reached when the regular expressions fail (out of memory): the same text, made directly.
Text FormattedTimeText(const LocalTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buffer;
}

std::atomic<LocalClock> gClock{nullptr};

}  // namespace

Text TimeTextOf(const LocalTime& time) {
  try {
    Text text = boost::regex_replace(DateTimeText(time), UnitPattern(), kUnitFormat, boost::format_all);
    text = boost::regex_replace(text, LoneDigitPattern(), kLoneDigitFormat, boost::format_all);
    // At midnight the date-time text has no time part, so the text so far ends in the blank.
    if (time.hour == 0 && time.minute == 0 && time.second == 0) text += kMidnightTime;
    return text;
  } catch (const std::exception&) {
    return FormattedTimeText(time);
  }
}

Text TimeText() {
  const LocalClock clock = gClock.load();
  return TimeTextOf(clock ? clock() : SystemLocalTime());
}

void SetLocalClock(LocalClock clock) { gClock.store(clock); }

#ifndef _WIN32
// The native build's clock; Windows reads its own local time in TimeText_win.cpp (the C
// runtime's localtime would follow a TZ variable instead of the system's time zone).
LocalTime SystemLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}
#endif

}  // namespace uptorra
