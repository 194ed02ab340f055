#include "core/PacedWait.h"

#include <limits>

namespace uptorra {
namespace {

constexpr std::int64_t kLongest = std::numeric_limits<std::int64_t>::max();

// Steps per unit, by unit code; microseconds are the one unit below a millisecond.
constexpr std::int64_t kStepsPerUnit[] = {
    kStepsPerMillisecond,                      // milliseconds
    10,                                        // microseconds
    1000 * kStepsPerMillisecond,               // seconds
    60 * 1000 * kStepsPerMillisecond,          // minutes
    60 * 60 * 1000 * kStepsPerMillisecond,     // hours
    24 * 60 * 60 * 1000 * kStepsPerMillisecond,  // days
};

// The longest single arming of the timer: the largest 32-bit number of seconds (68 years), so
// that every wait in seconds is one timer, and the due time stays far from the end of the
// 64-bit range that the system adds it to (an overflow there could fire the timer at once,
// again and again). Longer waits re-arm when it fires.
constexpr std::int64_t kLongestArm = std::int64_t{std::numeric_limits<std::int32_t>::max()} * 1000 * kStepsPerMillisecond;

std::int64_t ArmLength(std::int64_t rest) { return rest < kLongestArm ? rest : kLongestArm; }

// The longest timeout MsgWaitForMultipleObjects takes below INFINITE.
constexpr std::uint32_t kLongestTimeoutMs = 0xFFFFFFFE;

std::uint32_t TimeoutMsFor(std::int64_t steps) {
  const std::int64_t ms = steps / kStepsPerMillisecond + (steps % kStepsPerMillisecond != 0);
  return ms >= kLongestTimeoutMs ? kLongestTimeoutMs : static_cast<std::uint32_t>(ms);
}

}  // namespace

std::int64_t PacedWaitLength(std::int32_t value, int unit) {
  if (value <= 0 || unit < kPacedMilliseconds || unit > kPacedDays) return 0;
  const std::int64_t perUnit = kStepsPerUnit[unit];
  return value > kLongest / perUnit ? kLongest : value * perUnit;
}

void RunPacedWait(PacedWaitHost& host, std::int64_t length) {
  if (length <= 0) return;
  const std::int64_t start = host.Now();
  const std::int64_t deadline = start > kLongest - length ? kLongest : start + length;
  bool armed = host.ArmTimer(ArmLength(length));
  for (;;) {
    const std::int64_t now = host.Now();
    if (now >= deadline) return;
    PacedWaitHost::Wake wake;
    if (armed) {
      wake = host.WaitForTimerOrMessage();
      if (wake == PacedWaitHost::Wake::kTimer) {
        // Windows measures a relative due time from its last clock tick, so the timer may
        // fire up to a tick before the deadline as the monotonic clock sees it (and a very
        // long wait fires at the longest arming): the rest is waited out on the same timer.
        const std::int64_t rest = deadline - host.Now();
        if (rest > 0) armed = host.ArmTimer(ArmLength(rest));
        continue;
      }
      if (wake == PacedWaitHost::Wake::kFailed) {
        armed = false;  // waiting on the timer does not work: go on with timeouts
        continue;
      }
    } else {
      wake = host.WaitForMessageOrTimeout(TimeoutMsFor(deadline - now));
    }
    if (wake == PacedWaitHost::Wake::kMessage) host.PumpMessages();
  }
}

}  // namespace uptorra
