// Submission, pause and resume, the stop modes, the waits, the setters, hooks and Destroy.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "pool/TaskPool.h"
#include "pool/TaskPoolShared_win.h"
#include "support/PoolTestSupport_win.h"

namespace uptorra {
namespace test {
namespace {

using Opt = TaskPool::OptionalInt;
using Calls = std::vector<std::pair<std::int32_t, std::int32_t>>;

std::intptr_t AddressOf(TaskRoutine routine) {
  return static_cast<std::intptr_t>(reinterpret_cast<std::uintptr_t>(routine));
}

TEST_F(PoolTest, TasksRunInSubmissionOrderWithTheirArguments) {
  CreateAndSettle(1);
  ASSERT_EQ(pool.Pause(), 1);  // the queue fills first, so that the order is the port's
  EXPECT_EQ(pool.Submit(&RecordTask, 1), 1);
  EXPECT_EQ(pool.Submit(&RecordTask, -1, INT32_MIN), 1);
  EXPECT_EQ(pool.Submit(&RecordTask, INT32_MAX, 7), 1);
  EXPECT_EQ(pool.SubmitAddress(AddressOf(&RecordTask), 4, 5), 1);
  EXPECT_EQ(pool.Submit(&RecordTask), 1);
  EXPECT_EQ(pool.QueuedCount(), 5);
  ASSERT_EQ(pool.Resume(), 1);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().TaskCount() == 5; }));
  EXPECT_EQ(PoolRecord::Get().Tasks(), (Calls{{1, 0}, {-1, INT32_MIN}, {INT32_MAX, 7}, {4, 5}, {0, 0}}));
  EXPECT_EQ(pool.QueuedCount(), 0);
}

TEST_F(PoolTest, SubmitRefusesNoRoutineAndTheExitMark) {
  CreateAndSettle(2);
  EXPECT_EQ(pool.Submit(nullptr, 1), 0);
  EXPECT_EQ(pool.SubmitAddress(0, 1), 0);
  // -2 is how a worker knows an exit packet: as a task it would end a worker and never run.
  EXPECT_EQ(pool.SubmitAddress(-2, -1, -1), 0);
  EXPECT_EQ(pool.QueuedCount(), 0);
  ::Sleep(100);
  EXPECT_EQ(pool.LiveThreadCount(), 2);
}

// The operations that act only on a running pool, called on a pool that is not: each result,
// and whether a setter changed a field.
struct RefusalReport {
  std::vector<int> results;
  bool settersChangedSomething = false;
};
RefusalReport TryRunningOnlyOperations(TaskPool& pool) {
  RefusalReport report;
  const PoolShared* shared = TaskPoolTestAccess::Shared(pool);
  const int maxBefore = pool.MaxThreads();
  const int idleBefore = shared ? shared->idleTimeoutMs.load() : 0;
  const int stackBefore = shared ? shared->stackSize.load() : 0;
  report.results = {pool.Submit(&RecordTask, 1),
                    pool.SubmitAddress(AddressOf(&RecordTask), 2),
                    pool.Pause(),
                    pool.Resume(),
                    pool.WaitResumed(0),
                    pool.WaitResumed(),
                    pool.WaitTaskDone(0),
                    pool.WaitTaskDone(),
                    pool.WaitTaskDone(100, 1),
                    pool.SignalTaskDone()};
  pool.SetMaxThreads(maxBefore + 7);
  pool.SetIdleTimeout(idleBefore + 1234);
  pool.SetStackSize(stackBefore + 65536);
  report.settersChangedSomething = pool.MaxThreads() != maxBefore ||
                                   (shared && shared->idleTimeoutMs.load() != idleBefore) ||
                                   (shared && shared->stackSize.load() != stackBefore);
  return report;
}
const std::vector<int> kAllRefused(10, 0);

TaskPool* g_poolBeingCreated = nullptr;
RefusalReport g_reportWhileCreating;
void TryOperationsWhileCreating() { g_reportWhileCreating = TryRunningOnlyOperations(*g_poolBeingCreated); }

TEST_F(PoolTest, RunningOnlyOperationsRefuseInStates0And2And3) {
  {
    SCOPED_TRACE("never created");
    TaskPool fresh;
    const RefusalReport report = TryRunningOnlyOperations(fresh);
    EXPECT_EQ(report.results, kAllRefused);
    EXPECT_FALSE(report.settersChangedSomething);
    EXPECT_EQ(fresh.State(), 0);
    EXPECT_EQ(fresh.IsIdle(), 1);
  }
  {
    SCOPED_TRACE("being created");
    g_poolBeingCreated = &pool;
    pool.SetPoolHooks(&TryOperationsWhileCreating, {});
    ASSERT_EQ(pool.Create(1), 1);
    pool.SetPoolHooks(&CountingHooks::OnCreated, {});
    EXPECT_EQ(g_reportWhileCreating.results, kAllRefused);
    EXPECT_FALSE(g_reportWhileCreating.settersChangedSomething);
  }
  {
    SCOPED_TRACE("stopping");
    OccupyWorkers(1);
    ASSERT_EQ(pool.Stop(1, 50), 0);
    ASSERT_EQ(pool.State(), 3);
    const RefusalReport report = TryRunningOnlyOperations(pool);
    EXPECT_EQ(report.results, kAllRefused);
    EXPECT_FALSE(report.settersChangedSomething);
    EXPECT_EQ(pool.BusyCount(), 1) << "queries answer in every state";
    EXPECT_EQ(pool.IdleCount(), pool.LiveThreadCount() - 1);
    TaskGate::Open();
    ASSERT_TRUE(WaitUntil([this] { return pool.State() == 0; }));
  }
  {
    SCOPED_TRACE("ended");
    const RefusalReport report = TryRunningOnlyOperations(pool);
    EXPECT_EQ(report.results, kAllRefused);
    EXPECT_FALSE(report.settersChangedSomething);
  }
  ::Sleep(50);
  EXPECT_EQ(PoolRecord::Get().TaskCount(), 1u) << "only the task of the running pool ran";
}

TEST_F(PoolTest, SettersSettleTheirValues) {
  CreateAndSettle(1);
  const PoolShared& shared = *TaskPoolTestAccess::Shared(pool);
  pool.SetMaxThreads(0);
  EXPECT_EQ(pool.MaxThreads(), 1);
  pool.SetMaxThreads(-4);
  EXPECT_EQ(pool.MaxThreads(), 1);
  pool.SetMaxThreads(6);
  EXPECT_EQ(pool.MaxThreads(), 6);
  pool.SetIdleTimeout(10);
  EXPECT_EQ(shared.idleTimeoutMs.load(), 100);
  pool.SetIdleTimeout(1500);
  EXPECT_EQ(shared.idleTimeoutMs.load(), 1500);

  const std::pair<Opt, int> stacks[] = {{8191, 8192}, {12288, 8192}, {16384, 16384}, {0, 0},
                                        {-1, 8192},   {1, 8192},     {{}, 0},         {1048577, 1048576}};
  for (const auto& [given, stored] : stacks) {
    pool.SetStackSize(given);
    EXPECT_EQ(shared.stackSize.load(), stored) << "given " << given.value_or(-999);
  }
}

TEST_F(PoolTest, PauseIsASwitchThatResumeTurnsBack) {
  TaskPool fresh;
  EXPECT_EQ(fresh.Pause(), 0);
  CreateAndSettle(2);
  EXPECT_EQ(pool.WaitResumed(0), 1);
  EXPECT_NE(pool.Pause(), 0);
  EXPECT_NE(pool.Pause(), 0);
  EXPECT_EQ(pool.WaitResumed(0), 0);
  EXPECT_NE(pool.Resume(), 0);
  EXPECT_EQ(pool.WaitResumed(0), 1) << "two pauses are undone by one resume";
}

TEST_F(PoolTest, PausedPoolHoldsItsTasksUntilResumed) {
  CreateAndSettle(1);
  ASSERT_EQ(pool.Pause(), 1);
  ASSERT_EQ(pool.Submit(&RecordTask, 5), 1);
  ASSERT_EQ(pool.Submit(&RecordTask, 6), 1);
  ::Sleep(200);
  EXPECT_EQ(PoolRecord::Get().TaskCount(), 0u);
  EXPECT_EQ(pool.QueuedCount(), 2) << "a task held at the gate still counts as queued";
  EXPECT_EQ(pool.BusyCount(), 0);
  EXPECT_EQ(pool.IsIdle(), 0);

  std::atomic<int> resumed{-1};
  std::thread waiter([&] { resumed = pool.WaitResumed(); });
  ::Sleep(50);
  EXPECT_EQ(resumed.load(), -1);
  ASSERT_EQ(pool.Resume(), 1);
  waiter.join();
  EXPECT_EQ(resumed.load(), 1);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().TaskCount() == 2; }));
  EXPECT_EQ(pool.QueuedCount(), 0);
  EXPECT_TRUE(WaitUntil([this] { return pool.IsIdle() == 1; }));
}

struct StopCase {
  const char* what;
  Opt mode;
  bool waitsForTheEnd;
  bool queuedTasksRun;
};

// Two tasks hold both workers and five more are queued when Stop is called.
TEST_F(PoolTest, StopModesTreatQueuedAndRunningTasks) {
  const StopCase cases[] = {
      {"mode 0", 0, true, false},      {"mode absent", {}, true, false}, {"mode 7", 7, true, false},
      {"mode -1", -1, true, false},    {"mode 1", 1, true, true},        {"mode 2", 2, false, true},
      {"mode 3", 3, false, true},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.what);
    PoolRecord::Get().Reset();
    CreateAndSettle(2);
    OccupyWorkers(2);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(pool.Submit(&RecordTask, i), 1);
    ASSERT_EQ(pool.QueuedCount(), 5);

    std::atomic<int> result{-1};
    std::thread stopper([&] { result = pool.Stop(c.mode); });
    if (c.waitsForTheEnd) {
      ASSERT_TRUE(WaitUntil([this] { return pool.State() == 3; }));
      ::Sleep(100);
      EXPECT_EQ(result.load(), -1) << "Stop waits while tasks run";
      TaskGate::Open();
      stopper.join();
      EXPECT_EQ(pool.State(), 0) << "returned once the last worker ended";
    } else {
      stopper.join();
      EXPECT_EQ(PoolRecord::Get().inside.load(), 2) << "returned while tasks still ran";
      EXPECT_EQ(pool.State(), 3);
      TaskGate::Open();
      ASSERT_TRUE(WaitUntil([this] { return pool.State() == 0; }));
    }
    EXPECT_EQ(result.load(), 1);
    EXPECT_EQ(PoolRecord::Get().TaskCount(), c.queuedTasksRun ? 7u : 2u) << "running tasks always finish";
    EXPECT_EQ(PoolRecord::Get().ended.load(), 1);
  }
}

TEST_F(PoolTest, StopOnAPausedPoolOpensTheGate) {
  const std::pair<int, std::size_t> cases[] = {{0, 0u}, {1, 3u}};  // mode, tasks that run
  for (const auto& [mode, ran] : cases) {
    SCOPED_TRACE(mode);
    PoolRecord::Get().Reset();
    CreateAndSettle(2);
    ASSERT_EQ(pool.Pause(), 1);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(pool.Submit(&RecordTask, i), 1);
    EXPECT_EQ(pool.Stop(mode), 1);
    EXPECT_EQ(PoolRecord::Get().TaskCount(), ran);
  }
}

TEST_F(PoolTest, StopWithNothingToStopReturnsOne) {
  TaskPool fresh;
  EXPECT_EQ(fresh.Stop(), 1);
  CreateAndSettle(1);
  ASSERT_EQ(pool.Stop(1), 1);
  EXPECT_EQ(pool.Stop(1), 1);
}

TEST_F(PoolTest, StopWithATimeLimitLeavesThePoolStoppingUntilTheTaskEnds) {
  const std::pair<int, int> cases[] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}};  // mode, pumping
  constexpr int kLimitMs = 300;
  for (const auto& [mode, pump] : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << mode << " pumping " << pump);
    CreateAndSettle(1);
    OccupyWorkers(1);
    const std::int64_t start = ClockMs();
    EXPECT_EQ(pool.Stop(mode, kLimitMs, pump), 0);
    EXPECT_GE(ClockMs() - start, kLimitMs - 20) << "not before the limit";
    EXPECT_EQ(PoolRecord::Get().inside.load(), 1);
    EXPECT_EQ(pool.State(), 3);
    EXPECT_EQ(pool.Stop(1), 0) << "already stopping";
    EXPECT_EQ(pool.Create(1), 0);
    TaskGate::Open();
    EXPECT_TRUE(WaitUntil([this] { return pool.State() == 0; }));
  }
}

TEST_F(PoolTest, StopQueuesLiveWorkersPlusOneExitPacketsBehindTheTasks) {
  CreateAndSettle(3);
  OccupyWorkers(3);
  ASSERT_EQ(pool.Submit(&RecordTask, 1), 1);
  ASSERT_EQ(pool.Submit(&RecordTask, 2), 1);
  ASSERT_EQ(pool.Stop(2), 1);

  // Every worker is held in a task: the test can read the port's packets, then put them back.
  struct Packet {
    DWORD bytes;
    ULONG_PTR key;
    OVERLAPPED* overlapped;
  };
  std::vector<Packet> packets;
  const HANDLE port = TaskPoolTestAccess::Shared(pool)->port.load();
  Packet packet{};
  while (::GetQueuedCompletionStatus(port, &packet.bytes, &packet.key, &packet.overlapped, 0))
    packets.push_back(packet);
  ASSERT_EQ(packets.size(), 2u + 4u);
  EXPECT_EQ(packets[0].overlapped, reinterpret_cast<OVERLAPPED*>(&RecordTask));
  EXPECT_EQ(packets[1].overlapped, reinterpret_cast<OVERLAPPED*>(&RecordTask));
  for (std::size_t i = 2; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].overlapped, ExitPacketMark());
    EXPECT_EQ(packets[i].bytes, 0xFFFFFFFFu);
    EXPECT_EQ(packets[i].key, 0xFFFFFFFFu);
  }
  for (const Packet& p : packets) ASSERT_TRUE(::PostQueuedCompletionStatus(port, p.bytes, p.key, p.overlapped));
  TaskGate::Open();
  ASSERT_TRUE(WaitUntil([this] { return pool.State() == 0; }));
  EXPECT_EQ(PoolRecord::Get().TaskCount(), 5u);
}

TEST_F(PoolTest, StopReleasesCallersWaitingForATaskOrTheGate) {
  CreateAndSettle(1);
  while (pool.WaitTaskDone(0) == 1) {
  }
  ASSERT_EQ(pool.Pause(), 1);
  std::atomic<int> resumed{-1}, taskDone{-1};
  std::thread gateWaiter([&] { resumed = pool.WaitResumed(); });
  std::thread taskWaiter([&] { taskDone = pool.WaitTaskDone(); });
  ::Sleep(100);
  EXPECT_EQ(resumed.load(), -1);
  EXPECT_EQ(taskDone.load(), -1);
  ASSERT_EQ(pool.Stop(1), 1);
  gateWaiter.join();
  taskWaiter.join();
  EXPECT_EQ(resumed.load(), 1);
  EXPECT_EQ(taskDone.load(), 1);
  EXPECT_EQ(pool.WaitResumed(0), 0);
  EXPECT_EQ(pool.WaitTaskDone(), 0) << "the pool has left state 1: no wait at all";
}

TEST_F(PoolTest, WaitTaskDoneTakesOneSignalPerFinishedTaskOrSignal) {
  CreateAndSettle(1);
  EXPECT_EQ(pool.WaitTaskDone(0), 0) << "nothing pending";
  EXPECT_EQ(pool.WaitTaskDone(30, 1), 0) << "pumped, limit passed";

  ASSERT_EQ(pool.SignalTaskDone(), 1);
  EXPECT_EQ(pool.WaitTaskDone(), 1) << "a signal nobody waited for stays set";
  EXPECT_EQ(pool.WaitTaskDone(0), 0) << "and is taken once";

  ASSERT_EQ(pool.Submit(&RecordTask, 1), 1);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().TaskCount() == 1; }));
  EXPECT_EQ(pool.WaitTaskDone(-1, 1), 1) << "a finished task beforehand";

  OccupyWorkers(1);
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = pool.WaitTaskDone(); });
  ::Sleep(100);
  EXPECT_EQ(result.load(), -1) << "waits while the task runs";
  TaskGate::Open();
  waiter.join();
  EXPECT_EQ(result.load(), 1);
}

TEST_F(PoolTest, IdleQueriesFollowTheWorkers) {
  CreateAndSettle(3);
  EXPECT_EQ(pool.IsIdle(), 1);
  EXPECT_EQ(pool.IdleCount(), 3);
  OccupyWorkers(1);
  EXPECT_EQ(pool.IsIdle(), 0);
  EXPECT_EQ(pool.BusyCount(), 1);
  EXPECT_EQ(pool.IdleCount(), pool.LiveThreadCount() - pool.BusyCount());
  EXPECT_EQ(pool.IdleCount(), 2);
}

// A runner that notes each task and runs only those with an even first argument.
std::atomic<int> g_runnerCalls{0};
void EvenOnlyRunner(TaskRoutine routine, std::int32_t first, std::int32_t second) {
  ++g_runnerCalls;
  if (first % 2 == 0) routine(first, second);
}

TEST_F(PoolTest, TaskRunnerReceivesEveryTaskAndHooksSurviveRecreation) {
  g_runnerCalls = 0;
  pool.SetThreadHooks({}, {}, &EvenOnlyRunner);
  CreateAndSettle(1);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(pool.Submit(&RecordTask, i, 10 + i), 1);
  ASSERT_TRUE(WaitUntil([] { return g_runnerCalls.load() == 4; }));
  ASSERT_TRUE(WaitUntil([this] { return pool.IsIdle() == 1; }));
  EXPECT_EQ(PoolRecord::Get().Tasks(), (Calls{{0, 10}, {2, 12}}));
  EXPECT_EQ(PoolRecord::Get().threadStarts.load(), 1) << "an absent argument left the start hook set";

  ASSERT_EQ(pool.Stop(1), 1);
  ASSERT_EQ(pool.Create(1), 1);
  ASSERT_EQ(pool.Submit(&RecordTask, 5), 1);
  ASSERT_TRUE(WaitUntil([] { return g_runnerCalls.load() == 5; })) << "hooks survive a new Create";

  pool.SetThreadHooks(nullptr, {}, nullptr);  // null clears
  ASSERT_EQ(pool.Submit(&RecordTask, 7), 1);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().TaskCount() == 3; }));
  EXPECT_EQ(g_runnerCalls.load(), 5);
  ASSERT_EQ(pool.Stop(1), 1);
  const int starts = PoolRecord::Get().threadStarts.load();
  ASSERT_EQ(pool.Create(1), 1);
  ::Sleep(50);
  EXPECT_EQ(PoolRecord::Get().threadStarts.load(), starts);
  EXPECT_EQ(PoolRecord::Get().threadExits.load(), 2) << "the exit hook was left set";
}

void ThrowingTask(std::int32_t, std::int32_t) { throw std::runtime_error("task failed"); }

TEST_F(PoolTest, ATaskThatThrowsEndsAsIfItReturned) {
  CreateAndSettle(1);
  ASSERT_EQ(pool.Submit(&ThrowingTask), 1);
  ASSERT_EQ(pool.Submit(&RecordTask, 3), 1);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().TaskCount() == 1; }));
  EXPECT_TRUE(WaitUntil([this] { return pool.IsIdle() == 1; }));
  EXPECT_EQ(pool.LiveThreadCount(), 1);
}

TEST_F(PoolTest, DestroyDoesNotWaitAndTheReleasedPoolStillEndsCleanly) {
  const HandleCensus handlesBefore = TakeHandleCensus();
  auto owned = std::make_unique<TaskPool>();
  CountingHooks::Install(*owned);
  ASSERT_EQ(owned->Create(2), 1);
  TaskGate::Close();
  ASSERT_EQ(owned->Submit(&BlockingTask, 1), 1);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(owned->Submit(&RecordTask, 10 + i), 1);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().inside.load() == 1; }));

  owned->Destroy();
  EXPECT_EQ(PoolRecord::Get().inside.load(), 1) << "returned while the task still runs";
  EXPECT_EQ(PoolRecord::Get().ended.load(), 0);
  EXPECT_EQ(owned->State(), 0) << "the object is detached from the ending pool";
  owned.reset();  // its memory is gone; the workers must not need it

  TaskGate::Open();
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().ended.load() == 1; }));
  EXPECT_EQ(PoolRecord::Get().TaskCount(), 4u) << "Destroy stops in mode 2: queued tasks run";
  EXPECT_TRUE(HandlesSettleBackTo(handlesBefore));
}

TEST_F(PoolTest, ObjectReleasedWithoutDestroyEndsItsPoolAsDestroyWould) {
  const HandleCensus handlesBefore = TakeHandleCensus();
  {
    TaskPool scoped;
    CountingHooks::Install(scoped);
    ASSERT_EQ(scoped.Create(1), 1);
    TaskGate::Close();
    ASSERT_EQ(scoped.Submit(&BlockingTask, 1), 1);
    ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().inside.load() == 1; }));
  }
  TaskGate::Open();
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().ended.load() == 1; }));
  EXPECT_TRUE(HandlesSettleBackTo(handlesBefore));
}

TaskPool* g_poolToDestroy = nullptr;
void DestroyFromOnCreated() { g_poolToDestroy->Destroy(); }

// As when a window handler run by Create's message pumping destroys the pool.
TEST_F(PoolTest, DestroyDuringCreateEndsThePoolCreateMade) {
  const HandleCensus handlesBefore = TakeHandleCensus();
  g_poolToDestroy = &pool;
  pool.SetPoolHooks(&DestroyFromOnCreated, {});
  EXPECT_EQ(pool.Create(2), 1);
  EXPECT_EQ(pool.State(), 0);
  ASSERT_TRUE(WaitUntil([] { return PoolRecord::Get().ended.load() == 1; }));
  EXPECT_TRUE(HandlesSettleBackTo(handlesBefore));

  pool.SetPoolHooks(&CountingHooks::OnCreated, {});
  ASSERT_EQ(pool.Create(1), 1) << "a destroyed object can make a new pool";
  ASSERT_EQ(pool.Submit(&RecordTask, 1), 1);
  EXPECT_TRUE(WaitUntil([] { return PoolRecord::Get().TaskCount() == 1; }));
  EXPECT_EQ(PoolRecord::Get().threadStarts.load(), 3) << "hooks kept through Destroy";
}

TEST_F(PoolTest, DestroyOnANeverCreatedPoolDoesNothing) {
  TaskPool fresh;
  fresh.Destroy();
  fresh.Destroy();
  EXPECT_EQ(fresh.State(), 0);
  EXPECT_EQ(fresh.LiveThreadCount(), 0);
}

// Waits on the caller's thread pump its messages only when asked to.
constexpr UINT kProbeMessage = WM_APP + 7;
bool ProbeMessageStillQueued() {
  MSG msg;
  return ::PeekMessageW(&msg, nullptr, kProbeMessage, kProbeMessage, PM_REMOVE) != 0;
}

TEST_F(PoolTest, CreateAndWaitTaskDonePumpTheCallersMessagesOnlyWhenAsked) {
  ProbeMessageStillQueued();  // gives the thread its message queue
  for (const int pump : {0, 1, 2}) {
    SCOPED_TRACE(pump);
    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), kProbeMessage, 0, 0));
    ASSERT_EQ(pool.Create(2, {}, {}, pump), 1);
    EXPECT_EQ(ProbeMessageStillQueued(), pump != 1) << "Create";

    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), kProbeMessage, 0, 0));
    EXPECT_EQ(pool.WaitTaskDone(30, pump), 0);
    EXPECT_EQ(ProbeMessageStillQueued(), pump != 1) << "WaitTaskDone";
    ASSERT_EQ(pool.Stop(1, 0, pump), 1);
  }
}

}  // namespace
}  // namespace test
}  // namespace uptorra
