// The operations of TaskPool on the caller's thread: creation, submission, control, queries.
#include "pool/TaskPool.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <new>

#include "core/PumpMessages_win.h"
#include "core/UniqueHandle_win.h"
#include "pool/TaskPoolShared_win.h"

namespace uptorra {
namespace {

constexpr std::int32_t kDefaultCount = 5;
constexpr std::int32_t kDefaultIdleTimeoutMs = 10000;
constexpr std::int32_t kMinIdleTimeoutMs = 100;
constexpr std::int32_t kMinStackSize = 8192;
constexpr std::int32_t kCreateStackGranularity = 4096;
constexpr std::int32_t kSetterStackGranularity = 8192;
constexpr std::int32_t kSupervisorStackSize = 8192;
constexpr int kStartFailuresBeforeGivingUp = 5;
constexpr DWORD kPumpSliceMs = 20;
constexpr int kSupervisorPumpedWaits = 100;  // of kPumpSliceMs each
constexpr DWORD kSupervisorWaitMs = 2000;
constexpr int kRegisterExtraPasses = 1000;
constexpr std::int32_t kStopModeDrop = 0;
constexpr std::int32_t kStopModeLastWaiting = 1;
constexpr std::int32_t kStopModeLast = 3;
constexpr std::int32_t kExitPacketsPerPump = 100;

bool IsOn(const TaskPool::OptionalInt& flag) { return flag && *flag == 1; }

// The pool's references for an operation that may pump messages: a window handler run from
// that pumping may destroy the object, but not the block this operation works on.
class SharedHold {
 public:
  explicit SharedHold(PoolShared& pool) noexcept : pool_(pool) { AddRef(pool_); }
  ~SharedHold() { Release(&pool_); }
  SharedHold(const SharedHold&) = delete;
  SharedHold& operator=(const SharedHold&) = delete;

 private:
  PoolShared& pool_;
};

// A private handle on one of the pool's events, for a wait that may outlast the pool: the
// teardown may close the pool's handle (and its value be reused) while the caller waits.
UniqueHandle DuplicateEvent(HANDLE event) {
  UniqueHandle copy;
  if (event != nullptr) {
    const HANDLE self = ::GetCurrentProcess();
    ::DuplicateHandle(self, event, self, copy.put(), 0, FALSE, DUPLICATE_SAME_ACCESS);
  }
  return copy;
}

void CloseExchanged(std::atomic<HANDLE>& field) noexcept {
  if (HANDLE old = field.exchange(nullptr)) ::CloseHandle(old);
}

// Waits for a thread to end: with pumping in 20 ms slices, up to 100 of them; without, 2 s.
void WaitForThreadBriefly(HANDLE thread, bool pump) {
  if (!pump) {
    ::WaitForSingleObject(thread, kSupervisorWaitMs);
    return;
  }
  for (int pass = 0; pass < kSupervisorPumpedWaits; ++pass) {
    if (::WaitForSingleObject(thread, kPumpSliceMs) != WAIT_TIMEOUT) return;
    PumpMessages();
  }
}

void WaitForThreadToEnd(HANDLE thread, bool pump) {
  if (!pump) {
    ::WaitForSingleObject(thread, INFINITE);
    return;
  }
  while (::WaitForSingleObject(thread, kPumpSliceMs) == WAIT_TIMEOUT) PumpMessages();
}

std::int32_t SettleCreateStack(const TaskPool::OptionalInt& given) {
  if (!given || *given == 0) return 0;
  if (*given < kMinStackSize) return kMinStackSize;
  return *given / kCreateStackGranularity * kCreateStackGranularity;
}

std::int32_t StopPool(PoolShared& pool, TaskPool::OptionalInt modeArg, TaskPool::OptionalInt limitArg,
                      TaskPool::OptionalInt pumpArg) {
  SharedHold hold(pool);
  PoolCall call(pool);
  std::int32_t was = kStateRunning;
  if (!pool.state.compare_exchange_strong(was, kStateStopping)) return was == kStateNone ? 1 : 0;
  // A Submit that saw the pool running finishes its post before the exit packets go in, so
  // every task it reported as queued is ahead of them.
  while (pool.callers.load() > 1) ::SwitchToThread();

  std::int32_t mode = modeArg.value_or(kStopModeDrop);
  if (mode < kStopModeDrop || mode > kStopModeLast) mode = kStopModeDrop;
  const std::int32_t limitMs = limitArg.value_or(0);
  const bool pump = IsOn(pumpArg);
  if (mode == kStopModeDrop) pool.runFlag.store(0);

  // Release a WaitTaskDone caller, the supervisor from any of its waits, and every worker
  // held at the gate: a paused pool is no longer paused.
  const HANDLE threadEvent = pool.threadEvent.load();
  ::SetEvent(pool.taskDoneEvent.load());
  ::SetEvent(threadEvent);
  ::SetEvent(pool.growEvent.load());
  ::SetEvent(pool.runGate.load());

  if (HANDLE supervisor = pool.supervisorThread.load()) {
    WaitForThreadBriefly(supervisor, pump);
    CloseExchanged(pool.supervisorThread);  // whether or not it ended; the teardown waits for it
  }
  while (::WaitForSingleObject(threadEvent, 0) == WAIT_OBJECT_0) {
  }
  UniqueHandle endSignal = DuplicateEvent(threadEvent);

  // One exit packet per worker plus one, behind every task already posted. Workers are counted
  // from their start, not from their registration: one that has not registered yet needs its
  // packet too, or it would wait on the port for ever.
  const HANDLE port = pool.port.load();
  ::PostQueuedCompletionStatus(port, kExitPacketBytes, kExitPacketKey, ExitPacketMark());
  const std::int32_t workers = pool.workersAlive.load();
  for (std::int32_t i = 1; i <= workers; ++i) {
    ::PostQueuedCompletionStatus(port, kExitPacketBytes, kExitPacketKey, ExitPacketMark());
    if (pump && i % kExitPacketsPerPump == 0) PumpMessages();
  }
  call.Leave();
  if (mode > kStopModeLastWaiting) return 1;

  // The last worker's teardown sets the state to 0 and then raises the end signal.
  if (pump) {
    const std::int64_t start = limitMs > 0 ? ClockMs() : 0;
    while (pool.state.load() == kStateStopping) {
      if (limitMs > 0 && ClockMs() - start > limitMs) return 0;
      ::WaitForSingleObject(endSignal.get(), kPumpSliceMs);
      PumpMessages();
    }
  } else if (limitMs > 0) {
    const std::int64_t deadline = ClockMs() + limitMs;
    while (pool.state.load() == kStateStopping) {
      const std::int64_t left = deadline - ClockMs();
      if (left <= 0 || ::WaitForSingleObject(endSignal.get(), static_cast<DWORD>(left)) == WAIT_TIMEOUT) {
        if (pool.state.load() != kStateStopping) break;
        return 0;
      }
    }
  } else {
    while (pool.state.load() == kStateStopping) ::WaitForSingleObject(endSignal.get(), INFINITE);
  }
  return 1;
}

}  // namespace

TaskPool::~TaskPool() { Destroy(); }

PoolShared* TaskPool::BindShared() {
  PoolShared* pool = shared_.load();
  if (pool != nullptr) return pool;
  PoolShared* made = new (std::nothrow) PoolShared;
  if (made == nullptr) return nullptr;
  made->onCreated.store(onCreated_.load());
  made->onEnded.store(onEnded_.load());
  made->onThreadStart.store(onThreadStart_.load());
  made->onThreadExit.store(onThreadExit_.load());
  made->taskRunner.store(taskRunner_.load());
  if (shared_.compare_exchange_strong(pool, made)) return made;
  delete made;  // another thread bound one first
  return pool;
}

void TaskPool::Destroy() {
  PoolShared* pool = shared_.exchange(nullptr);
  if (pool == nullptr) return;
  // Marked before the stop, so that a Create in progress either is stopped here or sees the
  // mark after it has made the pool running.
  pool->abandoned.store(1);
  StopPool(*pool, 2, std::nullopt, std::nullopt);
  Release(pool);  // the threads keep the block alive until the last of them has ended
}

std::int32_t TaskPool::Create(OptionalInt countArg, OptionalInt maxArg, OptionalInt idleArg, OptionalInt pumpArg,
                              OptionalInt stackArg) {
  PoolShared* bound = BindShared();
  if (bound == nullptr) return 0;
  PoolShared& pool = *bound;
  SharedHold hold(pool);
  std::int32_t was = kStateNone;
  if (!pool.state.compare_exchange_strong(was, kStateCreating)) return 0;

  const std::int32_t count = countArg ? std::max(*countArg, 1) : kDefaultCount;
  pool.maxThreads.store(std::max(maxArg.value_or(0), count));
  pool.idleTimeoutMs.store(idleArg ? std::max(*idleArg, kMinIdleTimeoutMs) : kDefaultIdleTimeoutMs);
  const bool pump = IsOn(pumpArg);
  const std::int32_t stackSize = SettleCreateStack(stackArg);
  pool.stackSize.store(stackSize);

  UniqueHandle port(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0));
  if (!port) {
    pool.state.store(kStateNone);
    return 0;
  }
  UniqueHandle growEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  UniqueHandle threadEvent(growEvent ? ::CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr);
  UniqueHandle taskDoneEvent(threadEvent ? ::CreateEventW(nullptr, FALSE, FALSE, nullptr) : nullptr);
  UniqueHandle runGate(taskDoneEvent ? ::CreateEventW(nullptr, TRUE, TRUE, nullptr) : nullptr);
  if (!runGate) {
    pool.state.store(kStateNone);
    return 0;
  }
  pool.port.store(port.release());
  pool.growEvent.store(growEvent.release());
  pool.threadEvent.store(threadEvent.release());
  pool.taskDoneEvent.store(taskDoneEvent.release());
  pool.runGate.store(runGate.release());
  pool.gateMayBeClosed.store(false);

  // Undoes everything this call made; the supervisor, if started, is told to end (it finds the
  // state not running) and has ended before its events are closed.
  auto fail = [&pool, pump]() -> std::int32_t {
    if (HANDLE supervisor = pool.supervisorThread.load()) {
      ::SetEvent(pool.growEvent.load());
      WaitForThreadBriefly(supervisor, pump);
      // It ends at once in practice; should it not have, its events must outlive it.
      HANDLE watch = pool.supervisorExit.exchange(nullptr);
      WaitForThreadToEnd(watch ? watch : supervisor, pump);
      if (watch) ::CloseHandle(watch);
      CloseExchanged(pool.supervisorThread);
    }
    CloseExchanged(pool.growEvent);
    CloseExchanged(pool.port);
    CloseExchanged(pool.threadEvent);
    CloseExchanged(pool.taskDoneEvent);
    CloseExchanged(pool.runGate);
    pool.runFlag.store(0);
    pool.workersAlive.store(0);
    pool.state.exchange(kStateNone);
    return 0;
  };

  HANDLE supervisor = StartPoolThread(pool, PoolThreadRole::kSupervisor, kSupervisorStackSize);
  if (supervisor == nullptr) return fail();
  pool.supervisorThread.store(supervisor);
  HANDLE watch = nullptr;
  const HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, supervisor, self, &watch, SYNCHRONIZE, FALSE, 0)) return fail();
  pool.supervisorExit.store(watch);

  pool.runFlag.store(1);
  pool.threadCount.store(0);
  pool.busyCount.store(0);
  pool.queuedCount.store(0);
  // Create's own unit: no worker that leaves while the pool is being made is the last one.
  pool.workersAlive.store(1);

  // count is the number of attempts, not of threads; five failures in a row end the loop.
  std::int32_t started = 0;
  int failures = 0;
  for (std::int32_t attempt = 1; attempt <= count; ++attempt) {
    pool.workersAlive.fetch_add(1);
    if (HANDLE worker = StartPoolThread(pool, PoolThreadRole::kCoreWorker, stackSize)) {
      ::CloseHandle(worker);
      ++started;
      failures = 0;
    } else {
      pool.workersAlive.fetch_sub(1);
      if (++failures >= kStartFailuresBeforeGivingUp) break;
    }
    if (pump) PumpMessages();
  }

  const HANDLE registered = pool.threadEvent.load();
  if (started > 0) {
    // The first registration ends the wait, even if not every worker has registered yet.
    for (std::int32_t pass = 0; pool.threadCount.load() < started; ++pass) {
      if (::WaitForSingleObject(registered, kPumpSliceMs) != WAIT_TIMEOUT) break;
      if (pass >= started + kRegisterExtraPasses) break;
      if (pump) PumpMessages();
    }
    // On a machine so slow that no worker registered in that time, the workers started still
    // use the port: giving up now would close it under them. They register in the end.
    while (pool.threadCount.load() == 0 && pool.workersAlive.load() > 1) {
      ::WaitForSingleObject(registered, kPumpSliceMs);
      if (pump) PumpMessages();
    }
  }
  if (pool.threadCount.load() == 0) return fail();

  CallGuarded(pool.onCreated.load());  // the state is still 2 here
  pool.state.exchange(kStateRunning);
  if (pool.abandoned.load() != 0) StopPool(pool, 2, std::nullopt, std::nullopt);
  // Every worker may have left already (only if their dequeues failed); the pool then ends
  // here, as its last worker would have ended it.
  if (pool.workersAlive.fetch_sub(1) == 1) TearDown(pool, false);
  return 1;
}

std::int32_t TaskPool::Stop(OptionalInt mode, OptionalInt timeLimitMs, OptionalInt pumpMessages) {
  PoolShared* pool = shared_.load();
  return pool == nullptr ? 1 : StopPool(*pool, mode, timeLimitMs, pumpMessages);
}

std::int32_t TaskPool::Pause() {
  PoolShared* pool = shared_.load();
  if (pool == nullptr) return 0;
  PoolCall call(*pool);
  if (!call.Running() || !::ResetEvent(pool->runGate.load())) return 0;
  pool->gateMayBeClosed.store(true);
  return 1;
}

std::int32_t TaskPool::Resume() {
  PoolShared* pool = shared_.load();
  if (pool == nullptr) return 0;
  PoolCall call(*pool);
  if (!call.Running()) return 0;
  pool->gateMayBeClosed.store(false);
  return ::SetEvent(pool->runGate.load()) ? 1 : 0;
}

std::int32_t TaskPool::SignalTaskDone() {
  PoolShared* pool = shared_.load();
  if (pool == nullptr) return 0;
  PoolCall call(*pool);
  return call.Running() && ::SetEvent(pool->taskDoneEvent.load()) ? 1 : 0;
}

std::int32_t TaskPool::WaitResumed(OptionalInt timeLimitMs) {
  PoolShared* pool = shared_.load();
  if (pool == nullptr) return 0;
  UniqueHandle gate;
  {
    PoolCall call(*pool);
    if (!call.Running()) return 0;
    gate = DuplicateEvent(pool->runGate.load());
  }
  if (!gate) return 0;
  // Any negative limit waits without one (-1 is INFINITE anyway).
  const DWORD limit = timeLimitMs && *timeLimitMs >= 0 ? static_cast<DWORD>(*timeLimitMs) : INFINITE;
  return ::WaitForSingleObject(gate.get(), limit) == WAIT_OBJECT_0 ? 1 : 0;
}

std::int32_t TaskPool::WaitTaskDone(OptionalInt timeLimitMs, OptionalInt pumpMessages) {
  PoolShared* pool = shared_.load();
  if (pool == nullptr) return 0;
  SharedHold hold(*pool);
  UniqueHandle taskDone;
  {
    PoolCall call(*pool);
    if (!call.Running()) return 0;
    taskDone = DuplicateEvent(pool->taskDoneEvent.load());
  }
  if (!taskDone) return 0;
  // Absent or negative (-1 included) waits without a limit.
  const bool timed = timeLimitMs && *timeLimitMs >= 0;
  const std::int64_t limitMs = timed ? *timeLimitMs : 0;
  if (!IsOn(pumpMessages))
    return ::WaitForSingleObject(taskDone.get(), timed ? static_cast<DWORD>(limitMs) : INFINITE) == WAIT_OBJECT_0 ? 1
                                                                                                               : 0;
  const std::int64_t start = timed ? ClockMs() : 0;
  for (;;) {
    PumpMessages();
    const DWORD result = ::WaitForSingleObject(taskDone.get(), kPumpSliceMs);
    if (timed && ClockMs() - start > limitMs) return 0;  // a late signal counts as a time-out
    if (result == WAIT_OBJECT_0) return 1;
    if (result != WAIT_TIMEOUT) return 0;
  }
}

std::int32_t TaskPool::Submit(TaskRoutine routine, OptionalInt first, OptionalInt second) {
  return SubmitAddress(static_cast<std::intptr_t>(reinterpret_cast<std::uintptr_t>(routine)), first, second);
}

std::int32_t TaskPool::SubmitAddress(std::intptr_t routineAddress, OptionalInt first, OptionalInt second) {
  // -2 is the exit packet's mark: such a "task" would end a worker and never run, while the
  // caller was told it was queued.
  OVERLAPPED* const packet = reinterpret_cast<OVERLAPPED*>(routineAddress);
  if (routineAddress == 0 || packet == ExitPacketMark()) return 0;
  PoolShared* pool = shared_.load();
  if (pool == nullptr) return 0;
  PoolCall call(*pool);
  if (!call.Running()) return 0;
  pool->queuedCount.fetch_add(1);
  const BOOL posted =
      ::PostQueuedCompletionStatus(pool->port.load(), static_cast<DWORD>(first.value_or(0)),
                                   static_cast<ULONG_PTR>(static_cast<std::uint32_t>(second.value_or(0))), packet);
  if (!posted) pool->queuedCount.fetch_sub(1);
  if (GrowthTestHolds(*pool)) ::SetEvent(pool->growEvent.load());
  return posted ? 1 : 0;
}

std::int32_t TaskPool::IdleCount() const {
  const PoolShared* pool = shared_.load();
  return pool == nullptr ? 0 : pool->threadCount.load() - pool->busyCount.load();
}

std::int32_t TaskPool::BusyCount() const {
  const PoolShared* pool = shared_.load();
  return pool == nullptr ? 0 : pool->busyCount.load();
}

std::int32_t TaskPool::QueuedCount() const {
  const PoolShared* pool = shared_.load();
  return pool == nullptr ? 0 : pool->queuedCount.load();
}

std::int32_t TaskPool::LiveThreadCount() const {
  const PoolShared* pool = shared_.load();
  return pool == nullptr ? 0 : pool->threadCount.load();
}

std::int32_t TaskPool::MaxThreads() const {
  const PoolShared* pool = shared_.load();
  return pool == nullptr ? 0 : pool->maxThreads.load();
}

std::int32_t TaskPool::IsIdle() const {
  const PoolShared* pool = shared_.load();
  return pool == nullptr || (pool->queuedCount.load() == 0 && pool->busyCount.load() == 0) ? 1 : 0;
}

std::int32_t TaskPool::State() const {
  const PoolShared* pool = shared_.load();
  return pool == nullptr ? kStateNone : pool->state.load();
}

void TaskPool::SetMaxThreads(std::int32_t count) {
  PoolShared* pool = shared_.load();
  if (pool == nullptr) return;
  PoolCall call(*pool);
  if (!call.Running()) return;
  pool->maxThreads.store(std::max(count, 1));
  if (GrowthTestHolds(*pool)) ::SetEvent(pool->growEvent.load());
}

void TaskPool::SetIdleTimeout(std::int32_t milliseconds) {
  PoolShared* pool = shared_.load();
  if (pool == nullptr) return;
  PoolCall call(*pool);
  if (call.Running()) pool->idleTimeoutMs.store(std::max(milliseconds, kMinIdleTimeoutMs));
}

void TaskPool::SetStackSize(OptionalInt bytes) {
  PoolShared* pool = shared_.load();
  if (pool == nullptr) return;
  PoolCall call(*pool);
  if (!call.Running()) return;
  const std::int32_t given = bytes.value_or(0);
  pool->stackSize.store(given == 0                ? 0
                        : given < kMinStackSize ? kMinStackSize
                                                : given / kSetterStackGranularity * kSetterStackGranularity);
}

void TaskPool::SetThreadHooks(std::optional<PoolHook> onThreadStart, std::optional<PoolHook> onThreadExit,
                              std::optional<TaskRunner> taskRunner) {
  PoolShared* pool = shared_.load();
  if (onThreadStart) {
    onThreadStart_.store(*onThreadStart);
    if (pool) pool->onThreadStart.store(*onThreadStart);
  }
  if (onThreadExit) {
    onThreadExit_.store(*onThreadExit);
    if (pool) pool->onThreadExit.store(*onThreadExit);
  }
  if (taskRunner) {
    taskRunner_.store(*taskRunner);
    if (pool) pool->taskRunner.store(*taskRunner);
  }
}

void TaskPool::SetPoolHooks(std::optional<PoolHook> onCreated, std::optional<PoolHook> onEnded) {
  PoolShared* pool = shared_.load();
  if (onCreated) {
    onCreated_.store(*onCreated);
    if (pool) pool->onCreated.store(*onCreated);
  }
  if (onEnded) {
    onEnded_.store(*onEnded);
    if (pool) pool->onEnded.store(*onEnded);
  }
}

}  // namespace uptorra
