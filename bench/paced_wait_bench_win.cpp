// How long paced waits really last and what they cost, with many threads waiting at once:
// the one-timer wait of the program against the sliced wait it replaced (a wait of n seconds
// as 1000 timer waits of n ms, a new timer each), in the same run.
//
//   build/windows/bench_paced_wait.exe [--server-pid=N] [--threads=1,100,1000] [--seconds=1,10]
//                                      [--methods=timer,sliced] [--budget=60]
//
// For every case all threads start their wait together. Reported: measured duration over
// requested, median and worst over the threads; CPU seconds per wait of this process, and of
// the wineserver when its pid is given (under Wine each timer call and each wait is a
// request to that server; bench/wineserver_pid.sh finds it). Wine's timers are exact, so the
// overrun of the sliced wait that Windows' 15.6 ms tick causes does not show here; its cost does.
// A sliced case that has not ended after --budget seconds is stopped after the slice each
// thread is in, and its figures are extrapolated from the slices done (marked "est."): on a
// shared machine 1000 threads of sliced waits would otherwise hold both cores for minutes.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/PacedWait_win.h"
#include "core/PumpMessages_win.h"

#include "BenchSupport_win.h"

namespace {

using namespace uptorra;

constexpr DWORD kWakeMask = 0xFF;
constexpr SIZE_T kThreadStack = 64 * 1024;
constexpr int kSlices = 1000;

double FileTimeSeconds(const FILETIME& t) {
  return static_cast<double>((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
}

double ProcessCpuSeconds() {
  FILETIME created, ended, kernel, user;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
  return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

// utime + stime of a Linux process, read through Wine's Z: drive; -1 when unknown.
double LinuxProcessCpuSeconds(int pid) {
  if (pid <= 0) return -1;
  const std::wstring path = L"Z:\\proc\\" + std::to_wstring(pid) + L"\\stat";
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  char buffer[1024];
  DWORD read = 0;
  const BOOL ok = ::ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
  ::CloseHandle(file);
  if (!ok) return -1;
  buffer[read] = '\0';
  // Fields after the command name in parentheses; utime and stime are fields 14 and 15.
  const char* p = std::strrchr(buffer, ')');
  if (!p) return -1;
  unsigned long long values[13] = {};
  char state = 0;
  if (std::sscanf(p + 2, "%c %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu", &state, &values[0],
                  &values[1], &values[2], &values[3], &values[4], &values[5], &values[6], &values[7], &values[8],
                  &values[9], &values[10], &values[11]) != 13) {
    return -1;
  }
  constexpr double kClockTicksPerSecond = 100;  // USER_HZ on Linux
  return static_cast<double>(values[10] + values[11]) / kClockTicksPerSecond;
}

// The wait as first built: n seconds as 1000 waits of n ms, each on a timer of its own, with
// messages dispatched only while a slice is pending.
// Returns the number of slices done (all of them unless stop was set).
int SlicedWait(std::int32_t seconds, const std::atomic<bool>& stop) {
  int slice = 0;
  for (; slice < kSlices && !stop; ++slice) {
    HANDLE timer = ::CreateWaitableTimerA(nullptr, FALSE, nullptr);
    LARGE_INTEGER due{};
    due.QuadPart = static_cast<LONGLONG>(seconds * -10000.0);
    ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
    while (::MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, kWakeMask) != WAIT_OBJECT_0) PumpMessages();
    ::CloseHandle(timer);
  }
  return slice;
}

struct Case {
  bool sliced;
  int threads;
  std::int32_t seconds;
};

struct Shared {
  const Case* run;
  HANDLE start;
  HANDLE allDone;
  std::atomic<int> remaining;
  std::atomic<bool> stop{false};
  std::atomic<long long> slicesDone{0};
  std::vector<double> ratios;
};

struct Waiter {
  Shared* shared;
  int index;
};

DWORD WINAPI WaiterThread(void* parameter) {
  const Waiter* waiter = static_cast<Waiter*>(parameter);
  Shared& shared = *waiter->shared;
  ::WaitForSingleObject(shared.start, INFINITE);
  const double begin = Seconds();
  double share = 1;  // of the whole wait that was done
  if (shared.run->sliced) {
    const int slices = SlicedWait(shared.run->seconds, shared.stop);
    shared.slicesDone += slices;
    share = slices > 0 ? static_cast<double>(slices) / kSlices : 1e-9;
  } else {
    PacedWait(shared.run->seconds, kPacedSeconds);
  }
  shared.ratios[waiter->index] = (Seconds() - begin) / share / shared.run->seconds;
  if (--shared.remaining == 0) ::SetEvent(shared.allDone);
  return 0;
}

void RunCase(const Case& run, int serverPid, double budgetSeconds) {
  Shared shared;
  shared.run = &run;
  shared.start = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  shared.allDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  shared.remaining = run.threads;
  shared.ratios.assign(run.threads, 0);
  std::vector<Waiter> waiters(run.threads);
  std::vector<HANDLE> threads;
  for (int i = 0; i < run.threads; ++i) {
    waiters[i] = {&shared, i};
    HANDLE thread =
        ::CreateThread(nullptr, kThreadStack, &WaiterThread, &waiters[i], STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
      std::printf("thread %d: CreateThread failed (%lu)\n", i, ::GetLastError());
      std::exit(1);
    }
    threads.push_back(thread);
  }
  ::Sleep(500);  // let every thread reach the start line
  const double cpuBefore = ProcessCpuSeconds();
  const double serverBefore = LinuxProcessCpuSeconds(serverPid);
  const double begin = Seconds();
  ::SetEvent(shared.start);
  const bool cut = ::WaitForSingleObject(shared.allDone, static_cast<DWORD>(budgetSeconds * 1000)) != WAIT_OBJECT_0;
  if (cut) {
    shared.stop = true;
    ::WaitForSingleObject(shared.allDone, INFINITE);
  }
  const double wall = Seconds() - begin;
  // CPU figures of a cut case are scaled up to the whole number of slices.
  const double scale = cut ? static_cast<double>(kSlices) * run.threads / static_cast<double>(shared.slicesDone) : 1;
  const double cpu = (ProcessCpuSeconds() - cpuBefore) * scale;
  const double server = serverBefore < 0 ? -1 : (LinuxProcessCpuSeconds(serverPid) - serverBefore) * scale;
  for (HANDLE thread : threads) {
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
  }
  ::CloseHandle(shared.start);
  ::CloseHandle(shared.allDone);

  std::sort(shared.ratios.begin(), shared.ratios.end());
  const double median = shared.ratios[shared.ratios.size() / 2];
  const double worst = shared.ratios.back();
  std::printf("%-7s %6d %4d s   %8.3f %8.3f   %10.5f %10.5f   %8.1f%s\n", run.sliced ? "sliced" : "timer",
              run.threads, run.seconds, median, worst, cpu / run.threads, server >= 0 ? server / run.threads : -1.0,
              wall, cut ? "  est. (cut)" : "");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  int serverPid = 0;
  std::vector<int> threadCounts = {1, 100, 1000};
  std::vector<int> seconds = {1, 10};
  bool timer = true, sliced = true;
  double budget = 60;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--server-pid=", 0) == 0) serverPid = std::atoi(arg.c_str() + 13);
    if (arg.rfind("--threads=", 0) == 0) threadCounts = NumberList(arg.c_str() + 10);
    if (arg.rfind("--seconds=", 0) == 0) seconds = NumberList(arg.c_str() + 10);
    if (arg.rfind("--budget=", 0) == 0) budget = std::atof(arg.c_str() + 9);
    if (arg.rfind("--methods=", 0) == 0) {
      timer = arg.find("timer") != std::string::npos;
      sliced = arg.find("sliced") != std::string::npos;
    }
  }
  std::printf("method  threads  wait   duration/requested   CPU s per wait          wall s\n");
  std::printf("                        median    worst      process   wineserver\n");
  for (const int wait : seconds) {
    for (const int threads : threadCounts) {
      if (timer) RunCase({false, threads, wait}, serverPid, budget);
      if (sliced) RunCase({true, threads, wait}, serverPid, budget);
    }
  }
  return 0;
}
