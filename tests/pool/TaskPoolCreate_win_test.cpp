// Creation, the worker threads, the supervisor and the teardown of the task pool.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "pool/TaskPool.h"
#include "pool/TaskPoolShared_win.h"
#include "support/PoolTestSupport_win.h"

namespace uptorra {
namespace test {
namespace {

testing::Environment* const kRuntimeWarmUp = testing::AddGlobalTestEnvironment(new RuntimeWarmUp);

using Opt = TaskPool::OptionalInt;
using Plan = ThreadStartSpy::Plan;

PoolShared& SharedOf(const TaskPool& pool) { return *TaskPoolTestAccess::Shared(pool); }

struct CreateCase {
  const char* what;
  Opt count, maxThreads, idleMs, stackSize;
  int workers, expectedMax, expectedIdleMs, expectedStack;
};

TEST_F(PoolTest, CreateSettlesItsArguments) {
  const CreateCase cases[] = {
      {"all absent", {}, {}, {}, {}, 5, 5, 10000, 0},
      {"count 0", 0, {}, {}, {}, 1, 1, 10000, 0},
      {"count negative", -3, {}, {}, {}, 1, 1, 10000, 0},
      {"maximum below count", 3, 1, {}, {}, 3, 3, 10000, 0},
      {"maximum above count", 2, 8, {}, {}, 2, 8, 10000, 0},
      {"idle time-out below 100", 1, {}, 50, {}, 1, 1, 100, 0},
      {"idle time-out 100", 1, {}, 100, {}, 1, 1, 100, 0},
      {"idle time-out 250", 1, {}, 250, {}, 1, 1, 250, 0},
      {"stack 0", 1, {}, {}, 0, 1, 1, 10000, 0},
      {"stack 1", 1, {}, {}, 1, 1, 1, 10000, 8192},
      {"stack negative", 1, {}, {}, -5, 1, 1, 10000, 8192},
      {"stack 10000", 1, {}, {}, 10000, 1, 1, 10000, 8192},
      {"stack 12289", 1, {}, {}, 12289, 1, 1, 10000, 12288},
      {"stack 1 MiB", 1, {}, {}, 1048576, 1, 1, 10000, 1048576},
  };
  for (const CreateCase& c : cases) {
    SCOPED_TRACE(c.what);
    ThreadStartSpy spy;
    ASSERT_EQ(pool.Create(c.count, c.maxThreads, c.idleMs, {}, c.stackSize), 1);
    EXPECT_TRUE(WaitUntil([&] { return pool.LiveThreadCount() == c.workers; }));
    EXPECT_EQ(pool.MaxThreads(), c.expectedMax);
    EXPECT_EQ(SharedOf(pool).idleTimeoutMs.load(), c.expectedIdleMs);
    EXPECT_EQ(SharedOf(pool).stackSize.load(), c.expectedStack);

    int cores = 0;
    for (const ThreadStartSpy::Start& start : spy.Starts()) {
      if (start.role == PoolThreadRole::kSupervisor) {
        EXPECT_EQ(start.stackSize, 8192u);
        EXPECT_EQ(start.flags, static_cast<DWORD>(STACK_SIZE_PARAM_IS_A_RESERVATION));
      } else {
        ++cores;
        EXPECT_EQ(start.role, PoolThreadRole::kCoreWorker);
        EXPECT_EQ(start.stackSize, static_cast<SIZE_T>(c.expectedStack));
        EXPECT_EQ(start.flags, c.expectedStack ? static_cast<DWORD>(STACK_SIZE_PARAM_IS_A_RESERVATION) : 0u)
            << "a reservation only when a size is set";
      }
    }
    EXPECT_EQ(cores, c.workers);
    ASSERT_EQ(pool.Stop(1), 1);
  }
}

TEST_F(PoolTest, FullPoolAtItsMaximumAddsNoExtraWorker) {
  ThreadStartSpy spy;
  CreateAndSettle(2);  // maximum absent: equals the count
  OccupyWorkers(2);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(pool.Submit(&BlockingTask, i), 1);
  ::Sleep(300);  // room for a wrong growth to show
  EXPECT_EQ(spy.Count(PoolThreadRole::kExtraWorker, true), 0);
  EXPECT_EQ(pool.LiveThreadCount(), 2);
  EXPECT_EQ(pool.QueuedCount(), 3);
  TaskGate::Open();
  EXPECT_TRUE(WaitUntil([] { return PoolRecord::Get().TaskCount() == 5; }));
}

// onCreated runs while the pool is still being made: a Create from there must be refused.
TaskPool* g_poolInOnCreated = nullptr;
std::atomic<int> g_nestedCreateResult{-1};
void CreateFromOnCreated() {
  PoolRecord::Get().stateInOnCreated = g_poolInOnCreated->State();
  g_nestedCreateResult = g_poolInOnCreated->Create(9);
}

TEST_F(PoolTest, CreateRefusesUnlessThePoolIsNotCreated) {
  // Running.
  CreateAndSettle(2);
  EXPECT_EQ(pool.Create(7, 9), 0);
  EXPECT_EQ(pool.MaxThreads(), 2) << "a refused Create changes nothing";
  ::Sleep(100);
  EXPECT_EQ(pool.LiveThreadCount(), 2);
  ASSERT_EQ(pool.Stop(1), 1);

  // Being created.
  g_poolInOnCreated = &pool;
  pool.SetPoolHooks(&CreateFromOnCreated, {});
  ASSERT_EQ(pool.Create(1), 1);
  EXPECT_EQ(PoolRecord::Get().stateInOnCreated.load(), 2);
  EXPECT_EQ(g_nestedCreateResult.load(), 0);
  EXPECT_EQ(pool.MaxThreads(), 1);
  pool.SetPoolHooks(&CountingHooks::OnCreated, {});

  // Stopping: a Stop whose time limit passed leaves the pool in state 3.
  OccupyWorkers(1);
  EXPECT_EQ(pool.Stop(1, 50), 0);
  EXPECT_EQ(pool.State(), 3);
  EXPECT_EQ(pool.Create(4), 0);
  TaskGate::Open();
  ASSERT_TRUE(WaitUntil([this] { return pool.State() == 0; }));
  EXPECT_EQ(pool.Create(2), 1) << "created again once the last worker has left";
}

TEST_F(PoolTest, CreateFailsCleanlyWhenNoWorkerCanStartAndCanBeRepeated) {
  const HandleCensus handlesBefore = TakeHandleCensus();
  {
    ThreadStartSpy spy(Plan::kWorkersFail);
    EXPECT_EQ(pool.Create(10), 0);
    EXPECT_EQ(spy.Count(PoolThreadRole::kCoreWorker, false), 5) << "gives up after five failures in a row";
    EXPECT_EQ(spy.Count(PoolThreadRole::kSupervisor, true), 1);
    EXPECT_TRUE(ThreadStartSpy::SupervisorEnded()) << "the supervisor ended before Create returned";
    EXPECT_EQ(pool.State(), 0);
    EXPECT_EQ(pool.LiveThreadCount(), 0);
    EXPECT_EQ(PoolRecord::Get().created.load(), 0);
    spy.ReleaseSupervisorHandle();
    EXPECT_TRUE(HandlesSettleBackTo(handlesBefore)) << "the port, the events and the supervisor are closed";
  }
  ASSERT_EQ(pool.Create(2), 1);
  ASSERT_EQ(pool.Submit(&RecordTask, 42), 1);
  EXPECT_TRUE(WaitUntil([] { return PoolRecord::Get().TaskCount() == 1; }));
}

TEST_F(PoolTest, CreateCountsStartAttemptsNotThreads) {
  ThreadStartSpy spy(Plan::kEveryOtherCoreFails);
  ASSERT_EQ(pool.Create(6), 1);
  EXPECT_EQ(spy.Count(PoolThreadRole::kCoreWorker, true), 3);
  EXPECT_EQ(spy.Count(PoolThreadRole::kCoreWorker, false), 3) << "failed attempts are not repeated";
  EXPECT_TRUE(WaitUntil([this] { return pool.LiveThreadCount() == 3; }));
  ::Sleep(100);
  EXPECT_EQ(pool.LiveThreadCount(), 3);
}

TEST_F(PoolTest, ExtraWorkersGrowOneAtATimeAndEndAfterTheIdleTimeOut) {
  ThreadStartSpy spy;
  CreateAndSettle(1, 4, 100);
  spy.Watch(TaskPoolTestAccess::Shared(pool));
  OccupyWorkers(4);  // one on the core worker, three waiting for extra workers
  EXPECT_EQ(pool.LiveThreadCount(), 4);
  EXPECT_EQ(pool.BusyCount(), 4);
  ::Sleep(200);
  EXPECT_EQ(spy.Count(PoolThreadRole::kExtraWorker, true), 3) << "no worker beyond the maximum";
  EXPECT_EQ(spy.LiveCountsAtExtraStarts(), (std::vector<int>{1, 2, 3}))
      << "each extra worker started after the previous one registered";
  for (const ThreadStartSpy::Start& start : spy.Starts()) {
    if (start.role == PoolThreadRole::kExtraWorker) {
      EXPECT_EQ(start.stackSize, 0u);
    }
  }

  TaskGate::Open();
  EXPECT_TRUE(WaitUntil([this] { return pool.LiveThreadCount() == 1; })) << "idle extra workers end";
  EXPECT_EQ(PoolRecord::Get().threadExits.load(), 3);
  ::Sleep(300);
  EXPECT_EQ(pool.LiveThreadCount(), 1) << "the core worker never ends for lack of work";
}

// A registration signal nobody took (the core worker registered before Create waited) must
// not pass for the registration of a new extra worker: the supervisor would start the next
// one at once and overshoot the maximum.
TEST_F(PoolTest, StaleRegistrationSignalDoesNotLetThePoolOvergrow) {
  ThreadStartSpy spy(ThreadStartSpy::Plan::kCoreRegistersEarlyExtraLate);
  CreateAndSettle(1, 3);
  spy.Watch(TaskPoolTestAccess::Shared(pool));
  OccupyWorkers(3);
  ::Sleep(300);
  EXPECT_EQ(spy.LiveCountsAtExtraStarts(), (std::vector<int>{1, 2}));
  EXPECT_EQ(pool.LiveThreadCount(), 3);
}

TEST_F(PoolTest, ExtraWorkersGetTheStackSetLater) {
  ThreadStartSpy spy;
  CreateAndSettle(1, 2, 100);
  pool.SetStackSize(65536);
  OccupyWorkers(2);
  TaskGate::Open();
  std::vector<ThreadStartSpy::Start> extras;
  for (const ThreadStartSpy::Start& start : spy.Starts())
    if (start.role == PoolThreadRole::kExtraWorker) extras.push_back(start);
  ASSERT_EQ(extras.size(), 1u);
  EXPECT_EQ(extras[0].stackSize, 65536u);
  EXPECT_EQ(extras[0].flags, static_cast<DWORD>(STACK_SIZE_PARAM_IS_A_RESERVATION));
}

TEST_F(PoolTest, FiveFailedExtraStartsCapTheMaximumUntilItIsRaised) {
  ThreadStartSpy spy(Plan::kExtraWorkersFail);
  CreateAndSettle(1, 4);
  TaskGate::Close();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(pool.Submit(&BlockingTask, i), 1);  // 1 running, 2 queued
  EXPECT_TRUE(WaitUntil([this] { return pool.MaxThreads() == 1; })) << "lowered to the live count";
  ::Sleep(200);
  EXPECT_EQ(spy.Count(PoolThreadRole::kExtraWorker, false), 5) << "no more attempts once capped";
  EXPECT_EQ(pool.LiveThreadCount(), 1);

  spy.SetPlan(Plan::kAllSucceed);
  pool.SetMaxThreads(4);
  EXPECT_TRUE(WaitUntil([] { return PoolRecord::Get().inside.load() == 3; })) << "raising the maximum grows again";
  EXPECT_EQ(pool.LiveThreadCount(), 3) << "no more workers than running plus queued tasks";
  EXPECT_EQ(spy.Count(PoolThreadRole::kExtraWorker, true), 2);
}

// Each task waits for its own event and notes its thread, so that the test can end the tasks
// of extra workers first.
HANDLE g_heldEvents[3];
std::atomic<DWORD> g_heldThreads[3];
void HeldTask(std::int32_t index, std::int32_t) {
  g_heldThreads[index] = ::GetCurrentThreadId();
  ++PoolRecord::Get().inside;
  ::WaitForSingleObject(g_heldEvents[index], 120000);
  --PoolRecord::Get().inside;
}

TEST_F(PoolTest, LoweredMaximumEndsExtraWorkersAfterTheirTask) {
  ThreadStartSpy spy;
  CreateAndSettle(1, 3, 60000);  // idle time-out far beyond the test: no idle ending here
  for (HANDLE& event : g_heldEvents) event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(pool.Submit(&HeldTask, i), 1);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().inside.load() == 3; }));
  ASSERT_EQ(pool.LiveThreadCount(), 3);
  pool.SetMaxThreads(1);
  EXPECT_EQ(pool.MaxThreads(), 1);

  const std::vector<DWORD> extraThreads = spy.ExtraThreadIds();
  ASSERT_EQ(extraThreads.size(), 2u);
  int coreTask = -1;
  int expectedLive = 3;
  for (int i = 0; i < 3; ++i) {
    const bool onExtra = g_heldThreads[i] == extraThreads[0] || g_heldThreads[i] == extraThreads[1];
    if (!onExtra) {
      coreTask = i;
      continue;
    }
    ::SetEvent(g_heldEvents[i]);  // busy after its decrement is still >= 1: the extra worker ends
    --expectedLive;
    EXPECT_TRUE(WaitUntil([&] { return pool.LiveThreadCount() == expectedLive; }));
  }
  ASSERT_NE(coreTask, -1);
  ::SetEvent(g_heldEvents[coreTask]);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().inside.load() == 0; }));
  ::Sleep(100);
  EXPECT_EQ(pool.LiveThreadCount(), 1) << "a lowered maximum ends no core worker";
  ASSERT_EQ(pool.Stop(1), 1);
  for (HANDLE event : g_heldEvents) ::CloseHandle(event);
}

TEST_F(PoolTest, TeardownClosesEverythingRunsOnEndedAndAllowsANewCreate) {
  const HandleCensus handlesBefore = TakeHandleCensus();
  CreateAndSettle(3);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(pool.Submit(&RecordTask, i), 1);
  pool.Pause();
  ASSERT_EQ(pool.Stop(1), 1);

  EXPECT_EQ(pool.State(), 0);
  EXPECT_EQ(PoolRecord::Get().TaskCount(), 10u);
  EXPECT_EQ(PoolRecord::Get().created.load(), 1);
  EXPECT_EQ(PoolRecord::Get().ended.load(), 1);
  EXPECT_EQ(PoolRecord::Get().threadStarts.load(), 3);
  EXPECT_EQ(PoolRecord::Get().threadExits.load(), 3);
  const PoolShared& shared = SharedOf(pool);
  EXPECT_EQ(shared.port.load(), nullptr);
  EXPECT_EQ(shared.growEvent.load(), nullptr);
  EXPECT_EQ(shared.threadEvent.load(), nullptr);
  EXPECT_EQ(shared.taskDoneEvent.load(), nullptr);
  EXPECT_EQ(shared.runGate.load(), nullptr);
  EXPECT_EQ(shared.supervisorThread.load(), nullptr);
  EXPECT_EQ(shared.runFlag.load(), 0);
  EXPECT_EQ(pool.LiveThreadCount() + pool.BusyCount() + pool.QueuedCount(), 0);
  EXPECT_TRUE(HandlesSettleBackTo(handlesBefore));

  // The pool was paused when it stopped; the new one starts running, hooks kept.
  ASSERT_EQ(pool.Create(2), 1);
  EXPECT_EQ(pool.WaitResumed(0), 1);
  ASSERT_EQ(pool.Submit(&RecordTask, 99), 1);
  EXPECT_TRUE(WaitUntil([] { return PoolRecord::Get().TaskCount() == 11; }));
  ASSERT_EQ(pool.Stop(1), 1);
  EXPECT_EQ(PoolRecord::Get().ended.load(), 2);
  EXPECT_TRUE(HandlesSettleBackTo(handlesBefore));
}

// Every worker leaves on its own (here: exit packets that did not come from Stop). The pool
// must still end, and its supervisor must be gone before the events it waits on are closed.
TEST_F(PoolTest, PoolEndingWithoutStopEndsItsSupervisorFirst) {
  const HandleCensus handlesBefore = TakeHandleCensus();
  ThreadStartSpy spy;
  CreateAndSettle(2, 2);
  const HANDLE port = SharedOf(pool).port.load();
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(::PostQueuedCompletionStatus(port, kExitPacketBytes, kExitPacketKey, ExitPacketMark()));
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().ended.load() == 1; }));
  EXPECT_EQ(PoolRecord::Get().supervisorEndedBeforeOnEnded.load(), 1);
  EXPECT_TRUE(WaitUntil([this] { return pool.State() == 0; }));
  EXPECT_EQ(pool.Stop(1), 1) << "nothing left to stop";
  spy.ReleaseSupervisorHandle();
  EXPECT_TRUE(HandlesSettleBackTo(handlesBefore))
      << "the supervisor's handle is closed although Stop never ran";
}

TEST_F(PoolTest, SupervisorHasEndedWhenAStoppedPoolClosesItsEvents) {
  ThreadStartSpy spy;
  CreateAndSettle(2);
  ASSERT_EQ(pool.Stop(2), 1);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().ended.load() == 1; }));
  EXPECT_EQ(PoolRecord::Get().supervisorEndedBeforeOnEnded.load(), 1);
}

// Create returns once the first worker has registered. A Stop right after must still reach
// the workers that register later: each needs an exit packet, and none of them may find the
// pool torn down under it.
TEST_F(PoolTest, StopRightAfterCreateReachesWorkersStillStarting) {
  for (const int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    PoolRecord::Get().Reset();
    const HandleCensus handlesBefore = TakeHandleCensus();
    {
      ThreadStartSpy spy(Plan::kSlowWorkerStarts);
      ASSERT_EQ(pool.Create(4), 1);
      EXPECT_LT(pool.LiveThreadCount(), 4) << "the test needs workers still starting";
      EXPECT_EQ(pool.Stop(mode, 30000), 1);
      EXPECT_TRUE(WaitUntil([this] { return pool.State() == 0; }));
      EXPECT_EQ(PoolRecord::Get().threadExits.load(), 4) << "every worker got its exit packet";
      EXPECT_EQ(PoolRecord::Get().ended.load(), 1) << "one teardown, after the last worker";
      spy.ReleaseSupervisorHandle();
    }
    EXPECT_TRUE(HandlesSettleBackTo(handlesBefore));
  }
}

TEST(PoolClock, ClockMsAdvancesWithTime) {
  const std::int64_t start = ClockMs();
  ::Sleep(30);
  const std::int64_t later = ClockMs();
  EXPECT_GE(later, start + 1);
  EXPECT_LT(later - start, 60000);
  EXPECT_LE(later, ClockMs()) << "never goes back";
}

}  // namespace
}  // namespace test
}  // namespace uptorra
