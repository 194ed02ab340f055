// Many small tasks from two threads while a third pauses and resumes the pool, a stop in a
// random mode at a random moment, and Destroy; eight rounds. Every task whose Submit said
// "queued" must run exactly once (at most once when the stop drops the queue), no refused
// task may run, and the process must hold no more handles at the end than at the start.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "pool/TaskPool.h"
#include "support/PoolTestSupport_win.h"

namespace uptorra {
namespace test {
namespace {

constexpr int kRounds = 8;
constexpr int kTasksPerRound = 100000;
constexpr int kSubmitters = 2;
constexpr int kHangLimitMs = 300000;

struct Ledger {
  std::vector<std::atomic<std::uint8_t>> runs = std::vector<std::atomic<std::uint8_t>>(kTasksPerRound);
  std::vector<std::atomic<std::uint8_t>> accepted = std::vector<std::atomic<std::uint8_t>>(kTasksPerRound);
  std::atomic<int> round{-1};
  std::atomic<int> strayTasks{0};  // a task of another round, or an index out of range
  std::atomic<int> ended{0};
};
Ledger* g_ledger = nullptr;

void StressTask(std::int32_t index, std::int32_t round) {
  if (round != g_ledger->round.load() || index < 0 || index >= kTasksPerRound) {
    ++g_ledger->strayTasks;
    return;
  }
  g_ledger->runs[index].fetch_add(1);
}
void CountEnd() { ++g_ledger->ended; }

TEST(PoolStress, EverySubmittedTaskRunsOnceThroughPausesStopsAndDestroy) {
  Ledger ledger;
  g_ledger = &ledger;
  std::mt19937 random(0x5eed2024u);
  const HandleCensus handlesBefore = TakeHandleCensus();

  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < kTasksPerRound; ++i) {
      ledger.runs[i] = 0;
      ledger.accepted[i] = 0;
    }
    ledger.round = round;
    const int count = 1 + static_cast<int>(random() % 4);
    const int maxThreads = count + static_cast<int>(random() % 5);
    const int idleMs = 100 + static_cast<int>(random() % 400);
    const int mode = static_cast<int>(random() % 4);
    // A third of the rounds stop after every submission, the others part-way through.
    const int stopAfter =
        random() % 3 == 0 ? kTasksPerRound : kTasksPerRound * (30 + static_cast<int>(random() % 60)) / 100;
    SCOPED_TRACE(testing::Message() << "round " << round << " count " << count << " max " << maxThreads
                                    << " mode " << mode << " stop after " << stopAfter);

    auto pool = std::make_unique<TaskPool>();
    pool->SetPoolHooks({}, &CountEnd);
    ASSERT_EQ(pool->Create(count, maxThreads, idleMs), 1);

    std::atomic<int> submitted{0};
    std::atomic<bool> submitting{true};
    std::atomic<int> toggles{0};
    std::vector<std::thread> submitters;
    for (int t = 0; t < kSubmitters; ++t) {
      submitters.emplace_back([&, t] {
        for (int i = t; i < kTasksPerRound; i += kSubmitters) {
          ledger.accepted[i] = static_cast<std::uint8_t>(pool->Submit(&StressTask, i, round) != 0);
          ++submitted;
        }
      });
    }
    std::thread storm([&] {
      while (submitting.load()) {
        pool->Pause();
        ::SwitchToThread();
        pool->Resume();
        ++toggles;
        ::Sleep(1);
      }
    });

    ASSERT_TRUE(WaitUntil([&] { return submitted.load() >= stopAfter; }, kHangLimitMs));
    EXPECT_EQ(pool->Stop(mode), 1);
    for (std::thread& submitter : submitters) submitter.join();
    submitting = false;
    storm.join();
    ASSERT_TRUE(WaitUntil([&] { return pool->State() == 0; }, kHangLimitMs)) << "the pool never ended";
    EXPECT_EQ(ledger.ended.load(), round + 1);
    pool.reset();

    int acceptedCount = 0, ran = 0, ranTwice = 0, ranUnaccepted = 0, acceptedNotRun = 0;
    for (int i = 0; i < kTasksPerRound; ++i) {
      const int runs = ledger.runs[i].load();
      const bool accepted = ledger.accepted[i].load() != 0;
      acceptedCount += accepted;
      ran += runs;
      if (runs > 1) ++ranTwice;
      if (!accepted && runs > 0) ++ranUnaccepted;
      if (accepted && runs == 0) ++acceptedNotRun;
    }
    std::printf("round %d: mode %d, %d workers (max %d), %d accepted, %d ran, %d pause/resume pairs\n", round, mode,
                count, maxThreads, acceptedCount, ran, toggles.load());
    EXPECT_GE(acceptedCount, mode == 0 ? 1 : stopAfter / 2) << "the pool took tasks before the stop";
    EXPECT_EQ(ranTwice, 0);
    EXPECT_EQ(ranUnaccepted, 0);
    if (mode != 0) {
      EXPECT_EQ(acceptedNotRun, 0) << "a mode that runs the queue lost a task";
    }
  }
  EXPECT_EQ(ledger.strayTasks.load(), 0);
  // Every round makes a port, four events and a supervisor handle: a leak in the pool comes
  // back each round, so the rounds would add at least kRounds handles. The runtime may still
  // make a lock event or two of its own at a first contention.
  HandleCensus after;
  const bool settled = WaitUntil([&] {
    after = TakeHandleCensus();
    return after.Count(L"IoCompletion") == handlesBefore.Count(L"IoCompletion") &&
           after.Count(L"Thread") == handlesBefore.Count(L"Thread") && after.Total() - handlesBefore.Total() < kRounds;
  });
  EXPECT_TRUE(settled) << "new handles:" << NewHandles(handlesBefore, after);
  g_ledger = nullptr;
}

}  // namespace
}  // namespace test
}  // namespace uptorra
