#include "core/PacedWait_win.h"

#include <windows.h>

#include "core/PumpMessages_win.h"
#include "core/UniqueHandle_win.h"

namespace uptorra {
namespace {

// Keys, mouse moves and buttons, posted messages, window timers, paint, sent messages and hot
// keys: whatever arrives for the thread wakes it.
constexpr DWORD kWakeMask =
    QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_SENDMESSAGE | QS_HOTKEY;
static_assert(kWakeMask == 0xFF);

// Sleep after a failed wait without a timer, so that a broken wait cannot spin a core.
constexpr DWORD kFailedWaitPauseMs = 10;

class SystemWaitHost final : public PacedWaitHost {
 public:
  std::int64_t Now() override {
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    const std::int64_t perSecond = Frequency();
    const std::int64_t stepsPerSecond = 1000 * kStepsPerMillisecond;
    // Split so that counter * stepsPerSecond never overflows.
    return counter.QuadPart / perSecond * stepsPerSecond + counter.QuadPart % perSecond * stepsPerSecond / perSecond;
  }

  bool ArmTimer(std::int64_t dueIn) override {
    if (!timer_) {
      timer_.reset(::CreateWaitableTimerW(nullptr, FALSE, nullptr));
      if (!timer_) return false;
    }
    LARGE_INTEGER due{};
    due.QuadPart = -dueIn;  // negative: relative to now, measured on the interrupt-time clock
    return ::SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE) != 0;
  }

  Wake WaitForTimerOrMessage() override {
    const HANDLE timer = timer_.get();
    const DWORD result = ::MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, kWakeMask);
    if (result == WAIT_OBJECT_0) return Wake::kTimer;
    if (result == WAIT_OBJECT_0 + 1) return Wake::kMessage;
    return Wake::kFailed;
  }

  Wake WaitForMessageOrTimeout(std::uint32_t timeoutMs) override {
    const DWORD result = ::MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs, kWakeMask);
    if (result == WAIT_OBJECT_0) return Wake::kMessage;
    if (result == WAIT_TIMEOUT) return Wake::kTimeout;
    ::Sleep(timeoutMs < kFailedWaitPauseMs ? timeoutMs : kFailedWaitPauseMs);
    return Wake::kFailed;
  }

  void PumpMessages() override { uptorra::PumpMessages(); }

 private:
  static std::int64_t Frequency() {
    static const std::int64_t frequency = [] {
      LARGE_INTEGER f{};
      ::QueryPerformanceFrequency(&f);
      return f.QuadPart > 0 ? f.QuadPart : 1;
    }();
    return frequency;
  }

  UniqueHandle timer_;
};

}  // namespace

void PacedWait(std::int32_t value, int unit) {
  const std::int64_t length = PacedWaitLength(value, unit);
  if (length <= 0) return;
  SystemWaitHost host;
  RunPacedWait(host, length);
}

}  // namespace uptorra
