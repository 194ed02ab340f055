// Measures the task pool against the Windows thread pool (TrySubmitThreadpoolCallback) and a
// plain queue guarded by a mutex and a condition variable, in one run:
//   latency     time from just before a submission to the start of the task, one task at a
//               time into an idle pool (median, 90th percentile, mean);
//   throughput  tiny tasks submitted back to back from one thread, until the last has run.
// Usage: bench_pool [latency samples] [throughput tasks]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pool/TaskPool.h"

namespace {

using uptorra::TaskPool;

constexpr int kWorkers = 4;
constexpr int kDefaultLatencySamples = 2000;
constexpr int kDefaultThroughputTasks = 100000;
constexpr int kThroughputRepeats = 3;

std::int64_t Ticks() {
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart;
}
double TicksToMicroseconds(std::int64_t ticks) {
  static const double perSecond = [] {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
  }();
  return static_cast<double>(ticks) * 1e6 / perSecond;
}

// What the measured tasks write.
std::atomic<std::int64_t> g_startTicks{0};
std::atomic<int> g_remaining{0};
HANDLE g_done = nullptr;  // auto-reset: one latency sample, or the last throughput task

void LatencyTask(std::int32_t, std::int32_t) {
  g_startTicks.store(Ticks());
  ::SetEvent(g_done);
}
void CountingTask(std::int32_t, std::int32_t) {
  if (g_remaining.fetch_sub(1) == 1) ::SetEvent(g_done);
}

// The three ways to run a task, behind one face.
class Runner {
 public:
  virtual ~Runner() = default;
  virtual const char* Name() const = 0;
  virtual bool Submit(uptorra::TaskRoutine routine) = 0;
};

class TaskPoolRunner : public Runner {
 public:
  TaskPoolRunner() { ok_ = pool_.Create(kWorkers, kWorkers) == 1; }
  ~TaskPoolRunner() override { pool_.Stop(1); }
  bool ok() const { return ok_; }
  const char* Name() const override { return "TaskPool (completion port)"; }
  bool Submit(uptorra::TaskRoutine routine) override { return pool_.Submit(routine) != 0; }

 private:
  TaskPool pool_;
  bool ok_ = false;
};

class WindowsPoolRunner : public Runner {
 public:
  const char* Name() const override { return "Windows thread pool"; }
  bool Submit(uptorra::TaskRoutine routine) override {
    return ::TrySubmitThreadpoolCallback(&Callback, reinterpret_cast<void*>(routine), nullptr) != FALSE;
  }

 private:
  static VOID CALLBACK Callback(PTP_CALLBACK_INSTANCE, PVOID context) {
    reinterpret_cast<uptorra::TaskRoutine>(context)(0, 0);
  }
};

class MutexQueueRunner : public Runner {
 public:
  MutexQueueRunner() {
    for (int i = 0; i < kWorkers; ++i) workers_.emplace_back([this] { Work(); });
  }
  ~MutexQueueRunner() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ending_ = true;
    }
    ready_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }
  const char* Name() const override { return "mutex + condition variable queue"; }
  bool Submit(uptorra::TaskRoutine routine) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(routine);
    }
    ready_.notify_one();
    return true;
  }

 private:
  void Work() {
    for (;;) {
      uptorra::TaskRoutine routine;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return ending_ || !queue_.empty(); });
        if (queue_.empty()) return;
        routine = queue_.front();
        queue_.pop_front();
      }
      routine(0, 0);
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<uptorra::TaskRoutine> queue_;
  bool ending_ = false;
  std::vector<std::thread> workers_;
};

struct Figures {
  double medianUs = 0, p90Us = 0, meanUs = 0;
  double tasksPerSecond = 0;
};

Figures Measure(Runner& runner, int samples, int tasks) {
  Figures figures;
  // Warm-up: let every kind start its threads before anything is timed.
  g_remaining = 1000;
  for (int i = 0; i < 1000; ++i) runner.Submit(&CountingTask);
  ::WaitForSingleObject(g_done, INFINITE);

  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(samples));
  for (int i = 0; i < samples; ++i) {
    ::Sleep(i % 50 == 0 ? 1 : 0);  // now and then a fully idle pool
    const std::int64_t submitted = Ticks();
    if (!runner.Submit(&LatencyTask)) continue;
    ::WaitForSingleObject(g_done, INFINITE);
    latencies.push_back(TicksToMicroseconds(g_startTicks.load() - submitted));
  }
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    figures.medianUs = latencies[latencies.size() / 2];
    figures.p90Us = latencies[latencies.size() * 9 / 10];
    double sum = 0;
    for (double latency : latencies) sum += latency;
    figures.meanUs = sum / static_cast<double>(latencies.size());
  }

  std::vector<double> rates;
  for (int repeat = 0; repeat < kThroughputRepeats; ++repeat) {
    g_remaining = tasks;
    const std::int64_t start = Ticks();
    for (int i = 0; i < tasks; ++i) {
      while (!runner.Submit(&CountingTask)) ::SwitchToThread();
    }
    ::WaitForSingleObject(g_done, INFINITE);
    rates.push_back(static_cast<double>(tasks) / (TicksToMicroseconds(Ticks() - start) / 1e6));
  }
  std::sort(rates.begin(), rates.end());
  figures.tasksPerSecond = rates[rates.size() / 2];
  return figures;
}

void Report(const char* name, const Figures& f) {
  std::printf("%-34s %10.1f %10.1f %10.1f %14.0f\n", name, f.medianUs, f.p90Us, f.meanUs, f.tasksPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::max(10, std::atoi(argv[1])) : kDefaultLatencySamples;
  const int tasks = argc > 2 ? std::max(1000, std::atoi(argv[2])) : kDefaultThroughputTasks;
  g_done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  SYSTEM_INFO system;
  ::GetSystemInfo(&system);
  std::printf("%lu processors, %d workers for the task pool and the mutex queue; %d latency samples, "
              "%d tasks x %d for throughput (median run)\n\n",
              system.dwNumberOfProcessors, kWorkers, samples, tasks, kThroughputRepeats);
  std::printf("%-34s %10s %10s %10s %14s\n", "", "median us", "p90 us", "mean us", "tasks/s");

  Figures pool, windows, mutexQueue;
  {
    TaskPoolRunner runner;
    if (!runner.ok()) {
      std::printf("the task pool could not be created\n");
      return 1;
    }
    pool = Measure(runner, samples, tasks);
    Report(runner.Name(), pool);
  }
  {
    WindowsPoolRunner runner;
    windows = Measure(runner, samples, tasks);
    Report(runner.Name(), windows);
  }
  {
    MutexQueueRunner runner;
    mutexQueue = Measure(runner, samples, tasks);
    Report(runner.Name(), mutexQueue);
  }

  std::printf("\nratios (task pool : other; latency below 1 and throughput above 1 favour the task pool)\n");
  std::printf("  vs Windows thread pool:  median latency %.3g, throughput %.3g\n", pool.medianUs / windows.medianUs,
              pool.tasksPerSecond / windows.tasksPerSecond);
  std::printf("  vs mutex queue:          median latency %.3g, throughput %.3g\n", pool.medianUs / mutexQueue.medianUs,
              pool.tasksPerSecond / mutexQueue.tasksPerSecond);
  ::CloseHandle(g_done);
  return 0;
}
