#pragma once
// What the task pool tests share: tasks and hooks that record what they saw, a gate that holds
// tasks inside their routine, a thread starter that watches (or fails) the pool's thread
// starts, a handle count, and a fixture whose pool is always ended before the next test.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "pool/TaskPool.h"
#include "pool/TaskPoolShared_win.h"

namespace uptorra {

struct TaskPoolTestAccess {
  static PoolShared* Shared(const TaskPool& pool) { return pool.shared_.load(); }
};

namespace test {

// Polls until the condition holds. The limit only catches a hang; it says nothing of speed.
inline bool WaitUntil(const std::function<bool()>& condition, int limitMs = 30000) {
  const std::int64_t deadline = ClockMs() + limitMs;
  while (!condition()) {
    if (ClockMs() > deadline) return false;
    ::Sleep(2);
  }
  return true;
}

// The open handles of this process by kind. Wine answers 0 to GetProcessHandleCount, so the
// handle table is probed: values are given out lowest first, so a long run of unused values
// ends it. The kind tells the pool's handles (completion port, events, threads) apart.
struct HandleCensus {
  std::map<std::uintptr_t, std::wstring> kinds;  // handle value -> object type name
  int Total() const { return static_cast<int>(kinds.size()); }
  int Count(const wchar_t* kind) const {
    int count = 0;
    for (const auto& entry : kinds) count += entry.second == kind;
    return count;
  }
};

inline HandleCensus TakeHandleCensus() {
  using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  // Through void*: a FARPROC has no parameters, and GCC warns on a direct cast.
  static const auto queryObject = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  constexpr int kObjectTypeInformation = 2;
  struct TypeName {
    USHORT length;
    USHORT maximumLength;
    PWSTR buffer;
  };
  HandleCensus census;
  int unusedInARow = 0;
  for (std::uintptr_t value = 4; unusedInARow < 1024; value += 4) {
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (!::GetHandleInformation(handle, &flags)) {
      ++unusedInARow;
      continue;
    }
    unusedInARow = 0;
    alignas(8) unsigned char buffer[1024];
    ULONG length = 0;
    std::wstring kind = L"?";
    if (queryObject && queryObject(handle, kObjectTypeInformation, buffer, sizeof buffer, &length) >= 0) {
      const TypeName* name = reinterpret_cast<const TypeName*>(buffer);
      kind.assign(name->buffer, name->length / sizeof(wchar_t));
    }
    census.kinds.emplace(value, kind);
  }
  return census;
}

inline int CountProcessHandles() { return TakeHandleCensus().Total(); }

// The handles in after that were not in before, for a failure message.
inline std::string NewHandles(const HandleCensus& before, const HandleCensus& after) {
  std::string text;
  for (const auto& [value, kind] : after.kinds) {
    if (before.kinds.count(value) && before.kinds.at(value) == kind) continue;
    char line[96];
    std::snprintf(line, sizeof line, " %#llx:%ls", static_cast<unsigned long long>(value), kind.c_str());
    text += line;
  }
  return text.empty() ? " none" : text;
}

// Waits (loosely) until the process holds the handles it held before, by kind.
inline testing::AssertionResult HandlesSettleBackTo(const HandleCensus& before) {
  HandleCensus now;
  if (WaitUntil([&] {
        now = TakeHandleCensus();
        return now.kinds == before.kinds;
      }))
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << "new handles:" << NewHandles(before, now)
                                     << "; closed handles:" << NewHandles(now, before);
}

// The runtime makes some handles of its own on first use: gtest's thread-local trace opens a
// handle on the thread that first uses it, locks make an event at their first contention. Provoking them before any test
// keeps them out of the handle counts the tests compare. Registered once, by
// TaskPoolCreate_win_test.cpp.
class RuntimeWarmUp : public testing::Environment {
 public:
  void SetUp() override {
    SCOPED_TRACE("warm-up");
    for (int round = 0; round < 4; ++round) {
      std::vector<std::thread> threads;
      for (int i = 0; i < 4; ++i)
        threads.emplace_back([] {
          std::vector<int> churn;
          for (int j = 0; j < 1000; ++j) churn.assign(static_cast<std::size_t>(j % 64 + 1), j);
        });
      for (std::thread& thread : threads) thread.join();
    }
    TakeHandleCensus();
  }
};

// A manual-reset gate that blocking tasks wait at. One event for the whole process, made
// before any handle count is taken.
class TaskGate {
 public:
  static void Open() { ::SetEvent(Event()); }
  static void Close() { ::ResetEvent(Event()); }
  static void Pass() { ::WaitForSingleObject(Event(), kHangLimitMs); }

 private:
  static constexpr DWORD kHangLimitMs = 120000;
  static HANDLE Event() {
    static const HANDLE event = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    return event;
  }
};

// What tasks and hooks saw. Reset by the fixture before every test.
struct PoolRecord {
  static PoolRecord& Get() {
    static PoolRecord record;
    return record;
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex);
    tasks.clear();
    taskThreads.clear();
    inside = 0;
    created = 0;
    ended = 0;
    threadStarts = 0;
    threadExits = 0;
    stateInOnCreated = -1;
    supervisorEndedBeforeOnEnded = -1;
  }
  void AddTask(std::int32_t first, std::int32_t second) {
    std::lock_guard<std::mutex> lock(mutex);
    tasks.emplace_back(first, second);
    taskThreads.push_back(::GetCurrentThreadId());
  }
  std::vector<std::pair<std::int32_t, std::int32_t>> Tasks() {
    std::lock_guard<std::mutex> lock(mutex);
    return tasks;
  }
  std::size_t TaskCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return tasks.size();
  }

  std::mutex mutex;
  std::vector<std::pair<std::int32_t, std::int32_t>> tasks;  // in the order they ended
  std::vector<DWORD> taskThreads;
  std::atomic<int> inside{0};  // tasks held at the gate
  std::atomic<int> created{0};
  std::atomic<int> ended{0};
  std::atomic<int> threadStarts{0};
  std::atomic<int> threadExits{0};
  std::atomic<int> stateInOnCreated{-1};
  std::atomic<int> supervisorEndedBeforeOnEnded{-1};
};

inline void RecordTask(std::int32_t first, std::int32_t second) { PoolRecord::Get().AddTask(first, second); }

// Holds its worker until the gate opens.
inline void BlockingTask(std::int32_t first, std::int32_t second) {
  PoolRecord& record = PoolRecord::Get();
  ++record.inside;
  TaskGate::Pass();
  --record.inside;
  record.AddTask(first, second);
}

// Watches the pool's thread starts and makes the chosen ones fail, as a machine out of
// memory or address space would.
class ThreadStartSpy {
 public:
  enum class Plan {
    kAllSucceed,
    kWorkersFail,
    kExtraWorkersFail,
    kEveryOtherCoreFails,
    kSlowWorkerStarts,
    kCoreRegistersEarlyExtraLate,
  };
  struct Start {
    PoolThreadRole role;
    SIZE_T stackSize;
    DWORD flags;
    bool started;
  };

  explicit ThreadStartSpy(Plan plan = Plan::kAllSucceed) {
    State& state = Shared();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.plan = plan;
    state.starts.clear();
    state.extraThreadIds.clear();
    state.coreAttempts = 0;
    state.watched = nullptr;
    state.liveAtExtraStarts.clear();
    if (state.supervisor) ::CloseHandle(state.supervisor);
    state.supervisor = nullptr;
    g_poolThreadStarter.store(&StartThread);
  }
  ~ThreadStartSpy() {
    g_poolThreadStarter.store(&CreatePoolThread);
    State& state = Shared();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.supervisor) ::CloseHandle(state.supervisor);
    state.supervisor = nullptr;
  }
  ThreadStartSpy(const ThreadStartSpy&) = delete;
  ThreadStartSpy& operator=(const ThreadStartSpy&) = delete;

  void SetPlan(Plan plan) {
    std::lock_guard<std::mutex> lock(Shared().mutex);
    Shared().plan = plan;
  }
  std::vector<Start> Starts() {
    std::lock_guard<std::mutex> lock(Shared().mutex);
    return Shared().starts;
  }
  int Count(PoolThreadRole role, bool started) {
    int count = 0;
    for (const Start& start : Starts())
      if (start.role == role && start.started == started) ++count;
    return count;
  }
  std::vector<DWORD> ExtraThreadIds() {
    std::lock_guard<std::mutex> lock(Shared().mutex);
    return Shared().extraThreadIds;
  }
  // The pool whose live-worker count is noted at every start of an extra worker.
  void Watch(const PoolShared* pool) { Shared().watched.store(pool); }
  std::vector<int> LiveCountsAtExtraStarts() {
    std::lock_guard<std::mutex> lock(Shared().mutex);
    return Shared().liveAtExtraStarts;
  }
  // Closes the spy's own handle on the supervisor, so that a handle count sees the pool's alone.
  void ReleaseSupervisorHandle() {
    std::lock_guard<std::mutex> lock(Shared().mutex);
    if (Shared().supervisor) ::CloseHandle(Shared().supervisor);
    Shared().supervisor = nullptr;
  }
  // A handle on the last supervisor started, to tell whether it has ended.
  static bool SupervisorEnded() {
    std::lock_guard<std::mutex> lock(Shared().mutex);
    return Shared().supervisor != nullptr && ::WaitForSingleObject(Shared().supervisor, 0) == WAIT_OBJECT_0;
  }

 private:
  struct State {
    std::mutex mutex;
    Plan plan = Plan::kAllSucceed;
    std::vector<Start> starts;
    std::vector<DWORD> extraThreadIds;
    int coreAttempts = 0;
    HANDLE supervisor = nullptr;
    std::atomic<const PoolShared*> watched{nullptr};
    std::vector<int> liveAtExtraStarts;
  };
  static State& Shared() {
    static State state;
    return state;
  }

  struct LateStart {
    LPTHREAD_START_ROUTINE entry;
    void* parameter;
    DWORD delayMs;
  };
  static DWORD WINAPI StartLate(void* parameter) {
    const LateStart late = *static_cast<LateStart*>(parameter);
    delete static_cast<LateStart*>(parameter);
    ::Sleep(late.delayMs);
    return late.entry(late.parameter);
  }

  static HANDLE StartThread(PoolThreadRole role, SIZE_T stackSize, LPTHREAD_START_ROUTINE entry, void* parameter,
                            DWORD flags) {
    State& state = Shared();
    std::lock_guard<std::mutex> lock(state.mutex);
    bool fail = false;
    switch (state.plan) {
      case Plan::kAllSucceed: break;
      case Plan::kWorkersFail: fail = role != PoolThreadRole::kSupervisor; break;
      case Plan::kExtraWorkersFail: fail = role == PoolThreadRole::kExtraWorker; break;
      case Plan::kEveryOtherCoreFails:
        fail = role == PoolThreadRole::kCoreWorker && state.coreAttempts++ % 2 == 1;
        break;
      case Plan::kSlowWorkerStarts:
        // Worker k begins k x 250 ms late, as on a machine too busy to schedule new threads.
        if (role != PoolThreadRole::kSupervisor) {
          auto* late = new LateStart{entry, parameter, static_cast<DWORD>(250 * state.coreAttempts++)};
          entry = &StartLate;
          parameter = late;
        }
        break;
      case Plan::kCoreRegistersEarlyExtraLate:
        // A core worker has registered before Create looks, so its signal is never taken;
        // an extra worker registers well after its start.
        if (role == PoolThreadRole::kExtraWorker) {
          parameter = new LateStart{entry, parameter, 200};
          entry = &StartLate;
        }
        break;
    }
    if (role == PoolThreadRole::kExtraWorker && state.watched.load() != nullptr)
      state.liveAtExtraStarts.push_back(state.watched.load()->threadCount.load());
    HANDLE thread = nullptr;
    if (!fail) thread = CreatePoolThread(role, stackSize, entry, parameter, flags);
    if (thread != nullptr && state.plan == Plan::kCoreRegistersEarlyExtraLate && role == PoolThreadRole::kCoreWorker)
      ::Sleep(200);
    state.starts.push_back({role, stackSize, flags, thread != nullptr});
    if (thread != nullptr && role == PoolThreadRole::kExtraWorker) state.extraThreadIds.push_back(::GetThreadId(thread));
    if (thread != nullptr && role == PoolThreadRole::kSupervisor) {
      if (state.supervisor) ::CloseHandle(state.supervisor);
      const HANDLE self = ::GetCurrentProcess();
      ::DuplicateHandle(self, thread, self, &state.supervisor, SYNCHRONIZE, FALSE, 0);
    }
    if (thread == nullptr) ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return thread;
  }
};

// Hooks that count. onEnded also notes whether the supervisor had ended by then.
struct CountingHooks {
  static void OnCreated() { ++PoolRecord::Get().created; }
  static void OnEnded() {
    PoolRecord::Get().supervisorEndedBeforeOnEnded = ThreadStartSpy::SupervisorEnded() ? 1 : 0;
    ++PoolRecord::Get().ended;
  }
  static void OnThreadStart() { ++PoolRecord::Get().threadStarts; }
  static void OnThreadExit() { ++PoolRecord::Get().threadExits; }
  static void Install(TaskPool& pool) {
    pool.SetPoolHooks(&OnCreated, &OnEnded);
    pool.SetThreadHooks(&OnThreadStart, &OnThreadExit, nullptr);
  }
};

// A fixture whose pool, however a test leaves it, has ended before the next test starts, so
// that no thread of one test records into the next.
class PoolTest : public testing::Test {
 protected:
  void SetUp() override {
    TaskGate::Open();
    PoolRecord::Get().Reset();
    CountingHooks::Install(pool);
  }
  void TearDown() override {
    TaskGate::Open();
    pool.Resume();
    pool.Stop(1, 60000);
    EXPECT_TRUE(WaitUntil([this] { return pool.State() == 0; })) << "the pool never ended";
  }

  // Creates the pool and waits until all count core workers have registered (Create itself
  // returns after the first one).
  void CreateAndSettle(std::int32_t count, TaskPool::OptionalInt maxThreads = {}, TaskPool::OptionalInt idleMs = {}) {
    ASSERT_EQ(pool.Create(count, maxThreads, idleMs), 1);
    ASSERT_TRUE(WaitUntil([&] { return pool.LiveThreadCount() == count; }));
  }
  // Submits blocking tasks and waits until they all hold a worker.
  void OccupyWorkers(int tasks) {
    TaskGate::Close();
    const int before = PoolRecord::Get().inside.load();
    for (int i = 0; i < tasks; ++i) ASSERT_EQ(pool.Submit(&BlockingTask, 1000 + i), 1);
    ASSERT_TRUE(WaitUntil([&] { return PoolRecord::Get().inside.load() == before + tasks; }));
  }

  TaskPool pool;
};

}  // namespace test
}  // namespace uptorra
