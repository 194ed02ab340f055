#pragma once
// The paced wait: a wait of a given length during which the thread keeps dispatching its
// window messages. The loop here knows no Windows API; the clock, the timer and the message
// queue come from a host (the system's in PacedWait_win.cpp, a simulated one in tests).
#include <cstdint>

namespace uptorra {

// Unit codes of PacedWait. The probe worker uses seconds.
enum PacedWaitUnit : int {
  kPacedMilliseconds = 0,
  kPacedMicroseconds = 1,
  kPacedSeconds = 2,
  kPacedMinutes = 3,
  kPacedHours = 4,
  kPacedDays = 5,
};

// 100-nanosecond steps: the unit of waitable-timer due times.
inline constexpr std::int64_t kStepsPerMillisecond = 10'000;

// The length of a wait in 100-ns steps; lengths beyond the 64-bit range are cut to its
// largest value. A value of 0 or below gives 0 (no wait), as does a unit code outside 0 to 5:
// nothing in the program uses other codes, and not waiting is the one reading of an unknown
// unit that can never hang a thread.
std::int64_t PacedWaitLength(std::int32_t value, int unit);

class PacedWaitHost {
 public:
  enum class Wake { kTimer, kMessage, kTimeout, kFailed };
  virtual ~PacedWaitHost() = default;
  // A monotonic clock in 100-ns steps.
  virtual std::int64_t Now() = 0;
  // Arms the wait's one timer (created on first use, re-armed after) to fire dueIn steps from
  // now. False when there is no timer to be had.
  virtual bool ArmTimer(std::int64_t dueIn) = 0;
  // Sleeps until the timer fires or new window messages arrive for the thread.
  virtual Wake WaitForTimerOrMessage() = 0;
  // Without a timer: sleeps until new window messages arrive or timeoutMs have passed.
  virtual Wake WaitForMessageOrTimeout(std::uint32_t timeoutMs) = 0;
  // Dispatches the thread's pending window messages.
  virtual void PumpMessages() = 0;
};

// Waits length steps on the host: one timer armed once for the whole length, the messages
// dispatched whenever they wake the thread, and back to sleep until the deadline. Returns at
// once for a length of 0 or below, never before the deadline otherwise.
void RunPacedWait(PacedWaitHost& host, std::int64_t length);

}  // namespace uptorra
