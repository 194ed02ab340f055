#pragma once
// The state a TaskPool shares with its worker and supervisor threads, and the thread bodies.
// Internal to the pool (and its white-box tests).
//
// Every field is a std::atomic: its exchange, compare-exchange and fetch-add compile to the
// same locked instructions as the Interlocked functions, and its plain loads are ordinary
// reads, so the pool still takes no lock while nothing reads a torn or stale-cached value.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "pool/TaskPool.h"

namespace uptorra {

inline constexpr std::int32_t kStateNone = 0;
inline constexpr std::int32_t kStateRunning = 1;
inline constexpr std::int32_t kStateCreating = 2;
inline constexpr std::int32_t kStateStopping = 3;

inline constexpr std::int32_t kCoreWorker = 0;
inline constexpr std::int32_t kExtraWorker = 1;

// The overlapped value of an exit packet; its byte count and key have all 32 bits set.
inline OVERLAPPED* ExitPacketMark() noexcept {
  return reinterpret_cast<OVERLAPPED*>(static_cast<std::intptr_t>(-2));
}
inline constexpr DWORD kExitPacketBytes = 0xFFFFFFFFu;
inline constexpr ULONG_PTR kExitPacketKey = 0xFFFFFFFFu;

// What a thread's single start parameter points to: its pool and its kind.
struct ThreadBinding {
  PoolShared* pool;
  std::int32_t kind;
};

struct PoolShared {
  PoolShared() noexcept = default;
  ~PoolShared();  // closes whatever handle is still set (none, once the pool has ended)
  PoolShared(const PoolShared&) = delete;
  PoolShared& operator=(const PoolShared&) = delete;

  std::atomic<std::int32_t> state{kStateNone};
  std::atomic<HANDLE> port{nullptr};
  std::atomic<std::int32_t> runFlag{0};
  std::atomic<HANDLE> growEvent{nullptr};      // auto-reset: wakes the supervisor
  std::atomic<HANDLE> threadEvent{nullptr};    // auto-reset: a worker registered / the pool ended
  std::atomic<HANDLE> taskDoneEvent{nullptr};  // auto-reset: raised after every task
  std::atomic<HANDLE> runGate{nullptr};        // manual-reset: signalled = running
  // A hint for the workers, so that a running pool costs no gate wait per task (each wait is a
  // round trip to the kernel, and under Wine to its server). Pause resets the gate first and
  // then sets the hint; Resume clears the hint first and then sets the gate. Whatever order
  // concurrent calls take, a closed gate never goes with a cleared hint once Pause returned; an
  // open gate with the hint set only costs a wait that passes at once.
  std::atomic<bool> gateMayBeClosed{false};
  std::atomic<std::int32_t> threadCount{0};    // registered live workers
  std::atomic<std::int32_t> busyCount{0};
  std::atomic<std::int32_t> queuedCount{0};
  std::atomic<HANDLE> supervisorThread{nullptr};  // closed by Stop or by a failing Create
  std::atomic<std::int32_t> maxThreads{0};
  std::atomic<std::int32_t> idleTimeoutMs{0};
  std::atomic<std::int32_t> stackSize{0};
  std::atomic<PoolHook> onCreated{nullptr};
  std::atomic<PoolHook> onEnded{nullptr};
  std::atomic<PoolHook> onThreadStart{nullptr};
  std::atomic<PoolHook> onThreadExit{nullptr};
  std::atomic<TaskRunner> taskRunner{nullptr};

  // Owners of this block: the TaskPool object, every thread started for it (from just before
  // its start until it returns), and an operation that may pump messages, during which a
  // window handler could destroy the object.
  std::atomic<std::int32_t> refs{1};
  // Workers started and not yet ended, whether they have registered or not. threadCount counts
  // a worker only from its registration on, which may come after Create returned or after
  // the supervisor gave up waiting for it; deciding "last worker" or the number of exit
  // packets by it could end the pool under a worker still starting. Create holds one extra
  // unit while it runs.
  std::atomic<std::int32_t> workersAlive{0};
  // Callers inside an operation that uses the pool's handles. Operations check the state only
  // after counting themselves, and the teardown waits for this to reach 0 after the state has
  // left 1, so no caller posts to a port or sets an event that is being closed.
  std::atomic<std::int32_t> callers{0};
  // A second handle on the supervisor thread, for the teardown: the supervisor must have ended
  // before the events it waits on are closed, even when the pool ends without Stop.
  std::atomic<HANDLE> supervisorExit{nullptr};
  // Set by Destroy: a Create still running (from whose message pumping Destroy was called)
  // stops the pool it has just made.
  std::atomic<std::int32_t> abandoned{0};

  ThreadBinding coreBinding{this, kCoreWorker};
  ThreadBinding extraBinding{this, kExtraWorker};
  ThreadBinding supervisorBinding{this, 0};
};

void AddRef(PoolShared& pool) noexcept;
void Release(PoolShared* pool) noexcept;

// Counts the calling operation among the pool's callers for its scope.
class PoolCall {
 public:
  explicit PoolCall(PoolShared& pool) noexcept : pool_(pool) { pool_.callers.fetch_add(1); }
  ~PoolCall() { Leave(); }
  PoolCall(const PoolCall&) = delete;
  PoolCall& operator=(const PoolCall&) = delete;
  bool Running() const noexcept { return pool_.state.load() == kStateRunning; }
  void Leave() noexcept {
    if (inside_) pool_.callers.fetch_sub(1);
    inside_ = false;
  }

 private:
  PoolShared& pool_;
  bool inside_ = true;
};

// threadCount below maxThreads, and more running plus queued tasks than live workers.
bool GrowthTestHolds(const PoolShared& pool) noexcept;

// Body of a worker thread of the given kind, and of the supervisor thread.
void WorkerMain(PoolShared& pool, std::int32_t kind);
void SupervisorMain(PoolShared& pool);

// The end of the pool, run by whoever drops workersAlive to 0 (the last worker; Create or the
// supervisor in corner cases, see the callers). bySupervisor skips waiting for itself.
void TearDown(PoolShared& pool, bool bySupervisor);

// Starts a pool thread holding a reference on the block. role tells the thread starter what
// is started. Returns the thread handle, or null (with the reference dropped again).
enum class PoolThreadRole { kSupervisor, kCoreWorker, kExtraWorker };
HANDLE StartPoolThread(PoolShared& pool, PoolThreadRole role, std::int32_t stackSize);

// How pool threads are created; tests replace it to make thread starts fail or to watch them.
// The program keeps the default, a plain CreateThread.
using PoolThreadStarter = HANDLE (*)(PoolThreadRole role, SIZE_T stackSize, LPTHREAD_START_ROUTINE entry,
                                     void* parameter, DWORD flags);
HANDLE CreatePoolThread(PoolThreadRole role, SIZE_T stackSize, LPTHREAD_START_ROUTINE entry, void* parameter,
                        DWORD flags);
extern std::atomic<PoolThreadStarter> g_poolThreadStarter;

// Calls a hook or a task; an exception must not cross the thread entry, and a task that throws
// ends as if it had returned, so that the counters stay right.
template <typename Routine, typename... Args>
void CallGuarded(Routine routine, Args... args) noexcept {
  if (routine == nullptr) return;
  try {
    routine(args...);
  } catch (...) {
  }
}

}  // namespace uptorra
