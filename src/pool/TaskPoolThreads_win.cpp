// The pool's threads: workers, the supervisor, and the teardown by the last one to leave.
#include <windows.h>

#include <cstdint>

#include "pool/TaskPoolShared_win.h"

namespace uptorra {
namespace {

constexpr int kStartFailuresBeforeCap = 5;
constexpr DWORD kRegisterWaitBaseMs = 5000;
constexpr DWORD kRegisterWaitPerThreadMs = 10;

void CloseExchanged(std::atomic<HANDLE>& field) noexcept {
  if (HANDLE old = field.exchange(nullptr)) ::CloseHandle(old);
}

void SetIfOpen(HANDLE event) noexcept {
  if (event != nullptr) ::SetEvent(event);
}

// The three values of a task packet, back to the task's routine and arguments.
TaskRoutine RoutineOf(OVERLAPPED* overlapped) noexcept {
  return reinterpret_cast<TaskRoutine>(reinterpret_cast<std::uintptr_t>(overlapped));
}
std::int32_t ArgumentOf(std::uint64_t value) noexcept {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

DWORD WINAPI WorkerEntry(void* parameter) {
  const ThreadBinding* binding = static_cast<const ThreadBinding*>(parameter);
  PoolShared* pool = binding->pool;
  WorkerMain(*pool, binding->kind);
  Release(pool);  // the reference its starter took for it
  return 0;
}

DWORD WINAPI SupervisorEntry(void* parameter) {
  PoolShared* pool = static_cast<const ThreadBinding*>(parameter)->pool;
  SupervisorMain(*pool);
  Release(pool);
  return 0;
}

// Counts one more worker unless the pool has already lost its last one: from 0 nobody may
// come back, because the teardown has begun.
bool ReserveWorker(PoolShared& pool) noexcept {
  std::int32_t alive = pool.workersAlive.load();
  do {
    if (alive == 0) return false;
  } while (!pool.workersAlive.compare_exchange_weak(alive, alive + 1));
  return true;
}

void WaitForCallersToLeave(PoolShared& pool) noexcept {
  // Counted operations hold no wait inside, so this takes microseconds; Stop holds its count
  // longest (up to its wait for the supervisor) and yields the processor meanwhile.
  for (int pass = 0; pool.callers.load() != 0; ++pass) {
    if (pass < 64)
      ::SwitchToThread();
    else
      ::Sleep(1);
  }
}

}  // namespace

std::atomic<PoolThreadStarter> g_poolThreadStarter{&CreatePoolThread};

PoolShared::~PoolShared() {
  for (std::atomic<HANDLE>* field :
       {&port, &growEvent, &threadEvent, &taskDoneEvent, &runGate, &supervisorThread, &supervisorExit})
    CloseExchanged(*field);
}

void AddRef(PoolShared& pool) noexcept { pool.refs.fetch_add(1); }

void Release(PoolShared* pool) noexcept {
  if (pool != nullptr && pool->refs.fetch_sub(1) == 1) delete pool;
}

bool GrowthTestHolds(const PoolShared& pool) noexcept {
  const std::int32_t threads = pool.threadCount.load();
  return threads < pool.maxThreads.load() && pool.busyCount.load() + pool.queuedCount.load() > threads;
}

HANDLE CreatePoolThread(PoolThreadRole, SIZE_T stackSize, LPTHREAD_START_ROUTINE entry, void* parameter,
                        DWORD flags) {
  return ::CreateThread(nullptr, stackSize, entry, parameter, flags, nullptr);
}

HANDLE StartPoolThread(PoolShared& pool, PoolThreadRole role, std::int32_t stackSize) {
  // A reservation only: many workers with large stacks cost address space, not memory.
  const DWORD flags = stackSize > 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
  const SIZE_T size = stackSize > 0 ? static_cast<SIZE_T>(stackSize) : 0;
  ThreadBinding* binding = role == PoolThreadRole::kSupervisor   ? &pool.supervisorBinding
                           : role == PoolThreadRole::kCoreWorker ? &pool.coreBinding
                                                                 : &pool.extraBinding;
  LPTHREAD_START_ROUTINE entry = role == PoolThreadRole::kSupervisor ? &SupervisorEntry : &WorkerEntry;
  AddRef(pool);
  HANDLE thread = g_poolThreadStarter.load()(role, size, entry, binding, flags);
  if (thread == nullptr) {
    const DWORD error = ::GetLastError();
    Release(&pool);  // never the last reference: the caller holds one
    ::SetLastError(error);
  }
  return thread;
}

void WorkerMain(PoolShared& pool, std::int32_t kind) {
  // Registering. The handles cannot change under a live worker: only the teardown closes
  // them, and it runs after the last worker has left.
  pool.threadCount.fetch_add(1);
  if (pool.state.load() != kStateStopping) SetIfOpen(pool.threadEvent.load());
  CallGuarded(pool.onThreadStart.load());

  const HANDLE port = pool.port.load();
  const HANDLE runGate = pool.runGate.load();
  const HANDLE taskDone = pool.taskDoneEvent.load();
  for (;;) {
    DWORD first = 0;
    ULONG_PTR second = 0;
    OVERLAPPED* overlapped = nullptr;
    const DWORD limit = kind == kExtraWorker ? static_cast<DWORD>(pool.idleTimeoutMs.load()) : INFINITE;
    const BOOL taken = ::GetQueuedCompletionStatus(port, &first, &second, &overlapped, limit);
    // While paused the worker waits here holding the packet it took; the task still counts
    // as queued. A worker that finds no pause under way passes without asking the gate, as if
    // it had passed just before a Pause that comes now.
    if (pool.gateMayBeClosed.load()) ::WaitForSingleObject(runGate, INFINITE);
    // An idle time-out, a failed dequeue, an exit packet, or any packet while the pool drops
    // its queue ends the worker; a task packet taken then is dropped unrun.
    if (pool.runFlag.load() != 1 || !taken || overlapped == ExitPacketMark() || overlapped == nullptr) break;

    pool.busyCount.fetch_add(1);
    pool.queuedCount.fetch_sub(1);
    const TaskRoutine routine = RoutineOf(overlapped);
    if (const TaskRunner runner = pool.taskRunner.load())
      CallGuarded(runner, routine, ArgumentOf(first), ArgumentOf(second));
    else
      CallGuarded(routine, ArgumentOf(first), ArgumentOf(second));
    const std::int32_t stillBusy = pool.busyCount.fetch_sub(1) - 1;
    ::SetEvent(taskDone);
    // Only after SetMaxThreads lowered the maximum: extra workers give their place back.
    if (kind == kExtraWorker && stillBusy >= pool.maxThreads.load()) break;
  }

  CallGuarded(pool.onThreadExit.load());
  pool.threadCount.fetch_sub(1);
  // Past this decrement a worker that is not the last touches nothing of the pool: the
  // teardown may close the handles at any moment.
  if (pool.workersAlive.fetch_sub(1) == 1) TearDown(pool, false);
}

void SupervisorMain(PoolShared& pool) {
  // Valid until the teardown, which waits for this thread to end before closing them.
  const HANDLE growEvent = pool.growEvent.load();
  const HANDLE threadEvent = pool.threadEvent.load();
  const HANDLE runGate = pool.runGate.load();

  ::WaitForSingleObject(growEvent, INFINITE);
  int failures = 0;
  // Ends when the pool is no longer running, or when its last worker has left without Stop.
  while (pool.state.load() == kStateRunning && pool.workersAlive.load() != 0) {
    if (GrowthTestHolds(pool)) {
      // A registration signal nobody took (workers that registered after Create stopped
      // waiting) would pass for the new worker's at once, and the next growth test, still
      // short of it, would start another worker beyond the maximum. Clear it first. Stop and
      // the teardown change the state or the worker count before they set the event, so a
      // wake-up cleared here is seen by the tests that follow.
      ::ResetEvent(threadEvent);
      if (pool.state.load() != kStateRunning) break;
      if (!ReserveWorker(pool)) break;
      const HANDLE thread = StartPoolThread(pool, PoolThreadRole::kExtraWorker, pool.stackSize.load());
      if (thread == nullptr) {
        if (pool.workersAlive.fetch_sub(1) == 1) {
          // Every worker left while this start failed: the teardown falls to the supervisor.
          TearDown(pool, true);
          return;
        }
        if (++failures >= kStartFailuresBeforeCap) {
          // Stop trying until SetMaxThreads raises the maximum again.
          pool.maxThreads.store(pool.threadCount.load());
          failures = 0;
        }
        // No wait for growEvent after a failure: pass the gate and test again at once.
      } else {
        failures = 0;
        ::CloseHandle(thread);
        // Let the new worker register before the next growth test, so that workers are added
        // one at a time.
        const DWORD limit =
            kRegisterWaitBaseMs + kRegisterWaitPerThreadMs * static_cast<DWORD>(pool.threadCount.load());
        ::WaitForSingleObject(threadEvent, limit);
      }
    } else {
      ::WaitForSingleObject(growEvent, INFINITE);
    }
    ::WaitForSingleObject(runGate, INFINITE);  // nothing grows while the pool is paused
  }
}

void TearDown(PoolShared& pool, bool bySupervisor) {
  // A pool whose workers all left without Stop is stopping from here on, so that operations
  // refuse; then wait for the operations already inside to leave.
  std::int32_t running = kStateRunning;
  pool.state.compare_exchange_strong(running, kStateStopping);
  WaitForCallersToLeave(pool);
  // Stop closes this handle before it leaves; when the pool ends without Stop, nobody else
  // would, and the next Create would overwrite it.
  CloseExchanged(pool.supervisorThread);

  // Release the supervisor from any of its waits (it ends: no worker is left), and whoever
  // waits for a task or for the gate; then make sure the supervisor is gone before its
  // events are closed.
  SetIfOpen(pool.growEvent.load());
  SetIfOpen(pool.threadEvent.load());
  SetIfOpen(pool.runGate.load());
  SetIfOpen(pool.taskDoneEvent.load());
  if (HANDLE supervisor = pool.supervisorExit.exchange(nullptr)) {
    if (!bySupervisor) ::WaitForSingleObject(supervisor, INFINITE);
    ::CloseHandle(supervisor);
  }

  CloseExchanged(pool.port);
  CloseExchanged(pool.taskDoneEvent);
  CloseExchanged(pool.runGate);
  CloseExchanged(pool.growEvent);
  // The end signal for a waiting Stop is raised only after the state is 0: a Stop woken
  // earlier would find the pool still stopping and wait again for a signal that never comes.
  const HANDLE ended = pool.threadEvent.exchange(nullptr);
  pool.runFlag.store(0);
  pool.threadCount.store(0);
  pool.busyCount.store(0);
  pool.queuedCount.store(0);
  CallGuarded(pool.onEnded.load());
  pool.state.exchange(kStateNone);
  if (ended != nullptr) {
    ::SetEvent(ended);
    ::CloseHandle(ended);
  }
}

std::int64_t ClockMs() {
  // The frequency is fixed at boot; two threads that race to cache it write the same value.
  static std::atomic<std::int64_t> frequency{0};
  std::int64_t perSecond = frequency.load(std::memory_order_relaxed);
  if (perSecond == 0) {
    LARGE_INTEGER value;
    ::QueryPerformanceFrequency(&value);
    perSecond = value.QuadPart;
    frequency.store(perSecond, std::memory_order_relaxed);
  }
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return static_cast<std::int64_t>(static_cast<double>(counter.QuadPart) / static_cast<double>(perSecond) * 1000.0);
}

}  // namespace uptorra
