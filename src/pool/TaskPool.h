#pragma once
// The task pool: worker threads fed by one I/O completion port.
//
// A task is a routine plus two 32-bit arguments; it travels through the port as one packet
// and runs on whichever worker takes it. Core workers (started by Create) wait for work
// without limit; a supervisor thread adds extra workers, up to MaxThreads, while running plus
// queued tasks outnumber the live workers; extra workers end after an idle time-out. Every
// worker passes a run gate before it starts a task (Pause/Resume). Stop ends the pool in one
// of four modes, and the last worker to leave closes the port and the events and returns the
// pool to state 0, from which it can be created again.
//
// No operation takes a lock: counters and the life state are interlocked values, pausing is a
// manual-reset event, and the tasks queue in the port.
//
// Life states, as State() reports them.
//   0 not created, 1 running (paused or not), 2 being created, 3 stopping.
//
// Lifetime: the port, the events and the counters live in a block shared by the object and
// its threads. Destroy (and the destructor) tell the pool to end without waiting for it; the
// block stays alive until its last thread has ended, so an object may be released while its
// tasks still run. A destroyed object is detached from those threads: its queries read 0 and
// a later Create starts a new pool.
#include <atomic>
#include <cstdint>
#include <optional>

namespace uptorra {

using TaskRoutine = void (*)(std::int32_t first, std::int32_t second);
using PoolHook = void (*)();
// Receives every task instead of the pool calling the routine; it is expected to call it.
using TaskRunner = void (*)(TaskRoutine routine, std::int32_t first, std::int32_t second);

// Milliseconds from an arbitrary origin, read from the performance counter.
std::int64_t ClockMs();

struct PoolShared;  // the state shared with the pool's threads (TaskPoolShared_win.h)

class TaskPool {
 public:
  using OptionalInt = std::optional<std::int32_t>;

  TaskPool() noexcept = default;
  ~TaskPool();  // Destroy()
  // The port, the events and the threads belong to one object; copying would share them.
  TaskPool(const TaskPool&) = delete;
  TaskPool& operator=(const TaskPool&) = delete;

  // Stops the pool in mode 2 (without waiting for its tasks) and detaches the object from it.
  void Destroy();

  // 1 when the pool was created (state 1), 0 when not. Absent arguments take their defaults:
  // count 5, maxThreads = count, idle time-out 10000 ms, no message pumping, default stack.
  std::int32_t Create(OptionalInt count = {}, OptionalInt maxThreads = {}, OptionalInt idleTimeoutMs = {},
                      OptionalInt pumpMessages = {}, OptionalInt stackSize = {});
  // Mode 0 drops queued tasks, 1 runs them first; both wait for the end of the pool, bounded by
  // timeLimitMs when it is above 0. Modes 2 and 3 run queued tasks and return at once.
  // 1 stopped (or nothing to stop), 0 refused or time limit passed.
  std::int32_t Stop(OptionalInt mode = {}, OptionalInt timeLimitMs = {}, OptionalInt pumpMessages = {});
  std::int32_t Pause();
  std::int32_t Resume();
  std::int32_t WaitResumed(OptionalInt timeLimitMs = {});

  std::int32_t Submit(TaskRoutine routine, OptionalInt first = {}, OptionalInt second = {});
  // The routine as a code address. An int32 cannot hold a code address on 64-bit Windows, so
  // the address is pointer-sized here.
  std::int32_t SubmitAddress(std::intptr_t routineAddress, OptionalInt first = {}, OptionalInt second = {});

  std::int32_t WaitTaskDone(OptionalInt timeLimitMs = {}, OptionalInt pumpMessages = {});
  std::int32_t SignalTaskDone();

  // Queries read the counters without a lock: a moment out of date while workers run.
  std::int32_t IdleCount() const;
  std::int32_t BusyCount() const;
  std::int32_t QueuedCount() const;
  std::int32_t LiveThreadCount() const;
  std::int32_t MaxThreads() const;
  std::int32_t IsIdle() const;
  std::int32_t State() const;

  void SetMaxThreads(std::int32_t count);
  void SetIdleTimeout(std::int32_t milliseconds);
  void SetStackSize(OptionalInt bytes = {});
  // Each given argument replaces its hook (null included); an absent one is left as it is.
  void SetThreadHooks(std::optional<PoolHook> onThreadStart = {}, std::optional<PoolHook> onThreadExit = {},
                      std::optional<TaskRunner> taskRunner = {});
  void SetPoolHooks(std::optional<PoolHook> onCreated = {}, std::optional<PoolHook> onEnded = {});

 private:
  friend struct TaskPoolTestAccess;

  PoolShared* BindShared();  // makes the shared block at the first Create

  std::atomic<PoolShared*> shared_{nullptr};
  // The hooks outlive a Destroy: a new shared block starts with them.
  std::atomic<PoolHook> onCreated_{nullptr};
  std::atomic<PoolHook> onEnded_{nullptr};
  std::atomic<PoolHook> onThreadStart_{nullptr};
  std::atomic<PoolHook> onThreadExit_{nullptr};
  std::atomic<TaskRunner> taskRunner_{nullptr};
};

}  // namespace uptorra
