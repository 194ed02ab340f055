#include "core/PacedWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <limits>
#include <utility>

namespace uptorra {
namespace {

constexpr std::int64_t kMs = kStepsPerMillisecond;
constexpr std::int64_t kSecond = 1000 * kMs;
// The default Windows clock tick, 15.625 ms: a timer fires at the first tick at or after its
// due time.
constexpr std::int64_t kTick = 156'250;
constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max();

// A thread's clock, timer and message queue, simulated: waits advance the clock to the next
// event. Timers fire on tick boundaries as on Windows; messages arrive at scripted times.
class SimulatedHost final : public PacedWaitHost {
 public:
  explicit SimulatedHost(std::int64_t start = 1000 * kSecond) : now_(start) {}

  std::int64_t Now() override { return now_; }

  bool ArmTimer(std::int64_t dueIn) override {
    ++arms;
    if (!timerWorks) return false;
    const std::int64_t due = dueIn > kForever - now_ ? kForever : now_ + dueIn;
    fireAt_ = due % kTick == 0 || due > kForever - kTick ? due : (due / kTick + 1) * kTick;
    fireAt_ -= std::exchange(fireEarlyOnceBy, 0);
    armed_ = true;
    return true;
  }

  Wake WaitForTimerOrMessage() override {
    ++waits;
    const std::int64_t message = NextMessage();
    if (!armed_ && message == kForever) {
      ADD_FAILURE() << "waits for ever: no timer armed and no message coming";
      return Wake::kFailed;
    }
    if (!armed_ || message < fireAt_) return MessageArrives(message);
    now_ = std::max(now_, fireAt_);
    armed_ = false;
    ++timerWakes;
    return Wake::kTimer;
  }

  Wake WaitForMessageOrTimeout(std::uint32_t timeoutMs) override {
    ++waits;
    const std::int64_t message = NextMessage();
    const std::int64_t timeout = now_ + std::int64_t{timeoutMs} * kMs;
    if (message < timeout) return MessageArrives(message);
    now_ = timeout;
    return Wake::kTimeout;
  }

  void PumpMessages() override {
    ++pumps;
    dispatched += arrived_;
    arrived_ = 0;
  }

  // A message posted to the thread at the given clock time.
  void PostAt(std::int64_t when) { messages_.push_back(when); }

  bool timerWorks = true;
  std::int64_t fireEarlyOnceBy = 0;  // the next arming fires this much before its tick
  int arms = 0;
  int waits = 0;
  int timerWakes = 0;
  int messageWakes = 0;
  int pumps = 0;
  int dispatched = 0;

 private:
  std::int64_t NextMessage() const { return messages_.empty() ? kForever : messages_.front(); }
  Wake MessageArrives(std::int64_t when) {
    now_ = std::max(now_, when);
    messages_.pop_front();
    ++arrived_;
    ++messageWakes;
    return Wake::kMessage;
  }

  std::int64_t now_;
  std::int64_t fireAt_ = 0;
  bool armed_ = false;
  std::deque<std::int64_t> messages_;
  int arrived_ = 0;
};

// The wait as first built: n seconds as 1000 waits of n ms, each on a timer of its own.
void SlicedWait(SimulatedHost& host, std::int32_t seconds) {
  for (int slice = 0; slice < 1000; ++slice) {
    host.ArmTimer(seconds * kMs);
    while (host.WaitForTimerOrMessage() != PacedWaitHost::Wake::kTimer) host.PumpMessages();
  }
}

struct LengthCase {
  std::int32_t value;
  int unit;
  std::int64_t steps;
};

class PacedWaitLengths : public ::testing::TestWithParam<LengthCase> {};

TEST_P(PacedWaitLengths, FollowTheUnitTable) {
  EXPECT_EQ(PacedWaitLength(GetParam().value, GetParam().unit), GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Units, PacedWaitLengths,
    ::testing::Values(LengthCase{250, kPacedMilliseconds, 250 * kMs}, LengthCase{1500, kPacedMicroseconds, 15'000},
                      LengthCase{7, kPacedSeconds, 7 * kSecond}, LengthCase{2, kPacedMinutes, 120 * kSecond},
                      LengthCase{3, kPacedHours, 3 * 3600 * kSecond}, LengthCase{1, kPacedDays, 86400 * kSecond},
                      LengthCase{0, kPacedSeconds, 0}, LengthCase{-5, kPacedSeconds, 0},
                      LengthCase{std::numeric_limits<std::int32_t>::min(), kPacedDays, 0},
                      LengthCase{5, -1, 0}, LengthCase{5, 6, 0}, LengthCase{5, 100, 0},
                      LengthCase{std::numeric_limits<std::int32_t>::max(), kPacedSeconds,
                                 std::int64_t{std::numeric_limits<std::int32_t>::max()} * kSecond},
                      // 2^31 hours or days in 100-ns steps do not fit 64 bits: the longest wait
                      LengthCase{std::numeric_limits<std::int32_t>::max(), kPacedHours, kForever},
                      LengthCase{std::numeric_limits<std::int32_t>::max(), kPacedDays, kForever}));

class OneTimerWait : public ::testing::TestWithParam<std::int64_t> {};

// Whatever the length, one timer armed once and one wake for it, and the wait ends at the
// first tick after the deadline: never earlier, never a tick later.
TEST_P(OneTimerWait, ArmsOneTimerAndWakesOnceForIt) {
  const std::int64_t length = GetParam();
  SimulatedHost host;
  const std::int64_t start = host.Now();
  RunPacedWait(host, length);
  EXPECT_EQ(host.arms, 1);
  EXPECT_EQ(host.timerWakes, 1);
  EXPECT_EQ(host.waits, 1);
  EXPECT_GE(host.Now() - start, length);
  EXPECT_LT(host.Now() - start, length + kTick);
}

INSTANTIATE_TEST_SUITE_P(Lengths, OneTimerWait,
                         ::testing::Values(PacedWaitLength(1, kPacedMilliseconds), PacedWaitLength(1, kPacedSeconds),
                                           PacedWaitLength(10, kPacedSeconds), PacedWaitLength(60, kPacedSeconds),
                                           PacedWaitLength(86400, kPacedSeconds),
                                           PacedWaitLength(std::numeric_limits<std::int32_t>::max(), kPacedSeconds),
                                           PacedWaitLength(90, kPacedMinutes), PacedWaitLength(400, kPacedDays)));

// The sliced wait on the same clock: 1000 timers and 1000 wakes, and every slice rounds up to
// a tick, so a 1-second wait lasts 15.6 seconds. The one-timer wait lasts the second.
TEST(PacedWait, SlicedWaitWakesAThousandTimesAndOverrunsWhereOneTimerDoesNot) {
  SimulatedHost sliced;
  const std::int64_t slicedStart = sliced.Now();
  SlicedWait(sliced, 1);
  EXPECT_EQ(sliced.arms, 1000);
  EXPECT_EQ(sliced.timerWakes, 1000);
  EXPECT_EQ(sliced.Now() - slicedStart, 1000 * kTick);

  SimulatedHost paced;
  const std::int64_t pacedStart = paced.Now();
  RunPacedWait(paced, PacedWaitLength(1, kPacedSeconds));
  EXPECT_EQ(paced.timerWakes, 1);
  EXPECT_LT(paced.Now() - pacedStart, kSecond + kTick);
}

// Messages wake the thread, get dispatched at once, and the wait sleeps on to its deadline on
// the same armed timer.
TEST(PacedWait, MessagesAreDispatchedAsTheyComeAndTheWaitRunsToItsEnd) {
  SimulatedHost host;
  const std::int64_t start = host.Now();
  for (const std::int64_t at : {100 * kMs, 250 * kMs, 251 * kMs, 2900 * kMs}) host.PostAt(start + at);
  RunPacedWait(host, 3 * kSecond);
  EXPECT_EQ(host.messageWakes, 4);
  EXPECT_EQ(host.pumps, 4);
  EXPECT_EQ(host.dispatched, 4);
  EXPECT_EQ(host.arms, 1);
  EXPECT_EQ(host.timerWakes, 1);
  EXPECT_GE(host.Now() - start, 3 * kSecond);
}

TEST(PacedWait, NothingToWaitForReturnsAtOnce) {
  for (const std::int64_t length : {std::int64_t{0}, std::int64_t{-1}, -kForever}) {
    SimulatedHost host;
    const std::int64_t start = host.Now();
    host.PostAt(start);
    RunPacedWait(host, length);
    EXPECT_EQ(host.arms, 0);
    EXPECT_EQ(host.waits, 0);
    EXPECT_EQ(host.pumps, 0);
    EXPECT_EQ(host.Now(), start);
  }
}

// A timer that fires before the deadline (Windows counts a relative due time from its last
// tick) must not end the wait early: the rest is waited on the same timer.
TEST(PacedWait, TimerFiringEarlyIsArmedAgainForTheRest) {
  SimulatedHost host;
  host.fireEarlyOnceBy = 3 * kMs;
  const std::int64_t start = host.Now();
  RunPacedWait(host, 2 * kSecond);
  EXPECT_GE(host.Now() - start, 2 * kSecond);
  EXPECT_EQ(host.arms, 2);
}

// Without a timer the wait goes on with timeouts on the message wait: still its full length,
// still dispatching, and no spinning.
TEST(PacedWait, WithoutATimerWaitsWithTimeouts) {
  SimulatedHost host;
  host.timerWorks = false;
  const std::int64_t start = host.Now();
  host.PostAt(start + 500 * kMs);
  RunPacedWait(host, 2 * kSecond + 3);  // not a whole number of milliseconds
  EXPECT_GE(host.Now() - start, 2 * kSecond + 3);
  EXPECT_EQ(host.dispatched, 1);
  EXPECT_EQ(host.waits, 2);
}

// A wait beyond the longest arming (68 years) re-arms when the timer fires, without
// overflowing the clock arithmetic, and ends at the saturated deadline.
TEST(PacedWait, LongestWaitReArmsWithoutOverflow) {
  SimulatedHost host(0);
  RunPacedWait(host, PacedWaitLength(std::numeric_limits<std::int32_t>::max(), kPacedDays));
  EXPECT_EQ(host.Now(), kForever);
  EXPECT_GT(host.arms, 1);
  EXPECT_EQ(host.arms, host.timerWakes);
}

}  // namespace
}  // namespace uptorra
